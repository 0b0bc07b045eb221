#include "app/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QStandardPaths>

namespace AppPaths {

QString applicationDirectory()
{
    // Remembered, so messages logged while the program winds down after the application
    // object is gone (a take being finalised) still reach the same log file.
    static QBasicMutex mutex;
    static QString lastKnown;
    const QMutexLocker locker(&mutex);
    if (QCoreApplication::instance())
        lastKnown = QCoreApplication::applicationDirPath();
    return lastKnown;
}

bool isInstalledLayout()
{
    const QString dir = applicationDirectory();
    if (dir.isEmpty())
        return false;
#ifdef VIREON_INSTALL_BINDIR
    if (QDir(dir).canonicalPath() == QDir(QStringLiteral(VIREON_INSTALL_BINDIR)).canonicalPath())
        return true;
#endif
    return !QFileInfo(dir).isWritable();
}

QString writableDirectory()
{
    const QString dir = applicationDirectory();
    if (dir.isEmpty() || !isInstalledLayout())
        return dir;
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    QDir().mkpath(dataDir);
    return dataDir;
}

QString logFilePath()
{
    const QString dir = writableDirectory();
    if (dir.isEmpty())
        return QStringLiteral("qt_log.txt");
    return dir + QStringLiteral("/qt_log.txt");
}

QString perfLogFilePath()
{
    const QString dir = writableDirectory();
    if (dir.isEmpty())
        return QStringLiteral("perf_log.csv");
    return dir + QStringLiteral("/perf_log.csv");
}

QString manualPath(const QString &fileName)
{
    const QString dir = applicationDirectory();
#ifdef VIREON_INSTALL_DATADIR
    if (isInstalledLayout())
        return QStringLiteral(VIREON_INSTALL_DATADIR) + QLatin1Char('/') + fileName;
#endif
    return dir + QLatin1Char('/') + fileName;
}

QString defaultRecordingPath()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:/Videos/Vireon");
#else
    QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (videos.isEmpty())
        videos = QDir::homePath() + QStringLiteral("/Videos");
    return videos + QStringLiteral("/Vireon");
#endif
}

} // namespace AppPaths
