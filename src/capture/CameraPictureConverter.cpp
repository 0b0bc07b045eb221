#include "capture/CameraPictureConverter.h"

#include "capture/FrameConversion.h"
#include "common/FfmpegPtr.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Equal sizes need the colour conversion alone, where every flag gives the same picture;
// bilinear only matters for a camera that sends another size than it agreed to.
constexpr int kScaleFlags = SWS_BILINEAR;

// The decoder's complaints about a damaged picture would fill the log at the camera's frame
// rate; the converter reports each refusal itself, so they go to debug level.
constexpr int kQuietDecoderLogOffset = AV_LOG_DEBUG - AV_LOG_ERROR;

bool isAllZero(const uchar *data, qsizetype length)
{
    qsizetype i = 0;
    for (; i + 8 <= length; i += 8) {
        quint64 word;
        std::memcpy(&word, data + i, sizeof word);
        if (word != 0)
            return false;
    }
    for (; i < length; ++i) {
        if (data[i] != 0)
            return false;
    }
    return true;
}

AVPixelFormat packedFormat(CapturePixelFormat format)
{
    switch (format) {
    case CapturePixelFormat::Yuyv: return AV_PIX_FMT_YUYV422;
    case CapturePixelFormat::Uyvy: return AV_PIX_FMT_UYVY422;
    case CapturePixelFormat::Nv12: return AV_PIX_FMT_NV12;
    case CapturePixelFormat::Yu12: return AV_PIX_FMT_YUV420P;
    case CapturePixelFormat::Rgb24: return AV_PIX_FMT_RGB24;
    default: return AV_PIX_FMT_NONE;
    }
}

// The planar layout a packed or semi-planar one is unpacked to on its way to RGBA; none for
// layouts libswscale converts to RGBA quickly as they are.
AVPixelFormat unpackedFormat(CapturePixelFormat format)
{
    switch (format) {
    case CapturePixelFormat::Yuyv:
    case CapturePixelFormat::Uyvy: return AV_PIX_FMT_YUV422P;
    case CapturePixelFormat::Nv12: return AV_PIX_FMT_YUV420P;
    default: return AV_PIX_FMT_NONE;
    }
}

// Rows unpacked at a time: a strip of a 1080p picture fits the cache with room to spare.
constexpr int kStripRows = 16;

int bytesPerPixelOfFirstPlane(CapturePixelFormat format)
{
    switch (format) {
    case CapturePixelFormat::Bgr24:
    case CapturePixelFormat::Rgb24: return 3;
    case CapturePixelFormat::Yuyv:
    case CapturePixelFormat::Uyvy: return 2;
    default: return 1;
    }
}

// The formats libavcodec's JPEG decoder marks as full range by their name; libswscale wants
// the plain format with the range given separately.
AVPixelFormat plainFormat(AVPixelFormat format, bool *isFullRange)
{
    switch (format) {
    case AV_PIX_FMT_YUVJ420P: *isFullRange = true; return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P: *isFullRange = true; return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P: *isFullRange = true; return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P: *isFullRange = true; return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P: *isFullRange = true; return AV_PIX_FMT_YUV411P;
    default: return format;
    }
}

} // namespace

struct CameraPictureConverter::Decoder
{
    CodecContextPtr codec;
    FramePtr frame;
    PacketPtr packet;
    // The JPEG copied with the zeroed padding libavcodec's bit readers may read past the end.
    std::vector<uint8_t> padded;

    SwsContextPtr scaler;
    int scalerWidth = 0;
    int scalerHeight = 0;
    AVPixelFormat scalerFormat = AV_PIX_FMT_NONE;
    bool scalerFullRange = false;

    // Makes the scaler for a source of that shape, or keeps the one it has.
    bool prepareScaler(int width, int height, AVPixelFormat format, bool isFullRange, bool isBt709,
                       const CaptureGeometry &target)
    {
        if (scaler && width == scalerWidth && height == scalerHeight && format == scalerFormat
            && isFullRange == scalerFullRange)
            return true;
        scaler.reset(sws_getContext(width, height, format, target.width, target.height, AV_PIX_FMT_RGBA,
                                    kScaleFlags, nullptr, nullptr, nullptr));
        if (!scaler)
            return false;
        const int *coefficients = sws_getCoefficients(isBt709 ? SWS_CS_ITU709 : SWS_CS_ITU601);
        sws_setColorspaceDetails(scaler.get(), coefficients, isFullRange ? 1 : 0, coefficients, 1, 0, 1 << 16,
                                 1 << 16);
        scalerWidth = width;
        scalerHeight = height;
        scalerFormat = format;
        scalerFullRange = isFullRange;
        return true;
    }

    // Converts the source planes (sourceHeight rows) into dst, the target's rows reversed
    // with flip (a negative stride from the last row up).
    bool scale(const uint8_t *const planes[4], const int strides[4], int sourceHeight,
               const CaptureGeometry &target, bool flip, uchar *dst)
    {
        const int rowBytes = target.width * 4;
        uint8_t *rows[4] = {dst, nullptr, nullptr, nullptr};
        int rowStrides[4] = {rowBytes, 0, 0, 0};
        if (flip) {
            rows[0] = dst + qsizetype(target.height - 1) * rowBytes;
            rowStrides[0] = -rowBytes;
        }
        return sws_scale(scaler.get(), planes, strides, 0, sourceHeight, rows, rowStrides) > 0;
    }

    // Packed YUYV/UYVY and semi-planar NV12 go to RGBA through a strip of planar rows:
    // libswscale's unpacking to planar and its planar YUV -> RGBA are both fast paths, while
    // its direct path from these layouts is about four times slower than the two together
    // (1080p here: 4 ms against 0.85 ms). The strip stays in the cache, so the picture is
    // still written once, straight into the RGBA array.
    SwsContextPtr unpacker;
    std::vector<uint8_t> strip[3];

    bool scaleThroughStrips(const uint8_t *const planes[4], const int strides[4], AVPixelFormat wire,
                            AVPixelFormat planar, const CaptureGeometry &target, bool flip, uchar *dst)
    {
        const int chromaShift = planar == AV_PIX_FMT_YUV420P ? 1 : 0;
        const int chromaWidth = (target.width + 1) / 2;
        if (!unpacker) {
            unpacker.reset(sws_getContext(target.width, target.height, wire, target.width, target.height, planar,
                                          SWS_POINT, nullptr, nullptr, nullptr));
            if (!unpacker)
                return false;
            strip[0].resize(size_t(target.width) * kStripRows);
            strip[1].resize(size_t(chromaWidth) * (kStripRows >> chromaShift));
            strip[2].resize(strip[1].size());
        }
        const int rowBytes = target.width * 4;
        uint8_t *rows[4] = {flip ? dst + qsizetype(target.height - 1) * rowBytes : dst, nullptr, nullptr, nullptr};
        const int rowStrides[4] = {flip ? -rowBytes : rowBytes, 0, 0, 0};
        uint8_t *stripPlanes[4] = {strip[0].data(), strip[1].data(), strip[2].data(), nullptr};
        const int stripStrides[4] = {target.width, chromaWidth, chromaWidth, 0};
        for (int y = 0; y < target.height; y += kStripRows) {
            const int count = std::min(kStripRows, target.height - y);
            const uint8_t *source[4] = {planes[0] + qsizetype(y) * strides[0],
                                        planes[1] ? planes[1] + qsizetype(y >> chromaShift) * strides[1] : nullptr,
                                        nullptr, nullptr};
            if (sws_scale(unpacker.get(), source, strides, 0, count, stripPlanes, stripStrides) <= 0
                || sws_scale(scaler.get(), stripPlanes, stripStrides, y, count, rows, rowStrides) <= 0)
                return false;
        }
        return true;
    }
};

CameraPictureConverter::CameraPictureConverter(const CaptureGeometry &geometry)
    : m_geometry(geometry)
    , m_decoder(std::make_unique<Decoder>())
{
}

CameraPictureConverter::~CameraPictureConverter() = default;

qsizetype CameraPictureConverter::minimumSampleLength(const CaptureGeometry &geometry)
{
    const qsizetype width = geometry.width;
    const qsizetype height = geometry.height;
    if (width < 1 || height < 1 || geometry.pixelFormat == CapturePixelFormat::Mjpeg)
        return 0;
    const qsizetype rowBytes = width * bytesPerPixelOfFirstPlane(geometry.pixelFormat);
    const qsizetype stride = std::max(geometry.rowStride, rowBytes);
    const qsizetype chromaRows = (height + 1) / 2;
    switch (geometry.pixelFormat) {
    case CapturePixelFormat::Nv12:
        // The interleaved U, V plane follows at stride * height, at the same stride.
        return stride * height + stride * (chromaRows - 1) + (width + 1) / 2 * 2;
    case CapturePixelFormat::Yu12: {
        const qsizetype chromaStride = stride / 2;
        return stride * height + chromaStride * chromaRows + chromaStride * (chromaRows - 1) + (width + 1) / 2;
    }
    default:
        // The last row needs only its pixels, not its padding.
        return stride * (height - 1) + rowBytes;
    }
}

bool CameraPictureConverter::refuse(const QString &why)
{
    m_problem = why;
    return false;
}

bool CameraPictureConverter::convert(const uchar *data, qsizetype length, bool flip, uchar *dst)
{
    m_problem.clear();
    if (!data || !dst || m_geometry.width < 1 || m_geometry.height < 1)
        return refuse(QStringLiteral("no picture"));
    const bool reversed = flip != !m_geometry.topDown;
    switch (m_geometry.pixelFormat) {
    case CapturePixelFormat::Mjpeg:
        return convertMjpeg(data, length, reversed, dst);
    case CapturePixelFormat::Bgr24:
        return convertBgr24(data, length, flip, dst);
    default:
        return convertYuv(data, length, reversed, dst);
    }
}

bool CameraPictureConverter::convertBgr24(const uchar *data, qsizetype length, bool flip, uchar *dst)
{
    const qsizetype stride = m_geometry.rowStride > 0
        ? m_geometry.rowStride
        : bgr24RowStride(length, m_geometry.width, m_geometry.height);
    if (!convertBgr24ToRgba(data, length, stride, m_geometry.width, m_geometry.height, m_geometry.topDown, flip, dst))
        return refuse(QStringLiteral("%1 bytes cannot hold a %2x%3 picture").arg(length).arg(m_geometry.width).arg(m_geometry.height));
    return true;
}

bool CameraPictureConverter::convertYuv(const uchar *data, qsizetype length, bool flip, uchar *dst)
{
    const CaptureGeometry &g = m_geometry;
    const qsizetype needed = minimumSampleLength(g);
    if (length < needed)
        return refuse(QStringLiteral("%1 bytes cannot hold a %2x%3 picture (%4 needed)").arg(length).arg(g.width).arg(g.height).arg(needed));
    if (isAllZero(data, needed))
        return refuse(QStringLiteral("the buffer holds only zero bytes"));

    const AVPixelFormat format = packedFormat(g.pixelFormat);
    const AVPixelFormat unpacked = unpackedFormat(g.pixelFormat);
    const bool isRgb = g.pixelFormat == CapturePixelFormat::Rgb24;
    if (!m_decoder->prepareScaler(g.width, g.height, unpacked != AV_PIX_FMT_NONE ? unpacked : format,
                                  isRgb || g.yuvFullRange, g.yuvBt709, g))
        return refuse(QStringLiteral("no conversion from %1").arg(QLatin1String(av_get_pix_fmt_name(format))));

    const int stride = int(std::max<qsizetype>(g.rowStride, qsizetype(g.width) * bytesPerPixelOfFirstPlane(g.pixelFormat)));
    const uint8_t *planes[4] = {data, nullptr, nullptr, nullptr};
    int strides[4] = {stride, 0, 0, 0};
    if (g.pixelFormat == CapturePixelFormat::Nv12) {
        planes[1] = data + qsizetype(stride) * g.height;
        strides[1] = stride;
    } else if (g.pixelFormat == CapturePixelFormat::Yu12) {
        const qsizetype chromaPlane = qsizetype(stride / 2) * ((g.height + 1) / 2);
        planes[1] = data + qsizetype(stride) * g.height;
        planes[2] = planes[1] + chromaPlane;
        strides[1] = strides[2] = stride / 2;
    }
    const bool converted = unpacked != AV_PIX_FMT_NONE
        ? m_decoder->scaleThroughStrips(planes, strides, format, unpacked, g, flip, dst)
        : m_decoder->scale(planes, strides, g.height, g, flip, dst);
    if (!converted)
        return refuse(QStringLiteral("conversion failed"));
    return true;
}

bool CameraPictureConverter::convertMjpeg(const uchar *data, qsizetype length, bool flip, uchar *dst)
{
    // Drivers may leave zero padding after the picture; the picture itself ends with EOI.
    while (length > 4 && data[length - 1] == 0)
        --length;
    if (length < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return refuse(QStringLiteral("no JPEG picture in the buffer"));
    if (data[length - 2] != 0xFF || data[length - 1] != 0xD9)
        return refuse(QStringLiteral("the JPEG picture is cut off"));

    Decoder &d = *m_decoder;
    if (!d.codec) {
        const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
        d.codec.reset(codec ? avcodec_alloc_context3(codec) : nullptr);
        d.frame.reset(av_frame_alloc());
        d.packet.reset(av_packet_alloc());
        if (!d.codec || !d.frame || !d.packet)
            return refuse(QStringLiteral("no MJPEG decoder"));
        d.codec->thread_count = 1;
        d.codec->log_level_offset = kQuietDecoderLogOffset;
        if (avcodec_open2(d.codec.get(), codec, nullptr) < 0) {
            d.codec.reset();
            return refuse(QStringLiteral("the MJPEG decoder does not open"));
        }
    }

    d.padded.resize(size_t(length) + AV_INPUT_BUFFER_PADDING_SIZE);
    std::memcpy(d.padded.data(), data, size_t(length));
    std::memset(d.padded.data() + length, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    d.packet->data = d.padded.data();
    d.packet->size = int(length);

    int result = avcodec_send_packet(d.codec.get(), d.packet.get());
    if (result >= 0)
        result = avcodec_receive_frame(d.codec.get(), d.frame.get());
    if (result < 0) {
        // A decoder that choked may hold state from the broken picture; start the next clean.
        avcodec_flush_buffers(d.codec.get());
        return refuse(QStringLiteral("the JPEG picture does not decode"));
    }
    const AVFrame &frame = *d.frame;
    const bool damaged = frame.decode_error_flags != 0 || (frame.flags & AV_FRAME_FLAG_CORRUPT) != 0;
    if (damaged || frame.width < 1 || frame.height < 1) {
        av_frame_unref(d.frame.get());
        return refuse(QStringLiteral("the JPEG picture is damaged"));
    }

    bool isFullRange = frame.color_range == AVCOL_RANGE_JPEG;
    const AVPixelFormat format = plainFormat(AVPixelFormat(frame.format), &isFullRange);
    const bool isBt709 = frame.colorspace == AVCOL_SPC_BT709;
    bool converted = d.prepareScaler(frame.width, frame.height, format, isFullRange, isBt709, m_geometry);
    if (converted)
        converted = d.scale(frame.data, frame.linesize, frame.height, m_geometry, flip, dst);
    av_frame_unref(d.frame.get());
    return converted ? true : refuse(QStringLiteral("no conversion from the decoded JPEG picture"));
}
