// TakeRecovery: the takes that ended in a crash or a power cut, and their timelines rebuilt.
// A take folder with a cut journal but without any of its timelines did not stop normally:
// its edit is read from the journal (to its last whole line), and every file the journal
// names is measured as it is on disk (each WAV track with all its parts), so every clip of
// the rebuilt timelines ends where its file really ends. The caller writes the timelines
// (writeTimeline) and tells the operator. Runs on the GUI thread at start; it reads the
// files of every take it recovers.
#pragma once

#include "recording/TimelineInput.h"

#include <QString>
#include <QStringList>

// Take folders under the recording folder (recordingPath/<session>/Take_NN) that have a
// journal and none of its timelines, in name order.
QStringList takesNeedingRecovery(const QString &recordingPath);

struct TakeRecoveryResult
{
    QString takeFolder;
    TimelineExportInput input; // ready for writeTimeline()
    QStringList found;         // what was found, one line each, for the log
    QString error;             // why nothing could be rebuilt; empty when `input` is good
};

TakeRecoveryResult rebuildTakeFromJournal(const QString &takeFolder);
