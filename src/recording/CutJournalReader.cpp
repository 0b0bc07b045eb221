#include "recording/CutJournalReader.h"

#include "recording/CutJournalFormat.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace {

bool toInt(const QString &text, int *value)
{
    bool ok = false;
    *value = text.toInt(&ok);
    return ok;
}

// One whole line into the contents; false when it makes no sense.
bool readLine(const QString &line, CutJournalContents *contents)
{
    const std::optional<QStringList> parsed = CutJournalFormat::words(line);
    if (!parsed || parsed->size() < 2)
        return false;
    const QStringList &w = *parsed;
    const std::optional<qint64> ms = CutJournalFormat::parseTime(w.at(0));
    if (!ms)
        return false;
    const QString &event = w.at(1);
    int number = 0;
    if (event == QLatin1String("take") && w.size() == 9 && w.at(3) == QLatin1String("timecode")
        && w.at(5) == QLatin1String("rate") && w.at(7) == QLatin1String("size")) {
        static const QRegularExpression rate(QStringLiteral(R"(^(\d+)/(\d+)$)"));
        static const QRegularExpression size(QStringLiteral(R"(^(\d+)x(\d+)$)"));
        const auto r = rate.match(w.at(6));
        const auto s = size.match(w.at(8));
        if (!r.hasMatch() || !s.hasMatch() || r.captured(2).toInt() <= 0)
            return false;
        contents->take.sessionName = w.at(2);
        contents->take.startTimecode = w.at(4);
        contents->take.rate = FrameRate{r.captured(1).toInt(), r.captured(2).toInt()};
        contents->take.width = s.captured(1).toInt();
        contents->take.height = s.captured(2).toInt();
        contents->hasTake = true;
    } else if (event == QLatin1String("camera") && (w.size() == 4 || w.size() == 6) && toInt(w.at(2), &number)) {
        if (w.size() == 6) {
            bool ok = false;
            const qint64 startFrame = w.at(5).toLongLong(&ok);
            if (w.at(4) != QLatin1String("from") || !ok || startFrame < 0)
                return false;
            contents->take.cameraStartFrames[number] = startFrame;
        }
        contents->take.cameraFiles[number] = w.at(3);
    } else if (event == QLatin1String("master") && w.size() == 3) {
        contents->take.masterFile = w.at(2);
    } else if (event == QLatin1String("audio") && (w.size() == 4 || w.size() == 6) && toInt(w.at(2), &number)) {
        contents->take.channelAudioFiles[number] = w.at(3);
        int camera = 0;
        if (w.size() == 6 && (w.at(4) != QLatin1String("link") || !toInt(w.at(5), &camera)))
            return false;
        if (camera > 0)
            contents->take.cameraLinks[number] = camera;
    } else if (event == QLatin1String("switch") && w.size() == 3 && toInt(w.at(2), &number)) {
        contents->cuts.append(TimelineCut{number, *ms});
    } else if (event == QLatin1String("marker") && w.size() == 4 && toInt(w.at(2), &number)) {
        contents->markers.append(TimelineMarker{*ms, w.at(3)});
    } else if (event == QLatin1String("stop") && w.size() == 2) {
        contents->stopMs = *ms;
    } else {
        return false;
    }
    contents->lastEventMs = std::max(contents->lastEventMs, *ms);
    return true;
}

} // namespace

CutJournalContents parseCutJournal(const QByteArray &bytes)
{
    CutJournalContents contents;
    const qsizetype end = bytes.lastIndexOf('\n') + 1; // after the last whole line
    contents.endsMidLine = end < bytes.size();
    const QList<QByteArray> lines = bytes.left(end).split('\n');
    for (const QByteArray &raw : lines) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        ++contents.wholeLines;
        if (!readLine(line, &contents))
            contents.unreadable.append(line);
    }
    return contents;
}

QString cutJournalPath(const QString &takeFolder)
{
    return QDir(takeFolder).filePath(QLatin1String(CutJournalFormat::kFileName));
}

std::optional<CutJournalContents> readCutJournal(const QString &takeFolder, QString *error)
{
    QFile file(cutJournalPath(takeFolder));
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    return parseCutJournal(file.readAll());
}
