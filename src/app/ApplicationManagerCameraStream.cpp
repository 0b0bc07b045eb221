// How each channel's camera goes into its file: re-encoded, or the camera's own MJPEG or H.264
// stream written as it comes (CameraRecordingMode), and what each costs on disk.
#include "app/ApplicationManager.h"

#include "capture/CameraCapture.h"

#include <QDebug>

namespace {

CameraCapture *cameraOf(const ChannelState &channel)
{
    return dynamic_cast<CameraCapture *>(channel.source.get());
}

} // namespace

CameraRecordingMode ApplicationManager::cameraRecordingModeOf(const ChannelState &channel) const
{
    if (channel.recordingMode)
        return *channel.recordingMode;
    return cameraRecordingModeFromKey(m_recording.cameraRecordingMode).value_or(CameraRecordingMode::Reencode);
}

void ApplicationManager::applyCameraRecordingMode(ChannelState &channel)
{
    if (CameraCapture *camera = cameraOf(channel))
        camera->setKeepsCompressedPictures(cameraRecordingModeOf(channel) == CameraRecordingMode::CameraStream);
}

std::optional<PixelFormat> ApplicationManager::recordedCameraStream(const ChannelState &channel) const
{
    const CameraCapture *camera = cameraOf(channel);
    if (!camera || !camera->isRunning() || cameraRecordingModeOf(channel) != CameraRecordingMode::CameraStream)
        return std::nullopt;
    return camera->compressedFormat();
}

void ApplicationManager::setCameraRecordingModeForChannel(int channelId, const QString &mode)
{
    if (!acceptChannel(channelId, "setCameraRecordingModeForChannel"))
        return;
    ChannelState &channel = *m_channels.find(channelId);
    std::optional<CameraRecordingMode> chosen;
    if (mode != QLatin1String("default")) {
        chosen = cameraRecordingModeFromKey(mode);
        if (!chosen) {
            qWarning() << "[ApplicationManager] Unknown camera recording mode" << mode << "for channel" << channelId;
            return;
        }
    }
    if (chosen == channel.recordingMode)
        return;
    channel.recordingMode = chosen;
    applyCameraRecordingMode(channel);
    qDebug() << "[ApplicationManager] Channel" << channelId << "records its camera"
             << (cameraRecordingModeOf(channel) == CameraRecordingMode::CameraStream ? "as the camera's own stream" : "re-encoded");
    emit channelCameraChanged(channelId);
    studioSetupChanged();
}

QString ApplicationManager::getCameraRecordingModeForChannel(int channelId) const
{
    const ChannelState *channel = m_channels.find(channelId);
    if (!channel || !channel->recordingMode)
        return QStringLiteral("default");
    return cameraRecordingModeKey(*channel->recordingMode);
}

bool ApplicationManager::canRecordCameraStreamForChannel(int channelId) const
{
    const ChannelState *channel = m_channels.find(channelId);
    const CameraCapture *camera = channel ? cameraOf(*channel) : nullptr;
    return camera && camera->isRunning() && camera->compressedFormat().has_value();
}

QString ApplicationManager::getRecordingCostTextForChannel(int channelId) const
{
    const ChannelState *channel = m_channels.find(channelId);
    const CameraCapture *camera = channel ? cameraOf(*channel) : nullptr;
    if (!camera || !camera->isRunning())
        return QString();
    const bool isSerbian = m_currentLanguage == QLatin1String("SR");
    const QString encoded = diskPerHourText(encodedBytesPerSecond(reencodedKbps(QSize(camera->width(), camera->height()))),
                                            m_currentLanguage);
    const std::optional<PixelFormat> codec = camera->compressedFormat();
    if (!codec)
        return isSerbian ? QStringLiteral("Ova kamera ne šalje kompresovan strim: ponovo kodirano, %1").arg(encoded)
                         : QStringLiteral("This camera sends no compressed stream: re-encoded, %1").arg(encoded);
    const QString stream = diskPerHourText(double(camera->streamBytesPerSecond()), m_currentLanguage);
    const QString name = QLatin1String(pixelFormatName(*codec));
    return isSerbian ? QStringLiteral("Strim kamere (%1): %2 · ponovo kodirano: %3").arg(name, stream, encoded)
                     : QStringLiteral("Camera stream (%1): %2 · re-encoded: %3").arg(name, stream, encoded);
}

QString ApplicationManager::recordingModeCostText(const QString &mode) const
{
    const bool isSerbian = m_currentLanguage == QLatin1String("SR");
    if (cameraRecordingModeFromKey(mode) != CameraRecordingMode::CameraStream) {
        const int kbps = reencodedKbps(QSize(1920, 1080));
        const QString amount = diskPerHourText(encodedBytesPerSecond(kbps), m_currentLanguage);
        return isSerbian ? QStringLiteral("%1 po 1080p kameri pri %2 kbit/s").arg(amount).arg(kbps)
                         : QStringLiteral("%1 per 1080p camera at %2 kbit/s").arg(amount).arg(kbps);
    }
    double total = 0;
    int measured = 0;
    for (const ChannelState &channel : m_channels) {
        const CameraCapture *camera = cameraOf(channel);
        if (camera && camera->isRunning() && camera->compressedFormat() && camera->streamBytesPerSecond() > 0) {
            total += double(camera->streamBytesPerSecond());
            ++measured;
        }
    }
    if (measured > 0) {
        const QString amount = diskPerHourText(total / measured, m_currentLanguage);
        return isSerbian ? QStringLiteral("%1 po kameri (izmereno na kamerama koje rade)").arg(amount)
                         : QStringLiteral("%1 per camera (measured on the running cameras)").arg(amount);
    }
    const QString amount = diskPerHourText(kTypicalMjpegBytesPerSecond, m_currentLanguage);
    return isSerbian ? QStringLiteral("%1 po 1080p30 MJPEG kameri").arg(amount)
                     : QStringLiteral("%1 per 1080p30 MJPEG webcam").arg(amount);
}
