// The built-in devices as tests choose them: by the names a user sees.
#pragma once

#include "capture/CameraCapture.h"

#include <QString>

// The device key of "Test Pattern n", empty when it is not listed.
inline QString testPatternKey(int n)
{
    for (const DeviceInfo &device : CameraCapture::listDevices()) {
        if (device.friendlyName == QStringLiteral("Test Pattern %1").arg(n))
            return device.devicePath;
    }
    return QString();
}
