#include "app/LogMarkers.h"

#include <QRegularExpression>
#include <QVariantMap>

namespace LogMarkers {

QString markerLine(QLatin1String marker)
{
    return QStringLiteral("=== %1 ===").arg(marker);
}

QString kindOf(const QString &line)
{
    if (line.contains(kRecordingStarted))
        return QStringLiteral("started");
    if (line.contains(kRecordingStopped))
        return QStringLiteral("stopped");
    if (line.contains(kCameraLost))
        return QStringLiteral("lost");
    static const QRegularExpression drops(QStringLiteral("DROPS:\\s*(\\d+)"));
    const QRegularExpressionMatch match = drops.match(line);
    if (match.hasMatch() && match.captured(1).toLongLong() > 0)
        return QStringLiteral("drops");
    return QStringLiteral("plain");
}

QVariantList classify(const QStringList &lines)
{
    QVariantList entries;
    entries.reserve(lines.size());
    for (const QString &line : lines)
        entries.append(QVariantMap{{QStringLiteral("text"), line}, {QStringLiteral("kind"), kindOf(line)}});
    return entries;
}

} // namespace LogMarkers
