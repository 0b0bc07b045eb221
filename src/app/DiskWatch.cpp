#include "app/DiskWatch.h"

DiskWatch::DiskWatch(UseProbe use, QObject *parent)
    : QObject(parent)
    , m_use(std::move(use))
{
    connect(&m_timer, &QTimer::timeout, this, &DiskWatch::check);
}

void DiskWatch::start()
{
    m_timer.start(1000);
}

void DiskWatch::stop()
{
    m_timer.stop();
}

qint64 DiskWatch::freeBytesAt(const QString &path) const
{
    return m_freeSpaceProbe ? m_freeSpaceProbe(path) : freeBytesOf(path);
}

void DiskWatch::takeStarted()
{
    m_isWarningGiven = false;
    m_writeRate.reset();
}

LocalisedText DiskWatch::refusalToStart(const QString &folder)
{
    check();
    const qint64 free = freeBytesAt(folder);
    const qint64 seconds = ::secondsLeft(free, m_limits.reserveBytes, m_use().expectedBytesPerSecond);
    switch (startRefusal(free, seconds, m_limits)) {
    case StartRefusal::TooLittleSpace:
        return RecordingProblems::tooLittleSpaceToStart(folder, free, m_limits.minFreeToStartBytes);
    case StartRefusal::TooLittleTime:
        return RecordingProblems::tooLittleTimeToStart(folder, free, seconds);
    case StartRefusal::None:
        break;
    }
    return {};
}

void DiskWatch::check()
{
    const DiskUse use = m_use();
    const qint64 free = freeBytesAt(use.folder);
    double rate = -1.0;
    if (use.isRecording) {
        m_writeRate.add(use.takeNowNs, use.takeBytesWritten);
        rate = m_writeRate.bytesPerSecond();
    }
    // Before a take, and in its first seconds, the settings say what it will write.
    if (rate < 0.0)
        rate = use.expectedBytesPerSecond;
    const qint64 seconds = ::secondsLeft(free, m_limits.reserveBytes, rate);
    const DiskSpaceLevel level = diskSpaceLevel(free, seconds, use.isRecording, m_limits);
    if (free != m_freeBytes || seconds != m_secondsLeft || level != m_level) {
        m_freeBytes = free;
        m_secondsLeft = seconds;
        m_level = level;
        emit changed();
    }
    if (!use.isRecording || free < 0)
        return;

    if (free < m_limits.reserveBytes) {
        emit reserveReached(use.folder, free);
        return;
    }
    if (!m_isWarningGiven && seconds >= 0 && seconds < m_limits.criticalSeconds) {
        m_isWarningGiven = true;
        emit runningOutOfSpace(use.folder, seconds);
    }
}
