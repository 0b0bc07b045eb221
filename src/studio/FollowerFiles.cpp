#include "studio/FollowerFiles.h"

#include "studio/StudioTakeReport.h"

#include <QDir>
#include <QFileInfo>

namespace {

bool isInside(const QString &path, const QString &folder)
{
    return path.startsWith(folder + QLatin1Char('/')) && path.size() > folder.size() + 1;
}

} // namespace

QString FollowerFiles::takeFolder(const QString &takeId, QString *refusal) const
{
    const auto refuse = [&](const QString &why) {
        if (refusal)
            *refusal = why;
        return QString();
    };
    if (!StudioTakeFiles::isTakeId(takeId))
        return refuse(QStringLiteral("not a take of this recorder"));
    const QString root = QFileInfo(m_root).canonicalFilePath();
    const QString folder = QFileInfo(QDir(m_root).filePath(takeId)).canonicalFilePath();
    if (root.isEmpty() || folder.isEmpty() || !isInside(folder, root) || !QFileInfo(folder).isDir())
        return refuse(QStringLiteral("no such take"));
    if (!QFileInfo::exists(QDir(folder).filePath(QString::fromLatin1(StudioTakeReport::kManifestName))))
        return refuse(QStringLiteral("not a studio take"));
    return folder;
}

FollowerFiles::Resolved FollowerFiles::resolve(const QString &takeId, const QString &name) const
{
    Resolved resolved;
    if (!StudioTakeFiles::isPlainFileName(name)) {
        resolved.refusal = QStringLiteral("not a file of the take");
        return resolved;
    }
    const QString folder = takeFolder(takeId, &resolved.refusal);
    if (folder.isEmpty())
        return resolved;
    QString error;
    const std::optional<StudioTakeReport> report = StudioTakeFiles::readManifest(folder, &error);
    if (!report) {
        resolved.refusal = QStringLiteral("the take report cannot be read: ") + error;
        return resolved;
    }
    if (report->takeId != takeId || !report->file(name)) {
        resolved.refusal = QStringLiteral("not a file of the take");
        return resolved;
    }
    const QFileInfo info(QDir(folder).filePath(name));
    const QString path = info.canonicalFilePath();
    // A link may point anywhere: what it points at must be in the take folder too.
    if (path.isEmpty() || QFileInfo(path).absolutePath() != folder || !QFileInfo(path).isFile()) {
        resolved.refusal = QStringLiteral("not a file of the take");
        return resolved;
    }
    resolved.path = path;
    resolved.size = QFileInfo(path).size();
    return resolved;
}
