// The release manifest (version.json) the update check downloads, read into a plain record.
// Pure functions, any thread.
//
// Members: "version" (required), "releaseDate", "changelog_sr", "changelog_en", "changelog",
// "mandatory" (bool, optional), and per kind of package its download link (required for the
// kind this system installs) and optional SHA-256 (hex):
//   the installer (Windows)    "downloadUrl", "sha256"
//   the Debian package (Linux) "downloadUrl_deb", "sha256_deb"
// Missing members read as empty strings (false for "mandatory"); others are ignored.
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

// What this system installs an update from: an installer it starts itself, or a Debian
// package that its user installs with the package manager (a program cannot run a .deb).
enum class UpdatePackage { Installer, DebianPackage };

// The changelog texts as published; the interface language picks one.
struct UpdateChangelogs
{
    std::optional<QString> sr;
    std::optional<QString> en;
    QString general;

    // The language's own text where the manifest has that member ("SR", "EN"), else the
    // general one.
    QString in(const QString &language) const;
    bool operator==(const UpdateChangelogs &other) const = default;
};

struct UpdateManifest
{
    QString version;      // trimmed; may keep a leading "v"
    QString releaseDate;  // trimmed
    UpdateChangelogs changelogs;
    QString downloadUrl;  // the package's link, trimmed, as published
    QString sha256;       // the package's digest, trimmed, as published (case is ignored when comparing)
    bool isMandatory = false;

    QUrl installerUrl;    // downloadUrl resolved against the manifest's own address
};

struct ManifestParseResult
{
    enum class Status { Ok, NotJsonObject, MissingFields };

    Status status = Status::NotJsonObject;
    QString parserMessage; // the JSON parser's text when status is NotJsonObject
    UpdateManifest manifest;
};

namespace UpdateManifestReader {

// Largest manifest accepted; a longer answer is not a manifest and is not held in memory.
constexpr qint64 kMaxManifestBytes = 1024 * 1024;

// `package` names the link and digest to read; `manifestUrl` is the address the manifest
// finally came from, against which a relative download link is resolved. A download link that
// is not an http or https address counts as missing: the package is fetched from the web,
// never from a local file or another scheme the network layer happens to support.
ManifestParseResult parse(const QByteArray &body, UpdatePackage package, const QUrl &manifestUrl);

} // namespace UpdateManifestReader
