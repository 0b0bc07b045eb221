// The studio set-up kept across restarts (collected for saving, restored at start, cameras
// waited for), and the source commands both front ends call: a camera with its format on a
// channel, a camera off a channel (the programme moving off it), the format lists.
#include "app/ApplicationManager.h"

#include "app/SourceFormatChoices.h"
#include "capture/CameraCapture.h"
#include "capture/InputConditioner.h"
#include "common/ChannelRange.h"
#include "recording/TakeFormat.h"

#include <QDebug>

namespace {

QString defaultChannelName(int channelId)
{
    return QStringLiteral("CAM %1").arg(channelId);
}

} // namespace

void ApplicationManager::collectSetup(RecordingSettings *recording, StudioSetup *studio) const
{
    *recording = m_recording;
    for (const ChannelState &channel : m_channels) {
        ChannelSetup &saved = studio->channel(channel.id);
        // A camera not there yet keeps its saved place; a removed one is gone.
        if (channel.waitingCamera) {
            const ChannelSetup waiting = *channel.waitingCamera;
            saved.cameraKey = waiting.cameraKey;
            saved.cameraName = waiting.cameraName;
            saved.width = waiting.width;
            saved.height = waiting.height;
            saved.fps = waiting.fps;
            saved.formatName = waiting.formatName;
            saved.colorRange = waiting.colorRange;
        } else if (channel.camera) {
            saved.cameraKey = channel.camera->deviceLink;
            saved.cameraName = channel.camera->deviceName;
            saved.width = channel.camera->width;
            saved.height = channel.camera->height;
            saved.fps = channel.camera->framerate;
            saved.formatName = channel.camera->formatName;
            saved.colorRange = channel.camera->colorRange;
        } else {
            saved.cameraKey.clear();
            saved.cameraName.clear();
        }
        saved.isFlipped = channel.isFlipped;
        saved.isCameraRecorded = channel.isCameraRecorded;
        saved.recordingMode = channel.recordingMode ? cameraRecordingModeKey(*channel.recordingMode) : QString();
        if (m_channelsModel)
            saved.channelName = m_channelsModel->getChannelName(channel.id);
        saved.audioInput = channel.audioInputName;
        saved.fader = m_mixer.volume(channel.id);
        saved.isMuted = m_mixer.isMuted(channel.id);
        saved.isSolo = m_mixer.isSolo(channel.id);
        saved.isSeparateAudio = channel.isSeparateAudio;
        saved.cameraLink = channel.cameraLink;
        saved.trimDb = channel.trimDb;
        saved.isLowCut = channel.isLowCut;
    }
    studio->sourceKeys = m_sourceKeys;
    studio->markerKey = m_markerKey;
    studio->masterFader = m_mixer.masterVolume();
}

void ApplicationManager::restoreStudioSetup()
{
    if (!m_persistence.hasSavedStudioSetup()) {
        qDebug() << "[ApplicationManager] No saved studio set-up: a first start.";
        return;
    }
    const StudioSetup setup = m_persistence.savedStudioSetup();
    const QList<DeviceInfo> devices = CameraCapture::listDevices();
    for (int id = ChannelRange::kFirst; id <= ChannelRange::kLast; ++id) {
        const ChannelSetup &saved = setup.channel(id);
        ChannelState &channel = *m_channels.find(id);
        if (m_channelsModel && !saved.channelName.isEmpty())
            m_channelsModel->setChannelName(id, saved.channelName);
        channel.isFlipped = saved.isFlipped;
        channel.isCameraRecorded = saved.isCameraRecorded;
        if (m_channelsModel)
            m_channelsModel->setStorageEnabled(id, saved.isCameraRecorded);
        channel.recordingMode = cameraRecordingModeFromKey(saved.recordingMode);
        if (saved.hasCamera()) {
            const bool isThere = std::any_of(devices.begin(), devices.end(), [&](const DeviceInfo &device) {
                return device.devicePath == saved.cameraKey && device.unavailableReason.isEmpty();
            });
            channel.waitingCamera = saved;
            if (isThere) {
                startWaitingCamera(id);
            } else {
                qDebug().noquote() << "[ApplicationManager] Channel" << id << "waits for its camera"
                                   << saved.cameraName << "(" + saved.cameraKey + ")";
                // The tile and the phone card show the channel waiting.
                if (m_channelsModel)
                    m_channelsModel->setHasActiveVideo(id, true);
                publishCameraStatus(id);
            }
        }
        // Trim and low cut first: the input opens with them.
        channel.trimDb = InputConditioner::clampTrimDb(saved.trimDb);
        channel.isLowCut = saved.isLowCut;
        if (!saved.audioInput.isEmpty())
            setAudioInputForChannel(id, saved.audioInput);
        m_mixer.setVolume(id, saved.fader);
        m_mixer.setMuted(id, saved.isMuted);
        m_mixer.setSolo(id, saved.isSolo);
        channel.isSeparateAudio = saved.isSeparateAudio;
        channel.cameraLink = saved.cameraLink;
        emit channelAudioStateChanged(id);
    }
    m_sourceKeys = setup.sourceKeys;
    m_markerKey = setup.markerKey;
    emit keybindsChanged();
    m_mixer.setMasterVolume(setup.masterFader);
    qDebug() << "[ApplicationManager] Studio set-up restored.";
}

void ApplicationManager::startWaitingCamera(int channelId)
{
    ChannelState *channel = m_channels.find(channelId);
    if (!channel || !channel->waitingCamera)
        return;
    const ChannelSetup saved = *channel->waitingCamera;
    qDebug().noquote() << "[ApplicationManager] The camera channel" << channelId << "waited for is here:" << saved.cameraName;
    setCameraForChannel(channelId, saved.cameraKey, saved.width, saved.height, float(saved.fps), saved.colorRange,
                        saved.formatName);
    if (!channel->source) {
        // Listed but not opened (busy a moment longer): the channel goes on waiting.
        channel->waitingCamera = saved;
        if (m_channelsModel)
            m_channelsModel->setHasActiveVideo(channelId, true);
        publishCameraStatus(channelId);
    }
}

// --- the source commands ---

QVariantMap ApplicationManager::applyChannelSource(int channelId, const QString &deviceLink, int width, int height,
                                                   double fps, const QString &colorRange, const QString &formatName,
                                                   const QString &channelName)
{
    if (!acceptChannel(channelId, "applyChannelSource"))
        return {{QStringLiteral("ok"), false}, {QStringLiteral("error"), QStringLiteral("No channel %1").arg(channelId)}};
    setCameraForChannel(channelId, deviceLink, width, height, float(fps), colorRange, formatName);
    const ChannelState &channel = *m_channels.find(channelId);
    if (!channel.source)
        return {{QStringLiteral("ok"), false}, {QStringLiteral("error"), channel.cameraStartError}};
    const QString name = channelName.trimmed();
    if (m_channelsModel)
        m_channelsModel->setChannelName(channelId, name.isEmpty() ? defaultChannelName(channelId) : name);
    if (m_activeSourceId <= 0)
        setActiveSourceId(channelId);
    studioSetupChanged();
    return {{QStringLiteral("ok"), true}, {QStringLiteral("error"), QString()}};
}

void ApplicationManager::removeChannelSource(int channelId)
{
    if (!acceptChannel(channelId, "removeChannelSource"))
        return;
    removeCameraFromChannel(channelId);
    if (m_activeSourceId != channelId)
        return;
    // The programme moves to the first other channel that shows a camera (as the grid shows
    // it), else to channel 1.
    int next = ChannelRange::kFirst;
    for (const ChannelState &channel : m_channels) {
        const bool shows = m_channelsModel ? m_channelsModel->hasActiveVideo(channel.id)
                                           : channel.source || channel.waitingCamera;
        if (channel.id != channelId && shows) {
            next = channel.id;
            break;
        }
    }
    setActiveSourceId(next);
}

QVariantMap ApplicationManager::getSourceFormatChoices(const QString &deviceLink, int channelId) const
{
    QVariantMap choices = SourceFormatChoices::choicesFor(deviceLink.isEmpty() ? QList<CameraFormat>()
                                                                              : CameraCapture::listFormats(deviceLink));
    const ChannelCameraConfig config = cameraConfigOf(channelId);
    if (ChannelRange::contains(channelId) && config.deviceLink == deviceLink)
        choices.insert(QStringLiteral("positions"),
                       SourceFormatChoices::positionsIn(choices, config.width, config.height, config.framerate,
                                                        config.formatName, config.colorRange));
    return choices;
}

void ApplicationManager::setChannelCameraFlipped(int channelId, bool flipped)
{
    if (!acceptChannel(channelId, "setChannelCameraFlipped"))
        return;
    ChannelState &channel = *m_channels.find(channelId);
    if (channel.isFlipped == flipped)
        return;
    channel.isFlipped = flipped;
    if (channel.source)
        channel.source->toggleFlip();
    emit channelCameraChanged(channelId);
    studioSetupChanged();
}

bool ApplicationManager::isChannelCameraFlipped(int channelId) const
{
    const ChannelState *channel = m_channels.find(channelId);
    return channel && channel->isFlipped;
}

void ApplicationManager::setChannelCameraRecorded(int channelId, bool recorded)
{
    if (!acceptChannel(channelId, "setChannelCameraRecorded"))
        return;
    ChannelState &channel = *m_channels.find(channelId);
    if (channel.isCameraRecorded == recorded)
        return;
    channel.isCameraRecorded = recorded;
    if (m_channelsModel)
        m_channelsModel->setStorageEnabled(channelId, recorded);
    // Switched on during a take: the camera joins it.
    if (recorded)
        joinRunningTake(channelId);
    emit channelCameraChanged(channelId);
    emit recordingRateChanged();
    studioSetupChanged();
}

bool ApplicationManager::isChannelCameraRecorded(int channelId) const
{
    const ChannelState *channel = m_channels.find(channelId);
    return channel && channel->isCameraRecorded;
}

QString ApplicationManager::getRecordedSizeNoteForChannel(int channelId) const
{
    const ChannelState *channel = m_channels.find(channelId);
    if (!channel || !channel->source || !channel->source->isRunning())
        return QString();
    const QSize camera(channel->source->width(), channel->source->height());
    const QSize master = TakeFormat::masterSize(m_recording);
    // The running take's size, else what the next take records.
    const auto planned = m_isRecording ? m_takePlan.cameras.find(channelId) : m_takePlan.cameras.end();
    const QSize recorded = planned != m_takePlan.cameras.end() ? QSize(planned->second.width, planned->second.height)
                                                               : TakeFormat::recordedSize(camera, master);
    const bool isSerbian = m_currentLanguage == QLatin1String("SR");
    if (recorded == master)
        return QString();
    if (recorded == camera)
        return isSerbian ? QStringLiteral("snima se u svojoj veličini") : QStringLiteral("recorded at its own size");
    const QString size = QStringLiteral("%1\u00d7%2").arg(recorded.width()).arg(recorded.height());
    return (isSerbian ? QStringLiteral("snima se u ") : QStringLiteral("recorded at ")) + size;
}
