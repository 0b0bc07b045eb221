// Camera health: each channel's camera state and running format for the tiles, the phone page
// and the log; the watch that finds a camera lost (failed, unplugged, quiet) and restarts it
// when it is back; and a take's frames, dropped and repeated frames per camera.
#include "app/ApplicationManager.h"

#include "recording/TakeNaming.h"
#include "capture/CameraCapture.h"
#include "common/ChannelRange.h"
#include "common/MonotonicClock.h"
#include "recording/IEncoder.h"

#include <QDebug>

#include <cmath>

namespace {

// Often enough that a camera lost during a take shows within half a second; a lost camera
// is looked for every CameraCapture::RetryIntervalNs.
constexpr int kCameraWatchIntervalMs = 500;

const CameraCapture *cameraOf(const std::shared_ptr<ISource> &source)
{
    return dynamic_cast<const CameraCapture *>(source.get());
}

// What the user asked for, as a format to hold the granted one against.
CameraFormat askedFormat(const ChannelCameraConfig &config)
{
    CameraFormat asked;
    asked.width = config.width;
    asked.height = config.height;
    if (std::isfinite(config.framerate) && config.framerate > 0.0f) {
        asked.fpsNumerator = qint32(std::lround(double(config.framerate) * 1000.0));
        asked.fpsDenominator = 1000;
    }
    asked.subtypeName = config.formatName;
    return asked;
}

} // namespace

void ApplicationManager::startCameraWatch()
{
    connect(&m_cameraWatchTimer, &QTimer::timeout, this, &ApplicationManager::superviseCameras);
    m_cameraWatchTimer.start(kCameraWatchIntervalMs);
}

void ApplicationManager::superviseCameras()
{
    const qint64 nowNs = monotonicNowNs();
    std::vector<int> changed;
    for (const auto &[channelId, source] : m_channelSources) {
        if (auto *camera = dynamic_cast<CameraCapture *>(source.get()); camera && camera->supervise(nowNs))
            changed.push_back(channelId);
    }
    for (int channelId : changed)
        reportCameraState(channelId);
}

QString ApplicationManager::takeTimeText() const
{
    return m_isRecording ? QStringLiteral("at take time %1").arg(TakeNaming::timecodeText(elapsedTakeMs()))
                         : QStringLiteral("(no take running)");
}

void ApplicationManager::reportCameraState(int channelId)
{
    const CameraCapture *camera = cameraOf(sourceForChannel(channelId));
    if (!camera)
        return;
    switch (camera->state()) {
    case SourceState::Lost:
        // A marker line like the take's own, so it stands out in the log and the monitor.
        qWarning().noquote() << "[ApplicationManager] === CAMERA LOST === channel" << channelId << takeTimeText()
                             << "-" << camera->lastError();
        break;
    case SourceState::Reconnecting:
        qDebug().noquote() << "[ApplicationManager] Camera of channel" << channelId << "is back, restarted in"
                           << describeCameraFormat(camera->grantedFormat()) << takeTimeText();
        break;
    case SourceState::Live:
        qDebug().noquote() << "[ApplicationManager] Camera of channel" << channelId << "delivers again" << takeTimeText();
        break;
    case SourceState::Off:
        break;
    }
    publishCameraStatus(channelId);
}

void ApplicationManager::announceCameraFormat(int channelId)
{
    const QString text = getCameraFormatTextForChannel(channelId);
    if (text.contains(QLatin1String("(asked ")))
        qWarning().noquote() << "[ApplicationManager] Camera of channel" << channelId << "runs" << text
                             << "- the device did not grant the format asked for";
    else if (!text.isEmpty())
        qDebug().noquote() << "[ApplicationManager] Camera of channel" << channelId << "runs" << text;
    publishCameraStatus(channelId);
}

void ApplicationManager::publishCameraStatus(int channelId)
{
    if (m_channelsModel)
        m_channelsModel->setSourceStatus(channelId, getCameraStateForChannel(channelId),
                                         getCameraFormatTextForChannel(channelId));
    emit channelCameraStateChanged(channelId);
}

QString ApplicationManager::getCameraStateForChannel(int channelId) const
{
    const std::shared_ptr<ISource> source = sourceForChannel(channelId);
    return QString::fromLatin1(sourceStateName(source ? source->state() : SourceState::Off));
}

QString ApplicationManager::getCameraFormatTextForChannel(int channelId) const
{
    const CameraCapture *camera = cameraOf(sourceForChannel(channelId));
    const auto config = m_cameraConfigs.find(channelId);
    if (!camera || !camera->isRunning() || config == m_cameraConfigs.end())
        return QString();
    return describeGrantedFormat(camera->grantedFormat(), askedFormat(config->second));
}

QVariantMap ApplicationManager::getCameraHealthForChannel(int channelId) const
{
    const CameraCapture *camera = cameraOf(sourceForChannel(channelId));
    TakeCameraFigures figures;
    if (m_take) {
        figures = m_take->cameraFigures(channelId);
    } else if (auto it = m_lastTakeCameraFigures.find(channelId); it != m_lastTakeCameraFigures.end()) {
        figures = it->second;
    }
    const auto startError = m_cameraStartErrors.find(channelId);
    const QString error = camera ? (camera->state() == SourceState::Live ? QString() : camera->lastError())
                                 : (startError == m_cameraStartErrors.end() ? QString() : startError->second);
    return QVariantMap{
        {QStringLiteral("state"), getCameraStateForChannel(channelId)},
        {QStringLiteral("format"), getCameraFormatTextForChannel(channelId)},
        {QStringLiteral("error"), error},
        {QStringLiteral("damagedPictures"), camera ? qint64(camera->corruptPictures()) : qint64(0)},
        {QStringLiteral("fps"), cameraRateOf(channelId)},
        {QStringLiteral("frames"), figures.frames},
        {QStringLiteral("droppedFrames"), figures.dropped},
        {QStringLiteral("repeatedFrames"), figures.repeated},
    };
}

double ApplicationManager::cameraRateOf(int channelId) const
{
    const auto it = m_cameraRates.find(channelId);
    return it == m_cameraRates.end() ? -1.0 : it->second.fps;
}

void ApplicationManager::publishCameraHealth()
{
    if (!m_channelsModel)
        return;
    for (int channelId = ChannelRange::kFirst; channelId <= ChannelRange::kLast; ++channelId) {
        TakeCameraFigures figures;
        if (m_take) {
            figures = m_take->cameraFigures(channelId);
        } else if (auto it = m_lastTakeCameraFigures.find(channelId); it != m_lastTakeCameraFigures.end()) {
            figures = it->second;
        }
        m_channelsModel->setSourceHealth(channelId, cameraRateOf(channelId), figures.dropped, figures.repeated);
    }
}

qint64 ApplicationManager::takeRepeatedFrames() const
{
    return m_take ? m_take->framePump().totalRepeatedFrames() : m_takeStats.repeatedFrames;
}

void ApplicationManager::recordTakeCameraFigures(const TakeReport &report)
{
    m_lastTakeCameraFigures = report.cameras;
    for (const auto &[channelId, figures] : report.cameras) {
        const CameraCapture *camera = cameraOf(sourceForChannel(channelId));
        qDebug().noquote() << "[ApplicationManager] Camera" << channelId << ":" << figures.frames << "frames,"
                           << figures.dropped << "dropped," << figures.repeated << "repeated,"
                           << (camera ? camera->corruptPictures() : 0) << "damaged pictures from the camera";
    }
    m_takeStats.repeatedFrames = report.repeatedFrames;
    // The take's final figures, not those of the last metrics tick before its end.
    m_repeatedFrames = int(m_takeStats.repeatedFrames);
    m_droppedFrames = int(m_takeStats.droppedFrames);
    publishCameraHealth();
    emit performanceMetricsChanged();
}
