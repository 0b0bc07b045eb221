// Recording format tables: the names and values behind the resolution and frame-rate indices.
#include "app/ApplicationManager.h"

#include <array>

QString ApplicationManager::activeResolutionName() const
{
    static const std::array<const char *, 5> kResolutionNames = {
        "3840x2160 (4K UHD)", "2560x1440 (2K QHD)", "1920x1080 (1080p FHD)",
        "1280x720 (720p HD)", "640x480 (SD)"};
    if (m_recordingResolutionIndex < 0 || m_recordingResolutionIndex >= int(kResolutionNames.size()))
        return QStringLiteral("1920x1080 (1080p FHD)");
    return QString::fromLatin1(kResolutionNames[size_t(m_recordingResolutionIndex)]);
}

double ApplicationManager::selectedGlobalFps() const
{
    static const std::array<double, 8> kFrameRates = {60.0, 59.94, 50.0, 30.0, 29.97, 25.0, 24.0, 23.976};
    if (m_recordingFramerateIndex < 0 || m_recordingFramerateIndex >= int(kFrameRates.size()))
        return 30.0;
    return kFrameRates[size_t(m_recordingFramerateIndex)];
}
