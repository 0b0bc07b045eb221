#include "recording/RecordingContainer.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <array>

namespace {

struct ContainerFacts
{
    const char *extension;
    const char *muxer;
    const char *displayName;
};

// In the order of the enum, which is also the order of the settings window's list.
constexpr std::array<ContainerFacts, 4> kContainers = {{
    {".mp4", "mp4", "MP4"},
    {".mkv", "matroska", "Matroska"},
    {".mov", "mov", "MOV"},
    {".ts", "mpegts", "MPEG-TS"},
}};

const ContainerFacts &factsOf(RecordingContainer container)
{
    const auto index = static_cast<size_t>(container);
    return kContainers[index < kContainers.size() ? index : 0];
}

} // namespace

QString containerExtension(RecordingContainer container)
{
    return QString::fromLatin1(factsOf(container).extension);
}

const char *containerMuxerName(RecordingContainer container)
{
    return factsOf(container).muxer;
}

const char *containerDisplayName(RecordingContainer container)
{
    return factsOf(container).displayName;
}

bool isContainerAvailable(RecordingContainer container)
{
    return av_guess_format(containerMuxerName(container), nullptr, nullptr) != nullptr;
}

std::optional<RecordingContainer> containerForFormatIndex(int formatIndex)
{
    // 4 is AVI: not crash-safe, never recorded.
    if (formatIndex < 0 || formatIndex >= int(kContainers.size()))
        return std::nullopt;
    return static_cast<RecordingContainer>(formatIndex);
}
