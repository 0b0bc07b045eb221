// A strict reader of xmeml (FCP7 XML, version 4) timelines, written for the tests: it reads a
// document the way an editor's import does and lists every rule the document breaks, so a
// test judges a timeline by what an editor would make of it, never by the writer's intent.
//
// Rules: well-formed XML; one project holding one sequence; ids unique; every file defined in
// full where it first appears and referenced by its id afterwards (never defined twice, never
// referenced before or without a definition); every clip inside the sequence and inside its
// media, as long in the file as on the sequence; each track's clips in order without overlap;
// links naming the clip at the track and position they give; every timecode's string and
// frame number naming the same frame; rates that agree with the sequence's; markers on a frame
// of the sequence.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

struct XmemlLink
{
    QString clipRef;
    QString mediaType;
    int trackIndex = 0;
    int clipIndex = 0;
};

struct XmemlClip
{
    QString id;
    QString name;
    QString fileId;
    qint64 start = 0, end = 0, in = 0, out = 0;
    QList<XmemlLink> links;
};

struct XmemlTimecode
{
    QString text;
    qint64 frame = 0;
    QString displayFormat;
};

struct XmemlFile
{
    QString id;
    QString name;
    QString pathUrl;
    qint64 duration = 0;
    std::optional<XmemlTimecode> timecode;
    int width = 0;   // a video file's picture size, by its sample characteristics
    int height = 0;
};

struct XmemlMarker
{
    QString name;
    qint64 in = 0;
};

struct XmemlTimeline
{
    QString projectName;
    QString sequenceName;
    QString uuid;
    qint64 duration = 0;
    int timebase = 0;
    bool ntsc = false;
    std::optional<XmemlTimecode> timecode;
    QList<QList<XmemlClip>> videoTracks;
    QList<QList<XmemlClip>> audioTracks;
    QList<XmemlFile> files; // in the order of their definitions
    QList<XmemlMarker> markers; // the sequence's
    QStringList faults;     // every broken rule; empty for a sound timeline

    const XmemlFile *file(const QString &id) const;
    // Frames per second the timebase and the NTSC flag stand for (29.97... for 30 TRUE).
    double framesPerSecond() const { return ntsc ? timebase * 1000.0 / 1001.0 : double(timebase); }
};

// Reads a document; with expectedDurationFrames, the sequence must be exactly that long.
XmemlTimeline readXmeml(const QByteArray &document, std::optional<qint64> expectedDurationFrames = std::nullopt);
XmemlTimeline readXmemlFile(const QString &path, std::optional<qint64> expectedDurationFrames = std::nullopt);

// What an editor finds on disk: every file URL names a file that libavformat opens, as long as
// the timeline says (within a frame), a video file with the timeline's start timecode in its
// timecode track, and a Broadcast WAV file placed on the sequence where its time reference
// says. Empty when all is well.
QStringList checkXmemlMedia(const XmemlTimeline &timeline);
