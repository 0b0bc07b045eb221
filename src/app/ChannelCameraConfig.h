// What a channel's camera was asked for when it was opened: the device and the requested
// size, rate and colour range (not the format the device ended up with).
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
};
