#include "capture/AudioDeviceRegistry.h"

#include <SDL.h>

#include <QByteArray>

AudioDeviceRegistry &AudioDeviceRegistry::shared()
{
    static AudioDeviceRegistry registry;
    return registry;
}

AudioDeviceRegistry::AudioDeviceRegistry(AudioDeviceOptions options)
    : m_options(std::move(options))
{
}

QString AudioDeviceRegistry::keyFor(const QString &deviceName)
{
    if (deviceName == QLatin1String("default") || deviceName == QLatin1String("Default system input"))
        return QString();
    return deviceName;
}

std::vector<AudioDeviceRegistry::DeviceInfo> AudioDeviceRegistry::captureDevices() const
{
    std::vector<DeviceInfo> devices;
    const int count = SDL_GetNumAudioDevices(1);
    for (int i = 0; i < count; ++i) {
        const char *name = SDL_GetAudioDeviceName(i, 1);
        if (!name || !*name)
            continue;
        SDL_AudioSpec spec;
        SDL_memset(&spec, 0, sizeof(spec));
        const int channels = SDL_GetAudioDeviceSpec(i, 1, &spec) == 0 ? spec.channels : 0;
        const QString text = QString::fromUtf8(name);
        // A system device of a built-in's name would be unreachable; the built-in wins.
        if (AudioCaptureDevice::kindOf(text) == AudioCaptureDevice::Kind::Sdl)
            devices.push_back(DeviceInfo{text, channels});
    }
    for (const QString &builtIn : {AudioCaptureDevice::testToneName(), AudioCaptureDevice::testInterfaceName()}) {
        if (!m_unplugged.contains(builtIn))
            devices.push_back(DeviceInfo{builtIn, AudioCaptureDevice::builtInChannels(builtIn)});
    }
    return devices;
}

int AudioDeviceRegistry::defaultDeviceChannels()
{
#if SDL_VERSION_ATLEAST(2, 24, 0)
    SDL_AudioSpec spec;
    SDL_memset(&spec, 0, sizeof(spec));
    if (SDL_GetDefaultAudioInfo(nullptr, &spec, 1) == 0)
        return spec.channels;
#endif
    return 0;
}

std::shared_ptr<AudioCaptureDevice> AudioDeviceRegistry::find(const QString &deviceName) const
{
    const auto it = m_devices.find(keyFor(deviceName));
    return it == m_devices.end() ? nullptr : it->second.lock();
}

std::shared_ptr<AudioCaptureDevice> AudioDeviceRegistry::acquire(const QString &deviceName, int channelsIfUnknown,
                                                                 QString *error)
{
    const QString key = keyFor(deviceName);
    if (std::shared_ptr<AudioCaptureDevice> open = find(key))
        return open;
    if (m_unplugged.contains(key)) {
        if (error)
            *error = QStringLiteral("the device is not connected");
        return nullptr;
    }
    auto device = std::make_shared<AudioCaptureDevice>(key, m_options);
    if (!device->open(channelsIfUnknown, error))
        return nullptr;
    m_devices[key] = device;
    return device;
}

int AudioDeviceRegistry::openDeviceCount() const
{
    int count = 0;
    for (const auto &[key, device] : m_devices)
        count += device.expired() ? 0 : 1;
    return count;
}

bool AudioDeviceRegistry::isListed(const QString &key) const
{
    if (AudioCaptureDevice::kindOf(key) != AudioCaptureDevice::Kind::Sdl)
        return !m_unplugged.contains(key);
    // The default device: whatever the system has now; trying to open it is the test.
    if (key.isEmpty())
        return true;
    const QByteArray utf8 = key.toUtf8();
    const int count = SDL_GetNumAudioDevices(1);
    for (int i = 0; i < count; ++i) {
        const char *name = SDL_GetAudioDeviceName(i, 1);
        if (name && utf8 == name)
            return true;
    }
    return false;
}

std::set<quint32> AudioDeviceRegistry::takeRemovedSdlDevices()
{
    // SDL's audio threads queue these themselves; no event pump is needed to find them.
    std::set<quint32> removed;
    if (SDL_WasInit(SDL_INIT_EVENTS) == 0)
        return removed;
    SDL_Event events[16];
    int taken = 0;
    while ((taken = SDL_PeepEvents(events, 16, SDL_GETEVENT, SDL_AUDIODEVICEREMOVED, SDL_AUDIODEVICEREMOVED)) > 0) {
        for (int i = 0; i < taken; ++i) {
            if (events[i].adevice.iscapture)
                removed.insert(events[i].adevice.which);
        }
    }
    return removed;
}

bool AudioDeviceRegistry::poll()
{
    const std::set<quint32> removedSdl = takeRemovedSdlDevices();
    bool changed = false;
    for (auto it = m_devices.begin(); it != m_devices.end();) {
        std::shared_ptr<AudioCaptureDevice> device = it->second.lock();
        if (!device) {
            it = m_devices.erase(it);
            continue;
        }
        AudioCaptureDevice::Presence presence;
        presence.removed = m_unplugged.contains(it->first)
            || (device->sdlDeviceId() != 0 && removedSdl.contains(device->sdlDeviceId()));
        const QString key = it->first;
        presence.isListed = [this, key] { return isListed(key); };
        changed = device->poll(presence) || changed;
        ++it;
    }
    return changed;
}

void AudioDeviceRegistry::setUnplugged(const QString &builtInName, bool unplugged)
{
    if (AudioCaptureDevice::kindOf(builtInName) == AudioCaptureDevice::Kind::Sdl)
        return;
    if (unplugged)
        m_unplugged.insert(builtInName);
    else
        m_unplugged.erase(builtInName);
}

void AudioDeviceRegistry::setSilenced(const QString &builtInName, bool silenced)
{
    if (std::shared_ptr<AudioCaptureDevice> device = find(builtInName))
        device->setSilenced(silenced);
}

void AudioDeviceRegistry::deliverTestTones(qint64 nowNs)
{
    for (const auto &[key, weak] : m_devices) {
        if (std::shared_ptr<AudioCaptureDevice> device = weak.lock())
            device->deliverTestTone(nowNs);
    }
}
