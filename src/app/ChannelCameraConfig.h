// What a channel's camera was asked for when it was opened: the device and the requested
// size, rate, colour range and pixel format name (not the format the device ended up with).
#pragma once

#include <QString>

struct ChannelCameraConfig
{
    QString deviceLink;
    QString deviceName;
    int width = 1920;
    int height = 1080;
    float framerate = 30.0f;
    QString colorRange = QStringLiteral("Default");
    // "MJPEG", "YUY2", ... as the source dialog offered it; empty when none was chosen.
    QString formatName;
};
