// TimelineModel: the edit of one take as a single value — its media files, the programme
// cut, both sequence layouts with their tracks, clips and links, the markers, the timecode and
// the frame rate as an exact fraction. Built once by buildTimelineModel() (TimelineModelBuilder)
// and rendered by each writer (xmeml, FCPXML, OTIO); a writer only chooses which parts of the
// model its format shows and how it spells them, it never places a clip itself.
//
// Every position is a whole frame of the sequence at `rate`. A media file is general: a path
// with its own start timecode, length and place on the sequence, so a sequence can hold files
// recorded elsewhere (another machine's cameras) as well as the local take's.
// Plain records, no behaviour beyond small look-ups.
#pragma once

#include "recording/FrameRate.h"

#include <QList>
#include <QString>
#include <QtGlobal>

#include <optional>

// The two sequences of a take. The programme cut lays the operator's live switches out as cuts
// over the first camera; all angles puts every recorded camera on a track of its own for the
// whole take, with the programme cut flattened onto the track above them, so an editor can
// re-cut from every angle.
enum class TimelineLayout { ProgrammeCut, AllAngles };

struct TimelineMedia
{
    enum class Kind { Video, Audio };
    Kind kind = Kind::Video;
    int channelId = 0;     // the channel it was recorded on; 0: the master mix
    QString clipName;      // video: the camera's clip ("clip-cam-2"), which names it in xmeml
    QString path;          // absolute, forward slashes
    QString fileName;      // as an editor lists it
    // Its own first frame's timecode as frames since midnight at the sequence rate; none for a
    // WAV file without a time reference (an editor starts it at zero).
    std::optional<qint64> timecodeFrame;
    QString timecodeText;  // the label of timecodeFrame ("10:15:30:00"); empty without one
    qint64 durationFrames = 0;
    qint64 sequenceOffset = 0; // the sequence frame its first frame lies on
    // Not a recorded file: a stand-in the xmeml programme cut names so that the switches of a
    // take without any video file still show. The other formats leave it out.
    bool isStandIn = false;
    // Video: the file's frame size (a camera smaller than the sequence is recorded at its own).
    int width = 0;
    int height = 0;
    // Audio: sample rate and channel count of the file.
    int sampleRate = 0;
    int audioChannels = 0;
};

struct TimelineClip
{
    int media = 0;          // index into TimelineModel::media
    qint64 start = 0;       // sequence frames, [start, end)
    qint64 end = 0;
    qint64 sourceIn = 0;    // the frame of the media (from its first frame) shown at `start`
    // 0: a clip of a whole file or track; else the 1-based position in the switch log of the
    // switch that begins it ("Cut n - <file>").
    qsizetype cutNumber = 0;

    qint64 length() const { return end - start; }
};

struct TimelineTrack
{
    enum class Role {
        Camera,         // one camera for the whole take (the base track, an angle)
        CameraSwitches, // one camera wherever the operator switched to it
        Programme,      // the programme cut: each switch's camera, one after the other
        Audio,          // one WAV track, its parts end to end
    };
    Role role = Role::Camera;
    int channelId = 0;      // the camera or audio channel; 0 for the programme and the master
    QString name;           // "Camera 1", "Programme", "Master", "Channel 2"
    QList<TimelineClip> clips;
    // A video track's clips link to this audio track; an audio track's first clip links to
    // every clip of this video track. -1: no links.
    int linkedTrack = -1;
};

struct TimelineSequence
{
    TimelineLayout layout = TimelineLayout::ProgrammeCut;
    QString name;
    QList<TimelineTrack> video; // bottom track first
    QList<TimelineTrack> audio; // the master first
};

struct TimelineMarkerPlacement
{
    qint64 frame = 0; // the sequence frame it marks
    qint64 timeMs = 0;
    QString name;
};

struct TimelineModel
{
    QString projectName;
    QString takeName;    // the take folder's name ("Take_03")
    QString mediaFolder; // the take folder; absolute, forward slashes
    FrameRate rate;      // exact: 30000/1001 for 29.97
    int width = 1920;
    int height = 1080;
    int sampleRate = 48000;
    qint64 durationFrames = 0;
    // The sequence's start: the take's timecode, or 00:00:00:00 when it has none.
    QString startTimecodeText;
    qint64 startTimecodeFrame = 0;
    bool isDropFrame = false;

    QList<TimelineMedia> media;
    // The programme cut on one track without gaps between switches: what was on air.
    QList<TimelineClip> programme;
    TimelineSequence programmeCut;
    TimelineSequence allAngles;
    QList<TimelineMarkerPlacement> markers; // in take order

    const TimelineSequence &sequence(TimelineLayout layout) const
    {
        return layout == TimelineLayout::AllAngles ? allAngles : programmeCut;
    }
    // The timebase (frames per nominal second: 30 for 29.97) and whether it is an NTSC rate.
    int timebase() const { return int((rate.numerator + rate.denominator / 2) / rate.denominator); }
    bool isNtsc() const { return rate.denominator == 1001; }
};
