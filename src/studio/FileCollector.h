// FileCollector: copies the files of one follower's studio take into a folder of the
// leader's take folder, over the link.
//
// Resumable: a file arrives as "<name>.part" and is renamed once whole; a copy cut short
// (the link lost, the program closed) goes on from the bytes already there with a byte
// range. Checksummed: every copied file is read back and its SHA-256 compared with the one
// the follower computed from its own file (the collector asks the follower's take report
// again while the follower is still computing it); a mismatch copies the file once more from
// the start. Files already collected and matching are left alone, so "Collect files" can be
// pressed again at any time.
//
// GUI thread; a child of whoever runs it. The clock must outlive it.
#pragma once

#include "studio/FileHasher.h"
#include "studio/LinkAddress.h"
#include "studio/StudioTakeReport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QPointer>
#include <QTimer>

class LinkCall;
class WallClock;

class FileCollector : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxAttemptsPerFile = 5;
    static constexpr int RetryDelayMs = 1000;
    // How long the follower may take to checksum its files before the copy counts as
    // unverified.
    static constexpr int ChecksumWaitMs = 120'000;
    static constexpr int IdleTimeoutMs = 10'000;

    FileCollector(const LinkAddress &follower, const WallClock *clock, const StudioTakeReport &report,
                  const QString &destinationFolder, QObject *parent = nullptr);
    ~FileCollector() override;

    void start();
    void cancel();

    QString machine() const { return m_report.machine; }
    QString destinationFolder() const { return m_folder; }
    qint64 totalBytes() const { return m_report.totalBytes(); }
    qint64 doneBytes() const;
    int filesDone() const { return m_index; }
    int fileCount() const { return int(m_report.files.size()); }
    bool isRunning() const { return m_running; }
    bool hasSucceeded() const { return m_succeeded; }
    QString error() const { return m_error; }
    // Tests shorten the waits.
    void setRetryDelayMs(int ms) { m_retryDelayMs = ms; }

signals:
    void progressChanged();
    void finished(bool succeeded);

private:
    void nextFile();
    void download(qint64 from);
    void onDownloaded(const QString &error);
    void verify();
    void refreshChecksums();
    void onHashed(const QString &path, const QString &sha256, const QString &error);
    void retry(const QString &why);
    void fail(const QString &why);
    const StudioTakeFile &current() const { return m_report.files.at(m_index); }
    QString targetPath() const;
    QString partPath() const;

    LinkAddress m_follower;
    const WallClock *m_clock;
    StudioTakeReport m_report;
    QString m_folder;
    int m_index = 0;
    int m_attempts = 0;
    qint64 m_doneBefore = 0;   // bytes of the files already done
    qint64 m_currentBytes = 0; // bytes of the current file on disk
    QFile m_part;
    QPointer<LinkCall> m_call;
    FileHasher m_hasher;
    QTimer m_retryTimer;
    QTimer m_checksumTimer;
    QElapsedTimer m_checksumWait; // since the copy first waited for its checksum
    int m_retryDelayMs = RetryDelayMs;
    bool m_running = false;
    bool m_succeeded = false;
    QString m_error;
};
