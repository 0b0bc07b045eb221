// A strict reader of OpenTimelineIO (.otio) timelines, written for the tests: it reads a
// document as the OpenTimelineIO library does and lists every rule the document breaks.
//
// Rules: JSON whose root is a Timeline.1 with a RationalTime global start and a Stack.1 of
// Track.1 children (kind "Video" or "Audio") holding Clip.1/Clip.2 and Gap.1 items; every time
// at the timeline's one rate and a whole number of frames; every clip with an external
// reference to a percent-encoded file URL whose available range holds the clip's source range,
// one available range per file; no track longer than the timeline; markers (Marker.2) on the
// stack, on a frame inside the timeline.
#pragma once

#include "TimelineMediaCheck.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

struct OtioClip
{
    QString name;
    QString path;          // of its file, percent-decoded; empty for a gap
    qint64 trackStart = 0; // frames from the start of the timeline
    qint64 sourceStart = 0;
    qint64 duration = 0;
    qint64 availableStart = 0;
    qint64 availableDuration = 0;
    bool isGap() const { return path.isEmpty(); }
};

struct OtioTrack
{
    QString name;
    QString kind;
    QList<OtioClip> items; // clips and gaps in order
    qint64 duration = 0;
};

struct OtioMarker
{
    QString name;
    qint64 frame = 0;
};

struct OtioTimeline
{
    QString name;
    double rate = 0;
    qint64 globalStart = 0;
    qint64 duration = 0; // the longest track
    QList<OtioTrack> tracks;
    QList<OtioMarker> markers;
    QStringList faults;

    QList<const OtioTrack *> tracksOfKind(const QString &kind) const;
};

OtioTimeline readOtio(const QByteArray &document, std::optional<qint64> expectedDurationFrames = std::nullopt);
OtioTimeline readOtioFile(const QString &path, std::optional<qint64> expectedDurationFrames = std::nullopt);

// Every file the clips name against the file itself (checkFileClaims).
QStringList checkOtioMedia(const OtioTimeline &timeline);
