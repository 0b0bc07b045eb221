#include "common/AppPaths.h"

#include "common/AppInfo.h"

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

// The data folder of an install, relative to the executable ("../share/vireon").
static QString installedDataDirectory(const QString &applicationDir)
{
#ifdef VIREON_RELATIVE_DATADIR
    return QDir::cleanPath(applicationDir + QLatin1Char('/') + QStringLiteral(VIREON_RELATIVE_DATADIR));
#else
    Q_UNUSED(applicationDir);
    return QString();
#endif
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
    // Installed under another prefix (or staged): the data folder sits beside bin.
    const QString dataDir = installedDataDirectory(dir);
    if (!dataDir.isEmpty() && QFileInfo(dataDir).isDir())
        return true;
    return !QFileInfo(dir).isWritable();
}

QString writableDirectory()
{
    const QString dir = applicationDirectory();
    if (dir.isEmpty() || !isInstalledLayout())
        return dir;
    // Built from the program's own names rather than AppLocalDataLocation, which follows the
    // application name and so would move once main() sets it: the first log lines would land
    // in another folder than the rest.
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                            + QLatin1Char('/') + AppInfo::organisationName
                            + QLatin1Char('/') + AppInfo::applicationName;
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
    if (isInstalledLayout()) {
        const QString dataDir = installedDataDirectory(dir);
        if (!dataDir.isEmpty() && QFileInfo::exists(dataDir + QLatin1Char('/') + fileName))
            return dataDir + QLatin1Char('/') + fileName;
    }
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
