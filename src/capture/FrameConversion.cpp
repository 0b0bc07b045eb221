#include "capture/FrameConversion.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#include <tmmintrin.h>
#define VIREON_HAVE_SSSE3_PATH 1
#endif
#ifdef _MSC_VER
#include <intrin.h>
#include <stdlib.h>
#endif

// GCC and Clang need the instruction set named on the function that uses it; MSVC compiles
// every intrinsic anywhere.
#if defined(_MSC_VER) && !defined(__clang__)
#define VIREON_TARGET_SSSE3
#else
#define VIREON_TARGET_SSSE3 __attribute__((target("ssse3")))
#endif

// The word path assumes the byte order of x86 and ARM; Windows runs on nothing else.
#if defined(_WIN32) || (defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__)
#define VIREON_LITTLE_ENDIAN 1
#endif

namespace {

constexpr std::uint32_t OpaqueAlpha = 0xFF000000u;

inline std::uint32_t byteSwap32(std::uint32_t value)
{
#if defined(_MSC_VER) && !defined(__clang__)
    return _byteswap_ulong(value);
#else
    return __builtin_bswap32(value);
#endif
}

// Three 32-bit words hold four BGR pixels; each output word is R, G, B, A in memory order
// (little-endian). Byte-swapping a word whose low three bytes are B, G, R and shifting it
// down by 8 leaves R, G, B in the low three bytes.
inline std::uint32_t bgrWordToRgba(std::uint32_t bgrx)
{
    return (byteSwap32(bgrx) >> 8) | OpaqueAlpha;
}

} // namespace

void convertBgr24RowToRgbaWords(const unsigned char *src, unsigned char *dst, int width)
{
    int x = 0;
#ifdef VIREON_LITTLE_ENDIAN
    for (; x + 4 <= width; x += 4, src += 12, dst += 16) {
        std::uint32_t in[3];
        std::memcpy(in, src, sizeof in);
        const std::uint32_t out[4] = {
            bgrWordToRgba(in[0]),
            bgrWordToRgba((in[0] >> 24) | (in[1] << 8)),
            bgrWordToRgba((in[1] >> 16) | (in[2] << 16)),
            byteSwap32(in[2]) | OpaqueAlpha,
        };
        std::memcpy(dst, out, sizeof out);
    }
#endif
    convertBgr24RowToRgbaPlain(src, dst, width - x);
}

namespace {

#ifdef VIREON_HAVE_SSSE3_PATH
// Sixteen pixels per step: three 16-byte loads, four byte shuffles, four stores. Every x86-64
// processor of the last fifteen years has SSSE3; the check at start-up keeps older ones on the
// word path.
VIREON_TARGET_SSSE3 void convertRowSsse3(const unsigned char *src, unsigned char *dst, int width)
{
    const __m128i shuffle = _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(OpaqueAlpha));
    int x = 0;
    for (; x + 16 <= width; x += 16, src += 48, dst += 64) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 32));
        const __m128i p0 = _mm_shuffle_epi8(a, shuffle);
        const __m128i p1 = _mm_shuffle_epi8(_mm_alignr_epi8(b, a, 12), shuffle);
        const __m128i p2 = _mm_shuffle_epi8(_mm_alignr_epi8(c, b, 8), shuffle);
        const __m128i p3 = _mm_shuffle_epi8(_mm_srli_si128(c, 4), shuffle);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), _mm_or_si128(p0, alpha));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + 16), _mm_or_si128(p1, alpha));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + 32), _mm_or_si128(p2, alpha));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + 48), _mm_or_si128(p3, alpha));
    }
    convertBgr24RowToRgbaWords(src, dst, width - x);
}

using RowConverter = void (*)(const unsigned char *, unsigned char *, int);

bool hasSsse3()
{
#if defined(_MSC_VER) && !defined(__clang__)
    int registers[4] = {};
    __cpuid(registers, 1);
    return (registers[2] & (1 << 9)) != 0; // ECX bit 9 of leaf 1
#else
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3");
#endif
}

RowConverter pickRowConverter()
{
    return hasSsse3() ? convertRowSsse3 : convertBgr24RowToRgbaWords;
}
#endif

} // namespace

void convertBgr24RowToRgbaPlain(const unsigned char *src, unsigned char *dst, int width)
{
    for (int x = 0; x < width; ++x, src += 3, dst += 4) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
        dst[3] = 255;
    }
}

void convertBgr24RowToRgba(const unsigned char *src, unsigned char *dst, int width)
{
#ifdef VIREON_HAVE_SSSE3_PATH
    static const RowConverter converter = pickRowConverter();
    converter(src, dst, width);
#else
    convertBgr24RowToRgbaWords(src, dst, width);
#endif
}

long long bgr24RowStride(long long sampleLength, int width, int height)
{
    if (width < 1 || height < 1 || sampleLength < 0)
        return 0;
    return std::max(sampleLength / height, static_cast<long long>(width) * 3);
}

bool convertBgr24ToRgba(const unsigned char *src, long long srcLength, long long srcStride, int width,
                        int height, bool sourceTopDown, bool flip, unsigned char *dst)
{
    if (!src || !dst || width < 1 || height < 1)
        return false;
    const long long rowBytes = static_cast<long long>(width) * 3;
    if (srcStride < rowBytes)
        return false;
    // The last row needs only its pixels, not its padding: a tightly cut sample is complete.
    if (srcLength < srcStride * (height - 1) + rowBytes)
        return false;

    const bool firstRowIsTop = flip ? !sourceTopDown : sourceTopDown;
    const long long dstStride = static_cast<long long>(width) * 4;
    for (int row = 0; row < height; ++row) {
        const int sourceRow = firstRowIsTop ? row : height - 1 - row;
        convertBgr24RowToRgba(src + sourceRow * srcStride, dst + row * dstStride, width);
    }
    return true;
}
