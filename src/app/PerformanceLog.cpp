#include "app/PerformanceLog.h"

#include "app/ProcessClock.h"
#include "app/ProcessMemory.h"

#include <QDebug>
#include <QFile>

const char *PerformanceLog::header()
{
    return "take_folder,elapsed_s,frames_sent,dropped_frames,repeated_frames,bytes_written,cpu_time_s,ram_mb\n";
}

PerformanceLog::PerformanceLog() = default;

PerformanceLog::~PerformanceLog() = default;

void PerformanceLog::open(const QString &path)
{
    const QByteArray columns(header());
    m_secondsWritten = 0;
    {
        // Rows under another header would be read against the wrong columns: an older log
        // is kept beside the new one.
        QFile existing(path);
        if (existing.open(QIODevice::ReadOnly) && !existing.atEnd() && existing.readLine() != columns) {
            existing.close();
            QFile::remove(path + QStringLiteral(".old"));
            if (QFile::rename(path, path + QStringLiteral(".old")))
                qDebug() << "[PerformanceLog] The performance log's columns changed; the old one is"
                         << path + QStringLiteral(".old");
        }
    }
    m_file = std::make_unique<QFile>(path);
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        qWarning() << "[PerformanceLog] Cannot write the performance log" << path << m_file->errorString();
        m_file.reset();
        return;
    }
    if (m_file->size() == 0)
        m_file->write(columns);
}

void PerformanceLog::writeRowIfDue(qint64 elapsedNs, const TakeProgress &progress)
{
    if (!m_file || elapsedNs / 1000000000 <= m_secondsWritten)
        return;
    m_secondsWritten = elapsedNs / 1000000000;
    const QString row = QStringLiteral("\"%1\",%2,%3,%4,%5,%6,%7,%8\n")
                            .arg(progress.takeFolder)
                            .arg(m_secondsWritten)
                            .arg(progress.framesSent)
                            .arg(progress.droppedFrames)
                            .arg(progress.repeatedFrames)
                            .arg(progress.bytesWritten)
                            .arg(double(processCpuTimeNs()) / 1e9, 0, 'f', 3)
                            .arg(double(qMax<qint64>(0, residentSetBytes())) / 1048576.0, 0, 'f', 1);
    m_file->write(row.toUtf8());
    m_file->flush();
}

void PerformanceLog::close()
{
    m_file.reset();
}
