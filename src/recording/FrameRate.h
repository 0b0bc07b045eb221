// FrameRate: the exact frame rates a take records at, and its key-frame spacing.
// A value type and pure functions, no state; any thread may use them.
//
// A rate such as 29.97 is really 30000/1001 frames per second. Keeping it as a fraction lets
// the encoder use a time base of 1001/30000 s in which every frame starts at an exact integer
// (its frameIndex), and lets the frame pump place frame slot k at exactly k × 1001/30000 s, so
// a take of any length never drifts from the audio recorded beside it.
#pragma once

#include <QString>
#include <QtGlobal>

struct FrameRate
{
    int numerator = 30;
    int denominator = 1;

    double toDouble() const { return double(numerator) / double(denominator); }
    bool isValid() const { return numerator > 0 && denominator > 0; }
    // 24000/1001, 30000/1001 and 60000/1001: their timecode counts 24, 30 or 60 labels per
    // second of 1001/1000 s.
    bool isNtsc() const;
    // Labels per second of the timecode: the rate rounded (30 for 29.97).
    int timebase() const;
    // Drop-frame timecode exists for 29.97 and 59.94 only; 23.976 has none.
    bool hasDropFrameTimecode() const;

    // Frame slots that have begun by `ns` after the start: slot k begins at k / rate
    // (floor(ns × rate) + 1 for ns ≥ 0, 0 before the start). Exact for takes of any length.
    qint64 slotsStartedBy(qint64 ns) const;
    // The frames nearest to `ns` of media: round(ns × rate).
    qint64 framesIn(qint64 ns) const;
    // Where frame `frame` begins, in nanoseconds from the start: round(frame / rate).
    qint64 frameStartNs(qint64 frame) const;

    // "29.97", "25", "23.976", "59.94", "12.5": how the rate is written for people.
    QString text() const;

    friend bool operator==(const FrameRate &, const FrameRate &) = default;
};

// The broadcast rate nearest to `fps` when one lies within 0.05 (59.94 → 60000/1001,
// 29.97 → 30000/1001, 23.976 → 24000/1001, 24, 25, 30, 48, 50, 60, 120 → n/1); any other rate
// becomes round(fps × 1000)/1000. A rate that is not positive and finite gives 30/1.
FrameRate frameRateFraction(double fps);

// Frames from one key frame to the next: keyframeIntervalSeconds × fps, truncated
// (2 s at 29.97 gives 59), at least 1.
int gopLengthFrames(int keyframeIntervalSeconds, double fps);
