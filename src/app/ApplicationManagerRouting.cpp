// Routing of devices to channels: the device lists, each channel's camera and audio input,
// the mixer strips, the 25 ms audio tick, the meters and live monitoring.
#include "app/ApplicationManager.h"

#include "common/MonotonicClock.h"

#include "capture/AudioCapture.h"
#include "capture/AudioDeviceRegistry.h"
#include "capture/AudioInputChoice.h"
#include "capture/CameraCapture.h"

#include <QDebug>

#include <SDL.h>

namespace {

QVariantList listSdlAudioDevices(const QString &defaultEntry, int isCapture)
{
    QVariantList devices{defaultEntry};
    const int count = SDL_GetNumAudioDevices(isCapture);
    for (int i = 0; i < count; ++i) {
        const char *name = SDL_GetAudioDeviceName(i, isCapture);
        if (name && *name)
            devices.append(QString::fromUtf8(name));
    }
    return devices;
}

// Names that mean "this channel has no audio input".
bool isNoAudioName(const QString &name)
{
    return name.isEmpty() || name == QLatin1String("None") || name == QLatin1String("Off")
        || name == AudioCapture::noAudioName();
}

} // namespace

bool ApplicationManager::acceptChannel(int channelId, const char *operation) const
{
    if (AudioMixer::isValidChannel(channelId))
        return true;
    qWarning() << "[ApplicationManager]" << operation << "ignored: no channel" << channelId;
    return false;
}

// --- device lists ---

void ApplicationManager::refreshAudioInputDevices()
{
    // "None" first, then every device alone and, where it has more than one, each of its
    // inputs and further pairs ("Interface — In 3", "Interface — In 3+4"); the built-in
    // devices last.
    QVariantList entries{QStringLiteral("None")};
    const auto addDevice = [&entries](const QString &name, int channels) {
        for (const QString &entry : AudioInputChoice::choicesFor(name, channels))
            entries.append(entry);
    };
    addDevice(QStringLiteral("Default system input"), AudioDeviceRegistry::defaultDeviceChannels());
    for (const AudioDeviceRegistry::DeviceInfo &device : AudioDeviceRegistry::shared().captureDevices())
        addDevice(device.name, device.channels);
    m_audioInputDevices = entries;
    emit audioInputDevicesChanged();
}

void ApplicationManager::refreshAudioOutputDevices()
{
    m_audioOutputDevices = listSdlAudioDevices(QStringLiteral("Default system output"), 0);
    emit audioOutputDevicesChanged();
}

QVariantList ApplicationManager::getAvailableCameras() const
{
    QVariantList cameras;
    for (const DeviceInfo &device : CameraCapture::listDevices()) {
        QVariantMap camera{{QStringLiteral("name"), device.friendlyName},
                           {QStringLiteral("link"), device.devicePath}};
        // A camera that cannot be opened is listed with the reason, so the user learns why.
        if (!device.unavailableReason.isEmpty())
            camera.insert(QStringLiteral("unavailable"), device.unavailableReason);
        cameras.append(camera);
    }
    return cameras;
}

QVariantList ApplicationManager::getCameraFormats(const QString &deviceLink) const
{
    QVariantList formats;
    if (deviceLink.isEmpty())
        return formats;
    for (const CameraFormat &format : CameraCapture::listFormats(deviceLink)) {
        const float fps = format.fpsDenominator < 1 ? 30.0f
                                                    : float(format.fpsNumerator) / float(format.fpsDenominator);
        formats.append(QVariantMap{{QStringLiteral("width"), uint(format.width)},
                                   {QStringLiteral("height"), uint(format.height)},
                                   {QStringLiteral("fps"), double(fps)},
                                   {QStringLiteral("formatName"), format.subtypeName}});
    }
    return formats;
}

// --- cameras ---

std::shared_ptr<ISource> ApplicationManager::sourceForChannel(int channelId) const
{
    const ChannelState *channel = m_channels.find(channelId);
    return channel ? channel->source : nullptr;
}

void ApplicationManager::stopChannelCamera(int channelId)
{
    ChannelState *channel = m_channels.find(channelId);
    if (!channel || !channel->source)
        return;
    // Readers holding the pointer finish their read on a stopped source, then it goes.
    if (auto *camera = dynamic_cast<CameraCapture *>(channel->source.get()))
        camera->stop();
    channel->source.reset();
}

void ApplicationManager::setCameraForChannel(int channelId, const QString &deviceLink, int width,
                                             int height, float framerate, const QString &colorRange,
                                             const QString &formatName)
{
    if (!acceptChannel(channelId, "setCameraForChannel"))
        return;
    qDebug() << "[ApplicationManager] Setting camera for channel" << channelId << "to" << deviceLink;
    stopChannelCamera(channelId);
    // A camera chosen now replaces the one the channel was waiting for.
    m_channels.find(channelId)->waitingCamera.reset();
    studioSetupChanged();
    emit recordingRateChanged();

    if (deviceLink.isEmpty()) {
        qDebug() << "Disabled camera capture for channel" << channelId;
        publishCameraStatus(channelId);
        emit channelCameraChanged(channelId);
        return;
    }

    auto camera = std::make_shared<CameraCapture>();
    const CameraFormat format = chooseCameraFormat(CameraCapture::listFormats(deviceLink), width, height, framerate,
                                                   formatName.isEmpty() ? colorRange : formatName);
    ChannelState &channel = *m_channels.find(channelId);
    channel.cameraStartError.clear();
    // Its first pictures already in the form the channel records.
    camera->setKeepsCompressedPictures(cameraRecordingModeOf(channel) == CameraRecordingMode::CameraStream);
    if (!camera->start(deviceLink, format)) {
        qWarning() << "Failed to start camera capture for channel" << channelId << "-" << camera->lastError();
        channel.cameraStartError = camera->lastError();
        publishCameraStatus(channelId);
        emit channelCameraChanged(channelId);
        return;
    }

    QString name = QStringLiteral("Camera %1").arg(channelId);
    for (const DeviceInfo &device : CameraCapture::listDevices()) {
        if (device.devicePath == deviceLink) {
            name = device.friendlyName;
            break;
        }
    }
    camera->setName(name);
    if (channel.isFlipped)
        camera->toggleFlip();
    channel.source = camera;
    // Its rate is counted from its start, so the first metrics update already reads it.
    channel.rate = CameraRateSample{camera.get(), camera->picturesDelivered(), monotonicNowNs(), -1.0};
    channel.camera = ChannelCameraConfig{deviceLink, name, width, height, framerate, colorRange, formatName};
    if (m_channelsModel)
        m_channelsModel->setHasActiveVideo(channelId, true);
    qDebug() << "Successfully started camera capture for channel" << channelId << ":" << name;
    m_cameraWatch.announceFormat(channelId);
    emit channelCameraChanged(channelId);
    emit recordingRateChanged();
    // A camera that comes on during a take is recorded from its first picture.
    joinRunningTake(channelId);
}

void ApplicationManager::removeCameraFromChannel(int channelId)
{
    if (!acceptChannel(channelId, "removeCameraFromChannel"))
        return;
    stopChannelCamera(channelId);
    m_channels.find(channelId)->camera.reset();
    m_channels.find(channelId)->waitingCamera.reset();
    if (m_channelsModel)
        m_channelsModel->setHasActiveVideo(channelId, false);
    publishCameraStatus(channelId);
    emit channelCameraChanged(channelId);
    emit recordingRateChanged();
    studioSetupChanged();
}

QString ApplicationManager::getCameraLinkForChannel(int channelId) const
{
    return cameraConfigOf(channelId).deviceLink;
}

QString ApplicationManager::getCameraNameForChannel(int channelId) const
{
    return cameraConfigOf(channelId).deviceName;
}

int ApplicationManager::getCameraWidthForChannel(int channelId) const
{
    return cameraConfigOf(channelId).width;
}

int ApplicationManager::getCameraHeightForChannel(int channelId) const
{
    return cameraConfigOf(channelId).height;
}

float ApplicationManager::getCameraFramerateForChannel(int channelId) const
{
    return cameraConfigOf(channelId).framerate;
}

QString ApplicationManager::getCameraColorRangeForChannel(int channelId) const
{
    return cameraConfigOf(channelId).colorRange;
}

ChannelCameraConfig ApplicationManager::cameraConfigOf(int channelId) const
{
    const ChannelState *channel = m_channels.find(channelId);
    return channel && channel->camera ? *channel->camera : ChannelCameraConfig{};
}

// --- audio inputs ---

AudioCapture *ApplicationManager::audioCaptureForChannel(int channelId) const
{
    const ChannelState *channel = m_channels.find(channelId);
    return channel ? channel->audioCapture.get() : nullptr;
}

void ApplicationManager::removeChannelAudioInput(int channelId)
{
    ChannelState *channel = m_channels.find(channelId);
    if (!channel || !channel->audioCapture)
        return;
    // Detach before the capture goes, so the mixer never reads a destroyed input.
    m_mixer.setSource(channelId, nullptr);
    channel->audioCapture->stop();
    channel->audioCapture.reset();
}

void ApplicationManager::setAudioInputForChannel(int channelId, const QString &deviceName)
{
    if (!acceptChannel(channelId, "setAudioInputForChannel"))
        return;
    m_channels.find(channelId)->audioInputName = deviceName;
    removeChannelAudioInput(channelId);

    openChannelAudioInput(channelId, deviceName);
    // The strip re-reads the channel; a lost microphone replaced leaves the banner's warning.
    publishAudioInputState(channelId);
    studioSetupChanged();
}

void ApplicationManager::openChannelAudioInput(int channelId, const QString &deviceName)
{
    const bool wantsAudio = !isNoAudioName(deviceName);
    ChannelState &channel = *m_channels.find(channelId);
    channel.isAudioWaiting = false;
    if (m_channelsModel)
        m_channelsModel->setHasActiveAudio(channelId, wantsAudio);
    if (!wantsAudio)
        return;

    auto capture = std::make_unique<AudioCapture>();
    capture->setTrimDb(channel.trimDb);
    capture->setLowCutEnabled(channel.isLowCut);
    channel.isAudioLost = false;
    if (!capture->start(deviceName, 2)) {
        // A device that is not there (yet): the channel waits for it; one that is there and
        // does not open is the operator's to change.
        channel.isAudioWaiting = !AudioDeviceRegistry::shared().isAvailable(AudioInputChoice::parse(deviceName).deviceName);
        qWarning() << "[ApplicationManager] Failed to start audio input for channel" << channelId << "on" << deviceName
                   << (channel.isAudioWaiting ? "- not connected; it opens when it appears" : "");
        // The channel has no input after all; the model must not show audio that is not there.
        if (m_channelsModel)
            m_channelsModel->setHasActiveAudio(channelId, false);
        return;
    }
    m_mixer.setSource(channelId, capture.get());
    channel.audioCapture = std::move(capture);
    qDebug() << "[ApplicationManager] Audio input for channel" << channelId << "connected:" << deviceName;
}

QString ApplicationManager::getChannelAudioInput(int channelId) const
{
    const ChannelState *channel = m_channels.find(channelId);
    return channel ? channel->audioInputName : QString();
}

void ApplicationManager::setChannelSeparateAudioEnabled(int channelId, bool enabled)
{
    if (!acceptChannel(channelId, "setChannelSeparateAudioEnabled"))
        return;
    m_channels.find(channelId)->isSeparateAudio = enabled;
    if (m_channelsModel)
        m_channelsModel->setIsoEnabled(channelId, enabled);
    emit separateAudioRecordingEnabledChanged();
    emit channelAudioStateChanged(channelId);
    studioSetupChanged();
}

bool ApplicationManager::isChannelSeparateAudioEnabled(int channelId) const
{
    const ChannelState *channel = m_channels.find(channelId);
    return channel && channel->isSeparateAudio;
}

void ApplicationManager::setChannelCameraLink(int channelId, int cameraId)
{
    if (!acceptChannel(channelId, "setChannelCameraLink"))
        return;
    if (cameraId != 0 && !AudioMixer::isValidChannel(cameraId)) {
        qWarning() << "[ApplicationManager] setChannelCameraLink ignored: no camera channel" << cameraId;
        return;
    }
    m_channels.find(channelId)->cameraLink = cameraId;
    emit channelAudioStateChanged(channelId);
    studioSetupChanged();
}

int ApplicationManager::getChannelCameraLink(int channelId) const
{
    const ChannelState *channel = m_channels.find(channelId);
    return channel ? channel->cameraLink : 0;
}

// --- mixer strips ---

void ApplicationManager::setChannelAudioVolume(int channelId, float volume)
{
    if (!acceptChannel(channelId, "setChannelAudioVolume"))
        return;
    m_mixer.setVolume(channelId, volume);
    emit channelAudioStateChanged(channelId);
    studioSetupChanged();
}

float ApplicationManager::getChannelAudioVolume(int channelId) const { return m_mixer.volume(channelId); }
float ApplicationManager::getChannelAudioFader(int channelId) const { return m_mixer.volume(channelId); }

void ApplicationManager::setChannelAudioMute(int channelId, bool mute)
{
    if (!acceptChannel(channelId, "setChannelAudioMute"))
        return;
    m_mixer.setMuted(channelId, mute);
    emit channelAudioStateChanged(channelId);
    studioSetupChanged();
}

bool ApplicationManager::isChannelAudioMuted(int channelId) const { return m_mixer.isMuted(channelId); }

void ApplicationManager::setChannelAudioSolo(int channelId, bool solo)
{
    if (!acceptChannel(channelId, "setChannelAudioSolo"))
        return;
    m_mixer.setSolo(channelId, solo);
    emit channelAudioStateChanged(channelId);
    studioSetupChanged();
}

bool ApplicationManager::isChannelAudioSolo(int channelId) const { return m_mixer.isSolo(channelId); }
void ApplicationManager::setMasterAudioVolume(float volume)
{
    m_mixer.setMasterVolume(volume);
    studioSetupChanged();
}
float ApplicationManager::masterAudioVolume() const { return m_mixer.masterVolume(); }
float ApplicationManager::masterAudioFader() const { return m_mixer.masterVolume(); }

// --- monitoring ---

void ApplicationManager::openMonitorOutput()
{
    // A device that cannot be opened leaves monitoring off, so the switch shows the truth.
    m_liveMonitoringEnabled = m_monitor.open(m_masterAudioOutputDevice);
}

void ApplicationManager::setLiveMonitoringEnabled(bool enabled)
{
    if (m_liveMonitoringEnabled == enabled)
        return;
    if (enabled) {
        openMonitorOutput();
    } else {
        m_monitor.close();
        m_liveMonitoringEnabled = false;
    }
    emit liveMonitoringEnabledChanged();
}

void ApplicationManager::setMasterAudioOutputDevice(const QString &device)
{
    if (m_masterAudioOutputDevice == device)
        return;
    m_masterAudioOutputDevice = device;
    emit masterAudioOutputDeviceChanged();
    if (m_liveMonitoringEnabled) {
        setLiveMonitoringEnabled(false);
        setLiveMonitoringEnabled(true);
    }
}

// --- the 25 ms audio tick and the meters ---

void ApplicationManager::mixAudio()
{
    m_mixer.process(m_mixerOutput);
    updateAudioLevel();
    appendTakeAudio();
    if (m_liveMonitoringEnabled)
        m_monitor.queue(m_mixerOutput.master);
}

void ApplicationManager::updateAudioLevel()
{
    m_masterAudioLevel = m_mixer.masterLevelLeft();
    m_masterAudioLevelRight = m_mixer.masterLevelRight();
    emit masterAudioLevelChanged();

    for (int id = AudioMixer::kFirstChannel; id <= AudioMixer::kLastChannel; ++id) {
        float left = 0.0f, right = 0.0f;
        m_mixer.stripLevels(id, left, right);
        emit channelAudioLevelChanged(id, left, right);
        if (m_channelsModel)
            m_channelsModel->setAudioLevel(id, left, right);
    }
}
