// Timeline export: the FCP7 interchange file (xmeml version 4) written into a take folder
// when the take stops, so DaVinci Resolve or Premiere Pro opens the whole take as one
// sequence: one video track per recorded camera with the operator's live switches as cut
// clips, the master WAV and every channel WAV on audio tracks of their own, linked.
//
// Free functions over a plain record, independent of ApplicationManager: the manager fills a
// TimelineExportInput from the take it just stopped, checks timelineHasRecordedFiles(),
// calls writeTimeline() and logs the outcome. The document itself is built by
// buildXmemlDocument() (pure; XmemlWriter.cpp). Nothing here keeps state between calls or
// touches capture state; the manager calls it on the GUI thread after every encoder and WAV
// writer of the take has been closed.
#pragma once

#include "recording/TimelineCut.h"
#include "recording/XmemlWriter.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <map>

struct TimelineExportInput
{
    QString sessionName;    // the session name as the operator typed it (not trimmed)
    QString takeFolderPath; // the folder that holds the master WAV; empty: the master WAV's folder
    QString startTimecode;  // time of day at the start of the take, "HH:mm:ss:00"
    qint64 durationMs = 0;  // length of the take

    double frameRate = 30.0; // sequence format
    int width = 1920;
    int height = 1080;

    std::map<int, QString> videoPaths;    // channel id → recorded video file
    // The take's video container, for naming a camera whose file is not known (".mkv").
    QString videoFileExtension = QStringLiteral(".mp4");
    std::map<int, QString> isoAudioPaths; // channel id → separate channel WAV
    std::map<int, int> cameraLinks;       // channel id → linked camera channel id, 0 = none
    QString masterWavPath;                // the master mix, set at every take start
    QList<TimelineCut> cuts;              // the switch log, in log order; first entry at 0 ms
    // WAV tracks that went on in parts past a size limit, keyed by their first file (the
    // master path or a channel's path above), every part with its length in sample frames.
    std::map<QString, QList<TimelineAudioPart>> audioParts;
    int audioSampleRate = 48000;
};

// False when there is nothing to describe (no video file and no master WAV path): the
// caller then writes nothing and logs "No recorded files to export to XML.".
bool timelineHasRecordedFiles(const TimelineExportInput &input);

// The session name with surrounding white space removed, or "Session" when that is empty.
QString timelineProjectName(const QString &sessionName);

// The folder the timeline goes into and whose name the sequence carries: takeFolderPath, or
// the folder of masterWavPath when that is empty. Forward slashes, no trailing slash.
QString timelineMediaFolder(const TimelineExportInput &input);

// Project name + "_" + take folder name + ".xml". The project name part is made safe for a
// file name on every platform: each of < > : " / \ | ? * and every control character becomes
// "_", and it is shortened (never the take folder name) so the whole name stays within 255
// bytes of UTF-8. The name inside the document keeps the session name as typed.
QString timelineFileName(const QString &sessionName, const QString &takeFolderName);

// timelineMediaFolder() + "/" + timelineFileName(); empty when there is no folder.
QString timelineOutputPath(const TimelineExportInput &input);

// The absolute form of a recorded file's path as the timeline names it: forward slashes;
// "C:/..." drive paths and "//server/share" paths are kept as they are on every platform, so
// Windows paths survive a document built elsewhere; a relative path is resolved against the
// current folder.
QString timelineAbsolutePath(const QString &path);

// The pathurl of an absolute path, without percent-encoding (editors read the path as
// written, spaces included):
//   "/home/ana/Take_01/Camera_01.mp4" → "file://localhost/home/ana/Take_01/Camera_01.mp4"
//   "C:/Rec/Camera_01.mp4" (or "C:\Rec\...") → "file://localhost/C:/Rec/Camera_01.mp4"
//   "//nas/share/Camera_01.mp4" (or "\\nas\share\...") → "file://nas/share/Camera_01.mp4"
// Never two slashes after the host: editors may take those for a network path. Give it
// timelineAbsolutePath()'s result, which starts with "//" only for a network path.
QString timelineFileUrl(const QString &absolutePath);

// The whole xmeml document as UTF-8, lines ending in "\n" (the file writer turns them into
// the platform's text line ending).
QByteArray buildXmemlDocument(const TimelineExportInput &input);

// Writes buildXmemlDocument() to timelineOutputPath(), replacing an earlier file. The text
// goes to a temporary file beside the target that is renamed over it only once everything
// has been written and flushed, so a failed write leaves no partial document and an earlier
// timeline intact. On success *writtenPath receives the path; on failure *errorText says why
// (the operating system's text) and *writtenPath still receives the path that was tried.
// Either pointer may be null.
bool writeTimeline(const TimelineExportInput &input, QString *writtenPath, QString *errorText);
