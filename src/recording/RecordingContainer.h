// RecordingContainer: the file format a camera is recorded into, and what the rest of the
// program needs to know about each: its extension, the FFmpeg muxer that writes it, and
// whether this FFmpeg has that muxer. Pure functions; any thread.
//
// The settings window lists the formats by position: 0 MP4, 1 MKV, 2 MOV, 3 TS, 4 AVI. AVI
// has no entry here: its index is written only when the file is closed, so a crash would
// lose the whole take.
#pragma once

#include <QString>

#include <optional>

enum class RecordingContainer
{
    Mp4,
    Mkv,
    Mov,
    Ts,
};

// ".mp4", ".mkv", ".mov", ".ts".
QString containerExtension(RecordingContainer container);

// FFmpeg's muxer name: "mp4", "matroska", "mov", "mpegts".
const char *containerMuxerName(RecordingContainer container);

// Name for messages: "MP4", "Matroska", "MOV", "MPEG-TS".
const char *containerDisplayName(RecordingContainer container);

// True when this FFmpeg build has the container's muxer.
bool isContainerAvailable(RecordingContainer container);

// The container at a position of the settings window's format list; none for AVI (4) and
// for anything outside the list.
std::optional<RecordingContainer> containerForFormatIndex(int formatIndex);
