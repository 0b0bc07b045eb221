// How a timeline names the files of a take: absolute paths with forward slashes and the
// file:// URLs editors read. Pure string functions, shared by the export (which decides where
// the timeline goes) and the xmeml writer (which names every clip's file), so neither needs
// the other.
#pragma once

#include <QString>

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

// The same file as a percent-encoded URL, as FCPXML and OpenTimelineIO read them: every byte
// of the path's UTF-8 but letters, digits, "-._~", "/" and ":" becomes %XX.
//   "/home/ana/Tom & Jerry/Čačak.mp4" → "file:///home/ana/Tom%20%26%20Jerry/%C4%8Ca%C4%8Dak.mp4"
//   "C:/Rec/A B.mp4" → "file:///C:/Rec/A%20B.mp4";  "//nas/share/x.wav" → "file://nas/share/x.wav"
QString timelineEncodedFileUrl(const QString &absolutePath);

// "C:/..." or "C:\...": a path that names a Windows drive.
bool isDrivePath(const QString &path);

// The last component of a path in forward slashes ("Take_01" of "/rec/Show/Take_01").
QString lastPathComponent(const QString &path);
