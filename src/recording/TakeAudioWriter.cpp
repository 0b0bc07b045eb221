#include "recording/TakeAudioWriter.h"

#include "common/ThreadName.h"

#include <QDebug>

#include <chrono>
#include <limits>


TakeAudioWriter::TakeAudioWriter(int sampleRate, int channels)
    : m_sampleRate(sampleRate)
    , m_channels(channels)
    , m_partLimitBytes(std::numeric_limits<quint32>::max())
{
}

TakeAudioWriter::~TakeAudioWriter()
{
    finish();
}

int TakeAudioWriter::addFile(const QString &firstPath, const std::optional<BroadcastWavInfo> &broadcastInfo)
{
    auto writer = std::make_unique<WavPartWriter>();
    writer->setPartSizeLimitBytes(m_partLimitBytes);
    writer->setBroadcastInfo(broadcastInfo);
    if (!writer->open(firstPath, m_sampleRate, m_channels)) {
        m_openError = writer->errorString();
        return -1;
    }
    m_files.push_back(File{std::move(writer), 0, false});
    return int(m_files.size()) - 1;
}

void TakeAudioWriter::start()
{
    if (m_thread.joinable() || m_files.empty())
        return;
    m_thread = std::thread([this] { run(); });
}

bool TakeAudioWriter::append(int file, const float *samples, qsizetype count)
{
    if (file < 0 || file >= int(m_files.size()) || count <= 0 || !m_thread.joinable())
        return false;
    const qint64 limit = qint64(kMaxQueuedSeconds) * m_sampleRate * m_channels * qint64(m_files.size());
    // Counted whether they reach the file or not: the take measures each track against the
    // master by this, and a refused track must not look ever further behind.
    m_files[size_t(file)].framesAppended += count / m_channels;
    {
        std::lock_guard lock(m_mutex);
        if (!m_failure.isEmpty())
            return false;
        if (m_queuedSamples + count > limit) {
            m_failure = QStringLiteral("Writing to disk fell more than %1 s behind").arg(kMaxQueuedSeconds);
            m_failedFile = file;
            m_failed.store(true, std::memory_order_release);
            qWarning() << "[TakeAudioWriter]" << qPrintable(m_failure);
            return false;
        }
        m_queue.push_back(Chunk{file, std::vector<float>(samples, samples + count)});
        m_queuedSamples += count;
    }
    m_wake.notify_one();
    return true;
}

qint64 TakeAudioWriter::framesAppended(int file) const
{
    return file >= 0 && file < int(m_files.size()) ? m_files[size_t(file)].framesAppended : 0;
}

QString TakeAudioWriter::failure(int *file) const
{
    std::lock_guard lock(m_mutex);
    if (file)
        *file = m_failedFile;
    return m_failure;
}

void TakeAudioWriter::waitUntilWritten()
{
    std::unique_lock lock(m_mutex);
    m_drained.wait(lock, [this] { return !m_thread.joinable() || (m_queue.empty() && !m_busy); });
}

void TakeAudioWriter::finish()
{
    if (m_thread.joinable()) {
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    // Files that never saw the thread (a take that did not start) are finalised here.
    for (File &file : m_files)
        file.writer->close();
}

QStringList TakeAudioWriter::partPaths(int file) const
{
    return file >= 0 && file < int(m_files.size()) ? m_files[size_t(file)].writer->partPaths() : QStringList();
}

QList<qint64> TakeAudioWriter::partFrames(int file) const
{
    return file >= 0 && file < int(m_files.size()) ? m_files[size_t(file)].writer->partFrames() : QList<qint64>();
}

void TakeAudioWriter::run()
{
    nameCurrentThread(QStringLiteral("TakeAudio"));
    using Clock = std::chrono::steady_clock;
    auto lastRefresh = Clock::now();
    std::deque<Chunk> batch;

    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait_for(lock, std::chrono::milliseconds(kHeaderRefreshMs / 3),
                        [this] { return m_quit || !m_queue.empty(); });
        batch.swap(m_queue);
        m_busy = !batch.empty();
        const bool quit = m_quit;
        lock.unlock();

        qint64 samples = 0;
        for (Chunk &chunk : batch) {
            samples += qint64(chunk.samples.size());
            writeChunk(chunk);
        }
        batch.clear();
        if (Clock::now() - lastRefresh >= std::chrono::milliseconds(kHeaderRefreshMs)) {
            refreshHeaders();
            lastRefresh = Clock::now();
        }

        lock.lock();
        m_queuedSamples -= samples;
        m_busy = false;
        if (m_queue.empty())
            m_drained.notify_all();
        if (quit && m_queue.empty())
            break;
    }
    lock.unlock();

    for (size_t i = 0; i < m_files.size(); ++i) {
        m_files[i].writer->close();
        if (m_files[i].writer->hasError())
            fail(int(i), m_files[i].writer->errorString());
    }
    lock.lock();
    m_drained.notify_all();
}

void TakeAudioWriter::writeChunk(Chunk &chunk)
{
    File &file = m_files[size_t(chunk.file)];
    if (file.writer->hasError())
        return;
    const qint64 before = file.writer->framesWritten();
    file.writer->write(chunk.samples.data(), qsizetype(chunk.samples.size()));
    const qint64 frames = file.writer->framesWritten() - before;
    m_bytesWritten.fetch_add(frames * m_channels * WavFormat::bytesPerSample, std::memory_order_relaxed);
    file.dirty = true;
    if (file.writer->hasError())
        fail(chunk.file, file.writer->errorString());
}

void TakeAudioWriter::refreshHeaders()
{
    for (size_t i = 0; i < m_files.size(); ++i) {
        File &file = m_files[i];
        if (!file.dirty)
            continue;
        file.dirty = false;
        file.writer->refreshHeader();
        if (file.writer->hasError())
            fail(int(i), file.writer->errorString());
    }
}

void TakeAudioWriter::fail(int file, const QString &error)
{
    std::lock_guard lock(m_mutex);
    if (!m_failure.isEmpty())
        return;
    m_failure = error;
    m_failedFile = file;
    m_failed.store(true, std::memory_order_release);
}
