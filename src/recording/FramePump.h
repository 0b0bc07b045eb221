// FramePump: feeds each recording encoder one picture per frame slot of the timeline rate,
// paced by the monotonic clock, so every MP4 of a take holds exactly the take's length
// whatever the camera delivers. A slot holds the picture taken within it (the newest one
// there), or, when the camera delivered none there, the newest one before it; never a
// picture taken after the slot, even when the tick comes late. A slow, stalled or stopped
// camera repeats its last picture; one that never delivered gives black. Frame indices stay
// consecutive.
//
// GUI thread only (the take's recording tick calls pump()); the encoders take the pictures
// by reference count (no copy) and do their work on their own threads.
#pragma once

#include "capture/VideoFrame.h"
#include "recording/FrameRate.h"

#include <QByteArray>

#include <functional>
#include <map>
#include <memory>

class IEncoder;
class ISource;

class FramePump
{
public:
    using SourceLookup = std::function<std::shared_ptr<ISource>(int channelId)>;

    explicit FramePump(FrameRate rate = {}) : m_rate(rate) {}

    void setFrameRate(FrameRate rate) { m_rate = rate; }
    FrameRate frameRate() const { return m_rate; }
    // The take's start on the monotonic clock: frame slot k begins k / rate after it.
    void setStartTime(qint64 startNs) { m_startNs = startNs; }

    // A channel to feed; width and height are the encoder's size, used for black frames.
    // firstSlot: the take's frame slot its file begins with (0 for a camera that starts with
    // the take; a camera that joins later begins at the slot it joined in, as frame 0 of its
    // own file).
    void addChannel(int channelId, std::shared_ptr<IEncoder> encoder, int width, int height,
                    qint64 firstSlot = 0);
    bool hasChannel(int channelId) const { return m_channels.count(channelId) > 0; }
    // The take's slot a channel's file begins with.
    qint64 firstSlot(int channelId) const;
    void clear() { m_channels.clear(); }
    bool isEmpty() const { return m_channels.empty(); }

    // Frame slots that have begun after elapsedNs of the take: slot k starts at k / rate.
    qint64 slotsStartedBy(qint64 elapsedNs) const;
    // Frame slots that fill a take of durationNs: the take's frame count at its end.
    qint64 slotsCovering(qint64 durationNs) const;

    // Sends every channel the frames of the take's slots up to `dueFrames` (slots counted from
    // the take's start); returns frames sent.
    int pump(qint64 dueFrames, const SourceLookup &sourceFor);

    qint64 framesSent(int channelId) const;
    qint64 totalFramesSent() const;
    // Frame slots that got no new picture (the camera's previous one, or black before its
    // first): the camera fell behind, stalled or was lost. The first slot never counts.
    qint64 repeatedFrames(int channelId) const;
    qint64 totalRepeatedFrames() const;
    int channelCount() const { return int(m_channels.size()); }
    // Calls f(channelId, encoder) for every channel, without building a copy of the list
    // (the recording tick asks every 33 ms).
    template <typename F>
    void forEachEncoder(F f) const
    {
        for (const auto &[channelId, channel] : m_channels)
            f(channelId, *channel.encoder);
    }

private:
    struct Channel
    {
        std::shared_ptr<IEncoder> encoder;
        qint64 firstSlot = 0;
        qint64 framesSent = 0;
        qint64 repeatedFrames = 0;
        VideoFrame lastPicture; // pixels empty until the camera delivered once
        int width = 0;
        int height = 0;
    };

    VideoFrame pictureFor(Channel &channel, const std::shared_ptr<ISource> &source, qint64 slotEndNs);
    qint64 slotStartNs(qint64 slot) const;

    FrameRate m_rate;
    qint64 m_startNs = 0;
    std::map<int, Channel> m_channels;
};
