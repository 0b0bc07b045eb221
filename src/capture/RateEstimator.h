// RateEstimator: the true sample rate of one audio input, measured on the master clock (the
// monotonic clock that paces video) from when its blocks arrive and how many frames they
// carry, and the time each of its frames belongs to.
//
// A second-order delay-locked loop (F. Adriaensen, "Using a DLL to filter time") follows the
// arrival time of each block's end: the prediction error corrects the filtered time by b·e
// and the period by c·e, with b = √2·ω, c = ω², ω = 2π·B·(block length). A narrow bandwidth B
// averages the arrival jitter of a busy system (tens of milliseconds) away, while a wide one at
// the start locks within seconds. An arrival far off the
// prediction (a dropout, a device restart, a device at another nominal rate) re-anchors the
// time; when the frames counted since the previous re-anchor are off by more than half a
// percent, the period is set from that count and the loop refines it.
//
// Not thread-safe: one owner (the input's producer thread).
#pragma once

#include <QtGlobal>

class RateEstimator
{
public:
    // Loop bandwidth: wide at first so the loop locks within a second or two, then narrowing
    // as 1 / t down to kBandwidthHz, which averages the jitter of a busy system (tens of
    // milliseconds on every block) over about ten seconds; a crystal's drift is constant.
    static constexpr double kStartBandwidthHz = 0.5;
    // Seconds of lock after which the rate is trusted to judge a device's nominal rate.
    static constexpr double kSettledSeconds = 8.0;
    static constexpr double kBandwidthHz = 0.005;
    // An arrival this far from the prediction re-anchors the time instead of bending it.
    static constexpr qint64 kReanchorNs = 100'000'000;
    // Seconds of arrivals, at least, over which a gross rate error is judged from the count.
    static constexpr double kCoarseWindowSeconds = 1.0;

    explicit RateEstimator(double nominalRate);

    void reset();
    // A block of `frames` frames whose last frame arrived at arrivalNs.
    void addBlock(qint64 frames, qint64 arrivalNs);

    bool hasData() const { return m_blocks > 0; }
    // Locked long enough that the rate is no longer a first guess.
    bool isSettled() const { return m_lockedSeconds >= kSettledSeconds; }
    // Seconds of arrivals since the first one or the last re-anchor.
    double lockedSeconds() const { return m_lockedSeconds; }
    // Frames per second of master-clock time.
    double rate() const { return 1e9 / m_periodNs; }
    double nominalRate() const { return m_nominalRate; }
    // Frames received since reset().
    qint64 framesReceived() const { return m_frameEnd; }
    // The master-clock time of frame `frame` (counted from reset()), on the filtered line.
    qint64 timeOfFrame(double frame) const;
    // Where on the filtered line master-clock time timeNs falls, in frames since reset().
    double frameAtTime(qint64 timeNs) const;
    // Re-anchors since reset (dropouts or restarts of the device).
    int reanchorCount() const { return m_reanchors; }

private:
    const double m_nominalRate;
    double m_periodNs;      // filtered ns per frame
    qint64 m_originNs = 0;  // time of the first arrival; times below are relative to it
    double m_timeNs = 0.0;  // filtered time of frame m_frameEnd, relative to m_originNs
    qint64 m_frameEnd = 0;  // frames received
    qint64 m_blocks = 0;
    int m_reanchors = 0;
    double m_lockedSeconds = 0.0; // since the first arrival or the last re-anchor
    // Start of the window for the coarse rate check.
    qint64 m_coarseFrame = 0;
    qint64 m_coarseNs = 0;
};
