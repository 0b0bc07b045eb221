#include "capture/Picture.h"

#include <cstring>

const char *pixelFormatName(PixelFormat format)
{
    switch (format) {
    case PixelFormat::Rgba: return "RGBA";
    case PixelFormat::Yuv420p: return "I420";
    case PixelFormat::Nv12: return "NV12";
    case PixelFormat::Yuv422p: return "4:2:2";
    case PixelFormat::Yuyv: return "YUYV";
    case PixelFormat::Mjpeg: return "MJPEG";
    case PixelFormat::H264: return "H.264";
    }
    return "?";
}

int Picture::rowBytes(PixelFormat format, int width, int plane)
{
    const int chromaWidth = (width + 1) / 2;
    switch (format) {
    case PixelFormat::Rgba: return plane == 0 ? width * 4 : 0;
    case PixelFormat::Yuyv: return plane == 0 ? chromaWidth * 4 : 0;
    case PixelFormat::Nv12: return plane == 0 ? width : plane == 1 ? chromaWidth * 2 : 0;
    case PixelFormat::Yuv420p:
    case PixelFormat::Yuv422p: return plane == 0 ? width : plane < 3 ? chromaWidth : 0;
    case PixelFormat::Mjpeg:
    case PixelFormat::H264: break;
    }
    return 0;
}

int Picture::planeRows(PixelFormat format, int height, int plane)
{
    switch (format) {
    case PixelFormat::Rgba:
    case PixelFormat::Yuyv: return plane == 0 ? height : 0;
    case PixelFormat::Nv12: return plane == 0 ? height : plane == 1 ? (height + 1) / 2 : 0;
    case PixelFormat::Yuv420p: return plane == 0 ? height : plane < 3 ? (height + 1) / 2 : 0;
    case PixelFormat::Yuv422p: return plane < 3 ? height : 0;
    case PixelFormat::Mjpeg:
    case PixelFormat::H264: break;
    }
    return 0;
}

qsizetype Picture::tightSize(PixelFormat format, int width, int height)
{
    if (width < 1 || height < 1)
        return 0;
    qsizetype total = 0;
    for (int plane = 0; plane < MaxPlanes; ++plane)
        total += qsizetype(rowBytes(format, width, plane)) * planeRows(format, height, plane);
    return total;
}

Picture::Planes Picture::tightLayout(PixelFormat format, int width, int height, const uchar *base)
{
    Planes planes;
    if (isCompressedFormat(format)) {
        planes.data[0] = base;
        return planes;
    }
    const uchar *next = base;
    for (int plane = 0; plane < MaxPlanes; ++plane) {
        const int bytes = rowBytes(format, width, plane);
        if (bytes == 0)
            break;
        planes.data[plane] = next;
        planes.strides[plane] = bytes;
        next += qsizetype(bytes) * planeRows(format, height, plane);
    }
    return planes;
}

Picture::Picture(QByteArray bytes)
{
    auto storage = std::make_shared<const QByteArray>(std::move(bytes));
    m_bytes = storage.get();
    m_size = storage->size();
    m_planes.data[0] = reinterpret_cast<const uchar *>(storage->constData());
    m_owner = std::move(storage);
}

Picture Picture::fromBytes(QByteArray bytes, PixelFormat format, int width, int height, PictureColour colour)
{
    return Picture(std::make_shared<const QByteArray>(std::move(bytes)), format, width, height, colour);
}

Picture::Picture(std::shared_ptr<const QByteArray> storage, PixelFormat format, int width, int height,
                 PictureColour colour)
    : m_colour(colour)
{
    if (!storage)
        return;
    m_bytes = storage.get();
    m_owner = std::move(storage);
    setTight(*m_bytes, format, width, height);
}

Picture::Picture(std::shared_ptr<const void> owner, PixelFormat format, int width, int height,
                 const Planes &planes, qsizetype bytes, PictureColour colour)
    : m_owner(std::move(owner))
    , m_planes(planes)
    , m_size(m_owner ? bytes : 0)
    , m_width(width)
    , m_height(height)
    , m_format(format)
    , m_colour(colour)
{
}

void Picture::setTight(const QByteArray &bytes, PixelFormat format, int width, int height)
{
    m_format = format;
    m_width = width;
    m_height = height;
    m_size = bytes.size();
    m_planes = tightLayout(format, width, height, reinterpret_cast<const uchar *>(bytes.constData()));
}

const QByteArray &Picture::bytes() const
{
    static const QByteArray empty;
    return m_bytes ? *m_bytes : empty;
}

int Picture::planeCount() const
{
    int count = 0;
    while (count < MaxPlanes && m_planes.data[count])
        ++count;
    return count;
}

bool Picture::isComplete() const
{
    if (m_width < 1 || m_height < 1 || !m_owner)
        return false;
    if (isCompressed())
        return m_size > 0;
    // A picture in one array holds its whole tight layout; a decoded frame is whole by nature.
    return !m_bytes || m_size >= tightSize(m_format, m_width, m_height);
}

Picture Picture::withSize(int width, int height) const
{
    if (m_width > 0 || m_format != PixelFormat::Rgba || !m_bytes || width < 1 || height < 1
        || m_size < qsizetype(width) * height * 4)
        return *this;
    Picture sized = *this;
    sized.m_width = width;
    sized.m_height = height;
    sized.m_planes.strides[0] = width * 4;
    return sized;
}

bool operator==(const Picture &a, const Picture &b)
{
    if (a.m_format != b.m_format || a.m_width != b.m_width || a.m_height != b.m_height)
        return false;
    if (a.isCompressed() || a.m_width == 0) {
        return a.m_size == b.m_size
               && (a.m_size == 0 || std::memcmp(a.m_planes.data[0], b.m_planes.data[0], size_t(a.m_size)) == 0);
    }
    for (int plane = 0; plane < Picture::MaxPlanes; ++plane) {
        const int bytes = Picture::rowBytes(a.m_format, a.m_width, plane);
        const int rows = Picture::planeRows(a.m_format, a.m_height, plane);
        if (bytes == 0)
            break;
        if (!a.m_planes.data[plane] || !b.m_planes.data[plane])
            return a.m_planes.data[plane] == b.m_planes.data[plane];
        for (int row = 0; row < rows; ++row) {
            if (std::memcmp(a.m_planes.data[plane] + qsizetype(row) * a.m_planes.strides[plane],
                            b.m_planes.data[plane] + qsizetype(row) * b.m_planes.strides[plane], size_t(bytes)) != 0)
                return false;
        }
    }
    return true;
}
