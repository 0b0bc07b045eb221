// TimelineExportInput: what a take left for its timelines, as the manager (at stop) or the
// recovery of a crashed take (from its journal and the files on disk) gathers it. Plain
// records; buildTimelineModel() turns one into the take's TimelineModel.
#pragma once

#include "common/AudioFormat.h"
#include "recording/FrameRate.h"
#include "recording/TimelineCut.h"
#include "recording/TimelineMarker.h"

#include <QList>
#include <QSize>
#include <QString>
#include <QtGlobal>

#include <map>
#include <optional>

// One file of an audio track that went on in parts, and the sample frames it holds.
struct TimelineAudioPart
{
    QString filePath;
    qint64 frames = 0;
};

// What a file on disk really holds, measured after the fact (a take rebuilt after a crash):
// its length, and the timecode it starts at, when it carries one.
struct TimelineFileMeasure
{
    double seconds = 0.0;
    // A Broadcast WAV file's time reference (samples since midnight).
    std::optional<qint64> timeReferenceSamples;
};

struct TimelineExportInput
{
    QString sessionName;    // the session name as the operator typed it (not trimmed)
    QString takeFolderPath; // the folder that holds the master WAV; empty: the master WAV's folder
    QString startTimecode;  // time of day at the start of the take, "HH:mm:ss:00" (";ff" drop-frame)
    qint64 durationMs = 0;  // length of the take

    FrameRate frameRate;     // the take's exact rate: the sequence's timebase and ntsc
    int width = 1920;
    int height = 1080;

    std::map<int, QString> videoPaths;    // channel id → recorded video file
    // Cameras that joined the running take: channel id → the sequence frame of their first
    // frame (every other file begins with the take), where their timecode also starts.
    std::map<int, qint64> videoStartFrames;
    // The frame size of each camera's file, by channel id; a camera missing here was recorded
    // at the sequence's size.
    std::map<int, QSize> videoSizes;
    // The take's video container, for naming a camera whose file is not known (".mkv").
    QString videoFileExtension = QStringLiteral(".mp4");
    std::map<int, QString> isoAudioPaths; // channel id → separate channel WAV
    std::map<int, int> cameraLinks;       // channel id → linked camera channel id, 0 = none
    QString masterWavPath;                // the master mix, set at every take start
    QList<TimelineCut> cuts;              // the switch log, in log order; first entry at 0 ms
    QList<TimelineMarker> markers;        // in the order they were dropped
    // WAV tracks that went on in parts past a size limit, keyed by their first file (the
    // master path or a channel's path above), every part with its length in sample frames.
    std::map<QString, QList<TimelineAudioPart>> audioParts;
    int audioSampleRate = AudioFormat::kSampleRate;
    // The WAV files carry the take's start as their Broadcast WAV time reference.
    bool audioHasTimeReference = false;
    // Files measured on disk, by path as given above: each is laid out no longer than it is.
    // A file missing here is taken to be as long as the take (a take that stopped normally).
    std::map<QString, TimelineFileMeasure> measuredFiles;
};
