#include "studio/WallClock.h"

#include "common/MonotonicClock.h"

#include <QString>

#include <chrono>

WallClock WallClock::fromEnvironment()
{
    bool ok = false;
    const qint64 offsetMs = qEnvironmentVariable("VIREON_SIMULATED_CLOCK_OFFSET_MS").toLongLong(&ok);
    return WallClock(ok ? offsetMs * 1000000 : 0);
}

qint64 WallClock::nowNs() const
{
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch).count() + m_offsetNs;
}

qint64 WallClock::monotonicAt(qint64 wallNs) const
{
    // Read the two clocks back to back: the pair is as close as the two calls.
    const qint64 monotonic = monotonicNowNs();
    const qint64 wall = nowNs();
    return monotonic + (wallNs - wall);
}
