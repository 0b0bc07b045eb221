#include "recording/CameraStreamPackets.h"

#include <climits>

CameraStreamPackets::CameraStreamPackets(PixelFormat codec)
    : m_codec(codec)
    , m_packet(av_packet_alloc())
{
}

void CameraStreamPackets::describe(AVCodecParameters *parameters, PixelFormat codec, int width, int height)
{
    parameters->codec_type = AVMEDIA_TYPE_VIDEO;
    parameters->codec_id = codec == PixelFormat::H264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_MJPEG;
    parameters->width = width;
    parameters->height = height;
    parameters->sample_aspect_ratio = AVRational{1, 1};
    // A JPEG says its colour itself: BT.601, full range.
    if (codec == PixelFormat::Mjpeg) {
        parameters->format = AV_PIX_FMT_YUVJ422P;
        parameters->color_range = AVCOL_RANGE_JPEG;
        parameters->color_space = AVCOL_SPC_BT470BG;
    }
}

QByteArray CameraStreamPackets::parameterSets(const uchar *data, qsizetype length)
{
    QByteArray sets;
    // NAL units start after 00 00 01 (or 00 00 00 01) and run to the next start code.
    qsizetype start = -1;
    const auto keep = [&](qsizetype from, qsizetype to) {
        while (to > from && data[to - 1] == 0)
            --to; // the zero before a four-byte start code belongs to the next one
        if (from < to && ((data[from] & 0x1F) == 7 || (data[from] & 0x1F) == 8)) {
            sets.append("\x00\x00\x00\x01", 4);
            sets.append(reinterpret_cast<const char *>(data + from), to - from);
        }
    };
    for (qsizetype i = 0; i + 2 < length; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            if (start >= 0)
                keep(start, i);
            start = i + 3;
            i += 2;
        }
    }
    if (start >= 0)
        keep(start, length);
    return sets;
}

bool CameraStreamPackets::put(const Picture &picture, qint64 frameIndex, qint64 durationFrames, const Write &write)
{
    if (!m_packet || picture.isEmpty())
        return false;
    // The packet's buffer holds a copy of the picture (a reference, not the bytes) until the
    // muxer lets go of it.
    auto *held = new Picture(picture);
    AVBufferRef *buffer = av_buffer_create(const_cast<uint8_t *>(picture.plane(0)), int(std::min<qsizetype>(picture.size(), INT_MAX)),
                                           [](void *opaque, uint8_t *) { delete static_cast<Picture *>(opaque); }, held,
                                           AV_BUFFER_FLAG_READONLY);
    if (!buffer) {
        delete held;
        return false;
    }
    AVPacket *packet = m_packet.get();
    av_packet_unref(packet);
    packet->buf = buffer;
    packet->data = buffer->data;
    packet->size = buffer->size;
    packet->pts = packet->dts = frameIndex;
    packet->duration = std::max<qint64>(1, durationFrames);
    if (picture.isKeyFrame())
        packet->flags |= AV_PKT_FLAG_KEY;
    const bool written = write(packet);
    av_packet_unref(packet);
    return written;
}

bool CameraStreamPackets::add(const Picture &picture, qint64 frameIndex, const Write &write)
{
    if (m_codec == PixelFormat::Mjpeg)
        return put(picture, frameIndex, 1, write);
    bool written = true;
    if (m_held)
        written = put(m_held->picture, m_held->frameIndex, frameIndex - m_held->frameIndex, write);
    m_held = Held{picture, frameIndex};
    return written;
}

bool CameraStreamPackets::finish(qint64 endFrame, const Write &write)
{
    if (!m_held)
        return true;
    const Held held = *m_held;
    m_held.reset();
    return put(held.picture, held.frameIndex, endFrame - held.frameIndex, write);
}
