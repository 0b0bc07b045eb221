// One marker the operator dropped during a take: when, and what it says.
#pragma once

#include <QString>
#include <QtGlobal>

struct TimelineMarker
{
    qint64 timeMs = 0; // milliseconds since the start of the take (monotonic clock)
    QString name;      // never empty once placed ("Marker 3" when the operator gave none)
};

// The name a marker gets from what the operator typed (the key M gives none, the phone may):
// white space around it removed, line breaks and other control characters made spaces, at
// most kMaxMarkerNameLength characters (whole characters only); "Marker <number>" when
// nothing is left.
inline constexpr int kMaxMarkerNameLength = 120;
QString timelineMarkerName(const QString &requested, int number);
