#include "models/SettingsFrameRates.h"

#include "recording/RecordingFrameRates.h"

int SettingsFrameRates::globalIndex(int listIndex) const
{
    return globalFramerateIndexForSettingsEntry(listIndex);
}
