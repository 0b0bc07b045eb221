// Performance read-outs (the performance log is PerformanceLog's), the log file and the manuals.
#include "app/ApplicationManager.h"

#include "app/LogMarkers.h"
#include "app/ProcessClock.h"
#include "app/ProcessMemory.h"
#include "common/AppPaths.h"
#include "common/MonotonicClock.h"
#include "recording/TakeRecorder.h"

#include <QDebug>
#include <QDesktopServices>
#include <QFile>
#include <QTextStream>
#include <QThread>
#include <QUrl>

namespace {

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
    // Each camera's own rate, for its tile, and idle the figure of the status bar.
    int measured = 0;
    const double cameraFps = m_cameraWatch.measureRates(nowNs, &measured);

    // Recording figures: frames per second reaching each encoder, frames lost, bytes written.
    if (m_isRecording) {
        const double seconds = double(nowNs - m_takeStats.lastSampleNs) / 1e9;
        const qint64 frames = m_take ? m_take->framePump().totalFramesSent() : 0;
        const qint64 bytes = takeBytesWritten();
        const int encoders = m_take ? m_take->cameraCount() : 0;
        if (seconds > 0.0) {
            m_currentFps = encoders > 0 ? double(frames - m_takeStats.lastFramesSent) / seconds / encoders : 0.0;
            m_diskWriteSpeedMBs = double(bytes - m_takeStats.lastBytesWritten) / seconds / 1e6;
        }
        m_measuredCameraCount = encoders;
        m_droppedFrames = int(takeDroppedFrames());
        if (m_droppedFrames > m_takeStats.droppedLogged) {
            qWarning().noquote() << "[ApplicationManager] Frames lost during the take (encoders behind),"
                                 << LogMarkers::kDrops << m_droppedFrames;
            m_takeStats.droppedLogged = m_droppedFrames;
        }
        m_repeatedFrames = int(takeRepeatedFrames());
        // Information, not an alarm: a camera a little slower than the timeline repeats a frame
        // now and then; a lost camera has its own warning.
        if (m_repeatedFrames > m_takeStats.repeatedLogged) {
            qDebug() << "[ApplicationManager] Frame slots without a new picture (camera behind or lost), REPEATED:"
                     << m_repeatedFrames;
            m_takeStats.repeatedLogged = m_repeatedFrames;
        }
        m_takeStats.lastSampleNs = nowNs;
        m_takeStats.lastFramesSent = frames;
        m_takeStats.lastBytesWritten = bytes;
    } else {
        // Idle: the pictures per second the running cameras deliver to the previews, the mean
        // of the cameras that have a reading (so each camera counts once, however long it ran).
        m_currentFps = measured > 0 ? cameraFps : 0.0;
        m_measuredCameraCount = measured;
        m_diskWriteSpeedMBs = 0.0;
    }
    publishCameraHealth();
    emit performanceMetricsChanged();
}

qint64 ApplicationManager::takeBytesWritten() const
{
    return m_take ? m_take->bytesWritten() : 0;
}

qint64 ApplicationManager::takeDroppedFrames() const
{
    return m_take ? m_take->droppedFrames() : m_takeStats.droppedFrames;
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

QVariantList ApplicationManager::getRecentLogEntries()
{
    return LogMarkers::classify(getRecentLogs());
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
