#include "recording/RecordingFrameRates.h"

#include <array>
#include <cstddef>

double globalFrameRate(int globalIndex)
{
    static constexpr std::array<double, 8> kFrameRates = {60.0, 59.94, 50.0, 30.0, 29.97, 25.0, 24.0, 23.976};
    if (globalIndex < 0 || globalIndex >= int(kFrameRates.size()))
        return 30.0;
    return kFrameRates[size_t(globalIndex)];
}

int globalFramerateIndexForSettingsEntry(int settingsEntry)
{
    static constexpr std::array<int, 11> kMap = {7, 6, 5, 4, 3, -1, 2, 1, 0, -1, -1};
    if (settingsEntry < 0 || settingsEntry >= int(kMap.size()))
        return -1;
    return kMap[size_t(settingsEntry)];
}
