#include "recording/CutJournal.h"

#include "recording/CutJournalFormat.h"
#include "recording/FileSync.h"

#include <QDir>

CutJournal::~CutJournal()
{
    close();
}

bool CutJournal::open(const QString &takeFolder, const CutJournalTake &take)
{
    close();
    m_error.clear();
    m_file.setFileName(QDir(takeFolder).filePath(QLatin1String(CutJournalFormat::kFileName)));
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        m_error = m_file.errorString();
        return false;
    }
    m_quit = false;
    m_syncDue = false;
    m_handle = m_file.handle(); // the thread syncs through the descriptor, never the QFile
    m_thread = std::thread([this] { syncLoop(); });

    using CutJournalFormat::quoted;
    writeText(QByteArray(CutJournalFormat::kHeaderLine) + '\n');
    writeLine(0, QStringLiteral("take %1 timecode %2 rate %3/%4 size %5x%6")
                     .arg(quoted(take.sessionName), take.startTimecode)
                     .arg(take.rate.numerator)
                     .arg(take.rate.denominator)
                     .arg(take.width)
                     .arg(take.height));
    for (const auto &[channelId, file] : take.cameraFiles) {
        const auto start = take.cameraStartFrames.find(channelId);
        const QString from = start != take.cameraStartFrames.end() ? QStringLiteral(" from %1").arg(start->second) : QString();
        writeLine(0, QStringLiteral("camera %1 %2%3").arg(channelId).arg(quoted(file), from));
    }
    if (!take.masterFile.isEmpty())
        writeLine(0, QStringLiteral("master %1").arg(quoted(take.masterFile)));
    for (const auto &[channelId, file] : take.channelAudioFiles) {
        const auto link = take.cameraLinks.find(channelId);
        const QString linked = link != take.cameraLinks.end() && link->second > 0
            ? QStringLiteral(" link %1").arg(link->second) : QString();
        writeLine(0, QStringLiteral("audio %1 %2%3").arg(channelId).arg(quoted(file), linked));
    }
    return lastError().isEmpty();
}

void CutJournal::noteSwitch(qint64 takeMs, int channelId)
{
    writeLine(takeMs, QStringLiteral("switch %1").arg(channelId));
}

void CutJournal::noteMarker(qint64 takeMs, int number, const QString &name)
{
    writeLine(takeMs, QStringLiteral("marker %1 %2").arg(number).arg(CutJournalFormat::quoted(name)));
}

void CutJournal::noteCameraJoined(qint64 takeMs, int channelId, const QString &file, qint64 startFrame)
{
    writeLine(takeMs, QStringLiteral("camera %1 %2 from %3").arg(channelId).arg(CutJournalFormat::quoted(file)).arg(startFrame));
}

void CutJournal::noteStop(qint64 takeMs)
{
    writeLine(takeMs, QStringLiteral("stop"));
}

void CutJournal::writeLine(qint64 takeMs, const QString &event)
{
    writeText((CutJournalFormat::timeText(takeMs) + QLatin1Char(' ') + event + QLatin1Char('\n')).toUtf8());
}

void CutJournal::writeText(const QByteArray &line)
{
    if (!m_file.isOpen())
        return;
    // Unbuffered: the whole line is in the kernel's hands when write() returns.
    const bool written = m_file.write(line) == line.size();
    std::lock_guard lock(m_mutex);
    if (!written && m_error.isEmpty())
        m_error = m_file.errorString();
    m_syncDue = true;
    m_wake.notify_one();
}

void CutJournal::syncLoop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_syncDue || m_quit; });
        if (!m_syncDue && m_quit)
            return;
        m_syncDue = false;
        lock.unlock();
        QString error;
        const bool synced = syncFileToDisk(m_handle, &error);
        lock.lock();
        if (!synced && m_error.isEmpty())
            m_error = error;
    }
}

void CutJournal::close()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_quit = true; // the thread syncs what is due before it ends
        m_wake.notify_one();
    }
    m_thread.join();
    m_file.close();
}

QString CutJournal::lastError() const
{
    std::lock_guard lock(m_mutex);
    return m_error;
}
