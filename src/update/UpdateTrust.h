// The two security decisions of the update path, kept as pure functions so each case can
// be checked on its own. Any thread.
//
// A published SHA-256 is only as good as the way it travelled: one read from a manifest that
// came over plain HTTP (or passed through an HTTP hop) could have been written by whoever sits
// on the network path, together with the file it describes. So a checksum counts only when the
// manifest came over HTTPS from the first request to the last redirect. An installer is
// started when such a checksum matched, or, without one, when the manifest and the installer
// both came over HTTPS only. Anything else could have been swapped on the way, and starting
// it would run someone else's program.
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
    Verified,          // the SHA-256 of a manifest that came over HTTPS matched
    TrustedTransport,  // no such SHA-256; manifest and installer came over HTTPS only
    Mismatch,          // the SHA-256 of a manifest that came over HTTPS did not match
    Unreadable,        // the downloaded file could not be read back to be checked
    Unverifiable,      // no SHA-256 that counts, and something came over plain HTTP
};

struct Evidence
{
    QString expectedSha256;    // as published, any case; empty when none
    QByteArray actualSha256;   // lower-case hex of the file on disk; empty when unreadable
    bool manifestOverHttps = false; // every hop of the manifest request was HTTPS
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
