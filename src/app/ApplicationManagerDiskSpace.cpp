// The recording disk as the take sees it: what the disk watch (DiskWatch) is told at each
// check, and what a take writes per second by the settings.
#include "app/ApplicationManager.h"

#include "common/AudioFormat.h"
#include "recording/TakeFormat.h"
#include "recording/TakeRecorder.h"

#include <algorithm>
#include <climits>

namespace {

constexpr int kAudioChannels = 2;
// A constant-quality take has no bitrate of its own: about what High writes. Lossless 4:2:0
// comes to about half of the raw 12 bits per pixel.
constexpr int kConstantQualityKbps = 16000;
constexpr double kLosslessBitsPerPixel = 6.0;

// What one camera's file takes per second, in kbit/s.
int expectedVideoKbps(const EncoderConfig &config)
{
    switch (config.rateControl) {
    case EncoderConfig::kConstantBitrate: return config.targetBitrateKbps;
    case EncoderConfig::kVariableBitrate: return std::max(config.targetBitrateKbps, config.maxBitrateKbps);
    case EncoderConfig::kConstantQuality: return kConstantQualityKbps;
    default:
        return int(double(config.width) * config.height * config.frameRate.toDouble() * kLosslessBitsPerPixel / 1000.0);
    }
}

} // namespace

DiskUse ApplicationManager::diskUse() const
{
    DiskUse use;
    use.isRecording = m_isRecording && m_take;
    use.folder = m_isRecording ? m_currentTakeFolder : recordingPath();
    if (use.isRecording) {
        use.takeNowNs = m_take->nowNs();
        use.takeBytesWritten = takeBytesWritten();
    }
    use.expectedBytesPerSecond = expectedTakeRate();
    return use;
}

double ApplicationManager::expectedTakeRate() const
{
    // The cameras at what the settings make of them, those recorded as they come at what they
    // send.
    qint64 videoKbps = 0;
    double cameraStreams = 0;
    const FrameRate rate = takeRate();
    for (const TakeCamera &camera : takeCameras()) {
        const ChannelState *channel = m_channels.find(camera.channelId);
        const qint64 streamRate = camera.cameraStream && channel && channel->source ? channel->source->streamBytesPerSecond() : 0;
        if (streamRate > 0)
            cameraStreams += double(streamRate);
        else
            videoKbps += expectedVideoKbps(TakeFormat::encoderConfigFor(m_recording, camera.size, rate));
    }
    int wavFiles = 1; // the master mix, always
    for (const ChannelState &channel : m_channels) {
        if (channel.audioCapture && channel.isSeparateAudio)
            ++wavFiles;
    }
    return cameraStreams + expectedTakeBytesPerSecond(1, int(std::min<qint64>(videoKbps, INT_MAX)), wavFiles,
                                                      AudioFormat::kSampleRate, kAudioChannels);
}

int ApplicationManager::reencodedKbps(QSize cameraSize) const
{
    return expectedVideoKbps(TakeFormat::encoderConfigFor(m_recording, cameraSize, takeRate()));
}
