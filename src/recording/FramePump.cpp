#include "recording/FramePump.h"

#include "capture/ISource.h"
#include "recording/IEncoder.h"

#include <algorithm>

void FramePump::addChannel(int channelId, std::shared_ptr<IEncoder> encoder, int width, int height,
                           qint64 firstSlot)
{
    if (!encoder)
        return;
    Channel channel;
    channel.encoder = std::move(encoder);
    channel.firstSlot = std::max<qint64>(0, firstSlot);
    channel.width = width;
    channel.height = height;
    m_channels[channelId] = std::move(channel);
}

qint64 FramePump::slotsStartedBy(qint64 elapsedNs) const
{
    return m_rate.slotsStartedBy(elapsedNs);
}

qint64 FramePump::slotsCovering(qint64 durationNs) const
{
    return std::max<qint64>(1, m_rate.framesIn(durationNs));
}

qint64 FramePump::slotStartNs(qint64 slot) const
{
    return m_startNs + m_rate.frameStartNs(slot);
}

VideoFrame FramePump::pictureFor(Channel &channel, const std::shared_ptr<ISource> &source, qint64 slotEndNs)
{
    if (source && source->isRunning()) {
        VideoFrame frame;
        frame.width = source->width();
        frame.height = source->height();
        source->pictureAt(slotEndNs, frame.pixels);
        if (frame.width >= 1 && frame.height >= 1
            && frame.pixels.size() >= qsizetype(frame.width) * frame.height * 4)
            channel.lastPicture = frame;
    }
    if (channel.lastPicture.pixels.isEmpty()) {
        // Nothing from the camera yet: black at the encoder's size (alpha 255).
        VideoFrame black;
        black.width = channel.width;
        black.height = channel.height;
        black.pixels = opaqueBlackPixels(black.width, black.height);
        channel.lastPicture = black;
    }
    return channel.lastPicture;
}

qint64 FramePump::firstSlot(int channelId) const
{
    auto it = m_channels.find(channelId);
    return it == m_channels.end() ? 0 : it->second.firstSlot;
}

int FramePump::pump(qint64 dueFrames, const SourceLookup &sourceFor)
{
    int sent = 0;
    for (auto &[channelId, channel] : m_channels) {
        const qint64 due = dueFrames - channel.firstSlot;
        if (!channel.encoder || channel.framesSent >= due)
            continue;
        const std::shared_ptr<ISource> source = sourceFor(channelId);
        while (channel.framesSent < due) {
            // The picture taken within the slot: the newest one before the slot ends.
            const Picture previous = channel.lastPicture.pixels;
            const qint64 slot = channel.firstSlot + channel.framesSent;
            VideoFrame frame = pictureFor(channel, source, slotStartNs(slot + 1) - 1);
            // The same picture as the slot before: no new picture came (a source never writes
            // into a picture a reader holds, so a new picture is always another one).
            if (channel.framesSent > 0 && frame.pixels.isSharedWith(previous))
                ++channel.repeatedFrames;
            frame.frameIndex = channel.framesSent++;
            channel.encoder->writeFrame(frame);
            ++sent;
        }
    }
    return sent;
}

qint64 FramePump::framesSent(int channelId) const
{
    auto it = m_channels.find(channelId);
    return it == m_channels.end() ? 0 : it->second.framesSent;
}

qint64 FramePump::repeatedFrames(int channelId) const
{
    auto it = m_channels.find(channelId);
    return it == m_channels.end() ? 0 : it->second.repeatedFrames;
}

qint64 FramePump::totalRepeatedFrames() const
{
    qint64 total = 0;
    for (const auto &[id, channel] : m_channels)
        total += channel.repeatedFrames;
    return total;
}

qint64 FramePump::totalFramesSent() const
{
    qint64 total = 0;
    for (const auto &[id, channel] : m_channels)
        total += channel.framesSent;
    return total;
}
