#include "recording/TimelineMarker.h"

QString timelineMarkerName(const QString &requested, int number)
{
    QString name;
    for (const QChar c : requested)
        name += c.category() == QChar::Other_Control ? QChar(u' ') : c;
    name = name.simplified();
    if (name.size() > kMaxMarkerNameLength) {
        name.truncate(kMaxMarkerNameLength);
        if (name.back().isHighSurrogate())
            name.chop(1);
        name = name.trimmed();
    }
    return name.isEmpty() ? QStringLiteral("Marker %1").arg(number) : name;
}
