// The one timeline every audio input's frames are placed on: frame n belongs to the moment
// n / rate seconds of the master clock (the monotonic clock that paces video). Inputs of
// different devices, opened, restarted or reopened at different times, thereby agree on
// which of their frames belong together, and a reader can line them up by position alone.
#pragma once

#include <QtGlobal>

namespace AudioTimeline {

// The frame a moment of the master clock falls in (whole seconds split off first, so the
// product cannot overflow however long the clock has run).
inline qint64 frameAt(qint64 timeNs, int rate)
{
    constexpr qint64 kNsPerSecond = 1'000'000'000;
    qint64 seconds = timeNs / kNsPerSecond;
    qint64 rest = timeNs % kNsPerSecond;
    if (rest < 0) {
        rest += kNsPerSecond;
        --seconds;
    }
    return seconds * rate + rest * rate / kNsPerSecond;
}

} // namespace AudioTimeline
