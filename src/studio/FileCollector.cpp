#include "studio/FileCollector.h"

#include "studio/LinkCall.h"
#include "studio/StudioProtocol.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

namespace {

constexpr int kChecksumPollMs = 500;

// "bytes 100-199/200" → 100; -1 when it is no such header.
qint64 rangeStart(const QByteArray &contentRange)
{
    if (!contentRange.startsWith("bytes "))
        return -1;
    const qsizetype dash = contentRange.indexOf('-');
    bool ok = false;
    const qint64 start = contentRange.mid(6, dash - 6).toLongLong(&ok);
    return ok ? start : -1;
}

} // namespace

FileCollector::FileCollector(const LinkAddress &follower, const WallClock *clock, const StudioTakeReport &report,
                             const QString &destinationFolder, QObject *parent)
    : QObject(parent)
    , m_follower(follower)
    , m_clock(clock)
    , m_report(report)
    , m_folder(destinationFolder)
{
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &FileCollector::nextFile);
    m_checksumTimer.setSingleShot(true);
    connect(&m_checksumTimer, &QTimer::timeout, this, &FileCollector::refreshChecksums);
    connect(&m_hasher, &FileHasher::hashed, this, &FileCollector::onHashed);
}

FileCollector::~FileCollector()
{
    if (m_call)
        m_call->cancel();
}

qint64 FileCollector::doneBytes() const
{
    return m_doneBefore + m_currentBytes;
}

QString FileCollector::targetPath() const
{
    return QDir(m_folder).filePath(current().name);
}

QString FileCollector::partPath() const
{
    return targetPath() + QStringLiteral(".part");
}

void FileCollector::start()
{
    if (m_running)
        return;
    m_running = true;
    m_succeeded = false;
    m_error.clear();
    m_index = 0;
    m_doneBefore = 0;
    m_attempts = 0;
    if (!QDir().mkpath(m_folder)) {
        fail(QStringLiteral("cannot create the folder %1").arg(m_folder));
        return;
    }
    nextFile();
}

void FileCollector::cancel()
{
    if (!m_running)
        return;
    if (m_call)
        m_call->cancel();
    m_retryTimer.stop();
    m_checksumTimer.stop();
    m_part.close();
    m_running = false;
    m_error = QStringLiteral("cancelled");
    emit finished(false);
}

void FileCollector::nextFile()
{
    if (!m_running)
        return;
    if (m_index >= m_report.files.size()) {
        m_running = false;
        m_succeeded = true;
        m_currentBytes = 0;
        qDebug().noquote() << "[FileCollector] Collected" << m_report.files.size() << "file(s) of" << m_report.machine
                           << "into" << m_folder;
        emit progressChanged();
        emit finished(true);
        return;
    }
    const StudioTakeFile &file = current();
    const QFileInfo target(targetPath());
    if (target.exists() && target.size() == file.bytes) {
        m_currentBytes = file.bytes; // there already: only its checksum is left to see
        verify();
        return;
    }
    QFile::remove(targetPath());
    qint64 from = QFileInfo(partPath()).size();
    if (from > file.bytes) {
        QFile::remove(partPath());
        from = 0;
    }
    m_currentBytes = from;
    if (from == file.bytes && QFile::rename(partPath(), targetPath())) {
        verify();
        return;
    }
    download(from);
}

void FileCollector::download(qint64 from)
{
    m_part.setFileName(partPath());
    if (!m_part.open(QIODevice::ReadWrite)) {
        fail(QStringLiteral("cannot write %1: %2").arg(partPath(), m_part.errorString()));
        return;
    }
    m_part.seek(from);
    LinkRequest request;
    request.path = QString::fromLatin1(StudioRoutes::kFile);
    request.query.addQueryItem(QStringLiteral("take"), m_report.takeId);
    request.query.addQueryItem(QStringLiteral("name"), current().name);
    if (from > 0)
        request.headers.append({"Range", "bytes=" + QByteArray::number(from) + '-'});
    request.timeoutMs = IdleTimeoutMs;
    bool positioned = false;
    m_call = LinkCall::start(
        m_follower, request, m_clock, this,
        [this](const LinkResponse &response) {
            if (!response.isOk())
                onDownloaded(response.error.isEmpty() ? QStringLiteral("the follower answered %1").arg(response.status)
                                                      : response.error);
            else
                onDownloaded(QString());
        },
        [this, from, positioned](const LinkResponse &head, QByteArrayView bytes) mutable {
            if (!positioned) {
                // A whole file (200) starts again from its first byte; a part (206) must
                // start where ours ends.
                const qint64 start = head.status == 206 ? rangeStart(head.header("Content-Range")) : 0;
                if (start != (head.status == 206 ? from : 0))
                    return false;
                if (start == 0)
                    m_part.resize(0);
                m_part.seek(start);
                m_currentBytes = start;
                positioned = true;
            }
            if (m_part.write(bytes.data(), bytes.size()) != bytes.size())
                return false;
            m_currentBytes += bytes.size();
            emit progressChanged();
            return true;
        });
}

void FileCollector::onDownloaded(const QString &error)
{
    m_call = nullptr;
    const bool written = m_part.flush();
    m_part.close();
    if (!error.isEmpty() || !written) {
        retry(error.isEmpty() ? m_part.errorString() : error);
        return;
    }
    if (QFileInfo(partPath()).size() != current().bytes) {
        retry(QStringLiteral("the copy of %1 has %2 bytes, not %3")
                  .arg(current().name).arg(QFileInfo(partPath()).size()).arg(current().bytes));
        return;
    }
    QFile::remove(targetPath());
    if (!QFile::rename(partPath(), targetPath())) {
        fail(QStringLiteral("cannot rename %1").arg(partPath()));
        return;
    }
    verify();
}

void FileCollector::verify()
{
    if (current().sha256.isEmpty()) {
        if (!m_checksumWait.isValid())
            m_checksumWait.start();
        if (m_checksumWait.elapsed() > ChecksumWaitMs) {
            fail(QStringLiteral("%1 sent no checksum for %2").arg(m_report.machine, current().name));
            return;
        }
        m_checksumTimer.start(kChecksumPollMs);
        return;
    }
    m_hasher.hash(targetPath());
}

void FileCollector::refreshChecksums()
{
    LinkRequest request;
    request.path = QString::fromLatin1(StudioRoutes::kTake);
    request.query.addQueryItem(QStringLiteral("take"), m_report.takeId);
    m_call = LinkCall::start(m_follower, request, m_clock, this, [this](const LinkResponse &response) {
        m_call = nullptr;
        if (response.isOk()) {
            const std::optional<StudioTakeReport> fresh = StudioTakeReport::fromJson(response.json());
            if (fresh && fresh->takeId == m_report.takeId) {
                for (StudioTakeFile &file : m_report.files) {
                    if (const StudioTakeFile *theirs = fresh->file(file.name))
                        file.sha256 = theirs->sha256;
                }
            }
        }
        verify();
    });
}

void FileCollector::onHashed(const QString &path, const QString &sha256, const QString &error)
{
    if (!m_running || path != targetPath())
        return;
    if (!error.isEmpty()) {
        fail(QStringLiteral("cannot read back %1: %2").arg(path, error));
        return;
    }
    if (sha256 != current().sha256) {
        qWarning().noquote() << "[FileCollector] The copy of" << current().name << "from" << m_report.machine
                             << "does not match its checksum; copying it again";
        QFile::remove(path);
        retry(QStringLiteral("the copy of %1 does not match its checksum").arg(current().name));
        return;
    }
    m_doneBefore += current().bytes;
    m_currentBytes = 0;
    m_attempts = 0;
    m_checksumWait.invalidate();
    ++m_index;
    emit progressChanged();
    nextFile();
}

void FileCollector::retry(const QString &why)
{
    if (++m_attempts >= MaxAttemptsPerFile) {
        fail(why);
        return;
    }
    qDebug().noquote() << "[FileCollector]" << m_report.machine << current().name << ":" << why << "- trying again";
    m_retryTimer.start(m_retryDelayMs);
}

void FileCollector::fail(const QString &why)
{
    m_running = false;
    m_succeeded = false;
    m_error = why;
    qWarning().noquote() << "[FileCollector] Collecting the files of" << m_report.machine << "failed:" << why;
    emit finished(false);
}
