// Where a take's timelines go and what they are called: the project name, the folder, and one
// file name per format and layout. Pure string functions over the take's input.
#pragma once

#include "recording/TimelineInput.h"
#include "recording/TimelineModel.h"

#include <QString>

// The interchange formats every take is written in: FCP7 XML (xmeml version 4, for Resolve and
// Premiere Pro), FCPXML (Final Cut Pro and Resolve) and OpenTimelineIO (Kdenlive, Resolve).
enum class TimelineFormat { Xmeml, Fcpxml, Otio };

// The session name with surrounding white space removed, or "Session" when that is empty.
QString timelineProjectName(const QString &sessionName);

// The folder the timeline goes into and whose name the sequence carries: takeFolderPath, or
// the folder of masterWavPath when that is empty. Forward slashes, no trailing slash.
QString timelineMediaFolder(const TimelineExportInput &input);

// Project name + "_" + take folder name, + "_AllAngles" for the all-angles layout, + the
// format's extension (".xml", ".fcpxml", ".otio"). The project name part is made safe for a
// file name on every platform: each of < > : " / \ | ? * and every control character becomes
// "_", and it is shortened (never the take folder name) so the whole name stays within 248
// bytes of UTF-8 (255, less the room its temporary file's name needs). The name inside the
// document keeps the session name as typed.
QString timelineFileName(const QString &sessionName, const QString &takeFolderName,
                         TimelineLayout layout = TimelineLayout::ProgrammeCut,
                         TimelineFormat format = TimelineFormat::Xmeml);

// timelineMediaFolder() + "/" + timelineFileName(); empty when there is no folder.
QString timelineOutputPath(const TimelineExportInput &input,
                           TimelineLayout layout = TimelineLayout::ProgrammeCut,
                           TimelineFormat format = TimelineFormat::Xmeml);
