// The cut journal's lines: one event of a take per line, readable by a person and by the
// program after a crash. Pure text functions shared by the writer (CutJournal) and the reader
// (readCutJournal), so the two cannot drift apart.
//
//   # Vireon cut journal: one line per event, at its time since the start of the take
//   00:00:00.000 take "Show" timecode 10:15:30:00 rate 30000/1001 size 1920x1080
//   00:00:00.000 camera 1 "Camera_01.mp4"
//   00:00:00.000 master "Master_Audio_Output.wav"
//   00:00:00.000 audio 2 "Channel_02_Audio.wav" link 2
//   00:00:00.000 switch 1
//   00:00:04.000 switch 2
//   00:00:05.230 marker 1 "cough at 12:03"
//   00:00:07.100 camera 3 "Camera_03.mp4" from 213      (a camera that joined the take)
//   00:12:00.000 stop
//
// Times are hours (two digits or more), minutes, seconds and milliseconds. Names are quoted
// with \" \\ \n \r \t and \uXXXX escapes; files are named relative to the take folder, so a
// take folder that was moved or copied still finds its files.
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

namespace CutJournalFormat {

inline constexpr char kFileName[] = "Cut_Journal.txt";
inline constexpr char kHeaderLine[] = "# Vireon cut journal: one line per event, at its time since the start of the take";

// "01:02:03.456" for 3 723 456 ms; negative times count as 0.
QString timeText(qint64 ms);
std::optional<qint64> parseTime(const QString &text);

QString quoted(const QString &text);

// A line split into its words; a quoted word comes back unescaped. None when a quote is not
// closed or an escape is malformed.
std::optional<QStringList> words(const QString &line);

} // namespace CutJournalFormat
