#include "recording/FrameRate.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

struct KnownRate
{
    double fps;
    FrameRate fraction;
};

// Rates that cameras and editors name by their rounded value.
constexpr KnownRate kKnownRates[] = {
    {59.94, {60000, 1001}}, {29.97, {30000, 1001}}, {23.976, {24000, 1001}},
    {24.0, {24, 1}},        {25.0, {25, 1}},        {30.0, {30, 1}},
    {48.0, {48, 1}},        {50.0, {50, 1}},        {60.0, {60, 1}},
    {120.0, {120, 1}},
};

constexpr double kMatchTolerance = 0.05;

} // namespace

FrameRate frameRateFraction(double fps)
{
    if (!std::isfinite(fps) || fps <= 0.0)
        return {30, 1};

    const KnownRate *nearest = nullptr;
    double nearestDistance = kMatchTolerance;
    for (const KnownRate &known : kKnownRates) {
        const double distance = std::abs(fps - known.fps);
        if (distance < nearestDistance) {
            nearestDistance = distance;
            nearest = &known;
        }
    }
    if (nearest)
        return nearest->fraction;

    const double thousandths = std::round(fps * 1000.0);
    if (thousandths < 1.0)
        return {1, 1000};
    if (thousandths > double(std::numeric_limits<int>::max()))
        return {std::numeric_limits<int>::max(), 1000};
    return {int(thousandths), 1000};
}

int gopLengthFrames(int keyframeIntervalSeconds, double fps)
{
    if (!std::isfinite(fps) || fps <= 0.0 || keyframeIntervalSeconds <= 0)
        return 1;
    const double frames = double(keyframeIntervalSeconds) * fps;
    if (frames >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    return std::max(1, int(frames));
}

namespace {

constexpr qint64 kNsPerSecond = 1'000'000'000;

// floor(value × numerator / denominator) for value ≥ 0 without overflow: the factors of a
// frame rate stay below 2^31 and a take's nanoseconds below 2^63.
qint64 scaleDown(qint64 value, qint64 numerator, qint64 denominator, bool rounded)
{
    const qint64 whole = value / denominator;
    const qint64 rest = value % denominator;
    // rest × numerator stays below denominator × numerator, which fits for the factors used
    // here (nanoseconds × frame-rate parts, frames × 10^9).
    const qint64 restScaled = rest * numerator + (rounded ? denominator / 2 : 0);
    return whole * numerator + restScaled / denominator;
}

} // namespace

bool FrameRate::isNtsc() const
{
    return denominator == 1001 && (numerator == 24000 || numerator == 30000 || numerator == 60000);
}

int FrameRate::timebase() const
{
    if (!isValid())
        return 30;
    return std::max(1, int(std::lround(toDouble())));
}

bool FrameRate::hasDropFrameTimecode() const
{
    return denominator == 1001 && (numerator == 30000 || numerator == 60000);
}

qint64 FrameRate::slotsStartedBy(qint64 ns) const
{
    if (ns < 0 || !isValid())
        return 0;
    // floor(ns × numerator / (denominator × 10^9)) in two steps that cannot overflow.
    const qint64 seconds = ns / kNsPerSecond;
    const qint64 restNs = ns % kNsPerSecond;
    const qint64 wholeFrames = seconds * numerator / denominator;
    const qint64 carried = (seconds * numerator) % denominator; // < denominator
    const qint64 restFrames = (carried * kNsPerSecond + restNs * numerator) / (qint64(denominator) * kNsPerSecond);
    return wholeFrames + restFrames + 1;
}

qint64 FrameRate::framesIn(qint64 ns) const
{
    if (ns <= 0 || !isValid())
        return 0;
    const qint64 seconds = ns / kNsPerSecond;
    const qint64 restNs = ns % kNsPerSecond;
    const qint64 wholeFrames = seconds * numerator / denominator;
    const qint64 carried = (seconds * numerator) % denominator;
    const qint64 unit = qint64(denominator) * kNsPerSecond;
    return wholeFrames + (carried * kNsPerSecond + restNs * numerator + unit / 2) / unit;
}

qint64 FrameRate::frameStartNs(qint64 frame) const
{
    if (frame <= 0 || !isValid())
        return 0;
    // frame × denominator / numerator seconds, in nanoseconds, rounded.
    const qint64 ticks = frame * denominator; // in 1/numerator s
    return scaleDown(ticks, kNsPerSecond, numerator, true);
}

QString FrameRate::text() const
{
    if (!isValid())
        return QStringLiteral("30");
    if (isNtsc())
        return numerator == 24000 ? QStringLiteral("23.976") : QString::number(double(numerator) / 1001.0, 'f', 2);
    return QString::number(toDouble(), 'g', 6);
}
