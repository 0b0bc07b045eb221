// CameraStreamPackets: a camera's own compressed pictures (MJPEG or H.264) as the packets of
// its file, for a channel that records the camera's stream without decoding or encoding it.
// Each packet shares its picture's bytes (no copy) and is timed by its frame index at the
// timeline's rate, the time base of one frame:
//   MJPEG  every picture is a key frame and lasts one frame; a repeated slot repeats the
//          packet, so the file has a constant frame rate like every other;
//   H.264  a picture needs the ones before it and cannot be repeated or left out, so every
//          picture is written once, at the slot the frame pump gave it; it is held back until
//          the next one (or the end of the take) tells how long it lasts.
// Used on its encoder's worker thread only.
#pragma once

#include "capture/Picture.h"
#include "common/FfmpegPtr.h"

#include <QByteArray>

#include <functional>
#include <optional>

class CameraStreamPackets
{
public:
    // Hands a packet (times in frames) to the file; false when it could not be written.
    using Write = std::function<bool(AVPacket *packet)>;

    explicit CameraStreamPackets(PixelFormat codec);

    PixelFormat codec() const { return m_codec; }
    // Puts out the packet of a picture at frameIndex (or the one held back before it).
    bool add(const Picture &picture, qint64 frameIndex, const Write &write);
    // Puts out a held-back picture, lasting until endFrame (one frame when endFrame is not
    // after it).
    bool finish(qint64 endFrame, const Write &write);

    // The sequence and picture parameter sets of an H.264 key frame (Annex B, with start
    // codes): what an MP4 or Matroska file needs in its header. Empty when there are none.
    static QByteArray parameterSets(const uchar *data, qsizetype length);
    // Fills a stream's parameters for the camera's stream.
    static void describe(AVCodecParameters *parameters, PixelFormat codec, int width, int height);

private:
    bool put(const Picture &picture, qint64 frameIndex, qint64 durationFrames, const Write &write);

    const PixelFormat m_codec;
    PacketPtr m_packet;
    struct Held
    {
        Picture picture;
        qint64 frameIndex = 0;
    };
    std::optional<Held> m_held;
};
