// The download of an update, its verification and installing it (UpdateManager.h).
#include "update/UpdateManager.h"

#include "update/UpdateTexts.h"

#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QUrl>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

#include <algorithm>
#include <utility>

using namespace UpdateTexts;

namespace {

QString megabytes(qlonglong bytes)
{
    return QString::number(double(bytes) / 1048576.0, 'f', 1);
}

// The download folder must belong to this user alone: created if missing, closed to
// everyone else, and refused when someone else owns it.
bool preparePrivateFolder(const QString &folder)
{
    if (!QDir().mkpath(folder))
        return false;
#ifdef Q_OS_WIN
    return true;
#else
    const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                         | QFile::ReadUser | QFile::WriteUser | QFile::ExeUser;
    const QFileInfo info(folder);
    return info.ownerId() == ::getuid() && QFile::setPermissions(folder, ownerOnly);
#endif
}

} // namespace

bool UpdateManager::startDetached(const QString &installerPath)
{
    return QProcess::startDetached(installerPath, {});
}

bool UpdateManager::showInFileManager(const QString &packagePath)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(packagePath).absolutePath()));
}

// --- downloading ---

void UpdateManager::startDownload()
{
    if (m_isDownloading || m_downloadUrl.isEmpty() || !m_installerUrl.isValid())
        return;

    const QString folder = downloadFolder();
    m_installerPath = QDir(folder).filePath(installerFileName());
    bool ready = preparePrivateFolder(folder);
    if (ready && QFile::exists(m_installerPath))
        ready = QFile::remove(m_installerPath);
    m_installerFile.setFileName(m_installerPath);
    if (!ready || !m_installerFile.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qWarning() << "[UpdateManager] Cannot create the installer file" << m_installerPath
                   << m_installerFile.errorString();
        setStatusMessage(kStatusCannotCreate);
        reportError(kErrorCannotCreate);
        return;
    }

    m_downloadExpectedSha256 = m_expectedSha256;
    m_downloadManifestOverHttps = m_manifestOverHttps;
    m_verifiedSha256.clear();

    setIsDownloading(true);
    setProgress(0.0f, QStringLiteral("0%"));
    setUpdateReadyToInstall(false);
    setStatusMessage(kStatusDownloading);

    QNetworkReply *reply = send(m_download, m_installerUrl);
    connect(reply, &QNetworkReply::readyRead, this, &UpdateManager::onDownloadDataReady);
    connect(reply, &QNetworkReply::downloadProgress, this, &UpdateManager::onDownloadProgress);
    connect(reply, &QNetworkReply::finished, this, &UpdateManager::onDownloadFinished);
}

bool UpdateManager::writeToInstaller(const QByteArray &data)
{
    return data.isEmpty() || m_installerFile.write(data) == data.size();
}

void UpdateManager::onDownloadDataReady()
{
    if (!m_download.reply || !m_installerFile.isOpen())
        return;
    if (!writeToInstaller(m_download.reply->readAll())) {
        failDownload(LocalisedText::untranslated(m_installerFile.errorString()));
        return;
    }
    // The network layer holds back progress reports that follow each other closely, so the
    // last one before a pause may never come; the bytes on disk are the true figure.
    const QVariant length = m_download.reply->header(QNetworkRequest::ContentLengthHeader);
    onDownloadProgress(m_installerFile.pos(), length.isValid() ? length.toLongLong() : -1);
}

void UpdateManager::onDownloadProgress(qlonglong bytesReceived, qlonglong bytesTotal)
{
    // Without a Content-Length the network layer still ends with (received, received);
    // the size was never known, so that last report is shown as a byte count too.
    const bool sizeUnknown = bytesTotal < 1
                             || (m_download.reply && !m_download.reply->header(QNetworkRequest::ContentLengthHeader).isValid());
    if (sizeUnknown) {
        m_downloadProgressText = megabytes(bytesReceived) + QStringLiteral(" MB");
    } else {
        m_downloadProgress = std::clamp(float(bytesReceived) / float(bytesTotal), 0.0f, 1.0f);
        m_downloadProgressText = QStringLiteral("%1% (%2 / %3 MB)")
                                     .arg(int(m_downloadProgress * 100.0f))
                                     .arg(megabytes(bytesReceived), megabytes(bytesTotal));
    }
    emit downloadProgressChanged();
}

void UpdateManager::onDownloadFinished()
{
    if (!m_download.reply)
        return;
    const Transfer download = std::exchange(m_download, Transfer{});
    QNetworkReply *reply = download.reply;
    disconnect(reply, nullptr, this, nullptr);
    const auto release = qScopeGuard([reply] { reply->deleteLater(); });

    if (reply->error() != QNetworkReply::NoError) {
        failDownload(errorTextOf(download, reply));
        return;
    }
    if (!writeToInstaller(reply->readAll()) || !m_installerFile.flush()) {
        failDownload(LocalisedText::untranslated(m_installerFile.errorString()));
        return;
    }
    m_installerFile.close();

    const QByteArray actual = UpdateTrust::sha256OfFile(m_installerPath);
    const UpdateTrust::Verdict verdict = UpdateTrust::judge(
        {m_downloadExpectedSha256, actual, m_downloadManifestOverHttps, download.allHttps});
    if (!UpdateTrust::mayStart(verdict)) {
        rejectInstaller(verdict, actual);
        return;
    }
    if (verdict == UpdateTrust::Verdict::Verified)
        qDebug() << "[UpdateManager] SHA-256 verification passed:" << actual;
    else
        qDebug() << "[UpdateManager] No SHA-256 published; manifest and installer came over HTTPS:" << actual;

    m_verifiedSha256 = actual;
    setIsDownloading(false);
    setProgress(1.0f, QStringLiteral("100%"));
    setUpdateReadyToInstall(true);
    if (m_package == UpdatePackage::DebianPackage)
        setStatusMessage({kStatusPackageReady.en.arg(installCommand()), kStatusPackageReady.sr.arg(installCommand())});
    else
        setStatusMessage(kStatusReady);
}

void UpdateManager::rejectInstaller(UpdateTrust::Verdict verdict, const QByteArray &actualSha256)
{
    stopDownload(RemoveFile::Yes);
    switch (verdict) {
    case UpdateTrust::Verdict::Mismatch:
        qWarning() << "[UpdateManager] SHA-256 mismatch! Expected:" << m_downloadExpectedSha256
                   << "Actual:" << actualSha256;
        setStatusMessage(kStatusShaMismatch);
        reportError(kErrorShaMismatch);
        break;
    case UpdateTrust::Verdict::Unreadable:
        qWarning() << "[UpdateManager] The downloaded installer cannot be read back for verification.";
        setStatusMessage(kStatusUnreadable);
        reportError(kErrorUnreadable);
        break;
    case UpdateTrust::Verdict::Unverifiable:
        qWarning() << "[UpdateManager] Installer refused: no SHA-256 from a manifest that came over HTTPS, and not everything came over HTTPS.";
        setStatusMessage(kStatusUnverifiable);
        reportError(kErrorUnverifiable);
        break;
    case UpdateTrust::Verdict::Verified:
    case UpdateTrust::Verdict::TrustedTransport:
        break;
    }
}

void UpdateManager::failDownload(const LocalisedText &errorText)
{
    qWarning() << "[UpdateManager] Download failed:" << errorText.en;
    stopDownload(RemoveFile::Yes);
    setStatusMessage(kStatusDownloadFailed + errorText);
    reportError(kErrorDownloadFailed + errorText);
}

void UpdateManager::stopDownload(RemoveFile remove)
{
    if (QNetworkReply *reply = std::exchange(m_download, Transfer{}).reply) {
        // Disconnected first, so the abort is not reported back as a failed download.
        disconnect(reply, nullptr, this, nullptr);
        reply->abort();
        reply->deleteLater();
    }
    if (m_installerFile.isOpen())
        m_installerFile.close();
    // Before the state signals, whose handlers may already start the next download.
    if (remove == RemoveFile::Yes)
        removeInstallerFile();
    setIsDownloading(false);
    setProgress(0.0f, QStringLiteral("0%"));
}

void UpdateManager::removeInstallerFile()
{
    if (!m_installerPath.isEmpty() && QFile::exists(m_installerPath) && !QFile::remove(m_installerPath))
        qWarning() << "[UpdateManager] Could not remove" << m_installerPath;
}

void UpdateManager::cancelDownload()
{
    if (!m_isDownloading)
        return;
    stopDownload(RemoveFile::Yes);
    qDebug() << "[UpdateManager] Download cancelled.";
    setStatusMessage(kStatusCancelled);
}

// --- installing ---

void UpdateManager::installAndRestart()
{
    if (!m_updateReadyToInstall || !QFileInfo::exists(m_installerPath)) {
        setStatusMessage(kStatusNotFound);
        reportError(kErrorNotFound);
        return;
    }

    // Start exactly the file that was verified, not whatever lies at that path now.
    if (UpdateTrust::sha256OfFile(m_installerPath) != m_verifiedSha256) {
        qWarning() << "[UpdateManager] The installer changed after verification; not started:"
                   << QDir::toNativeSeparators(m_installerPath);
        removeInstallerFile();
        setUpdateReadyToInstall(false);
        setStatusMessage(kStatusChanged);
        reportError(kErrorChanged);
        return;
    }

    // A Debian package is installed by the package manager, as root, at its user's word:
    // this program shows it and says how, and runs nothing.
    if (m_package == UpdatePackage::DebianPackage) {
        showPackage();
        return;
    }

    bool launchable = true;
#ifndef Q_OS_WIN
    launchable = QFile::setPermissions(m_installerPath, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                            | QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
#endif
    qDebug() << "[UpdateManager] Launching installer:" << QDir::toNativeSeparators(m_installerPath);
    if (launchable && m_launchInstaller(m_installerPath)) {
        m_quit();
        return;
    }
    setStatusMessage(kStatusLaunchFailed);
    reportError(kErrorLaunchFailed);
}

void UpdateManager::showPackage()
{
    qDebug().noquote() << "[UpdateManager] Debian package ready; install it with:" << installCommand();
    if (!m_showPackage(m_installerPath))
        qWarning() << "[UpdateManager] Could not show the package's folder:" << QFileInfo(m_installerPath).absolutePath();
    setStatusMessage({kStatusPackageReady.en.arg(installCommand()), kStatusPackageReady.sr.arg(installCommand())});
}

QString UpdateManager::installCommand() const
{
    if (m_package != UpdatePackage::DebianPackage || !m_updateReadyToInstall)
        return QString();
    // Quoted for the shell where the path needs it (a home folder with a space).
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./+~-]+$"));
    QString path = m_installerPath;
    if (!plain.match(path).hasMatch())
        path = QLatin1Char('\'') + path.replace(QLatin1Char('\''), QLatin1String("'\\''")) + QLatin1Char('\'');
    return QStringLiteral("sudo apt install ") + path;
}

void UpdateManager::dismissUpdate()
{
    setUpdateAvailable(false);
}
