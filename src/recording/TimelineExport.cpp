#include "recording/TimelineExport.h"

#include "common/ChannelRange.h"
#include "recording/FileSync.h"
#include "recording/XmemlWriter.h"

#include <QSaveFile>

namespace {

// Longest file name the common file systems take (ext4 and NTFS count 255 units), less the
// ".XXXXXX" a temporary file beside it adds while the timeline is being written.
constexpr qsizetype maxFileNameBytes = 255 - 7;

QString withoutTrailingSlashes(QString folder)
{
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))
           && !(folder.size() == 3 && isDrivePath(folder)))
        folder.chop(1);
    return folder;
}

QString joinPath(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

// Writes one document through a temporary file in the target's folder, renamed into place
// only once it is complete and on disk. Unbuffered, so a full disk fails the write that met
// it instead of a flush hidden inside commit().
bool writeDocument(const QString &path, QByteArray document, QString *errorText)
{
#if defined(Q_OS_WIN)
    document.replace("\n", "\r\n"); // the platform's text line ending
#endif
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *errorText = file.errorString();
        return false;
    }
    qint64 written = 0;
    while (written < document.size()) {
        const qint64 n = file.write(document.constData() + written, document.size() - written);
        if (n <= 0) {
            *errorText = file.errorString();
            file.cancelWriting();
            return false;
        }
        written += n;
    }
    if (!syncFileToDisk(file.handle(), errorText)) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) { // renames over the target; removes the temporary file on failure
        *errorText = file.errorString();
        return false;
    }
    return true;
}

} // namespace

bool timelineHasRecordedFiles(const TimelineExportInput &input)
{
    return !input.videoPaths.empty() || !input.masterWavPath.isEmpty();
}

QString timelineProjectName(const QString &sessionName)
{
    const QString trimmed = sessionName.trimmed();
    return trimmed.isEmpty() ? QStringLiteral("Session") : trimmed;
}

QString timelineMediaFolder(const TimelineExportInput &input)
{
    QString folder = timelineAbsolutePath(input.takeFolderPath);
    if (folder.isEmpty() && !input.masterWavPath.isEmpty()) {
        const QString master = timelineAbsolutePath(input.masterWavPath);
        const qsizetype slash = master.lastIndexOf(QLatin1Char('/'));
        folder = slash == 0 || (slash == 2 && isDrivePath(master)) ? master.left(slash + 1)
                                                                    : master.left(slash);
    }
    return withoutTrailingSlashes(folder);
}

QString timelineFileName(const QString &sessionName, const QString &takeFolderName, TimelineLayout layout)
{
    // The document keeps the name as typed; only the file name is made safe. These are the
    // characters Windows refuses in a name ("/" on every system), plus control characters.
    static const QString illegal = QStringLiteral("<>:\"/\\|?*");
    QString project = timelineProjectName(sessionName);
    for (QChar &c : project) {
        if (c.unicode() < 0x20 || illegal.contains(c))
            c = QLatin1Char('_');
    }
    const QString suffix = QLatin1Char('_') + takeFolderName
        + QLatin1String(layout == TimelineLayout::AllAngles ? "_AllAngles.xml" : ".xml");
    const qsizetype budget = maxFileNameBytes - suffix.toUtf8().size();
    while (!project.isEmpty() && project.toUtf8().size() > budget) {
        project.chop(1);
        if (!project.isEmpty() && project.back().isHighSurrogate())
            project.chop(1); // never leave half a character
    }
    return project + suffix;
}

QString timelineOutputPath(const TimelineExportInput &input, TimelineLayout layout)
{
    const QString folder = timelineMediaFolder(input);
    if (folder.isEmpty())
        return {};
    return joinPath(folder, timelineFileName(input.sessionName, lastPathComponent(folder), layout));
}

QByteArray buildXmemlDocument(const TimelineExportInput &input, TimelineLayout layout)
{
    TimelineExportJob job;
    job.projectName = timelineProjectName(input.sessionName);
    job.mediaFolder = timelineMediaFolder(input);
    job.sequenceName = job.projectName + QLatin1Char(' ') + lastPathComponent(job.mediaFolder);
    job.frameRate = input.frameRate.toDouble();
    job.width = input.width;
    job.height = input.height;
    job.durationMs = input.durationMs;
    job.masterAudioPath = input.masterWavPath;
    job.videoFileExtension = input.videoFileExtension;
    job.startTimecode = input.startTimecode;
    job.cuts = input.cuts;
    job.audioParts = input.audioParts;
    job.audioSampleRate = input.audioSampleRate;

    // Channels 1 to 4 in order; an empty path is no file.
    for (int channelId = ChannelRange::kFirst; channelId <= ChannelRange::kLast; ++channelId) {
        const auto video = input.videoPaths.find(channelId);
        if (video != input.videoPaths.end() && !video->second.isEmpty()) {
            const auto start = input.videoStartFrames.find(channelId);
            job.videoClips.append({channelId, QStringLiteral("clip-cam-%1").arg(channelId), video->second,
                                   start == input.videoStartFrames.end() ? 0 : std::max<qint64>(0, start->second)});
        }

        const auto audio = input.isoAudioPaths.find(channelId);
        if (audio == input.isoAudioPaths.end() || audio->second.isEmpty())
            continue;
        job.audioClips.append({channelId, audio->second});
        const auto link = input.cameraLinks.find(channelId);
        if (link != input.cameraLinks.end() && link->second > 0)
            job.audioToCamera[channelId] = link->second;
    }
    return writeXmemlDocument(job, layout);
}

bool writeTimeline(const TimelineExportInput &input, QList<TimelineFileWrite> *results)
{
    bool allWritten = true;
    for (const TimelineLayout layout : {TimelineLayout::ProgrammeCut, TimelineLayout::AllAngles}) {
        TimelineFileWrite result{layout, timelineOutputPath(input, layout), {}};
        if (result.path.isEmpty())
            result.error = QStringLiteral("no take folder to write the timeline into");
        else if (!writeDocument(result.path, buildXmemlDocument(input, layout), &result.error) && result.error.isEmpty())
            result.error = QStringLiteral("the file could not be written");
        allWritten = allWritten && result.error.isEmpty();
        if (results)
            results->append(result);
    }
    return allWritten;
}
