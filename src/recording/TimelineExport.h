// Timeline export: the FCP7 interchange files (xmeml version 4) written into a take folder
// when the take stops, so DaVinci Resolve or Premiere Pro opens the take ready to edit:
//   <session>_<take>.xml            the programme cut: one video track per recorded camera
//                                   with the operator's live switches as cut clips, the master
//                                   WAV and every channel WAV on audio tracks, linked;
//   <session>_<take>_AllAngles.xml  every recorded camera on a track of its own for the whole
//                                   take, the programme cut on the track above them, the same
//                                   audio tracks: the editor re-cuts from every angle.
//
// Free functions over a plain record, independent of ApplicationManager: the manager fills a
// TimelineExportInput from the take it just stopped, checks timelineHasRecordedFiles(),
// calls writeTimeline() and logs the outcome. The documents themselves are built by
// buildXmemlDocument() (pure; XmemlWriter.cpp). Nothing here keeps state between calls or
// touches capture state; the manager calls it on the GUI thread after every encoder and WAV
// writer of the take has been closed.
#pragma once

#include "common/AudioFormat.h"
#include "recording/FrameRate.h"
#include "recording/TimelineCut.h"
#include "recording/TimelinePaths.h"
#include "recording/XmemlWriter.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <map>

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
    // frame (every other file begins with the take).
    std::map<int, qint64> videoStartFrames;
    // The take's video container, for naming a camera whose file is not known (".mkv").
    QString videoFileExtension = QStringLiteral(".mp4");
    std::map<int, QString> isoAudioPaths; // channel id → separate channel WAV
    std::map<int, int> cameraLinks;       // channel id → linked camera channel id, 0 = none
    QString masterWavPath;                // the master mix, set at every take start
    QList<TimelineCut> cuts;              // the switch log, in log order; first entry at 0 ms
    // WAV tracks that went on in parts past a size limit, keyed by their first file (the
    // master path or a channel's path above), every part with its length in sample frames.
    std::map<QString, QList<TimelineAudioPart>> audioParts;
    int audioSampleRate = AudioFormat::kSampleRate;
};

// False when there is nothing to describe (no video file and no master WAV path): the
// caller then writes nothing and logs "No recorded files to export to XML.".
bool timelineHasRecordedFiles(const TimelineExportInput &input);

// The session name with surrounding white space removed, or "Session" when that is empty.
QString timelineProjectName(const QString &sessionName);

// The folder the timeline goes into and whose name the sequence carries: takeFolderPath, or
// the folder of masterWavPath when that is empty. Forward slashes, no trailing slash.
QString timelineMediaFolder(const TimelineExportInput &input);

// Project name + "_" + take folder name + ".xml" (the all-angles timeline: + "_AllAngles.xml").
// The project name part is made safe for a file name on every platform: each of
// < > : " / \ | ? * and every control character becomes "_", and it is shortened (never the
// take folder name) so the whole name stays within 248 bytes of UTF-8 (255, less the room its
// temporary file's name needs). The name inside the document keeps the session name as typed.
QString timelineFileName(const QString &sessionName, const QString &takeFolderName,
                         TimelineLayout layout = TimelineLayout::ProgrammeCut);

// timelineMediaFolder() + "/" + timelineFileName(); empty when there is no folder.
QString timelineOutputPath(const TimelineExportInput &input,
                           TimelineLayout layout = TimelineLayout::ProgrammeCut);

// A whole xmeml document as UTF-8, lines ending in "\n" (the file writer turns them into
// the platform's text line ending).
QByteArray buildXmemlDocument(const TimelineExportInput &input,
                              TimelineLayout layout = TimelineLayout::ProgrammeCut);

// The outcome of writing one timeline file.
struct TimelineFileWrite
{
    TimelineLayout layout = TimelineLayout::ProgrammeCut;
    QString path;  // the file written or tried; empty when there is no take folder
    QString error; // empty when written
};

// Writes both documents to their timelineOutputPath(), replacing earlier files. Each goes to a
// temporary file beside its target that is renamed over it only once every byte has been
// written and synced to disk, so a failed write (a full disk) leaves no partial document and
// an earlier timeline intact. Both files are attempted either way; false when either could
// not be written (the errors are the operating system's reasons). `results` may be null.
bool writeTimeline(const TimelineExportInput &input, QList<TimelineFileWrite> *results);
