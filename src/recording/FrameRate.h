// FrameRate: the exact frame rates an encoder writes, and its key-frame spacing.
// Pure functions, no state; the encoder and its tests use them, any thread may call them.
//
// A rate such as 29.97 is really 30000/1001 frames per second. Keeping it as a fraction lets
// the encoder use a time base of 1001/30000 s in which every frame starts at an exact integer
// (its frameIndex), so a take of any length never drifts from the audio recorded beside it.
#pragma once

#include <QtGlobal>

struct FrameRate
{
    int numerator = 30;
    int denominator = 1;

    double toDouble() const { return double(numerator) / double(denominator); }
    friend bool operator==(const FrameRate &, const FrameRate &) = default;
};

// The broadcast rate nearest to `fps` when one lies within 0.05 (59.94 → 60000/1001,
// 29.97 → 30000/1001, 23.976 → 24000/1001, 24, 25, 30, 48, 50, 60, 120 → n/1); any other rate
// becomes round(fps × 1000)/1000. A rate that is not positive and finite gives 30/1.
FrameRate frameRateFraction(double fps);

// Frames from one key frame to the next: keyframeIntervalSeconds × fps, truncated
// (2 s at 29.97 gives 59), at least 1.
int gopLengthFrames(int keyframeIntervalSeconds, double fps);
