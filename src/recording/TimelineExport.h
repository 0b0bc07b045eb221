// Timeline export: the timelines written into a take folder when the take stops (or when a
// crashed take is rebuilt), so an editor opens the take ready to edit. Each format in both
// layouts, one file each:
//   <session>_<take>.xml / _AllAngles.xml        FCP7 XML (xmeml 4): DaVinci Resolve, Premiere Pro
//   <session>_<take>.fcpxml / _AllAngles.fcpxml  FCPXML 1.9: Final Cut Pro, DaVinci Resolve
//   <session>_<take>.otio / _AllAngles.otio      OpenTimelineIO: Kdenlive, DaVinci Resolve
// The programme cut holds the operator's live switches as cuts; the all-angles timeline has
// every recorded camera on a track of its own for the whole take and the programme cut above
// them. All carry the master WAV and every channel WAV, and every marker of the take.
//
// Free functions over a plain record, independent of ApplicationManager: the caller fills a
// TimelineExportInput, checks timelineHasRecordedFiles(), calls writeTimeline() and logs the
// outcome. The take's edit is laid out once (buildTimelineModel()) and each document is only a
// rendering of that model. Nothing here keeps state between calls or touches capture state.
#pragma once

#include "recording/TimelineInput.h"
#include "recording/TimelineModel.h"
#include "recording/TimelineNaming.h"

#include <QByteArray>
#include <QList>
#include <QString>

// False when there is nothing to describe (no video file and no master WAV path): the
// caller then writes nothing and logs "No recorded files to export to XML.".
bool timelineHasRecordedFiles(const TimelineExportInput &input);

// One whole document as UTF-8, lines ending in "\n" (the file writer turns them into the
// platform's text line ending).
QByteArray buildTimelineDocument(const TimelineModel &model, TimelineFormat format, TimelineLayout layout);
QByteArray buildXmemlDocument(const TimelineExportInput &input,
                              TimelineLayout layout = TimelineLayout::ProgrammeCut);

// The outcome of writing one timeline file.
struct TimelineFileWrite
{
    TimelineLayout layout = TimelineLayout::ProgrammeCut;
    TimelineFormat format = TimelineFormat::Xmeml;
    QString path;  // the file written or tried; empty when there is no take folder
    QString error; // empty when written
};

// Every format and layout of timelineFormats() to its timelineOutputPath(), replacing earlier
// files. Each goes to a temporary file beside its target that is renamed over it only once
// every byte has been written and synced to disk, so a failed write (a full disk) leaves no
// partial document and an earlier timeline intact. All files are attempted either way; false
// when any could not be written (the errors are the operating system's reasons). `results`
// may be null.
bool writeTimeline(const TimelineExportInput &input, QList<TimelineFileWrite> *results);

// The same for a model made elsewhere (a studio's timelines, with other machines' files): into
// `folder`, named by timelineFileName(sessionName, takeName, ...).
bool writeTimelineModel(const TimelineModel &model, const QString &folder, const QString &sessionName,
                        const QString &takeName, QList<TimelineFileWrite> *results);

// The formats in the order they are written.
QList<TimelineFormat> timelineFormats();
