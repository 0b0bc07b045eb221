// AudioSampleBuffer: the bounded first-in-first-out store of one audio input, and the one
// hand-over between the thread that produces its samples and the thread that reads them.
//
// Threads: append() runs on the producer's thread (SDL's audio thread, or the Test Tone
// thread), about every 5 ms. Everything else runs on the consumer's thread (the GUI thread:
// the owning AudioCapture and the mixer's 25 ms tick). One mutex guards the ring, the peak,
// the delay and the drop counters; a producer holds it only for a peak compare and at most
// two memcpy calls, and nothing allocates while it is held.
//
// Sizing: the ring holds two seconds of audio beyond the held-back delay. The mixer drains
// everything available every tick, so only a GUI thread stalled for more than two seconds
// ever loses audio; then the oldest samples go (whole frames), and the loss is counted so
// the owner can log it once per episode. Memory never grows beyond the ring.
//
// Samples are 32-bit float, channels interleaved, 48 000 frames per second. Reads always
// hand out whole frames, so a reader can never swap the channels of what follows.
//
// Positions: every frame has a place on the input's timeline (AudioTimeline, or any count the
// producer keeps),
// and the reader's place moves on by what it reads, by what it skips (skip(): the reader
// filled that time with silence because the input was late or gone) and by what overflow
// drops. A producer that says where its block belongs (append() with a position) finds its
// frames where they belong: frames the reader has already passed are dropped, a gap ahead of
// what the buffer holds is filled with silence. So an input that stalls, or vanishes and
// returns, never shifts what follows it.
#pragma once

#include "common/AudioFormat.h"

#include <QtGlobal>

#include <cstddef>
#include <limits>
#include <mutex>
#include <vector>

class AudioSampleBuffer
{
public:
    // Two seconds outlast any GUI stall short of a hang (a modal dialog, a slow disk flush).
    static constexpr int kBufferMs = 2000;
    // An upper bound for the hold-back delay, so a bad value cannot claim unbounded memory.
    static constexpr int kMaxDelayMs = 10000;

    // Samples the ring holds for the given layout; channels below 1 count as 2 and the delay
    // is limited to [0, kMaxDelayMs].
    static size_t capacityFor(int channels, int delayMs);
    // Samples of the newest audio that readers must not take yet.
    static size_t heldBackFor(int channels, int delayMs);

    AudioSampleBuffer();

    // Empties the buffer and sizes it for the channel count (below 1 counts as 2). Call it
    // before the producer starts. Resets the peak and the drop counters.
    void configure(int channels);
    int channels() const;
    size_t capacity() const;

    static constexpr quint64 kAnyGeneration = ~quint64(0);
    // The block goes on where the producer's previous one ended.
    static constexpr qint64 kContinue = -1;
    // Producer side: appends whole frames (a trailing partial frame is ignored) and raises the
    // held peak. When they do not fit, the oldest samples are dropped and counted. Samples of
    // an older generation (prepared before a clear()) are dropped without a count. With a
    // position (the first block after configure() sets the
    // timeline) the block lands there, as described above; without one it follows the
    // previous block (the first after configure() at 0).
    void append(const float *samples, size_t count, quint64 generation = kAnyGeneration,
                qint64 position = kContinue);
    // Counts clear() and configure() calls: a producer that works on a block outside the lock
    // reads it first, so its block cannot land after a clear() it did not see.
    quint64 generation() const;

    // Samples a reader may take now: everything but the held-back delay, whole frames only.
    size_t availableSamples() const;
    // Up to maxSamples of the oldest samples (all available when maxSamples < 1), rounded
    // down to whole frames.
    std::vector<float> read(int maxSamples);
    // The reader moves on by `frames` frames it does not take: the oldest held ones are
    // dropped, and frames still to come for that time will be.
    void skip(qint64 frames);
    // The reader's place: the position of the next frame it gets (moved on by reads, skips and
    // overflow); kNoPosition before the first block after configure().
    static constexpr qint64 kNoPosition = std::numeric_limits<qint64>::min();
    qint64 readPosition() const;
    // Empties the buffer and resets the peak; the next frame is the one at `position`.
    void clear(qint64 position = 0);

    // The largest absolute sample since the previous call (or clear/configure), then 0.
    float takePeak();

    // Changes the hold-back delay; the newest samples that fit the new size are kept.
    void setDelayMs(int delayMs);
    int delayMs() const;

    // Frames of silence put in for gaps between blocks (placed ahead of what was held) since
    // the previous call: the input had nothing for that time.
    qint64 takeGapFrames();

    // Samples dropped since configure().
    quint64 droppedSamples() const;
    // Samples dropped since the previous call: lets the owner log an overflow episode once,
    // from its own thread, after the reader has caught up.
    quint64 takeUnreportedDrops();

private:
    // All private helpers expect m_mutex to be held.
    size_t heldBackLocked() const;
    size_t availableLocked() const;
    void writeLocked(const float *samples, size_t count);
    void readLocked(float *dest, size_t count);
    void writeSilenceLocked(size_t count, size_t reserve);
    void dropOldestLocked(size_t count);

    mutable std::mutex m_mutex;
    // Guarded by m_mutex.
    std::vector<float> m_ring;
    size_t m_head = 0; // index of the oldest sample
    size_t m_size = 0;
    int m_channels = 2;
    int m_delayMs = 0;
    float m_peak = 0.0f;
    quint64 m_droppedTotal = 0;
    quint64 m_droppedUnreported = 0;
    quint64 m_generation = 0;
    qint64 m_readPosition = 0;   // frame position of the oldest held frame
    qint64 m_writePosition = 0;  // where a block appended without a position goes
    qint64 m_gapFrames = 0;      // silence put in for gaps, not taken yet
    bool m_hasTimeline = false;  // false after configure(), until the first block
};
