// Routing of devices to channels: the audio device lists and the 25 ms audio tick.
#include "app/ApplicationManager.h"

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

} // namespace

void ApplicationManager::refreshAudioInputDevices()
{
    m_audioInputDevices = listSdlAudioDevices(QStringLiteral("Default system input"), 1);
    emit audioInputDevicesChanged();
}

void ApplicationManager::refreshAudioOutputDevices()
{
    m_audioOutputDevices = listSdlAudioDevices(QStringLiteral("Default system output"), 0);
    emit audioOutputDevicesChanged();
}

void ApplicationManager::setMasterAudioOutputDevice(const QString &device)
{
    setGeneric(m_masterAudioOutputDevice, device, &ApplicationManager::masterAudioOutputDeviceChanged);
}

void ApplicationManager::setLiveMonitoringEnabled(bool enabled)
{
    setGeneric(m_liveMonitoringEnabled, enabled, &ApplicationManager::liveMonitoringEnabledChanged);
}

void ApplicationManager::updateAudioLevel()
{
    // The mixer arrives with the audio inputs; until then there is nothing to drain.
}
