// CameraPictureConverter: one native camera picture in, the source's RGBA picture out (8 bits
// per channel, top row first, rows of exactly width * 4 bytes, alpha 255), in one pass:
//   MJPEG          decoded by libavcodec, its YUV planes converted by libswscale;
//   YUYV, UYVY,    converted by libswscale, honouring the row stride (padded bytesperline);
//   NV12, YU12
//   BGR24, RGB24   the SIMD rows of FrameConversion (bottom-up and padded rows as DirectShow
//                  delivers them).
// A sample that cannot be a whole picture (too short, all zero bytes, a JPEG that is cut off
// or does not decode cleanly) is refused, so it never reaches a file as garbage; the caller
// counts it.
//
// One converter per running camera, used only on that camera's delivery thread. MJPEG is
// decoded on that thread alone: libavcodec's MJPEG decoder has no slice or frame threads, and
// with one thread per camera several cameras already keep every core busy.
#pragma once

#include "capture/ICaptureDevice.h"

#include <QString>

#include <memory>

class CameraPictureConverter
{
public:
    explicit CameraPictureConverter(const CaptureGeometry &geometry);
    ~CameraPictureConverter();
    CameraPictureConverter(const CameraPictureConverter &) = delete;
    CameraPictureConverter &operator=(const CameraPictureConverter &) = delete;

    // Converts `data` into dst (width * height * 4 bytes). With flip the rows come out in the
    // other order. False when the sample is refused; problem() then says why, and dst holds
    // nothing a reader should see.
    bool convert(const uchar *data, qsizetype length, bool flip, uchar *dst);
    QString problem() const { return m_problem; }

    // The bytes a sample of this geometry needs at least; 0 for MJPEG (any length may hold a
    // picture).
    static qsizetype minimumSampleLength(const CaptureGeometry &geometry);

private:
    struct Decoder;

    bool convertBgr24(const uchar *data, qsizetype length, bool flip, uchar *dst);
    bool convertYuv(const uchar *data, qsizetype length, bool flip, uchar *dst);
    bool convertMjpeg(const uchar *data, qsizetype length, bool flip, uchar *dst);
    bool refuse(const QString &why);

    const CaptureGeometry m_geometry;
    std::unique_ptr<Decoder> m_decoder;
    QString m_problem;
};
