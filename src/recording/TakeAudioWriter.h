// TakeAudioWriter: the WAV files of one take (the master mix and each separate channel),
// written on a thread of their own so that a slow, full or network disk never stalls the
// interface or the audio tick. Each file is a WavPartWriter, so a long take goes on in next
// parts instead of stopping at 4 GiB.
//
// Threads: addFile() and start() run on the GUI thread before the take starts; append() runs
// on the GUI thread (the audio tick) and only copies the samples into a bounded queue under
// m_mutex, the one hand-over. The thread "TakeAudio" converts and writes what is queued,
// begins next parts, and rewrites each header and syncs it to disk at least every two
// seconds of wall-clock time (the crash promise). finish() wakes the thread, lets it write
// everything queued and finalise every file, and joins it; the part lists and errors are
// read after it. failure(), bytesWritten() and framesAppended() may be read at any time.
//
// Bounded: at most kMaxQueuedSeconds of audio per file wait. A disk that falls further
// behind is a failure of the take (the samples that do not fit are counted, not queued), as
// is any write error; the take then stops and every file is finalised.
#pragma once

#include "recording/WavPartWriter.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class TakeAudioWriter
{
public:
    static constexpr int kMaxQueuedSeconds = 10;
    // Headers are rewritten this often while samples arrive: within the two seconds promised.
    static constexpr int kHeaderRefreshMs = 1500;

    TakeAudioWriter(int sampleRate, int channels);
    ~TakeAudioWriter();
    TakeAudioWriter(const TakeAudioWriter &) = delete;
    TakeAudioWriter &operator=(const TakeAudioWriter &) = delete;

    // Before start(): the size of one part (tests); applies to files added afterwards.
    void setPartSizeLimitBytes(quint32 bytes) { m_partLimitBytes = bytes; }
    // Before start(): opens the first part of a file, a Broadcast WAV one when `broadcastInfo`
    // is given; its index, or -1 (openError() says why).
    int addFile(const QString &firstPath, const std::optional<BroadcastWavInfo> &broadcastInfo = std::nullopt);
    QString openError() const { return m_openError; }
    int fileCount() const { return int(m_files.size()); }

    void start();
    // Queues interleaved samples for a file. False when they were refused (queue full after a
    // stalled disk, or a failure already happened): the take is then failing.
    bool append(int file, const float *samples, qsizetype count);
    // Frames handed to append() for a file (written, waiting, or refused after a failure).
    qint64 framesAppended(int file) const;

    // The first failure, with the index of its file; empty while all is well.
    QString failure(int *file = nullptr) const;
    bool hasFailed() const { return m_failed.load(std::memory_order_acquire); }
    qint64 bytesWritten() const { return m_bytesWritten.load(std::memory_order_relaxed); }

    // Waits until everything queued so far is in the files (tests).
    void waitUntilWritten();
    // Writes what is queued, finalises every file, joins the thread. Idempotent.
    void finish();

    // After finish(): each file's parts and the frames in each.
    QStringList partPaths(int file) const;
    QList<qint64> partFrames(int file) const;

private:
    struct Chunk
    {
        int file = 0;
        std::vector<float> samples;
    };
    struct File
    {
        std::unique_ptr<WavPartWriter> writer; // Writer thread only while it runs.
        qint64 framesAppended = 0;             // GUI thread only.
        bool dirty = false;                    // Writer thread only.
    };

    void run();
    void writeChunk(Chunk &chunk);
    void refreshHeaders();
    void fail(int file, const QString &error);

    const int m_sampleRate;
    const int m_channels;
    quint32 m_partLimitBytes;
    QString m_openError;
    std::vector<File> m_files;
    std::thread m_thread;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;    // new chunks or quit
    std::condition_variable m_drained; // the queue went empty
    // Guarded by m_mutex.
    std::deque<Chunk> m_queue;
    qint64 m_queuedSamples = 0;
    bool m_busy = false; // the thread holds chunks it took out of the queue
    bool m_quit = false;
    QString m_failure;
    int m_failedFile = -1;

    std::atomic<bool> m_failed{false};
    std::atomic<qint64> m_bytesWritten{0};
};
