#include "app/DemoSetup.h"

#include "common/ChannelRange.h"
#include "app/ApplicationManager.h"
#include "capture/AudioCapture.h"
#include "capture/CameraCapture.h"

#include <QDebug>

namespace DemoSetup {

void apply(ApplicationManager &manager)
{
    const QList<DeviceInfo> devices = CameraCapture::listDevices();
    // The patterns run at the rate the takes record at (30 fps for "Auto"), so every frame
    // of a take is a picture of its own and the flash of each second is in the file.
    const float fps = float(manager.takeRate().toDouble());
    for (int channel = ChannelRange::kFirst; channel <= ChannelRange::kLast; ++channel) {
        const QString patternName = QStringLiteral("Test Pattern %1").arg(channel);
        auto device = std::find_if(devices.cbegin(), devices.cend(),
                                   [&](const DeviceInfo &d) { return d.friendlyName == patternName; });
        if (device == devices.cend()) {
            qWarning() << "[Vireon] Demo: no device" << patternName;
            continue;
        }
        manager.setCameraForChannel(channel, device->devicePath, 1920, 1080, fps, QStringLiteral("Default"));
        manager.setAudioInputForChannel(channel, AudioCapture::testToneName());
        manager.setChannelSeparateAudioEnabled(channel, true);
        manager.setChannelCameraLink(channel, channel);
    }
    qDebug() << "[Vireon] Demo routing: test patterns and test tone on channels 1-4.";
}

} // namespace DemoSetup
