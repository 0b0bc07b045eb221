#include "update/UpdateTrust.h"

#include <QCryptographicHash>
#include <QFile>

namespace UpdateTrust {

bool isHttps(const QUrl &url)
{
    return url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
}

bool isRedirectAllowed(const QUrl &from, const QUrl &to)
{
    const bool toHttp = to.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) == 0;
    if (!isHttps(to) && !toHttp)
        return false;
    return !isHttps(from) || isHttps(to);
}

Verdict judge(const Evidence &evidence)
{
    // A file that cannot be read back cannot be vouched for, whatever the transport.
    if (evidence.actualSha256.isEmpty())
        return Verdict::Unreadable;
    // A checksum from a manifest that was not protected on its way is no evidence at all.
    if (evidence.manifestOverHttps && !evidence.expectedSha256.isEmpty()) {
        return evidence.expectedSha256.toLower().toLatin1() == evidence.actualSha256.toLower()
                   ? Verdict::Verified
                   : Verdict::Mismatch;
    }
    return evidence.manifestOverHttps && evidence.installerOverHttps ? Verdict::TrustedTransport
                                                                     : Verdict::Unverifiable;
}

QByteArray sha256OfFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file) || file.error() != QFileDevice::NoError)
        return {};
    return hash.result().toHex();
}

} // namespace UpdateTrust
