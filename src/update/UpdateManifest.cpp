#include "update/UpdateManifest.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

QString UpdateChangelogs::in(const QString &language) const
{
    if (language == QLatin1String("SR") && sr)
        return *sr;
    if (language == QLatin1String("EN") && en)
        return *en;
    return general;
}

namespace UpdateManifestReader {

namespace {

QString trimmedString(const QJsonObject &object, QLatin1StringView key)
{
    return object.value(key).toString().trimmed();
}

std::optional<QString> optionalString(const QJsonObject &object, QLatin1StringView key)
{
    if (!object.contains(key))
        return std::nullopt;
    return object.value(key).toString();
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

ManifestParseResult parse(const QByteArray &body, UpdatePackage package, const QUrl &manifestUrl)
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
    manifest.changelogs.sr = optionalString(object, QLatin1StringView("changelog_sr"));
    manifest.changelogs.en = optionalString(object, QLatin1StringView("changelog_en"));
    manifest.changelogs.general = object.value(QLatin1StringView("changelog")).toString();
    const bool isDebian = package == UpdatePackage::DebianPackage;
    manifest.downloadUrl = trimmedString(object, isDebian ? QLatin1StringView("downloadUrl_deb") : QLatin1StringView("downloadUrl"));
    manifest.sha256 = trimmedString(object, isDebian ? QLatin1StringView("sha256_deb") : QLatin1StringView("sha256"));
    manifest.isMandatory = object.value(QLatin1StringView("mandatory")).toBool(false);
    manifest.installerUrl = resolveInstallerUrl(manifestUrl, manifest.downloadUrl);

    result.status = (manifest.version.isEmpty() || manifest.installerUrl.isEmpty())
                        ? ManifestParseResult::Status::MissingFields
                        : ManifestParseResult::Status::Ok;
    return result;
}

} // namespace UpdateManifestReader
