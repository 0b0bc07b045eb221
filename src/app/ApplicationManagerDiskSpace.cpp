// The recording disk as the take sees it: what the disk watch (DiskWatch) is told at each
// check, and what a take writes per second by the settings.
#include "app/ApplicationManager.h"

#include "common/AudioFormat.h"
#include "recording/TakeRecorder.h"

namespace {

constexpr int kAudioChannels = 2;

} // namespace

DiskUse ApplicationManager::diskUse() const
{
    DiskUse use;
    use.isRecording = m_isRecording && m_take;
    use.folder = m_isRecording ? m_currentTakeFolder : m_recordingPath;
    if (use.isRecording) {
        use.takeNowNs = m_take->nowNs();
        use.takeBytesWritten = takeBytesWritten();
    }
    use.expectedBytesPerSecond = expectedTakeRate();
    return use;
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
    return expectedTakeBytesPerSecond(cameras, m_targetBitrateKbps, wavFiles, AudioFormat::kSampleRate, kAudioChannels);
}
