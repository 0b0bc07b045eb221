// The marker lines the program writes to its log where an operator looks for them (a take's
// start and end, frames lost, a camera lost), and how a line read back from the log is
// classified for the performance monitor: the writers and the reader share these words, so
// the interface shows a line's kind and never parses the log itself. Pure functions.
#pragma once

#include <QLatin1String>
#include <QString>
#include <QStringList>
#include <QVariantList>

namespace LogMarkers {

// Written between "=== " and " ===".
inline constexpr QLatin1String kRecordingStarted{"RECORDING STARTED"};
inline constexpr QLatin1String kRecordingStopped{"RECORDING STOPPED"};
inline constexpr QLatin1String kCameraLost{"CAMERA LOST"};
// A camera that began recording after the take had started.
inline constexpr QLatin1String kCameraJoined{"CAMERA JOINED"};
// Followed by the count of frames lost: "DROPS: 3".
inline constexpr QLatin1String kDrops{"DROPS:"};

// "=== RECORDING STARTED ===".
QString markerLine(QLatin1String marker);

// "started", "stopped", "lost" (a camera), "drops" (a DROPS: count above 0) or "plain"; the
// first that holds, in that order.
QString kindOf(const QString &line);

// Each line as {text, kind}, in order.
QVariantList classify(const QStringList &lines);

} // namespace LogMarkers
