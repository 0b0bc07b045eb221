// Picture: one camera picture, read-only and shared by everyone who holds it (the camera's
// history, the frame pump, an encoder's queue, the previews). Copying a Picture shares the
// bytes through a std::shared_ptr: the last holder to let go releases them, back to the
// camera's PicturePool (or the decoder's frame pool) when they came from one. Any thread may
// hold, copy and drop a Picture; nobody writes into the bytes once they are one.
//
// A picture keeps the format its camera delivered it in, with the colour the camera declares:
//   Yuv420p  planar 4:2:0 (I420): Y, then U and V at half width and height
//   Nv12     Y, then one plane of interleaved U, V at half width and height
//   Yuv422p  planar 4:2:2: U and V at half width, full height (what MJPEG webcams decode to)
//   Yuyv     packed 4:2:2, Y0 U Y1 V
//   Rgba     8 bits R, G, B, A, alpha 255 (24-bit RGB cameras; pictures made by the program)
//   Mjpeg,   the camera's own compressed picture, for channels that record the camera's
//   H264     stream as it comes; one plane holding the whole picture
// Rows run top first. The encoder converts a picture at most once, into what it takes (not at
// all when it already matches), and RGBA is made only for previews, at the preview's size
// (PicturePreview). Before pictures kept their format, every picture was RGBA at full size.
#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <memory>

enum class PixelFormat : quint8 { Rgba, Yuv420p, Nv12, Yuv422p, Yuyv, Mjpeg, H264 };

// The YUV matrix of a picture; RGBA pictures ignore it.
enum class ColourMatrix : quint8 { Bt601, Bt709, Bt2020 };

struct PictureColour
{
    ColourMatrix matrix = ColourMatrix::Bt601;
    // Full ("JPEG", 0..255) or limited ("TV", 16..235 / 16..240) range.
    bool isFullRange = false;
    bool operator==(const PictureColour &other) const = default;
};

// "I420", "NV12", "4:2:2", "YUYV", "RGBA", "MJPEG", "H.264": for the log and the benchmarks.
const char *pixelFormatName(PixelFormat format);
inline bool isCompressedFormat(PixelFormat format)
{
    return format == PixelFormat::Mjpeg || format == PixelFormat::H264;
}

class Picture
{
public:
    static constexpr int MaxPlanes = 3;
    struct Planes
    {
        const uchar *data[MaxPlanes] = {};
        int strides[MaxPlanes] = {};
    };

    Picture() = default;
    // Tightly packed RGBA bytes made elsewhere (a test picture, a generated frame) whose size
    // the holder knows (a VideoFrame's width and height, see withSize()); implicit, as the
    // array is shared, not copied.
    Picture(QByteArray bytes);
    // Bytes holding the planes of `format` one after another with tight rows (tightLayout()),
    // or the whole compressed picture.
    static Picture fromBytes(QByteArray bytes, PixelFormat format, int width, int height,
                             PictureColour colour = {});
    // A pool buffer laid out the same way; its last release returns it to its owner.
    Picture(std::shared_ptr<const QByteArray> storage, PixelFormat format, int width, int height,
            PictureColour colour = {});
    // Planes in memory that `owner` keeps alive (a decoded frame); `bytes` is their total size.
    Picture(std::shared_ptr<const void> owner, PixelFormat format, int width, int height,
            const Planes &planes, qsizetype bytes, PictureColour colour);

    PixelFormat format() const { return m_format; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    PictureColour colour() const { return m_colour; }
    bool isCompressed() const { return isCompressedFormat(m_format); }
    // A compressed picture that decodes on its own (every MJPEG picture; an H.264 IDR).
    bool isKeyFrame() const { return m_isKeyFrame; }
    void setKeyFrame(bool isKeyFrame) { m_isKeyFrame = isKeyFrame; }

    int planeCount() const;
    const uchar *plane(int index) const { return index >= 0 && index < MaxPlanes ? m_planes.data[index] : nullptr; }
    int stride(int index) const { return index >= 0 && index < MaxPlanes ? m_planes.strides[index] : 0; }
    const Planes &planes() const { return m_planes; }

    // The bytes of a picture that lives in one byte array; empty for a decoded frame.
    const QByteArray &bytes() const;
    const char *constData() const { return reinterpret_cast<const char *>(m_planes.data[0]); }
    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    char at(qsizetype index) const { return constData()[index]; }
    // A picture with a size, its planes all there: what readers accept.
    bool isComplete() const;
    // RGBA bytes without a size (the implicit constructor) given one, when they hold it;
    // any other picture as it is.
    Picture withSize(int width, int height) const;

    // True when both hold the very same bytes (the same picture handed out twice), not merely
    // equal ones.
    bool isSharedWith(const Picture &other) const { return m_owner && m_owner == other.m_owner; }
    // Same format, size and pixels (padding between rows aside).
    friend bool operator==(const Picture &a, const Picture &b);

    // Bytes of the picture with tight rows (0 for compressed formats, whose size is their own).
    static qsizetype tightSize(PixelFormat format, int width, int height);
    // Plane starts and strides of that tight layout over `base`.
    static Planes tightLayout(PixelFormat format, int width, int height, const uchar *base);
    // Bytes in row `row` of plane `plane` that hold pixels.
    static int rowBytes(PixelFormat format, int width, int plane);
    // Rows of plane `plane`.
    static int planeRows(PixelFormat format, int height, int plane);

private:
    void setTight(const QByteArray &bytes, PixelFormat format, int width, int height);

    std::shared_ptr<const void> m_owner;
    const QByteArray *m_bytes = nullptr; // the owner itself when it is a byte array
    Planes m_planes;
    qsizetype m_size = 0;
    int m_width = 0;
    int m_height = 0;
    PixelFormat m_format = PixelFormat::Rgba;
    PictureColour m_colour;
    bool m_isKeyFrame = true;
};
