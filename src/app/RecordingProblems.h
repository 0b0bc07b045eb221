// What the operator reads when a take cannot start, ends early or is about to: in plain
// words, in English and Serbian, naming the file, the camera or the folder and saying what to
// do. The main window's banner and the phone page show the text in the interface language;
// the log and the command line use the English one. Pure functions.
#pragma once

#include "common/LocalisedText.h"

#include <QList>
#include <QString>

struct TakeFailure;

namespace RecordingProblems {

// A text that has no translation (a message from elsewhere): the same in both languages.
LocalisedText untranslated(const QString &text);

// The take folder could not be made; `reason` is the system's own text.
LocalisedText takeFolderNotCreated(const QString &folder, const QString &reason);
// Not one file of the take could be opened in the folder.
LocalisedText nothingOpened(const QString &folder, const QString &reason);
// REC ALL refused: too little free space, or too little recording time at the settings' rate.
LocalisedText tooLittleSpaceToStart(const QString &folder, qint64 freeBytes, qint64 minimumBytes);
LocalisedText tooLittleTimeToStart(const QString &folder, qint64 freeBytes, qint64 seconds);
// A file of a running take could not be written (`filePath` is that file); the take stopped.
LocalisedText writeFailed(const TakeFailure &failure, const QString &filePath, const QString &takeFolder);
// The take stopped by itself with the free space under the reserve.
LocalisedText reserveReached(const QString &folder, qint64 freeBytes);
// A running take has little time left on its disk (a warning, the take goes on).
LocalisedText runningOutOfSpace(const QString &folder, qint64 seconds);
// Microphones of a running take are lost (channel ids in order); the take goes on and their
// tracks record silence until they are back.
LocalisedText audioInputsLost(const QList<int> &channels);
// The timeline files of a finished take could not be written: `failures` names each file and
// why ("Take_01.xml: No space left on device; ...").
LocalisedText timelineNotWritten(const QString &failures, const QString &takeFolder);

// "812 MB", "1.4 GB" (decimal units, as file managers count).
QString sizeText(qint64 bytes);
// "45 s", "4 min", "1 h 12 min".
QString durationText(qint64 seconds);
// True for the texts with which a write fails on a full disk (or a file-size limit).
bool isDiskFullError(const QString &error);

} // namespace RecordingProblems
