// FramePump: feeds each recording encoder one picture per frame slot of the timeline rate,
// paced by the monotonic clock, so every file of a take holds exactly the take's length
// whatever the camera delivers. A slot holds the newest picture taken before its sampling
// instant, which lies within the slot (CameraTiming: half a camera frame from the camera's
// pictures when the camera runs at the timeline's rate, else the slot's end); never a picture
// taken after the slot, even when the tick comes late. A slow, stalled or stopped camera
// repeats its last picture; one that never delivered gives black. Pictures that no slot
// showed are skipped and counted. Frame indices stay consecutive.
//
// A slot waits for its picture: it is closed once a picture taken after its instant has
// arrived from that camera, or once the camera's measured hand-over latency plus a margin has
// passed since the instant (at most CameraTiming::MaxWaitNs), so a camera that hands its
// pictures over a frame late still fills every slot with its own picture.
//
// An encoder that needsEveryPicture() (the camera's own H.264 stream, where each picture needs
// the one before) gets every picture in order instead, each at the slot it falls in or, when
// that one is taken, the next; a slot no picture reached is left to the previous picture (a
// gap in the indices, counted as repeated). A picture that would land more than
// kMaxLeadSlots late is dropped with the rest up to the next key frame.
//
// GUI thread only (the take's recording tick calls pump()); the encoders take the pictures
// by reference count (no copy) and do their work on their own threads.
#pragma once

#include "capture/ISource.h"
#include "capture/VideoFrame.h"
#include "recording/CameraTiming.h"
#include "recording/FrameRate.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class IEncoder;

class FramePump
{
public:
    using SourceLookup = std::function<std::shared_ptr<ISource>(int channelId)>;
    // How many slots an every-picture stream may fall behind before it drops to a key frame.
    static constexpr int kMaxLeadSlots = 3;

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

    // Takes the cameras' new pictures and closes every slot below frameLimit (slots counted
    // from the take's start) that is done waiting at nowNs (see above); returns frames sent.
    int pump(qint64 nowNs, qint64 frameLimit, const SourceLookup &sourceFor);
    // Closes every slot below totalFrames with what has arrived (the end of a take).
    int fill(qint64 totalFrames, const SourceLookup &sourceFor);
    // When pump() will have closed slot `slot` on every channel at the latest: its sampling
    // instant plus its camera's wait. A take's end waits that long for its last pictures.
    qint64 closingTimeNs(qint64 slot) const;
    // True when every channel has sent its frames of the take's first `frames` slots.
    bool hasSent(qint64 frames) const;

    qint64 framesSent(int channelId) const;
    qint64 totalFramesSent() const;
    // Frame slots that got no new picture (the camera's previous one, or black before its
    // first): the camera fell behind, stalled or was lost. The first slot never counts.
    qint64 repeatedFrames(int channelId) const;
    qint64 totalRepeatedFrames() const;
    // Pictures that arrived but no slot showed (two in one slot, or too late for theirs).
    qint64 skippedPictures(int channelId) const;
    // The camera's hand-over latency as measured now (0 before its first picture).
    qint64 latencyNs(int channelId) const;
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
        bool needsEveryPicture = false;
        qint64 firstSlot = 0;
        qint64 framesSent = 0;
        qint64 repeatedFrames = 0;
        qint64 skippedPictures = 0;
        VideoFrame lastPicture; // pixels empty until the camera delivered once
        int width = 0;
        int height = 0;
        // Arrived and not yet shown, oldest first.
        std::deque<TimedPicture> pending;
        const ISource *source = nullptr; // the source the sequence numbers belong to
        quint64 lastSequence = 0;
        qint64 newestTakenNs = 0;
        bool hasPictures = false;
        bool awaitsKeyFrame = false;
        CameraTiming timing;
    };

    int pumpChannel(Channel &channel, const std::shared_ptr<ISource> &source, qint64 nowNs, qint64 frameLimit,
                    bool isFinal);
    void takeNewPictures(Channel &channel, const std::shared_ptr<ISource> &source);
    void sendSlot(Channel &channel, double instantNs);
    int sendEveryPicture(Channel &channel, qint64 frameLimit);
    double slotStartNs(qint64 slot) const;

    FrameRate m_rate;
    qint64 m_startNs = 0;
    std::map<int, Channel> m_channels;
    std::vector<TimedPicture> m_scratch; // reused by every read
};
