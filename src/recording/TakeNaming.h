// Names of a take on disk: the session folder, the numbered take folders and the files in
// them, and the timecode texts. Pure functions, so the rules are tested without recording.
#pragma once

#include "recording/FrameRate.h"
#include "recording/RecordingContainer.h"

#include <QDateTime>
#include <QString>

namespace TakeNaming {

// The session folder name for a session name: blanks removed around it; an empty name (or
// the placeholder "SESSION_001_ACTIVE") becomes "Session_" + date and time to the second.
// Characters that cannot stand in a folder name (/ \ : * ? " < > | and control characters)
// become "_", and a name of dots only becomes "_", so the folder always lands inside the
// recording path.
QString sessionFolderName(const QString &sessionName, const QDateTime &now);

// The session name of a day, what the program starts with and what "use today's date" puts
// back: "Session_2025-01-31" for that local date.
QString datedSessionName(const QDate &date);

// The next take number in a session folder: one more than the largest number after "Take_"
// among its sub-folders (names that do not parse are ignored); 1 in an empty or missing folder.
int nextTakeNumber(const QString &sessionFolderPath);

// "Take_01", "Take_02", ..., "Take_100".
QString takeFolderName(int takeNumber);

// "<take>/Camera_01" + the container's extension (.mp4, .mkv, .mov, .ts),
// "<take>/Channel_01_Audio.wav", "<take>/Master_Audio_Output.wav".
QString cameraFilePath(const QString &takeFolder, int channelId,
                       RecordingContainer container = RecordingContainer::Mp4);
QString channelAudioFilePath(const QString &takeFolder, int channelId);
QString masterAudioFilePath(const QString &takeFolder);

// Running timecode "HH:MM:SS:FF" of elapsed milliseconds, the frames counted at the take's
// timebase (0 to 29 at 30 and 29.97, 0 to 24 at 25).
QString timecodeText(qint64 elapsedMs, FrameRate rate = {});

// Time of day as the start timecode of a take at `rate`: "HH:mm:ss:00", drop-frame at 29.97
// and 59.94 (Timecode::startTimecode).
QString startTimecodeText(const QTime &timeOfDay, FrameRate rate = {});

} // namespace TakeNaming
