// One entry of a take's switch log: which channel became the programme source, and when.
#pragma once

#include <QtGlobal>

struct TimelineCut
{
    int channelId = 1;
    qint64 timeMs = 0; // milliseconds since the start of the take (monotonic clock)
};
