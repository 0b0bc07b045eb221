// Holding what a timeline says of its files against the files themselves, shared by the
// strict FCPXML and OpenTimelineIO readers (and the frame rule of timecode labels, shared
// with the xmeml reader). Every file is opened with libavformat, as an editor's import does.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

// The frame number a timecode labels, worked out here from the rules of timecode (not from
// the program's own code): every label counts at the timebase; drop-frame ("HH:MM:SS;FF")
// skips the first labels of each minute but every tenth. None for a text that is no label.
std::optional<qint64> labelledFrame(const QString &text, int timebase);

// The local path of a file:// URL, percent-decoded ("file:///C:/x" gives "C:/x", a host
// gives "//host/..."). Empty, with *fault set, when the URL is not a well-formed file URL
// with every character outside [A-Za-z0-9-._~/:] percent-encoded.
QString localPathOfEncodedUrl(const QString &url, QString *fault);

// What a timeline says of one file.
struct TimelineFileClaim
{
    QString id;          // how the timeline names it, for the fault texts
    QString path;        // where it is
    bool isVideo = false;
    qint64 durationFrames = 0;  // the length the timeline gives it
    qint64 usedFrames = 0;      // the furthest frame (from its first) a clip of it reaches
    std::optional<qint64> startFrame; // its start timecode as the timeline gives it
    int width = 0;               // a video file's picture size as the timeline gives it
    int height = 0;
};

// Every claim against its file at `fps` frames per second and `timebase`: the file opens; its
// length on disk (a video file's to the end of its last picture, read packet by packet, and
// no longer than its demuxer says; a WAV file's from its header, as editors read it) is the claimed length within a frame and no clip reaches past
// it; a video file's timecode track and a WAV file's Broadcast WAV time reference (or, without
// one, zero) are the start the timeline gives. Empty when all is well.
QStringList checkFileClaims(const QList<TimelineFileClaim> &claims, double fps, int timebase);
