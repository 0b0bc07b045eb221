// The two security decisions of the update path, kept as pure functions so each case can
// be checked on its own. Any thread.
//
// An installer is started only when its SHA-256 matched the published one, or, when the
// manifest publishes none, when the manifest and the installer both came over HTTPS from the
// first request to the last redirect. Anything else could have been swapped on the way by
// whoever sits on the network, and starting it would run their program.
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

namespace UpdateTrust {

bool isHttps(const QUrl &url);

// Redirects are followed except those that leave HTTPS: an https address may only lead to
// another https address. Schemes other than http and https are never followed.
bool isRedirectAllowed(const QUrl &from, const QUrl &to);

enum class Verdict {
    Verified,          // the published SHA-256 matched
    TrustedTransport,  // none published; manifest and installer came over HTTPS only
    Mismatch,          // the published SHA-256 did not match
    Unreadable,        // the downloaded file could not be read back to be checked
    Unverifiable,      // none published, and something came over plain HTTP
};

struct Evidence
{
    QString expectedSha256;    // as published, any case; empty when none
    QByteArray actualSha256;   // lower-case hex of the file on disk; empty when unreadable
    bool manifestOverHttps = false;
    bool installerOverHttps = false;
};

Verdict judge(const Evidence &evidence);

// Only these two verdicts let the installer be offered and started.
inline bool mayStart(Verdict verdict)
{
    return verdict == Verdict::Verified || verdict == Verdict::TrustedTransport;
}

// Lower-case hex SHA-256 of a file, read in blocks; empty when it cannot be read.
QByteArray sha256OfFile(const QString &path);

} // namespace UpdateTrust
