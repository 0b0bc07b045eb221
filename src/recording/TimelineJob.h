// TimelineExportJob: everything one xmeml document describes, made by TimelineExport.cpp from
// the recorded take and read by the xmeml writer. Plain records, no behaviour.
#pragma once

#include "common/AudioFormat.h"
#include "recording/TimelineCut.h"

#include <QList>
#include <QString>
#include <QtGlobal>

#include <map>

struct TimelineVideoClip
{
    int channelId = 1;
    QString clipName; // "clip-cam-%1"
    QString filePath;
    // The sequence frame the file's first frame lies on: 0, or where a camera that joined the
    // take begins.
    qint64 startFrame = 0;
};

struct TimelineAudioClip
{
    int channelId = 1;
    QString filePath;
};

// One file of an audio track that went on in parts, and the sample frames it holds.
struct TimelineAudioPart
{
    QString filePath;
    qint64 frames = 0;
};

// The two sequences of a take. The programme cut lays the operator's live switches out as cuts
// over the first camera; all angles puts every recorded camera on a track of its own for the
// whole take, with the programme cut flattened onto the track above them, so an editor can
// re-cut from every angle.
enum class TimelineLayout { ProgrammeCut, AllAngles };

struct TimelineExportJob
{
    QString projectName;
    QString sequenceName;
    QString mediaFolder; // the take folder; forward slashes, absolute
    double frameRate = 30.0;
    int width = 1920;
    int height = 1080;
    qint64 durationMs = 0;
    QString masterAudioPath;
    // Extension of the take's video files (".mp4", ".mkv", ...). A video clip is named by its
    // recorded path; this only names a camera that has none (a placeholder, an empty path).
    QString videoFileExtension = QStringLiteral(".mp4");
    QString startTimecode;               // "HH:MM:SS:FF"; the label of the take's first frame
    QList<TimelineVideoClip> videoClips; // channel order
    QList<TimelineAudioClip> audioClips; // channel order
    std::map<int, int> audioToCamera;    // audio channel id → linked camera channel id (> 0)
    QList<TimelineCut> cuts;             // log order
    // Audio tracks written in parts, keyed by the path of their first file: each part becomes
    // a clip of its own, placed after the one before on the same track.
    std::map<QString, QList<TimelineAudioPart>> audioParts;
    int audioSampleRate = AudioFormat::kSampleRate;
};
