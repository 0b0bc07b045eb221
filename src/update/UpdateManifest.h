// The release manifest (version.json) the update check downloads, read into a plain record.
// Pure functions, any thread.
//
// Members: "version" and "downloadUrl" (required), "releaseDate", "changelog_sr",
// "changelog_en", "changelog", "sha256" (hex, optional), "mandatory" (bool, optional).
// Missing members read as empty strings (false for "mandatory"); others are ignored.
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

struct UpdateManifest
{
    QString version;      // trimmed; may keep a leading "v"
    QString releaseDate;  // trimmed
    QString changelog;    // the interface language's changelog, else the general one
    QString downloadUrl;  // trimmed, as published
    QString sha256;       // trimmed, as published (case is ignored when comparing)
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

// `language` is the interface language ("SR", "EN", ...); `manifestUrl` the address the
// manifest finally came from, against which a relative download link is resolved. A download
// link that is not an http or https address counts as missing: the installer is fetched from
// the web, never from a local file or another scheme the network layer happens to support.
ManifestParseResult parse(const QByteArray &body, const QString &language, const QUrl &manifestUrl);

} // namespace UpdateManifestReader
