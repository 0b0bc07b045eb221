#include "update/UpdateManifest.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace UpdateManifestReader {

namespace {

QString trimmedString(const QJsonObject &object, QLatin1StringView key)
{
    return object.value(key).toString().trimmed();
}

QString changelogFor(const QJsonObject &object, const QString &language)
{
    QLatin1StringView own;
    if (language == QLatin1String("SR"))
        own = QLatin1StringView("changelog_sr");
    else if (language == QLatin1String("EN"))
        own = QLatin1StringView("changelog_en");
    if (!own.isEmpty() && object.contains(own))
        return object.value(own).toString();
    return object.value(QLatin1StringView("changelog")).toString();
}

QUrl resolveInstallerUrl(const QUrl &manifestUrl, const QString &downloadUrl)
{
    const QUrl link(downloadUrl, QUrl::StrictMode);
    if (!link.isValid())
        return {};
    const QUrl resolved = link.isRelative() ? manifestUrl.resolved(link) : link;
    const QString scheme = resolved.scheme().toLower();
    if (!resolved.isValid() || resolved.host().isEmpty()
        || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return {};
    return resolved;
}

} // namespace

ManifestParseResult parse(const QByteArray &body, const QString &language, const QUrl &manifestUrl)
{
    ManifestParseResult result;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError) {
        result.parserMessage = error.errorString();
        return result;
    }
    if (!document.isObject()) {
        result.parserMessage = QStringLiteral("the document is not an object");
        return result;
    }

    const QJsonObject object = document.object();
    UpdateManifest &manifest = result.manifest;
    manifest.version = trimmedString(object, QLatin1StringView("version"));
    manifest.releaseDate = trimmedString(object, QLatin1StringView("releaseDate"));
    manifest.changelog = changelogFor(object, language);
    manifest.downloadUrl = trimmedString(object, QLatin1StringView("downloadUrl"));
    manifest.sha256 = trimmedString(object, QLatin1StringView("sha256"));
    manifest.isMandatory = object.value(QLatin1StringView("mandatory")).toBool(false);
    manifest.installerUrl = resolveInstallerUrl(manifestUrl, manifest.downloadUrl);

    result.status = (manifest.version.isEmpty() || manifest.installerUrl.isEmpty())
                        ? ManifestParseResult::Status::MissingFields
                        : ManifestParseResult::Status::Ok;
    return result;
}

} // namespace UpdateManifestReader
