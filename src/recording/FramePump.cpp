#include "recording/FramePump.h"

#include "recording/IEncoder.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

void FramePump::addChannel(int channelId, std::shared_ptr<IEncoder> encoder, int width, int height,
                           qint64 firstSlot)
{
    if (!encoder)
        return;
    Channel channel;
    channel.needsEveryPicture = encoder->needsEveryPicture();
    channel.awaitsKeyFrame = channel.needsEveryPicture;
    channel.encoder = std::move(encoder);
    channel.firstSlot = std::max<qint64>(0, firstSlot);
    channel.width = width;
    channel.height = height;
    channel.timing = CameraTiming(1e9 / m_rate.toDouble());
    m_channels[channelId] = std::move(channel);
}

qint64 FramePump::firstSlot(int channelId) const
{
    auto it = m_channels.find(channelId);
    return it == m_channels.end() ? 0 : it->second.firstSlot;
}

qint64 FramePump::slotsStartedBy(qint64 elapsedNs) const
{
    return m_rate.slotsStartedBy(elapsedNs);
}

qint64 FramePump::slotsCovering(qint64 durationNs) const
{
    return std::max<qint64>(1, m_rate.framesIn(durationNs));
}

double FramePump::slotStartNs(qint64 slot) const
{
    return double(m_startNs + m_rate.frameStartNs(slot));
}

void FramePump::takeNewPictures(Channel &channel, const std::shared_ptr<ISource> &source)
{
    if (!source || !source->isRunning())
        return;
    if (source.get() != channel.source) {
        // Another camera on the channel: its pictures are numbered on their own.
        channel.source = source.get();
        channel.lastSequence = 0;
    }
    source->picturesAfter(channel.lastSequence, m_scratch);
    for (TimedPicture &picture : m_scratch) {
        // Pictures the source no longer kept when we looked were never shown.
        if (channel.lastSequence > 0 && picture.sequence > channel.lastSequence + 1 && picture.takenNs >= m_startNs)
            channel.skippedPictures += qint64(picture.sequence - channel.lastSequence - 1);
        channel.lastSequence = std::max(channel.lastSequence, picture.sequence);
        if (!picture.picture.isComplete())
            continue;
        channel.timing.note(picture.takenNs, picture.arrivedNs, m_startNs);
        if (channel.hasPictures && picture.takenNs <= channel.newestTakenNs)
            continue; // a stamp from before the newest cannot go after it
        channel.newestTakenNs = picture.takenNs;
        channel.hasPictures = true;
        channel.pending.push_back(std::move(picture));
    }
    m_scratch.clear();
}

void FramePump::sendSlot(Channel &channel, double instantNs)
{
    std::optional<TimedPicture> chosen;
    while (!channel.pending.empty() && double(channel.pending.front().takenNs) < instantNs) {
        if (chosen && chosen->takenNs >= m_startNs)
            ++channel.skippedPictures;
        chosen = std::move(channel.pending.front());
        channel.pending.pop_front();
    }
    // A picture taken before its camera stopped still belongs to its slot.
    const bool isNew = chosen.has_value();
    if (isNew) {
        VideoFrame frame;
        frame.pixels = chosen->picture;
        frame.width = chosen->picture.width();
        frame.height = chosen->picture.height();
        channel.lastPicture = frame;
    } else if (channel.lastPicture.pixels.isEmpty()) {
        // Nothing from the camera yet: black at the encoder's size.
        VideoFrame black;
        black.width = channel.width;
        black.height = channel.height;
        black.pixels = blackPicture(black.width, black.height);
        channel.lastPicture = black;
    }
    if (!isNew && channel.framesSent > 0)
        ++channel.repeatedFrames;
    VideoFrame frame = channel.lastPicture;
    frame.frameIndex = channel.framesSent++;
    channel.encoder->writeFrame(frame);
}

int FramePump::sendEveryPicture(Channel &channel, qint64 frameLimit)
{
    const double slotNs = 1e9 / m_rate.toDouble();
    int sent = 0;
    while (!channel.pending.empty()) {
        TimedPicture &picture = channel.pending.front();
        // The slot whose sampling window holds the picture, counted in the channel's file.
        const qint64 ownSlot = qint64(std::floor((double(picture.takenNs - m_startNs) - channel.timing.sampleOffsetNs()) / slotNs)) + 1
                               - channel.firstSlot;
        const qint64 slot = std::max(ownSlot, channel.framesSent);
        if (slot >= frameLimit)
            break;
        const bool isDecodable = picture.picture.isKeyFrame() || !channel.awaitsKeyFrame;
        if (!isDecodable || slot - ownSlot > kMaxLeadSlots || ownSlot < 0) {
            // Before the take, behind the stream, or after a picture that was dropped: what
            // follows cannot be decoded until the next key frame.
            if (picture.takenNs >= m_startNs)
                ++channel.skippedPictures;
            channel.awaitsKeyFrame = channel.awaitsKeyFrame || ownSlot >= 0;
            channel.pending.pop_front();
            continue;
        }
        channel.awaitsKeyFrame = false;
        if (channel.framesSent > 0)
            channel.repeatedFrames += slot - channel.framesSent;
        VideoFrame frame;
        frame.pixels = picture.picture;
        frame.width = picture.picture.width();
        frame.height = picture.picture.height();
        frame.frameIndex = slot;
        channel.lastPicture = frame;
        channel.framesSent = slot + 1;
        channel.encoder->writeFrame(frame);
        channel.pending.pop_front();
        ++sent;
    }
    return sent;
}

int FramePump::pumpChannel(Channel &channel, const std::shared_ptr<ISource> &source, qint64 nowNs, qint64 frameLimit,
                           bool isFinal)
{
    takeNewPictures(channel, source);
    // The channel's own frames: a camera that joined the take begins at its first slot.
    frameLimit = std::max<qint64>(0, frameLimit - channel.firstSlot);
    if (channel.needsEveryPicture) {
        const int sent = sendEveryPicture(channel, frameLimit);
        if (isFinal) {
            if (channel.framesSent > 0 && frameLimit > channel.framesSent)
                channel.repeatedFrames += frameLimit - channel.framesSent;
            channel.framesSent = std::max(channel.framesSent, frameLimit);
            channel.encoder->setEndFrame(frameLimit);
        }
        return sent;
    }

    int sent = 0;
    const bool isLive = source && source->isRunning();
    while (channel.framesSent < frameLimit) {
        const double instantNs = slotStartNs(channel.firstSlot + channel.framesSent) + channel.timing.sampleOffsetNs();
        if (!isFinal) {
            // A stopped camera has nothing coming: its slot closes at its instant.
            const double waitNs = isLive ? double(channel.timing.waitNs()) : 0.0;
            const bool hasLaterPicture = channel.hasPictures && double(channel.newestTakenNs) >= instantNs;
            if (!hasLaterPicture && double(nowNs) < instantNs + waitNs)
                break;
        }
        sendSlot(channel, instantNs);
        ++sent;
    }
    return sent;
}

int FramePump::pump(qint64 nowNs, qint64 frameLimit, const SourceLookup &sourceFor)
{
    int sent = 0;
    for (auto &[channelId, channel] : m_channels) {
        if (channel.encoder)
            sent += pumpChannel(channel, sourceFor(channelId), nowNs, frameLimit, false);
    }
    return sent;
}

int FramePump::fill(qint64 totalFrames, const SourceLookup &sourceFor)
{
    int sent = 0;
    for (auto &[channelId, channel] : m_channels) {
        if (channel.encoder)
            sent += pumpChannel(channel, sourceFor(channelId), std::numeric_limits<qint64>::max(), totalFrames, true);
    }
    return sent;
}

qint64 FramePump::closingTimeNs(qint64 slot) const
{
    double latest = slotStartNs(slot + 1);
    for (const auto &[id, channel] : m_channels)
        latest = std::max(latest, slotStartNs(slot) + channel.timing.sampleOffsetNs() + double(channel.timing.waitNs()));
    return qint64(std::ceil(latest));
}

bool FramePump::hasSent(qint64 frames) const
{
    for (const auto &[id, channel] : m_channels) {
        if (channel.framesSent < frames - channel.firstSlot)
            return false;
    }
    return true;
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

qint64 FramePump::skippedPictures(int channelId) const
{
    auto it = m_channels.find(channelId);
    return it == m_channels.end() ? 0 : it->second.skippedPictures;
}

qint64 FramePump::latencyNs(int channelId) const
{
    auto it = m_channels.find(channelId);
    return it == m_channels.end() ? 0 : it->second.timing.latencyNs();
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
