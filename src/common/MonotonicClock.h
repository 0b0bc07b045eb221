// The one monotonic clock of the program: take timing, frame pacing and cut times all read
// it, so audio, video and the switch log share one time base.
#pragma once

#include <QtGlobal>

#include <chrono>

inline qint64 monotonicNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
