// Where the video clips of a timeline go: which camera on which track, over which frames of
// the sequence. Pure; the xmeml writer turns the result into clip items.
//
// Programme cut: track 1 holds the first camera for the whole take; every other camera has a
// track of its own above it with a clip wherever the operator switched to it (a camera never
// switched to has an empty track).
// All angles: every recorded camera has its own track for the whole take (channel order); the
// top track carries the programme cut on one track: each switch's camera from the switch to
// the next, a switch to a channel without a file showing the first camera (as the programme
// cut's base track does), neighbouring pieces of one camera joined into one clip.
#pragma once

#include "recording/TimelineJob.h"

#include <QList>
#include <QString>
#include <QtGlobal>

struct PlacedVideoClip
{
    int camera = 0; // index into VideoLayout::cameras
    QString itemId;
    // 0: a clip of the whole file, named after it; else the 1-based position in the switch
    // log of the switch that begins it ("Cut n - <file>").
    qsizetype cutNumber = 0;
    // Sequence frames. A file's frame f lies on sequence frame startFrame + f of its camera:
    // the same numbers for every file that begins with the take.
    qint64 start = 0;
    qint64 end = 0;
};

struct PlacedVideoTrack
{
    // The camera channel whose linked audio track the clips link to; 0: no links (a track
    // that mixes cameras).
    int linkChannel = 0;
    QList<PlacedVideoClip> clips;
};

struct VideoLayout
{
    QList<TimelineVideoClip> cameras; // channel order
    QList<PlacedVideoTrack> tracks;   // video track v is tracks[v - 1]
};

// The frame grid of a sequence: `rate` frames per second, `durationFrames` long.
struct SequenceFrames
{
    double rate = 30.0;
    qint64 durationFrames = 30;
    qint64 durationMs = 0;

    // The frame a time of the switch log falls in: truncated toward zero, held within the
    // sequence (a switch logged after the given duration yields nothing beyond the end).
    qint64 frameAt(qint64 ms) const;
};

// The cameras of the job (or, with none recorded in a programme cut, an offline stand-in
// for each camera switched to, so the decisions still show) laid out as `layout` says.
VideoLayout layOutVideo(const TimelineExportJob &job, TimelineLayout layout, const SequenceFrames &frames);
