#include "recording/TimelineExport.h"

#include "recording/XmemlWriter.h"

#include <QFileInfo>
#include <QSaveFile>

namespace {

// Longest file name the common file systems take (ext4 and NTFS count 255 units).
constexpr qsizetype maxFileNameBytes = 255;

bool isDrivePath(const QString &path)
{
    return path.size() >= 3 && path.at(0).isLetter() && path.at(0).unicode() < 0x80
        && path.at(1) == QLatin1Char(':')
        && (path.at(2) == QLatin1Char('/') || path.at(2) == QLatin1Char('\\'));
}

// A path that can only be a Windows one: a drive path, or a network path in backslashes.
bool isWindowsStylePath(const QString &path)
{
    return isDrivePath(path) || path.startsWith(QLatin1String("\\\\"));
}

#ifdef Q_OS_WIN
constexpr bool slashSlashIsNetworkPath = true;
#else
constexpr bool slashSlashIsNetworkPath = false; // "//home" is "/home" here
#endif

QString withoutTrailingSlashes(QString folder)
{
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))
           && !(folder.size() == 3 && isDrivePath(folder)))
        folder.chop(1);
    return folder;
}

QString lastComponent(const QString &folder)
{
    return folder.mid(folder.lastIndexOf(QLatin1Char('/')) + 1);
}

QString joinPath(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
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

QString timelineAbsolutePath(const QString &path)
{
    if (path.isEmpty())
        return {};
    if (isWindowsStylePath(path)) {
        QString windowsPath = path;
        return windowsPath.replace(QLatin1Char('\\'), QLatin1Char('/'));
    }
    QString absolute = QFileInfo(path).absoluteFilePath(); // forward slashes on every platform
    if (!slashSlashIsNetworkPath) {
        while (absolute.startsWith(QLatin1String("//")))
            absolute.remove(0, 1);
    }
    return absolute;
}

QString timelineFileUrl(const QString &absolutePath)
{
    QString path = absolutePath;
    if (isWindowsStylePath(path))
        path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    // timelineAbsolutePath() keeps a leading "//" only for a network path.
    if (path.startsWith(QLatin1String("//")))
        return QLatin1String("file:") + path; // file://server/share/...
    // "/home/..." already brings the slash that ends the authority; "C:/..." needs one.
    if (path.startsWith(QLatin1Char('/')))
        return QLatin1String("file://localhost") + path;
    return QLatin1String("file://localhost/") + path;
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

QString timelineFileName(const QString &sessionName, const QString &takeFolderName)
{
    // The document keeps the name as typed; only the file name is made safe. These are the
    // characters Windows refuses in a name ("/" on every system), plus control characters.
    static const QString illegal = QStringLiteral("<>:\"/\\|?*");
    QString project = timelineProjectName(sessionName);
    for (QChar &c : project) {
        if (c.unicode() < 0x20 || illegal.contains(c))
            c = QLatin1Char('_');
    }
    const QString suffix = QLatin1Char('_') + takeFolderName + QLatin1String(".xml");
    const qsizetype budget = maxFileNameBytes - suffix.toUtf8().size();
    while (!project.isEmpty() && project.toUtf8().size() > budget) {
        project.chop(1);
        if (!project.isEmpty() && project.back().isHighSurrogate())
            project.chop(1); // never leave half a character
    }
    return project + suffix;
}

QString timelineOutputPath(const TimelineExportInput &input)
{
    const QString folder = timelineMediaFolder(input);
    if (folder.isEmpty())
        return {};
    return joinPath(folder, timelineFileName(input.sessionName, lastComponent(folder)));
}

QByteArray buildXmemlDocument(const TimelineExportInput &input)
{
    TimelineExportJob job;
    job.projectName = timelineProjectName(input.sessionName);
    job.mediaFolder = timelineMediaFolder(input);
    job.sequenceName = job.projectName + QLatin1Char(' ') + lastComponent(job.mediaFolder);
    job.frameRate = input.frameRate;
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
    for (int channelId = 1; channelId <= 4; ++channelId) {
        const auto video = input.videoPaths.find(channelId);
        if (video != input.videoPaths.end() && !video->second.isEmpty())
            job.videoClips.append({channelId, QStringLiteral("clip-cam-%1").arg(channelId),
                                   video->second});

        const auto audio = input.isoAudioPaths.find(channelId);
        if (audio == input.isoAudioPaths.end() || audio->second.isEmpty())
            continue;
        job.audioClips.append({channelId, audio->second});
        const auto link = input.cameraLinks.find(channelId);
        if (link != input.cameraLinks.end() && link->second > 0)
            job.audioToCamera[channelId] = link->second;
    }
    return writeXmemlDocument(job);
}

bool writeTimeline(const TimelineExportInput &input, QString *writtenPath, QString *errorText)
{
    const QString path = timelineOutputPath(input);
    if (writtenPath)
        *writtenPath = path;
    const auto fail = [errorText](const QString &text) {
        if (errorText)
            *errorText = text;
        return false;
    };
    if (path.isEmpty())
        return fail(QStringLiteral("no take folder to write the timeline into"));

    const QByteArray document = buildXmemlDocument(input);
    // Text mode: the platform's line ending (CR LF on Windows). commit() flushes, syncs and
    // renames; until then the target is untouched, and cancelWriting() removes the
    // temporary file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return fail(file.errorString());
    if (file.write(document) != document.size()) {
        const QString error = file.errorString();
        file.cancelWriting();
        return fail(error);
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}
