// CameraPictureConverter: one native camera sample in, the Picture readers take out, in the
// camera's own format and colour (Picture.h):
//   MJPEG, H.264   decoded by libavcodec to the YUV they hold (the decoder's frame, no copy),
//                  or kept as they came when the channel records the camera's stream;
//   NV12, YU12,    copied once out of the device's buffer into a pool buffer with tight rows
//   YUYV           (the device needs its buffer back), as they are;
//   UYVY           repacked to YUYV in that copy;
//   BGR24, RGB24   made RGBA in that copy (the SIMD rows of FrameConversion for BGR, bottom-up
//                  and padded rows as DirectShow delivers them).
// A sample that cannot be a whole picture (too short, all zero bytes, a JPEG that is cut off
// or does not decode cleanly) is refused, so it never reaches a file as garbage; the caller
// counts it.
//
// One converter per running camera, used only on that camera's delivery thread.
#pragma once

#include "capture/ICaptureDevice.h"
#include "capture/Picture.h"

#include <QString>

#include <memory>

class PictureDecoder;
class PicturePool;

class CameraPictureConverter
{
public:
    CameraPictureConverter(const CaptureGeometry &geometry, PicturePool &pool);
    ~CameraPictureConverter();
    CameraPictureConverter(const CameraPictureConverter &) = delete;
    CameraPictureConverter &operator=(const CameraPictureConverter &) = delete;

    // Makes the picture of `data`. With flip the rows come out in the other order. With
    // keepCompressed an MJPEG or H.264 sample stays the compressed picture it is. False when
    // the sample is refused; problem() then says why.
    bool convert(const uchar *data, qsizetype length, bool flip, bool keepCompressed, Picture *out);
    QString problem() const { return m_problem; }

    // The format and colour the camera's pictures come in once decoded (what the source
    // dialog and the log tell); for MJPEG and H.264 known only after the first picture.
    PixelFormat decodedFormat() const { return m_decodedFormat; }

    // The bytes a sample of this geometry needs at least; 0 for MJPEG and H.264 (any length
    // may hold a picture).
    static qsizetype minimumSampleLength(const CaptureGeometry &geometry);
    // The format a raw layout is kept in (BGR24, RGB24 → RGBA; UYVY → YUYV).
    static PixelFormat pictureFormatFor(CapturePixelFormat layout);
    // The colour a device's geometry declares for its raw YUV pictures.
    static PictureColour colourOf(const CaptureGeometry &geometry);

private:
    bool convertRaw(const uchar *data, qsizetype length, bool flip, Picture *out);
    bool convertCompressed(const uchar *data, qsizetype length, bool flip, bool keepCompressed, Picture *out);
    Picture flipped(const Picture &picture);
    bool refuse(const QString &why);

    const CaptureGeometry m_geometry;
    PicturePool &m_pool;
    std::unique_ptr<PictureDecoder> m_decoder;
    PixelFormat m_decodedFormat = PixelFormat::Rgba;
    QString m_problem;
};
