#include "studio/StudioTime.h"

#include "recording/FrameRate.h"
#include "recording/Timecode.h"

#include <QDateTime>

namespace StudioTime {

namespace {

constexpr qint64 kNsPerSecond = 1'000'000'000;
constexpr qint64 kNsPerDay = 86'400 * kNsPerSecond;

qint64 floorDiv(qint64 a, qint64 b)
{
    const qint64 q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

// Frames that have begun by `ns` after a frame boundary (floor(ns × num / (den × 1e9))),
// split so that no product overflows for any rate frameRateFraction() gives.
qint64 framesIn(qint64 ns, const FrameRate &rate)
{
    const qint64 seconds = ns / kNsPerSecond;
    const qint64 rest = ns % kNsPerSecond;
    const qint64 whole = seconds * rate.numerator;
    const qint64 frames = whole / rate.denominator;
    const qint64 carry = whole % rate.denominator;
    return frames + (carry * kNsPerSecond + rest * rate.numerator) / (qint64(rate.denominator) * kNsPerSecond);
}

// Nanoseconds from a frame boundary to the start of frame n after it, rounded up, so the
// instant lies in frame n itself.
qint64 frameStartNs(qint64 n, const FrameRate &rate)
{
    const qint64 units = n * rate.denominator; // seconds × numerator
    const qint64 seconds = units / rate.numerator;
    const qint64 rest = units % rate.numerator;
    return seconds * kNsPerSecond + (rest * kNsPerSecond + rate.numerator - 1) / rate.numerator;
}

} // namespace

qint64 sinceMidnightNs(qint64 wallNs)
{
    const qint64 ms = floorDiv(wallNs, 1'000'000);
    const qint64 offsetSeconds = QDateTime::fromMSecsSinceEpoch(ms).offsetFromUtc();
    const qint64 local = wallNs + offsetSeconds * kNsPerSecond;
    return local - floorDiv(local, kNsPerDay) * kNsPerDay;
}

qint64 frameOfDay(qint64 wallNs, double fps)
{
    return framesIn(sinceMidnightNs(wallNs), frameRateFraction(fps));
}

qint64 frameBoundaryAtOrAfter(qint64 wallNs, double fps)
{
    const FrameRate rate = frameRateFraction(fps);
    const qint64 since = sinceMidnightNs(wallNs);
    qint64 frame = framesIn(since, rate);
    qint64 boundary = frameStartNs(frame, rate);
    if (boundary < since)
        boundary = frameStartNs(++frame, rate);
    return wallNs + (boundary - since);
}

QString timecodeAt(qint64 wallNs, double fps)
{
    const qint64 frame = frameOfDay(wallNs, fps);
    const qint64 base = Timecode::timebase(fps);
    const qint64 seconds = frame / base;
    return QStringLiteral("%1:%2:%3:%4")
        .arg((seconds / 3600) % 24, 2, 10, QLatin1Char('0'))
        .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'))
        .arg(frame % base, 2, 10, QLatin1Char('0'));
}

qint64 framesDurationNs(qint64 frames, double fps)
{
    const FrameRate rate = frameRateFraction(fps);
    const qint64 units = frames * rate.denominator;
    const qint64 seconds = units / rate.numerator;
    const qint64 rest = units % rate.numerator;
    return seconds * kNsPerSecond + rest * kNsPerSecond / rate.numerator;
}

StartPlan planStart(qint64 nowWallNs, double fps, qint64 leadNs)
{
    StartPlan plan;
    plan.fps = fps;
    plan.startWallNs = frameBoundaryAtOrAfter(nowWallNs + leadNs, fps);
    plan.timecode = timecodeAt(plan.startWallNs, fps);
    return plan;
}

qint64 planStop(qint64 startWallNs, qint64 nowWallNs, double fps, qint64 leadNs)
{
    const FrameRate rate = frameRateFraction(fps);
    const qint64 earliest = nowWallNs + leadNs - startWallNs;
    qint64 frames = earliest > 0 ? framesIn(earliest, rate) : 0;
    while (framesDurationNs(frames, fps) < earliest)
        ++frames;
    return startWallNs + framesDurationNs(std::max<qint64>(frames, 1), fps);
}

} // namespace StudioTime
