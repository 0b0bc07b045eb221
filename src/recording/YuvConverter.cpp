#include "recording/YuvConverter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace {

// Fixed point in 16-bit lanes: seven fractional bits keep every code within half a step;
// sums are biased by 64 codes, so the luma ones stay positive and never wrap.
constexpr int kFractionBits = 7;
constexpr int kOne = 1 << kFractionBits;
constexpr int kBias = 64;

using Matrix = std::array<std::array<double, 3>, 3>;

// RGB → normalised Y, Cb, Cr of a matrix with these luma weights.
Matrix rgbToYuv(ColourMatrix matrix)
{
    double kr = 0.299, kb = 0.114;
    if (matrix == ColourMatrix::Bt709) {
        kr = 0.2126;
        kb = 0.0722;
    } else if (matrix == ColourMatrix::Bt2020) {
        kr = 0.2627;
        kb = 0.0593;
    }
    const double kg = 1.0 - kr - kb;
    return {{{kr, kg, kb},
             {-kr / (2 * (1 - kb)), -kg / (2 * (1 - kb)), 0.5},
             {0.5, -kg / (2 * (1 - kr)), -kb / (2 * (1 - kr))}}};
}

Matrix inverse(const Matrix &m)
{
    const double a = m[0][0], b = m[0][1], c = m[0][2];
    const double d = m[1][0], e = m[1][1], f = m[1][2];
    const double g = m[2][0], h = m[2][1], i = m[2][2];
    const double det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
    return {{{(e * i - f * h) / det, (c * h - b * i) / det, (b * f - c * e) / det},
             {(f * g - d * i) / det, (a * i - c * g) / det, (c * d - a * f) / det},
             {(d * h - e * g) / det, (b * g - a * h) / det, (a * e - b * d) / det}}};
}

Matrix multiply(const Matrix &x, const Matrix &y)
{
    Matrix result{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 3; ++k)
                result[r][c] += x[r][k] * y[k][c];
    return result;
}

int fixed(double value)
{
    return int(std::lround(value * kOne));
}

inline uchar clampByte(int value)
{
    return uchar(value < 0 ? 0 : value > 255 ? 255 : value);
}

struct Range
{
    double lumaOffset;
    double lumaScale;
    double chromaScale;
};

Range rangeOf(const PictureColour &colour)
{
    return colour.isFullRange ? Range{0.0, 255.0, 255.0} : Range{16.0, 219.0, 224.0};
}

} // namespace

bool YuvConverter::canConvert(PixelFormat source)
{
    return source == PixelFormat::Yuv420p || source == PixelFormat::Nv12 || source == PixelFormat::Yuv422p
           || source == PixelFormat::Yuyv;
}

void YuvConverter::configure(PictureColour from, PictureColour to)
{
    if (m_isConfigured && from == m_from && to == m_to)
        return;
    m_from = from;
    m_to = to;
    m_isConfigured = true;
    m_isIdentity = from == to;

    const Matrix m = from.matrix == to.matrix ? Matrix{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}}
                                              : multiply(rgbToYuv(to.matrix), inverse(rgbToYuv(from.matrix)));
    const Range source = rangeOf(from);
    const Range target = rangeOf(to);
    const double ly = target.lumaScale * m[0][0] / source.lumaScale;
    m_ly = fixed(ly);
    m_lu = fixed(target.lumaScale * m[0][1] / source.chromaScale);
    m_lv = fixed(target.lumaScale * m[0][2] / source.chromaScale);
    m_lo = fixed(target.lumaOffset - ly * source.lumaOffset + 0.5 + kBias);
    m_uu = fixed(target.chromaScale * m[1][1] / source.chromaScale);
    m_uv = fixed(target.chromaScale * m[1][2] / source.chromaScale);
    m_vu = fixed(target.chromaScale * m[2][1] / source.chromaScale);
    m_vv = fixed(target.chromaScale * m[2][2] / source.chromaScale);
}

void YuvConverter::convertLumaRow(const uchar *luma, int lumaStep, const uchar *u, const uchar *v, int chromaStep,
                                  uchar *out, int width)
{
    if (m_isIdentity && lumaStep == 1) {
        std::memcpy(out, luma, size_t(width));
        return;
    }
    // In 16-bit lanes for the compiler to vectorise (eight pixels per SSE2 step): the chroma
    // share of each pixel pair first, spread to its two pixels, then one pass over the row.
    m_pixelShare.resize(size_t(width) + 1);
    quint16 *share = m_pixelShare.data();
    const int pairs = (width + 1) / 2;
    const int lu = m_lu;
    const int lv = m_lv;
    const int lo = m_lo;
    for (int pair = 0; pair < pairs; ++pair) {
        const quint16 value = quint16(lu * (u[pair * chromaStep] - 128) + lv * (v[pair * chromaStep] - 128) + lo);
        share[2 * pair] = value;
        share[2 * pair + 1] = value;
    }
    const quint16 ly = quint16(m_ly);
    if (lumaStep == 1) {
        for (int x = 0; x < width; ++x)
            out[x] = clampByte(int(quint16(quint16(luma[x]) * ly + share[x]) >> kFractionBits) - kBias);
    } else {
        for (int x = 0; x < width; ++x)
            out[x] = clampByte(int(quint16(quint16(luma[x * lumaStep]) * ly + share[x]) >> kFractionBits) - kBias);
    }
}

void YuvConverter::convertChromaRow(const uchar *u0, const uchar *v0, const uchar *u1, const uchar *v1, int step,
                                    uchar *outU, uchar *outV, int outStep, int chromaWidth)
{
    // The row's chroma gathered first (the mean of two rows for 4:2:2), then converted in
    // passes the compiler vectorises.
    m_rowU.resize(size_t(chromaWidth));
    m_rowV.resize(size_t(chromaWidth));
    uchar *u = m_rowU.data();
    uchar *v = m_rowV.data();
    if (u0 == u1) {
        for (int x = 0; x < chromaWidth; ++x) {
            u[x] = u0[x * step];
            v[x] = v0[x * step];
        }
    } else {
        for (int x = 0; x < chromaWidth; ++x) {
            u[x] = uchar((u0[x * step] + u1[x * step] + 1) >> 1);
            v[x] = uchar((v0[x * step] + v1[x * step] + 1) >> 1);
        }
    }
    if (m_isIdentity && outStep == 1) {
        std::memcpy(outU, u, size_t(chromaWidth));
        std::memcpy(outV, v, size_t(chromaWidth));
        return;
    }
    // 16-bit lanes, biased like the luma pass.
    const int uu = m_uu, uv = m_uv, vu = m_vu, vv = m_vv;
    constexpr int kOffset = (128 + kBias) * kOne + kOne / 2;
    for (int x = 0; x < chromaWidth; ++x) {
        const int cu = u[x] - 128;
        const int cv = v[x] - 128;
        outU[x * outStep] = clampByte(int(quint16(uu * cu + uv * cv + kOffset) >> kFractionBits) - kBias);
        outV[x * outStep] = clampByte(int(quint16(vu * cu + vv * cv + kOffset) >> kFractionBits) - kBias);
    }
}

bool YuvConverter::convert(const Picture &source, AVFrame *target)
{
    const bool isNv12Target = target->format == AV_PIX_FMT_NV12;
    if (!canConvert(source.format()) || (!isNv12Target && target->format != AV_PIX_FMT_YUV420P)
        || source.width() != target->width || source.height() != target->height || !source.isComplete())
        return false;
    configure(source.colour(), m_target);
    const int width = source.width();
    const int height = source.height();
    const PixelFormat format = source.format();

    // Where a source row's luma and chroma are.
    const auto lumaOf = [&](int row) { return source.plane(0) + qsizetype(row) * source.stride(0); };
    const auto chromaOf = [&](int row, const uchar **u, const uchar **v, int *step) {
        switch (format) {
        case PixelFormat::Yuv420p:
            *u = source.plane(1) + qsizetype(row / 2) * source.stride(1);
            *v = source.plane(2) + qsizetype(row / 2) * source.stride(2);
            *step = 1;
            break;
        case PixelFormat::Yuv422p:
            *u = source.plane(1) + qsizetype(row) * source.stride(1);
            *v = source.plane(2) + qsizetype(row) * source.stride(2);
            *step = 1;
            break;
        case PixelFormat::Nv12:
            *u = source.plane(1) + qsizetype(row / 2) * source.stride(1);
            *v = *u + 1;
            *step = 2;
            break;
        default: // YUYV: Y0 U Y1 V
            *u = lumaOf(row) + 1;
            *v = lumaOf(row) + 3;
            *step = 4;
            break;
        }
    };
    const int lumaStep = format == PixelFormat::Yuyv ? 2 : 1;

    for (int row = 0; row < height; ++row) {
        const uchar *u = nullptr, *v = nullptr;
        int step = 1;
        chromaOf(row, &u, &v, &step);
        convertLumaRow(lumaOf(row), lumaStep, u, v, step, target->data[0] + qsizetype(row) * target->linesize[0], width);
    }

    // 4:2:0 chroma: one row from each pair of rows (their mean for 4:2:2 sources).
    const bool hasChromaPerRow = format == PixelFormat::Yuv422p || format == PixelFormat::Yuyv;
    const int chromaWidth = (width + 1) / 2;
    const int chromaRows = (height + 1) / 2;
    for (int row = 0; row < chromaRows; ++row) {
        const uchar *u0 = nullptr, *v0 = nullptr, *u1 = nullptr, *v1 = nullptr;
        int step = 1;
        chromaOf(hasChromaPerRow ? 2 * row : row * 2, &u0, &v0, &step);
        if (hasChromaPerRow)
            chromaOf(std::min(2 * row + 1, height - 1), &u1, &v1, &step);
        else {
            u1 = u0;
            v1 = v0;
        }
        uchar *outU = target->data[1] + qsizetype(row) * target->linesize[1];
        uchar *outV = isNv12Target ? outU + 1 : target->data[2] + qsizetype(row) * target->linesize[2];
        convertChromaRow(u0, v0, u1, v1, step, outU, outV, isNv12Target ? 2 : 1, chromaWidth);
    }
    return true;
}
