// Performance read-outs, the log file and the manuals.
#include "app/ApplicationManager.h"

#include "common/ChannelRange.h"
#include "common/MonotonicClock.h"

#include "common/AppPaths.h"
#include "app/ProcessClock.h"
#include "capture/ISource.h"
#include "recording/IEncoder.h"
#include "recording/TakeRecorder.h"

#include <QDesktopServices>
#include <QFile>
#include <QTextStream>
#include <QThread>
#include <QUrl>


#ifdef Q_OS_UNIX
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include "platform/windows/ProcessCounters.h"
#endif

namespace {



// Resident set size of this process in bytes (the working set on Windows), -1 when it cannot
// be read.
qint64 residentSetBytes()
{
#if defined(Q_OS_WIN)
    return ProcessCounters::workingSetBytes();
#elif defined(Q_OS_LINUX)
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
    // Each camera's own rate, for its tile, and idle the figure of the status bar.
    int measured = 0;
    const double cameraFps = measureCameraRates(nowNs, &measured);

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
            qWarning() << "[ApplicationManager] Frames lost during the take (encoders behind), DROPS:" << m_droppedFrames;
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

double ApplicationManager::measureCameraRates(qint64 nowNs, int *measured)
{
    double sum = 0.0;
    *measured = 0;
    for (int channelId = ChannelRange::kFirst; channelId <= ChannelRange::kLast; ++channelId) {
        CameraRateSample &sample = m_channels.find(channelId)->rate;
        const std::shared_ptr<ISource> source = sourceForChannel(channelId);
        if (!source || !source->isRunning()) {
            sample = CameraRateSample{};
            continue;
        }
        const quint64 pictures = source->picturesDelivered();
        // A new or replaced camera starts its count here; its first rate comes next time.
        if (sample.source != source.get() || pictures < sample.pictures) {
            sample = CameraRateSample{source.get(), pictures, nowNs, -1.0};
            continue;
        }
        if (nowNs > sample.sampleNs)
            sample.fps = double(pictures - sample.pictures) * 1e9 / double(nowNs - sample.sampleNs);
        sample.pictures = pictures;
        sample.sampleNs = nowNs;
        if (sample.fps >= 0.0) {
            sum += sample.fps;
            ++*measured;
        }
    }
    return *measured > 0 ? sum / *measured : -1.0;
}

qint64 ApplicationManager::takeBytesWritten() const
{
    return m_take ? m_take->bytesWritten() : 0;
}

qint64 ApplicationManager::takeDroppedFrames() const
{
    return m_take ? m_take->droppedFrames() : m_takeStats.droppedFrames;
}

// --- performance log: one row per second of every take ---

void ApplicationManager::openPerfLog()
{
    static const QByteArray header =
        "take_folder,elapsed_s,frames_sent,dropped_frames,repeated_frames,bytes_written,cpu_time_s,ram_mb\n";
    const QString path = AppPaths::perfLogFilePath();
    {
        // Rows under another header would be read against the wrong columns: an older log
        // is kept beside the new one.
        QFile existing(path);
        if (existing.open(QIODevice::ReadOnly) && !existing.atEnd() && existing.readLine() != header) {
            existing.close();
            QFile::remove(path + QStringLiteral(".old"));
            if (QFile::rename(path, path + QStringLiteral(".old")))
                qDebug() << "[ApplicationManager] The performance log's columns changed; the old one is" << path + QStringLiteral(".old");
        }
    }
    m_perfLog = std::make_unique<QFile>(path);
    if (!m_perfLog->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        qWarning() << "[ApplicationManager] Cannot write the performance log" << m_perfLog->fileName()
                   << m_perfLog->errorString();
        m_perfLog.reset();
        return;
    }
    if (m_perfLog->size() == 0)
        m_perfLog->write(header);
}

void ApplicationManager::writePerfLogRowIfDue(qint64 elapsedNs)
{
    if (!m_perfLog || elapsedNs / 1000000000 <= m_takeStats.perfLogSeconds)
        return;
    m_takeStats.perfLogSeconds = elapsedNs / 1000000000;
    const QString row = QStringLiteral("\"%1\",%2,%3,%4,%5,%6,%7,%8\n")
                            .arg(m_currentTakeFolder)
                            .arg(m_takeStats.perfLogSeconds)
                            .arg(m_take ? m_take->framePump().totalFramesSent() : 0)
                            .arg(takeDroppedFrames())
                            .arg(takeRepeatedFrames())
                            .arg(takeBytesWritten())
                            .arg(double(processCpuTimeNs()) / 1e9, 0, 'f', 3)
                            .arg(double(qMax<qint64>(0, residentSetBytes())) / 1048576.0, 0, 'f', 1);
    m_perfLog->write(row.toUtf8());
    m_perfLog->flush();
}

void ApplicationManager::closePerfLog()
{
    m_perfLog.reset();
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
