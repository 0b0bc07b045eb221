#include "capture/CameraPictureConverter.h"

#include "capture/FrameConversion.h"
#include "capture/PictureDecoder.h"
#include "capture/PicturePool.h"

#include <algorithm>
#include <cstring>

namespace {

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

bool isCompressedLayout(CapturePixelFormat format)
{
    return format == CapturePixelFormat::Mjpeg || format == CapturePixelFormat::H264;
}

// Copies `rows` rows of `rowBytes` from a strided source into tight rows, last row first when
// reversed.
void copyRows(const uchar *source, qsizetype sourceStride, uchar *target, int rowBytes, int rows, bool reversed)
{
    for (int row = 0; row < rows; ++row) {
        const int from = reversed ? rows - 1 - row : row;
        std::memcpy(target + qsizetype(row) * rowBytes, source + qsizetype(from) * sourceStride, size_t(rowBytes));
    }
}

void uyvyRowToYuyv(const uchar *source, uchar *target, int rowBytes)
{
    for (int i = 0; i + 3 < rowBytes; i += 4) {
        target[i] = source[i + 1];
        target[i + 1] = source[i];
        target[i + 2] = source[i + 3];
        target[i + 3] = source[i + 2];
    }
}

void rgbRowToRgba(const uchar *source, uchar *target, int width)
{
    for (int x = 0; x < width; ++x, source += 3, target += 4) {
        target[0] = source[0];
        target[1] = source[1];
        target[2] = source[2];
        target[3] = 255;
    }
}

} // namespace

CameraPictureConverter::CameraPictureConverter(const CaptureGeometry &geometry, PicturePool &pool)
    : m_geometry(geometry)
    , m_pool(pool)
{
    if (!isCompressedLayout(geometry.pixelFormat))
        m_decodedFormat = pictureFormatFor(geometry.pixelFormat);
}

CameraPictureConverter::~CameraPictureConverter() = default;

PixelFormat CameraPictureConverter::pictureFormatFor(CapturePixelFormat layout)
{
    switch (layout) {
    case CapturePixelFormat::Yuyv:
    case CapturePixelFormat::Uyvy: return PixelFormat::Yuyv;
    case CapturePixelFormat::Nv12: return PixelFormat::Nv12;
    case CapturePixelFormat::Yu12: return PixelFormat::Yuv420p;
    case CapturePixelFormat::Mjpeg: return PixelFormat::Mjpeg;
    case CapturePixelFormat::H264: return PixelFormat::H264;
    case CapturePixelFormat::Bgr24:
    case CapturePixelFormat::Rgb24: break;
    }
    return PixelFormat::Rgba;
}

PictureColour CameraPictureConverter::colourOf(const CaptureGeometry &geometry)
{
    PictureColour colour;
    colour.matrix = geometry.yuvBt709 ? ColourMatrix::Bt709 : ColourMatrix::Bt601;
    colour.isFullRange = geometry.yuvFullRange;
    return colour;
}

qsizetype CameraPictureConverter::minimumSampleLength(const CaptureGeometry &geometry)
{
    const qsizetype width = geometry.width;
    const qsizetype height = geometry.height;
    if (width < 1 || height < 1 || isCompressedLayout(geometry.pixelFormat))
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

bool CameraPictureConverter::convert(const uchar *data, qsizetype length, bool flip, bool keepCompressed, Picture *out)
{
    m_problem.clear();
    if (!data || !out || m_geometry.width < 1 || m_geometry.height < 1)
        return refuse(QStringLiteral("no picture"));
    const bool reversed = flip != !m_geometry.topDown;
    if (isCompressedLayout(m_geometry.pixelFormat))
        return convertCompressed(data, length, reversed, keepCompressed, out);
    return convertRaw(data, length, reversed, out);
}

bool CameraPictureConverter::convertRaw(const uchar *data, qsizetype length, bool reversed, Picture *out)
{
    const CaptureGeometry &g = m_geometry;
    const int width = g.width;
    const int height = g.height;
    const PixelFormat format = pictureFormatFor(g.pixelFormat);

    qsizetype stride = std::max<qsizetype>(g.rowStride, qsizetype(width) * bytesPerPixelOfFirstPlane(g.pixelFormat));
    if (g.pixelFormat == CapturePixelFormat::Bgr24 && g.rowStride <= 0)
        stride = bgr24RowStride(length, width, height);
    const qsizetype needed = g.pixelFormat == CapturePixelFormat::Bgr24 && g.rowStride <= 0
        ? stride * (height - 1) + qsizetype(width) * 3
        : minimumSampleLength(g);
    if (length < needed)
        return refuse(QStringLiteral("%1 bytes cannot hold a %2x%3 picture (%4 needed)").arg(length).arg(width).arg(height).arg(needed));
    if (isAllZero(data, needed))
        return refuse(QStringLiteral("the buffer holds only zero bytes"));

    std::shared_ptr<QByteArray> buffer = m_pool.acquire(Picture::tightSize(format, width, height));
    // data() does not copy: the pool handed out a buffer nobody else holds.
    uchar *target = reinterpret_cast<uchar *>(buffer->data());
    const Picture::Planes planes = Picture::tightLayout(format, width, height, target);
    uchar *plane0 = const_cast<uchar *>(planes.data[0]);

    switch (g.pixelFormat) {
    case CapturePixelFormat::Bgr24:
        if (!convertBgr24ToRgba(data, length, stride, width, height, !reversed, false, plane0))
            return refuse(QStringLiteral("%1 bytes cannot hold a %2x%3 picture").arg(length).arg(width).arg(height));
        break;
    case CapturePixelFormat::Rgb24:
        for (int row = 0; row < height; ++row)
            rgbRowToRgba(data + qsizetype(reversed ? height - 1 - row : row) * stride, plane0 + qsizetype(row) * width * 4, width);
        break;
    case CapturePixelFormat::Uyvy:
        for (int row = 0; row < height; ++row)
            uyvyRowToYuyv(data + qsizetype(reversed ? height - 1 - row : row) * stride, plane0 + qsizetype(row) * planes.strides[0],
                          planes.strides[0]);
        break;
    case CapturePixelFormat::Yuyv:
        copyRows(data, stride, plane0, planes.strides[0], height, reversed);
        break;
    case CapturePixelFormat::Nv12:
        copyRows(data, stride, plane0, planes.strides[0], height, reversed);
        copyRows(data + stride * height, stride, const_cast<uchar *>(planes.data[1]), planes.strides[1],
                 Picture::planeRows(format, height, 1), reversed);
        break;
    case CapturePixelFormat::Yu12: {
        const qsizetype chromaStride = stride / 2;
        const int chromaRows = Picture::planeRows(format, height, 1);
        const uchar *u = data + stride * height;
        copyRows(data, stride, plane0, planes.strides[0], height, reversed);
        copyRows(u, chromaStride, const_cast<uchar *>(planes.data[1]), planes.strides[1], chromaRows, reversed);
        copyRows(u + chromaStride * chromaRows, chromaStride, const_cast<uchar *>(planes.data[2]), planes.strides[2],
                 chromaRows, reversed);
        break;
    }
    case CapturePixelFormat::Mjpeg:
    case CapturePixelFormat::H264: return refuse(QStringLiteral("no picture"));
    }
    *out = Picture(std::move(buffer), format, width, height, colourOf(g));
    return true;
}

bool CameraPictureConverter::convertCompressed(const uchar *data, qsizetype length, bool reversed, bool keepCompressed,
                                               Picture *out)
{
    const PixelFormat codec = m_geometry.pixelFormat == CapturePixelFormat::H264 ? PixelFormat::H264 : PixelFormat::Mjpeg;
    if (codec == PixelFormat::Mjpeg) {
        // Drivers may leave zero padding after the picture; the picture itself ends with EOI.
        while (length > 4 && data[length - 1] == 0)
            --length;
        if (length < 4 || data[0] != 0xFF || data[1] != 0xD8)
            return refuse(QStringLiteral("no JPEG picture in the buffer"));
        if (data[length - 2] != 0xFF || data[length - 1] != 0xD9)
            return refuse(QStringLiteral("the JPEG picture is cut off"));
    } else if (length < 4 || data[0] != 0 || data[1] != 0 || (data[2] != 1 && (data[2] != 0 || data[3] != 1))) {
        return refuse(QStringLiteral("no H.264 picture in the buffer"));
    }

    if (keepCompressed) {
        std::shared_ptr<QByteArray> buffer = m_pool.acquire(length, PicturePool::Size::AtLeast);
        std::memcpy(buffer->data(), data, size_t(length));
        *out = Picture(std::move(buffer), codec, m_geometry.width, m_geometry.height);
        out->setKeyFrame(codec == PixelFormat::Mjpeg || isH264KeyFrame(data, length));
        // An H.264 decoder fed again later must start from a key frame.
        if (m_decoder)
            m_decoder->reset();
        return true;
    }

    if (!m_decoder || m_decoder->codec() != codec)
        m_decoder = std::make_unique<PictureDecoder>(codec);
    Picture picture = m_decoder->decode(data, length);
    if (picture.isEmpty())
        return refuse(m_decoder->problem());
    m_decodedFormat = picture.format();
    *out = reversed ? flipped(picture) : std::move(picture);
    return !out->isEmpty() || refuse(QStringLiteral("no picture"));
}

Picture CameraPictureConverter::flipped(const Picture &picture)
{
    const PixelFormat format = picture.format();
    std::shared_ptr<QByteArray> buffer = m_pool.acquire(Picture::tightSize(format, picture.width(), picture.height()));
    const Picture::Planes planes = Picture::tightLayout(format, picture.width(), picture.height(),
                                                        reinterpret_cast<const uchar *>(buffer->data()));
    for (int plane = 0; plane < picture.planeCount(); ++plane)
        copyRows(picture.plane(plane), picture.stride(plane), const_cast<uchar *>(planes.data[plane]), planes.strides[plane],
                 Picture::planeRows(format, picture.height(), plane), true);
    return Picture(std::move(buffer), format, picture.width(), picture.height(), picture.colour());
}
