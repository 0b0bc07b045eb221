#include "recording/TimelineNaming.h"

#include "recording/TimelinePaths.h"

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

QLatin1String extensionOf(TimelineFormat format)
{
    switch (format) {
    case TimelineFormat::Fcpxml: return QLatin1String(".fcpxml");
    case TimelineFormat::Otio: return QLatin1String(".otio");
    case TimelineFormat::Xmeml: break;
    }
    return QLatin1String(".xml");
}

} // namespace

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

QString timelineFileName(const QString &sessionName, const QString &takeFolderName, TimelineLayout layout,
                         TimelineFormat format)
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
        + QLatin1String(layout == TimelineLayout::AllAngles ? "_AllAngles" : "") + extensionOf(format);
    const qsizetype budget = maxFileNameBytes - suffix.toUtf8().size();
    while (!project.isEmpty() && project.toUtf8().size() > budget) {
        project.chop(1);
        if (!project.isEmpty() && project.back().isHighSurrogate())
            project.chop(1); // never leave half a character
    }
    return project + suffix;
}

QString timelineOutputPath(const TimelineExportInput &input, TimelineLayout layout, TimelineFormat format)
{
    const QString folder = timelineMediaFolder(input);
    if (folder.isEmpty())
        return {};
    return joinPath(folder, timelineFileName(input.sessionName, lastPathComponent(folder), layout, format));
}
