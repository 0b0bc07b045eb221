#include "recording/TakeRecovery.h"

#include "recording/CutJournalReader.h"
#include "recording/RecordedFileMeasure.h"
#include "recording/TimelineExport.h"
#include "recording/WavPartWriter.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

bool hasAnyTimeline(const TimelineExportInput &input)
{
    for (const TimelineFormat format : timelineFormats()) {
        for (const TimelineLayout layout : {TimelineLayout::ProgrammeCut, TimelineLayout::AllAngles}) {
            if (QFileInfo::exists(timelineOutputPath(input, layout, format)))
                return true;
        }
    }
    return false;
}

QString secondsText(double seconds)
{
    return QString::number(seconds, 'f', 1) + QStringLiteral(" s");
}

class Rebuild
{
public:
    explicit Rebuild(TakeRecoveryResult &result) : m_result(result) {}
    void run();

private:
    // Measures a file the journal names; false (noted) when it cannot be read.
    bool measure(const QString &label, const QString &path, RecordedFileMeasure *measure);
    // A WAV track: its first file and every part after it. Empty when the first is unreadable.
    QString audioTrack(const QString &label, const QString &firstFile);

    TakeRecoveryResult &m_result;
    TimelineExportInput &m_in = m_result.input;
    double m_longestSeconds = 0.0;
};

bool Rebuild::measure(const QString &label, const QString &path, RecordedFileMeasure *measure)
{
    *measure = measureRecordedFile(path);
    if (!measure->error.isEmpty()) {
        m_result.found.append(QStringLiteral("%1: %2 cannot be read (%3), left out")
                                  .arg(label, QFileInfo(path).fileName(), measure->error));
        return false;
    }
    m_in.measuredFiles[path] = TimelineFileMeasure{measure->seconds, measure->timeReferenceSamples};
    m_longestSeconds = std::max(m_longestSeconds, measure->seconds);
    return true;
}

QString Rebuild::audioTrack(const QString &label, const QString &firstFile)
{
    const QString first = QDir(m_result.takeFolder).filePath(firstFile);
    QList<TimelineAudioPart> parts;
    double seconds = 0.0;
    for (int part = 1;; ++part) {
        const QString path = WavPartWriter::partPath(first, part);
        if (part > 1 && !QFileInfo::exists(path))
            break;
        RecordedFileMeasure measured;
        if (!measure(part == 1 ? label : QStringLiteral("%1 part %2").arg(label).arg(part), path, &measured))
            break; // a part that cannot be read ends the track: nothing after it can be placed
        parts.append(TimelineAudioPart{path, measured.audioFrames});
        seconds += measured.seconds;
    }
    if (parts.isEmpty())
        return {};
    if (parts.size() > 1)
        m_in.audioParts[first] = parts;
    m_longestSeconds = std::max(m_longestSeconds, seconds);
    m_result.found.append(parts.size() > 1 ? QStringLiteral("%1: %2, %3 in %4 parts").arg(label, firstFile, secondsText(seconds)).arg(parts.size())
                                           : QStringLiteral("%1: %2, %3").arg(label, firstFile, secondsText(seconds)));
    return first;
}

void Rebuild::run()
{
    QString error;
    const std::optional<CutJournalContents> journal = readCutJournal(m_result.takeFolder, &error);
    if (!journal) {
        m_result.error = QStringLiteral("the cut journal cannot be read: ") + error;
        return;
    }
    if (!journal->hasTake) {
        m_result.error = QStringLiteral("the cut journal does not say how the take was recorded");
        return;
    }
    const CutJournalTake &take = journal->take;
    m_result.found.append(QStringLiteral("Journal: %1 switches, %2 markers%3%4")
                              .arg(journal->cuts.size())
                              .arg(journal->markers.size())
                              .arg(journal->stopMs ? QStringLiteral(", stopped after ") + secondsText(*journal->stopMs / 1000.0)
                                                   : QStringLiteral(", no stop"))
                              .arg(journal->endsMidLine ? QStringLiteral(", its last line cut short") : QString()));
    for (const QString &line : journal->unreadable)
        m_result.found.append(QStringLiteral("Journal line skipped: ") + line);

    m_in.sessionName = take.sessionName;
    m_in.takeFolderPath = m_result.takeFolder;
    m_in.startTimecode = take.startTimecode;
    m_in.frameRate = take.rate;
    m_in.width = take.width;
    m_in.height = take.height;
    m_in.cuts = journal->cuts;
    m_in.markers = journal->markers;

    for (const auto &[channelId, file] : take.cameraFiles) {
        const QString path = QDir(m_result.takeFolder).filePath(file);
        RecordedFileMeasure measured;
        if (!measure(QStringLiteral("Camera %1").arg(channelId), path, &measured))
            continue;
        m_in.videoPaths[channelId] = path;
        if (measured.width > 0 && measured.height > 0)
            m_in.videoSizes[channelId] = QSize(measured.width, measured.height);
        if (const auto start = take.cameraStartFrames.find(channelId); start != take.cameraStartFrames.end())
            m_in.videoStartFrames[channelId] = start->second;
        m_in.videoFileExtension = QLatin1Char('.') + QFileInfo(file).suffix();
        m_result.found.append(QStringLiteral("Camera %1: %2, %3").arg(channelId).arg(file, secondsText(measured.seconds)));
    }
    if (!take.masterFile.isEmpty())
        m_in.masterWavPath = audioTrack(QStringLiteral("Master"), take.masterFile);
    for (const auto &[channelId, file] : take.channelAudioFiles) {
        const QString first = audioTrack(QStringLiteral("Channel %1 audio").arg(channelId), file);
        if (first.isEmpty())
            continue;
        m_in.isoAudioPaths[channelId] = first;
        const auto link = take.cameraLinks.find(channelId);
        if (link != take.cameraLinks.end())
            m_in.cameraLinks[channelId] = link->second;
    }
    if (!timelineHasRecordedFiles(m_in)) {
        m_result.error = QStringLiteral("none of its files can be read");
        return;
    }
    // A take that stopped has its length; one that did not lasted as long as its longest file
    // (or its last event, should every file have ended before it).
    m_in.durationMs = journal->stopMs.value_or(std::max(qint64(m_longestSeconds * 1000.0), journal->lastEventMs));
}

} // namespace

QStringList takesNeedingRecovery(const QString &recordingPath)
{
    QStringList takes;
    const QDir root(recordingPath);
    for (const QString &session : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QDir sessionDir(root.filePath(session));
        for (const QString &take : sessionDir.entryList({QStringLiteral("Take_*")}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
            const QString folder = sessionDir.filePath(take);
            if (!QFileInfo::exists(cutJournalPath(folder)))
                continue;
            // The journal names the session, and with it the timelines' file names.
            const std::optional<CutJournalContents> journal = readCutJournal(folder, nullptr);
            TimelineExportInput input;
            input.sessionName = journal ? journal->take.sessionName : QString();
            input.takeFolderPath = folder;
            if (!hasAnyTimeline(input))
                takes.append(folder);
        }
    }
    return takes;
}

TakeRecoveryResult rebuildTakeFromJournal(const QString &takeFolder)
{
    TakeRecoveryResult result;
    result.takeFolder = takeFolder;
    Rebuild(result).run();
    return result;
}
