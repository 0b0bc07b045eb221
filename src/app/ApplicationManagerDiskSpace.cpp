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
    int encodedCameras = 0;
    double cameraStreams = 0; // bytes per second of the cameras recorded as they send
    int wavFiles = 1; // the master mix, always
    for (const ChannelState &channel : m_channels) {
        if (channel.source && channel.source->isRunning()) {
            const qint64 streamRate = recordedCameraStream(channel) ? channel.source->streamBytesPerSecond() : 0;
            if (streamRate > 0)
                cameraStreams += double(streamRate);
            else
                ++encodedCameras;
        }
        if (channel.audioCapture && channel.isSeparateAudio)
            ++wavFiles;
    }
    return cameraStreams
           + expectedTakeBytesPerSecond(encodedCameras, m_targetBitrateKbps, wavFiles, AudioFormat::kSampleRate, kAudioChannels);
}
