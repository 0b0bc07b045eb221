// The recording disk: its free space and the time a take can still run on it, REC ALL's
// refusal on a nearly full disk, the warning of a running take and its clean stop above the
// reserve. Read once a second by its own timer, never on the 25 ms or 33 ms ticks: a file
// system query can take a while on a network or USB disk.
#include "app/ApplicationManager.h"

#include "capture/ISource.h"
#include "recording/TakeRecorder.h"

#include <QDebug>

namespace {

constexpr int kSampleRate = 48000;
constexpr int kAudioChannels = 2;

} // namespace

void ApplicationManager::startDiskWatch()
{
    connect(&m_diskWatchTimer, &QTimer::timeout, this, &ApplicationManager::checkDiskSpace);
    m_diskWatchTimer.start(1000);
}

qint64 ApplicationManager::freeBytesAt(const QString &path) const
{
    return m_freeSpaceProbe ? m_freeSpaceProbe(path) : freeBytesOf(path);
}

double ApplicationManager::expectedTakeRate() const
{
    int cameras = 0;
    int wavFiles = 1; // the master mix, always
    for (const ChannelState &channel : m_channels) {
        if (channel.source && channel.source->isRunning())
            ++cameras;
        if (channel.audioCapture && channel.isSeparateAudio)
            ++wavFiles;
    }
    return expectedTakeBytesPerSecond(cameras, m_targetBitrateKbps, wavFiles, kSampleRate, kAudioChannels);
}

LocalisedText ApplicationManager::diskRefusalToStart()
{
    checkDiskSpace(); // the read-out shows what the refusal is about
    const qint64 free = freeBytesAt(m_recordingPath);
    const qint64 seconds = secondsLeft(free, m_diskLimits.reserveBytes, expectedTakeRate());
    switch (startRefusal(free, seconds, m_diskLimits)) {
    case StartRefusal::TooLittleSpace:
        return RecordingProblems::tooLittleSpaceToStart(m_recordingPath, free, m_diskLimits.minFreeToStartBytes);
    case StartRefusal::TooLittleTime:
        return RecordingProblems::tooLittleTimeToStart(m_recordingPath, free, seconds);
    case StartRefusal::None:
        break;
    }
    return {};
}

void ApplicationManager::checkDiskSpace()
{
    const QString folder = m_isRecording ? m_currentTakeFolder : m_recordingPath;
    const qint64 free = freeBytesAt(folder);
    double rate = -1.0;
    if (m_isRecording && m_take) {
        m_writeRate.add(m_take->nowNs(), takeBytesWritten());
        rate = m_writeRate.bytesPerSecond();
    }
    // Before a take, and in its first seconds, the settings say what it will write.
    if (rate < 0.0)
        rate = expectedTakeRate();
    const qint64 seconds = secondsLeft(free, m_diskLimits.reserveBytes, rate);
    const DiskSpaceLevel level = diskSpaceLevel(free, seconds, m_isRecording, m_diskLimits);
    if (free != m_diskFreeBytes || seconds != m_diskSecondsLeft || level != m_diskSpaceLevel) {
        m_diskFreeBytes = free;
        m_diskSecondsLeft = seconds;
        m_diskSpaceLevel = level;
        emit diskSpaceChanged();
    }
    if (!m_isRecording || free < 0)
        return;

    if (free < m_diskLimits.reserveBytes) {
        qWarning().noquote() << "[ApplicationManager] Recording stopped: the disk is almost full," << free
                             << "bytes left for" << folder;
        setRecordingError(RecordingProblems::reserveReached(folder, free));
        stopRecording();
        return;
    }
    if (!m_isDiskWarningGiven && seconds >= 0 && seconds < m_diskLimits.criticalSeconds) {
        m_isDiskWarningGiven = true;
        qWarning().noquote() << "[ApplicationManager] Disk almost full: about" << seconds
                             << "s of recording left for" << folder;
        setRecordingWarning(RecordingProblems::runningOutOfSpace(folder, seconds));
    }
}
