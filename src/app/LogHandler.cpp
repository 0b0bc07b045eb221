#include "app/LogHandler.h"

#include "common/AppPaths.h"

#include <QFile>

#include <cstdio>

namespace LogHandler {

void handleMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    QFile file(AppPaths::logFilePath());
    if (file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        file.write(message.toUtf8());
        file.write("\n");
        file.flush();
    }
    const QByteArray local = message.toLocal8Bit();
    std::fwrite(local.constData(), 1, size_t(local.size()), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

void install()
{
    qInstallMessageHandler(handleMessage);
}

} // namespace LogHandler
