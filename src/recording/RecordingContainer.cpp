#include "recording/RecordingContainer.h"

extern "C" {
#include <libavformat/avformat.h>
}

QString containerExtension(RecordingContainer container)
{
    switch (container) {
    case RecordingContainer::Mp4:
        return QStringLiteral(".mp4");
    case RecordingContainer::Mkv:
        return QStringLiteral(".mkv");
    case RecordingContainer::Mov:
        return QStringLiteral(".mov");
    case RecordingContainer::Ts:
        return QStringLiteral(".ts");
    }
    return QStringLiteral(".mp4");
}

const char *containerMuxerName(RecordingContainer container)
{
    switch (container) {
    case RecordingContainer::Mp4:
        return "mp4";
    case RecordingContainer::Mkv:
        return "matroska";
    case RecordingContainer::Mov:
        return "mov";
    case RecordingContainer::Ts:
        return "mpegts";
    }
    return "mp4";
}

bool isContainerAvailable(RecordingContainer container)
{
    return av_guess_format(containerMuxerName(container), nullptr, nullptr) != nullptr;
}

std::optional<RecordingContainer> containerForFormatIndex(int formatIndex)
{
    switch (formatIndex) {
    case 0:
        return RecordingContainer::Mp4;
    case 1:
        return RecordingContainer::Mkv;
    case 2:
        return RecordingContainer::Mov;
    case 3:
        return RecordingContainer::Ts;
    default:
        return std::nullopt; // 4 is AVI: not crash-safe, never recorded
    }
}
