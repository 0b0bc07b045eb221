// Camera health as the interface reads it: each channel's camera state, format and figures
// for the tiles, the phone page and the log. Watching the cameras (lost, back, restarted) and
// measuring their rates is CameraWatch's.
#include "app/ApplicationManager.h"

#include "app/HealthVerdicts.h"
#include "recording/TakeNaming.h"
#include "common/ChannelRange.h"
#include "recording/TakeRecorder.h"

QString ApplicationManager::takeTimeText() const
{
    return m_isRecording ? QStringLiteral("at take time %1").arg(TakeNaming::timecodeText(elapsedTakeMs(), m_takePlan.rate))
                         : QStringLiteral("(no take running)");
}

void ApplicationManager::publishCameraStatus(int channelId)
{
    if (m_channelsModel)
        m_channelsModel->setSourceStatus(channelId, getCameraStateForChannel(channelId),
                                         getCameraFormatTextForChannel(channelId),
                                         m_cameraWatch.isFormatAsAskedOf(channelId));
    emit channelCameraStateChanged(channelId);
}

QString ApplicationManager::getCameraStateForChannel(int channelId) const
{
    return m_cameraWatch.stateOf(channelId);
}

QString ApplicationManager::getCameraFormatTextForChannel(int channelId) const
{
    const ChannelState *channel = m_channels.find(channelId);
    if (channel && !channel->source && channel->waitingCamera)
        return channel->waitingCamera->cameraName;
    return m_cameraWatch.formatTextOf(channelId);
}

QVariantMap ApplicationManager::getCameraHealthForChannel(int channelId) const
{
    const TakeCameraFigures figures = takeFiguresOf(channelId);
    QVariantMap health = m_cameraWatch.healthOf(channelId, figures);
    health.insert(QStringLiteral("trouble"), cameraTroubleOf(channelId, figures).in(m_currentLanguage));
    return health;
}

LocalisedText ApplicationManager::cameraTroubleOf(int channelId, const TakeCameraFigures &figures) const
{
    return HealthVerdicts::cameraTrouble(m_cameraWatch.rateOf(channelId), timelineFps(), figures.dropped,
                                         figures.repeated);
}

QString ApplicationManager::fpsLevel() const
{
    return HealthVerdicts::rateLevel(m_currentFps, timelineFps(), m_measuredCameraCount);
}

QString ApplicationManager::frameSyncLevel() const
{
    return HealthVerdicts::frameSyncLevel(m_droppedFrames, m_repeatedFrames);
}

TakeCameraFigures ApplicationManager::takeFiguresOf(int channelId) const
{
    if (m_take)
        return m_take->cameraFigures(channelId);
    const ChannelState *channel = m_channels.find(channelId);
    return channel ? channel->lastTakeFigures : TakeCameraFigures{};
}

void ApplicationManager::publishCameraHealth()
{
    if (!m_channelsModel)
        return;
    for (int channelId = ChannelRange::kFirst; channelId <= ChannelRange::kLast; ++channelId) {
        const TakeCameraFigures figures = takeFiguresOf(channelId);
        m_channelsModel->setSourceHealth(channelId, m_cameraWatch.rateOf(channelId), figures.dropped, figures.repeated,
                                         cameraTroubleOf(channelId, figures).in(m_currentLanguage));
    }
}

qint64 ApplicationManager::takeRepeatedFrames() const
{
    return m_take ? m_take->framePump().totalRepeatedFrames() : m_takeStats.repeatedFrames;
}

void ApplicationManager::recordTakeCameraFigures(const TakeReport &report)
{
    m_cameraWatch.recordTakeFigures(report);
    m_takeStats.repeatedFrames = report.repeatedFrames;
    // The take's final figures, not those of the last metrics tick before its end.
    m_repeatedFrames = int(m_takeStats.repeatedFrames);
    m_droppedFrames = int(m_takeStats.droppedFrames);
    publishCameraHealth();
    emit performanceMetricsChanged();
}
