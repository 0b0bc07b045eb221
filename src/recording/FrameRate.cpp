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
