#include "studio/StudioTakeReport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

namespace {

QString ns(qint64 value)
{
    // As text: a JSON number loses nanoseconds past 2^53.
    return QString::number(value);
}

qint64 nsFrom(const QJsonValue &value)
{
    return value.isString() ? value.toString().toLongLong() : qint64(value.toDouble());
}

std::optional<StudioTakeReport> refuse(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return std::nullopt;
}

} // namespace

QJsonObject StudioTakeReport::toJson() const
{
    QJsonArray fileList;
    for (const StudioTakeFile &file : files) {
        fileList.append(QJsonObject{{QStringLiteral("name"), file.name},
                                    {QStringLiteral("kind"), file.kind},
                                    {QStringLiteral("channel"), file.channelId},
                                    {QStringLiteral("bytes"), double(file.bytes)},
                                    {QStringLiteral("frames"), double(file.frames)},
                                    {QStringLiteral("durationMs"), double(file.durationMs)},
                                    {QStringLiteral("sha256"), file.sha256}});
    }
    QJsonArray cameraList;
    for (const StudioCamera &camera : cameras)
        cameraList.append(QJsonObject{{QStringLiteral("channel"), camera.channelId}, {QStringLiteral("name"), camera.name}});
    return QJsonObject{{QStringLiteral("machine"), machine},
                       {QStringLiteral("studioTake"), studioTakeId},
                       {QStringLiteral("take"), takeId},
                       {QStringLiteral("startTimecode"), startTimecode},
                       {QStringLiteral("fps"), fps},
                       {QStringLiteral("startNs"), ns(startWallNs)},
                       {QStringLiteral("durationMs"), double(durationMs)},
                       {QStringLiteral("failure"), failure},
                       {QStringLiteral("files"), fileList},
                       {QStringLiteral("cameras"), cameraList}};
}

std::optional<StudioTakeReport> StudioTakeReport::fromJson(const QJsonObject &object, QString *error)
{
    if (!object.value(QStringLiteral("files")).isArray() || !object.value(QStringLiteral("take")).isString())
        return refuse(error, QStringLiteral("not a take report"));
    StudioTakeReport report;
    report.machine = object.value(QStringLiteral("machine")).toString();
    report.studioTakeId = object.value(QStringLiteral("studioTake")).toString();
    report.takeId = object.value(QStringLiteral("take")).toString();
    report.startTimecode = object.value(QStringLiteral("startTimecode")).toString();
    report.fps = object.value(QStringLiteral("fps")).toDouble(30.0);
    report.startWallNs = nsFrom(object.value(QStringLiteral("startNs")));
    report.durationMs = qint64(object.value(QStringLiteral("durationMs")).toDouble());
    report.failure = object.value(QStringLiteral("failure")).toString();
    if (!StudioTakeFiles::isTakeId(report.takeId))
        return refuse(error, QStringLiteral("the take is not a session and take folder: \"%1\"").arg(report.takeId));
    for (const QJsonValue &value : object.value(QStringLiteral("files")).toArray()) {
        const QJsonObject entry = value.toObject();
        StudioTakeFile file;
        file.name = entry.value(QStringLiteral("name")).toString();
        if (!StudioTakeFiles::isPlainFileName(file.name))
            return refuse(error, QStringLiteral("a file outside the take folder: \"%1\"").arg(file.name));
        if (report.file(file.name))
            return refuse(error, QStringLiteral("a file named twice: \"%1\"").arg(file.name));
        file.kind = entry.value(QStringLiteral("kind")).toString();
        file.channelId = entry.value(QStringLiteral("channel")).toInt();
        file.bytes = qint64(entry.value(QStringLiteral("bytes")).toDouble());
        file.frames = qint64(entry.value(QStringLiteral("frames")).toDouble());
        file.durationMs = qint64(entry.value(QStringLiteral("durationMs")).toDouble());
        file.sha256 = entry.value(QStringLiteral("sha256")).toString().toLower();
        if (file.bytes < 0)
            return refuse(error, QStringLiteral("a negative size for \"%1\"").arg(file.name));
        report.files.append(file);
    }
    for (const QJsonValue &value : object.value(QStringLiteral("cameras")).toArray()) {
        const QJsonObject entry = value.toObject();
        report.cameras.append(StudioCamera{entry.value(QStringLiteral("channel")).toInt(),
                                           entry.value(QStringLiteral("name")).toString()});
    }
    return report;
}

const StudioTakeFile *StudioTakeReport::file(const QString &name) const
{
    for (const StudioTakeFile &entry : files) {
        if (entry.name == name)
            return &entry;
    }
    return nullptr;
}

bool StudioTakeReport::isHashed() const
{
    for (const StudioTakeFile &entry : files) {
        if (entry.sha256.isEmpty())
            return false;
    }
    return true;
}

qint64 StudioTakeReport::totalBytes() const
{
    qint64 total = 0;
    for (const StudioTakeFile &entry : files)
        total += entry.bytes;
    return total;
}

namespace StudioTakeFiles {

bool isPlainFileName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") || name.size() > 255)
        return false;
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':') || c.unicode() < 0x20
            || c.unicode() == 0x7f)
            return false;
    }
    return true;
}

bool isTakeId(const QString &takeId)
{
    const QStringList parts = takeId.split(QLatin1Char('/'));
    return parts.size() == 2 && isPlainFileName(parts.at(0)) && isPlainFileName(parts.at(1));
}

bool writeManifest(const QString &takeFolder, const StudioTakeReport &report, QString *error)
{
    QSaveFile file(QDir(takeFolder).filePath(QString::fromLatin1(StudioTakeReport::kManifestName)));
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(report.toJson()).toJson()) < 0 || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

std::optional<StudioTakeReport> readManifest(const QString &takeFolder, QString *error)
{
    QFile file(QDir(takeFolder).filePath(QString::fromLatin1(StudioTakeReport::kManifestName)));
    if (!file.open(QIODevice::ReadOnly))
        return refuse(error, file.errorString());
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.read(4 * 1024 * 1024), &parseError);
    if (!document.isObject())
        return refuse(error, parseError.errorString());
    return StudioTakeReport::fromJson(document.object(), error);
}

QString folderNameFor(const QString &machine)
{
    QString name = machine.trimmed();
    for (QChar &c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':') || c == QLatin1Char('*')
            || c == QLatin1Char('?') || c == QLatin1Char('"') || c == QLatin1Char('<') || c == QLatin1Char('>')
            || c == QLatin1Char('|') || c.unicode() < 0x20)
            c = QLatin1Char('_');
    }
    if (name.isEmpty() || name.count(QLatin1Char('.')) == name.size())
        return QStringLiteral("Recorder");
    return name;
}

} // namespace StudioTakeFiles
