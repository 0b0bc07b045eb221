// PerformanceLog: one CSV row per second of every take (frames sent, dropped and repeated
// frames, bytes written, the process's CPU time and memory), appended to the log file beside
// the program's own log, so a take's load can be read afterwards. The manager opens it when a
// take starts, offers a row on every frame tick and closes it when the take ends.
// GUI thread only.
#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>

class QFile;

// What the running take has done so far, for one row.
struct TakeProgress
{
    QString takeFolder;
    qint64 framesSent = 0;
    qint64 droppedFrames = 0;
    qint64 repeatedFrames = 0;
    qint64 bytesWritten = 0;
};

class PerformanceLog
{
public:
    // The columns, in their order; a log under another header is kept aside as ".old".
    static const char *header();

    PerformanceLog();
    ~PerformanceLog();
    PerformanceLog(const PerformanceLog &) = delete;
    PerformanceLog &operator=(const PerformanceLog &) = delete;

    // A new take: opens the file at `path` for appending (logged when it cannot be written;
    // the take goes on without it) and starts counting its seconds from 0.
    void open(const QString &path);
    // Writes the row of each whole second `elapsedNs` has passed since the last one.
    void writeRowIfDue(qint64 elapsedNs, const TakeProgress &progress);
    void close();
    bool isOpen() const { return m_file != nullptr; }

private:
    std::unique_ptr<QFile> m_file;
    qint64 m_secondsWritten = 0;
};
