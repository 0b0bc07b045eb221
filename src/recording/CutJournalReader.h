// Reading a take's cut journal back (CutJournalFormat): at stop, so the timelines are written
// from what reached the disk, and at start, to rebuild the timelines of a take that ended in a
// crash. Pure parsing; any thread.
//
// A journal cut short mid-line (the program or the power died while a line was being
// written) is read up to its last whole line. A whole line that makes no sense is skipped and
// kept in `unreadable`, so one damaged line never costs the rest of the edit.
#pragma once

#include "recording/CutJournal.h"
#include "recording/TimelineCut.h"
#include "recording/TimelineMarker.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

struct CutJournalContents
{
    bool hasTake = false; // the take's line was read
    CutJournalTake take;
    QList<TimelineCut> cuts;       // in the order they were written
    QList<TimelineMarker> markers;
    std::optional<qint64> stopMs;  // the take ended normally after this long
    qint64 lastEventMs = 0;
    int wholeLines = 0;
    bool endsMidLine = false;      // a last line cut short was left out
    QStringList unreadable;
};

CutJournalContents parseCutJournal(const QByteArray &bytes);

// The journal of a take folder; none (with the reason) when it cannot be read.
std::optional<CutJournalContents> readCutJournal(const QString &takeFolder, QString *error);
QString cutJournalPath(const QString &takeFolder);
