// One marker the operator dropped during a take: when, and what it says.
#pragma once

#include <QString>
#include <QtGlobal>

struct TimelineMarker
{
    qint64 timeMs = 0; // milliseconds since the start of the take (monotonic clock)
    QString name;      // never empty once placed ("Marker 3" when the operator gave none)
};
