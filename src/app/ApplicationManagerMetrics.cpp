// Performance read-outs, the log file and the manuals.
#include "app/ApplicationManager.h"

#include "common/MonotonicClock.h"

#include "app/AppPaths.h"

#include <QDesktopServices>
#include <QFile>
#include <QTextStream>
#include <QThread>
#include <QUrl>

#include <ctime>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

qint64 processCpuTimeNs()
{
    timespec ts{};
    if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts) != 0)
        return -1;
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}


// Resident set size of this process in bytes, -1 when it cannot be read.
qint64 residentSetBytes()
{
#ifdef Q_OS_LINUX
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    if (fields.size() < 2)
        return -1;
    bool ok = false;
    const qint64 pages = fields.at(1).toLongLong(&ok);
    if (!ok)
        return -1;
    return pages * sysconf(_SC_PAGESIZE);
#else
    return -1;
#endif
}

QString manualFileName(const QString &lang)
{
    return lang.toUpper() == QLatin1String("SR") ? QStringLiteral("GETTING_STARTED_SR.md")
                                                 : QStringLiteral("GETTING_STARTED_EN.md");
}

} // namespace

void ApplicationManager::updateMetrics()
{
    const qint64 rss = residentSetBytes();
    if (rss >= 0)
        m_ramUsage = QStringLiteral("RAM: %1 MB").arg(double(rss) / 1048576.0, 0, 'f', 1);

    // This process's CPU time since the last update, as a share of all cores.
    const qint64 cpuNs = processCpuTimeNs();
    const qint64 nowNs = monotonicNowNs();
    if (cpuNs >= 0 && m_lastCpuTimeNs >= 0 && nowNs > m_lastCpuSampleNs) {
        const int cores = qMax(1, QThread::idealThreadCount());
        const double share = double(cpuNs - m_lastCpuTimeNs) / double(nowNs - m_lastCpuSampleNs) / cores;
        m_cpuUsage = QStringLiteral("CPU: %1%").arg(qMax(0, qRound(share * 100.0)));
    }
    m_lastCpuTimeNs = cpuNs;
    m_lastCpuSampleNs = nowNs;

    emit metricsChanged();
}

QString ApplicationManager::perfLogFilePath() const
{
    return AppPaths::perfLogFilePath();
}

void ApplicationManager::openLogFile()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(AppPaths::logFilePath()));
}

void ApplicationManager::clearLogFile()
{
    QFile file(AppPaths::logFilePath());
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.close();
}

QStringList ApplicationManager::getRecentLogs()
{
    QStringList lines;
    QFile file(AppPaths::logFilePath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return lines;
    QTextStream in(&file);
    QString line;
    while (in.readLineInto(&line)) {
        lines.append(line);
        if (lines.size() > 50)
            lines.removeFirst();
    }
    return lines;
}

QString ApplicationManager::manualFilePath(const QString &lang) const
{
    return AppPaths::manualPath(manualFileName(lang));
}

void ApplicationManager::openManualFile(const QString &lang)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(manualFilePath(lang)));
}

QString ApplicationManager::getManualContent(const QString &lang) const
{
    QFile file(manualFilePath(lang));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    return QString::fromUtf8(file.readAll());
}
