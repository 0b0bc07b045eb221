// AudioDeviceRegistry: the capture devices in use, by name, so that a device is opened once
// however many channels take inputs from it; the list of capture devices with their channel
// counts (the system's, then the built-in ones); and the watch that notices a device going and
// coming back (AudioCaptureDevice::poll for each).
//
// The program uses the one shared() registry; a test makes its own with its own options
// (simulated clock, manual pacing) and hands it to its AudioCapture objects. A device lives
// as long as some AudioCapture holds it; the registry only remembers it.
//
// Threads: GUI thread only.
#pragma once

#include "capture/AudioCaptureDevice.h"

#include <QString>

#include <map>
#include <memory>
#include <set>
#include <vector>

class AudioDeviceRegistry
{
public:
    struct DeviceInfo
    {
        QString name;
        int channels = 0; // 0: the system does not say
    };

    static AudioDeviceRegistry &shared();

    explicit AudioDeviceRegistry(AudioDeviceOptions options = {});
    AudioDeviceRegistry(const AudioDeviceRegistry &) = delete;
    AudioDeviceRegistry &operator=(const AudioDeviceRegistry &) = delete;

    const AudioDeviceOptions &options() const { return m_options; }
    // Before any device is opened.
    void setOptions(AudioDeviceOptions options) { m_options = std::move(options); }

    // The name a device is kept under: "", "default" and "Default system input" are all the
    // system's default device ("").
    static QString keyFor(const QString &deviceName);

    // SDL's capture devices in SDL's order, then "Test Tone" and "Test Interface" (those a
    // test has unplugged are left out).
    std::vector<DeviceInfo> captureDevices() const;
    // Whether a device of that name can be opened now (listed by the system, not unplugged).
    bool isAvailable(const QString &deviceName) const { return isListed(keyFor(deviceName)); }
    // Channels of the system's default capture device; 0 when the system does not say.
    static int defaultDeviceChannels();

    // The open device of that name, or the device newly opened (at its own channel count, or
    // `channelsIfUnknown`); null when it does not open, with the system's reason in `error`.
    std::shared_ptr<AudioCaptureDevice> acquire(const QString &deviceName, int channelsIfUnknown, QString *error);
    // The open device of that name, if any.
    std::shared_ptr<AudioCaptureDevice> find(const QString &deviceName) const;
    int openDeviceCount() const;

    // Looks after every open device (see AudioCaptureDevice::poll); true when one changed
    // state. A few times a second.
    bool poll();

    // Test hooks. A built-in device unplugged: not listed, an open one is removed (as SDL's
    // removed event says of real hardware), and it cannot be reopened until plugged back in.
    void setUnplugged(const QString &builtInName, bool unplugged);
    // A built-in device that stays listed but delivers nothing (a stalled driver) until it is
    // let go again; reopening it does not help while it is silenced.
    void setSilenced(const QString &builtInName, bool silenced);
    // Manual pacing: every open built-in device hands over what is due by nowNs.
    void deliverTestTones(qint64 nowNs);

private:
    bool isListed(const QString &key) const;
    // Capture devices SDL's removed events named since the last look, by SDL device id.
    std::set<quint32> takeRemovedSdlDevices();

    AudioDeviceOptions m_options;
    std::map<QString, std::weak_ptr<AudioCaptureDevice>> m_devices;
    std::set<QString> m_unplugged;
};
