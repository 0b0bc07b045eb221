// EncoderPictureConverter: a picture, in whatever format its camera delivered it, into the
// frame an encoder takes (planar 4:2:0, or NV12 for hardware uploads), converted at most once:
//   same layout, size and colour    the picture itself is sent (wrapped, not one pixel copied);
//   same size, YUV                  YuvConverter: layout, range and matrix in one pass;
//   RGBA                            libswscale, with the destination's matrix;
//   another size                    scaled bilinearly by libswscale into the letterbox
//                                   rectangle (EncoderGeometry.h) on black bars; a YUV picture
//                                   of another matrix is first made the destination's colour.
// The source side (what the picture is) is read from the picture; the destination side
// (layout, size, colour) is what the encoder was opened with.
//
// Owned by FfmpegVideoCodec; used on the encoder's worker thread only.
#pragma once

#include "capture/Picture.h"
#include "common/FfmpegPtr.h"
#include "recording/YuvConverter.h"

#include <QSize>

// The destination side of the picture conversion: the encoder's frame and how its pixels are
// coded (matrix, range), as pictureDestinationFor() makes it from the stream's colour labels.
struct PictureDestination
{
    QSize size;
    AVPixelFormat format = AV_PIX_FMT_YUV420P; // YUV420P, or NV12 (also for GPU upload)
    int swsColorspace = 0;                     // SWS_CS_* of the matrix the stream is labelled with
    bool fullRange = false;
    uint8_t blackLuma = 16;
    uint8_t blackChroma = 128;
};

class EncoderPictureConverter
{
public:
    // How the last picture went in, for tests and benchmarks.
    enum class Path { None, Wrapped, Yuv, Scaled };

    EncoderPictureConverter() = default;
    EncoderPictureConverter(const EncoderPictureConverter &) = delete;
    EncoderPictureConverter &operator=(const EncoderPictureConverter &) = delete;

    // The encoder's frames: layout (YUV420P or NV12), size, colour.
    void setTarget(const PictureDestination &destination);

    // Makes the frame to send for `picture`: either *wrapped (the picture itself) or `frame`
    // (the encoder's own, made writable and filled here); *toSend points at the one to send.
    // Returns 0, or an FFmpeg error.
    int prepare(const Picture &picture, AVFrame *frame, FramePtr *wrapped, AVFrame **toSend);

    Path lastPath() const { return m_lastPath; }

private:
    int scale(const Picture &picture, AVFrame *frame);
    void fillBlack(AVFrame *frame) const;

    AVPixelFormat m_format = AV_PIX_FMT_YUV420P;
    QSize m_size;
    PictureColour m_colour;
    uint8_t m_blackLuma = 16;
    uint8_t m_blackChroma = 128;
    YuvConverter m_yuv;
    struct ScalerShape
    {
        QSize source;
        PixelFormat format = PixelFormat::Rgba;
        QSize scaled;
        bool isUnscaled = false;
        bool operator==(const ScalerShape &other) const = default;
    };
    SwsContextPtr m_scaler;
    ScalerShape m_scalerShape;     // what m_scaler was made for
    PictureColour m_scalerColour; // the source colour m_scaler was set up for
    FramePtr m_intermediate; // a YUV picture of another matrix, made the destination's colour
    // Geometry of the previous picture; the bars are refilled when it changes or the frame
    // buffer was replaced.
    QSize m_lastPictureSize;
    const uint8_t *m_lastFrameBuffer = nullptr;
    Path m_lastPath = Path::None;
};
