// The message handler behind every qDebug/qWarning/qCritical of the program: each message
// is appended as one line to the log file (AppPaths::logFilePath()) and echoed to stderr.
// It may be called from any thread; each call opens, appends to and closes the file itself,
// so no lock is needed.
#pragma once

#include <QtGlobal>

namespace LogHandler {

void handleMessage(QtMsgType type, const QMessageLogContext &context, const QString &message);

// qInstallMessageHandler(handleMessage).
void install();

} // namespace LogHandler
