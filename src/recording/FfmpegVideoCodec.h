// FfmpegVideoCodec: one opened FFmpeg video encoder together with the conversion of pictures
// into what it takes (4:2:0 or NV12, uploaded to the GPU for VAAPI). How the settings are
// told to each encoder family is EncoderSetup's; this class applies it.
// FfmpegEncoder owns one per file: it opens it on the GUI thread before its worker starts and
// from then on only the worker touches it. FfmpegEncoder::isEncoderUsable() opens a short-lived
// one to probe an encoder. Not thread-safe; no locks.
//
// Each picture is converted at most once, straight into the encoder's frame, and not at all
// when it is already what the encoder takes (EncoderPictureConverter: the picture's side
// read from the picture, the destination's from PictureDestination).
#pragma once

#include "capture/VideoFrame.h"
#include "recording/EncoderConfig.h"
#include "recording/EncoderPictureConverter.h"
#include "recording/EncoderSetup.h"
#include "common/FfmpegPtr.h"
#include "recording/FrameRate.h"

#include <QSize>
#include <QString>

// The library's own text for an FFmpeg error code (av_err2str).
QString ffmpegErrorText(int error);

// The destination side of the picture conversion (PictureDestination, beside the converter):
// the encoder's frame and how its pixels are coded (matrix, range). One place, so the pixels
// and the stream's colour labels agree.
PictureDestination pictureDestinationFor(const ColorDescription &color, QSize encodedSize, AVPixelFormat format);

// "hevc_*" and "libx265" name HEVC encoders, any other known name H.264.
bool isHevcEncoderName(const QString &encoderName);
// nvenc, vaapi and qsv encoders, and on Windows amf and Media Foundation (mf) ones.
bool isHardwareEncoderName(const QString &encoderName);
// The software encoder of the codec `encoderName` encodes ("libx264" or "libx265"); for an
// empty or unknown name, the one of `useHevc`.
QString softwareEncoderFor(const QString &encoderName, bool useHevc);

class FfmpegVideoCodec
{
public:
    FfmpegVideoCodec() = default;
    FfmpegVideoCodec(const FfmpegVideoCodec &) = delete;
    FfmpegVideoCodec &operator=(const FfmpegVideoCodec &) = delete;

    // Opens FFmpeg encoder `encoderName` for `encodedSize` (even) at config.frameRate with the
    // rate control, GOP, B-frames, profile, look-ahead and colour of `config`. `globalHeader`:
    // the container wants the parameter sets out of band (MP4, MOV and Matroska do; MPEG-TS
    // repeats them in the stream). On failure returns false and sets *error.
    bool open(const QString &encoderName, const EncoderConfig &config, QSize encodedSize,
              bool globalHeader, QString *error);
    // What open() asked of the encoder (the notes name what it could not honour).
    const EncoderSetup &setup() const { return m_setup; }

    bool isOpen() const { return bool(m_context); }
    AVCodecContext *context() const { return m_context.get(); }
    QString name() const { return m_name; }

    // Converts the picture into the encoder's frame (or takes it as it is) with pts =
    // frameIndex (the time base is one frame) and sends it. Returns the FFmpeg result (0 on
    // success).
    int sendPicture(const VideoFrame &frame);
    // How the last picture went in (tests and benchmarks).
    EncoderPictureConverter::Path lastConversion() const { return m_converter.lastPath(); }
    // Sends the end of the stream; receivePacket() then returns the delayed packets and finally
    // AVERROR_EOF.
    int sendEndOfStream();
    int receivePacket(AVPacket *packet);

    // New target bitrate for a constant- or variable-bitrate stream, applied by the encoders
    // that support reconfiguration (libx264 among them) from the next frame on.
    void setBitrate(int kbps);

private:
    bool setUpHardwareFrames(const AVCodec *codec, AVCodecContext *context, QString *error);

    QString m_name;
    CodecContextPtr m_context;
    BufferRefPtr m_hardwareDevice;
    BufferRefPtr m_hardwareFrames;
    // The picture in system memory: the encoder's own frame, or the upload source.
    FramePtr m_frame;
    FramePtr m_hardwareFrame;
    EncoderPictureConverter m_converter;
    AVPixelFormat m_softwareFormat = AV_PIX_FMT_NONE;
    EncoderSetup m_setup;
    PictureDestination m_destination;
    int m_rateControl = 0;
    int m_maxBitrateKbps = 0;
};
