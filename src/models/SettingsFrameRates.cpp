#include "models/SettingsFrameRates.h"

#include "app/EncoderBenchmark.h"

int SettingsFrameRates::globalIndex(int listIndex) const
{
    return globalFramerateIndexForSettingsEntry(listIndex);
}
