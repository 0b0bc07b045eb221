// XmemlWriter: the text of one xmeml (FCP7 XML, version 4) timeline document from a
// TimelineExportJob. Pure: no files, no clock, no state kept between calls. The job is made
// by TimelineExport.cpp from the recorded take; tests reach this through
// buildXmemlDocument().
#pragma once

#include "recording/TimelineCut.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <map>

struct TimelineVideoClip
{
    int channelId = 1;
    QString clipName; // "clip-cam-%1"
    QString filePath;
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
    QString startTimecode;
    QList<TimelineVideoClip> videoClips; // channel order
    QList<TimelineAudioClip> audioClips; // channel order
    std::map<int, int> audioToCamera;    // audio channel id → linked camera channel id (> 0)
    QList<TimelineCut> cuts;             // log order
    // Audio tracks written in parts, keyed by the path of their first file: each part becomes
    // a clip of its own, placed after the one before on the same track.
    std::map<QString, QList<TimelineAudioPart>> audioParts;
    int audioSampleRate = 48000;
};

QByteArray writeXmemlDocument(const TimelineExportJob &job);
