#include "update/UpdateManager.h"

#include "common/AppInfo.h"
#include "update/UpdateManifest.h"
#include "update/UpdateTexts.h"
#include "update/VersionCompare.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QStandardPaths>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

#include <algorithm>
#include <utility>

using namespace UpdateTexts;

namespace {

const QString kSettingsGroup = QStringLiteral("Updates");
const QString kServerUrlKey = QStringLiteral("serverUrl");
const QString kAutoCheckKey = QStringLiteral("autoCheckOnStartup");
const QString kLanguageKey = QStringLiteral("UI/Language");

QSettings openSettings()
{
    return QSettings(AppInfo::organisationName, AppInfo::applicationName);
}

QString megabytes(qlonglong bytes)
{
    return QString::number(double(bytes) / 1048576.0, 'f', 1);
}

bool startDetached(const QString &installerPath)
{
    return QProcess::startDetached(installerPath, {});
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

UpdateManager::UpdateManager(QObject *parent)
    : QObject(parent)
    , m_serverUrl(defaultServerUrl())
    , m_network(new QNetworkAccessManager(this))
    , m_launchInstaller(&startDetached)
    , m_quit([] { QCoreApplication::quit(); })
{
    QSettings settings = openSettings();
    settings.beginGroup(kSettingsGroup);
    const QString savedUrl = settings.value(kServerUrlKey).toString().trimmed();
    if (!savedUrl.isEmpty())
        m_serverUrl = savedUrl;
    m_autoCheckOnStartup = settings.value(kAutoCheckKey, true).toBool();
}

UpdateManager::~UpdateManager()
{
    // The cancel clean-up without signals: nothing listens any more at this point.
    releaseReply(m_check);
    if (m_download.reply) {
        releaseReply(m_download);
        m_installerFile.close();
        removeInstallerFile();
    }
}

UpdateManager *UpdateManager::instance()
{
    static UpdateManager *const manager = [] {
        static UpdateManager object;
        // Transfers end while the event loop and the application object still exist.
        if (QCoreApplication *app = QCoreApplication::instance()) {
            QObject::connect(app, &QCoreApplication::aboutToQuit, &object, [] {
                if (object.m_isDownloading)
                    object.cancelDownload();
                object.releaseReply(object.m_check);
            });
        }
        return &object;
    }();
    return manager;
}

QString UpdateManager::defaultServerUrl()
{
    return QStringLiteral("https://updates.vireon.studio/version.json");
}

QString UpdateManager::installerFileName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("Vireon_Setup_Update.exe");
#else
    return QStringLiteral("Vireon_Setup_Update");
#endif
}

QString UpdateManager::currentVersion() const
{
    return AppInfo::displayVersion;
}

QString UpdateManager::downloadFolder() const
{
    if (!m_downloadFolder.isEmpty())
        return m_downloadFolder;
#ifdef Q_OS_WIN
    return QDir::tempPath();
#else
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (cache.isEmpty())
        return QDir::tempPath() + QStringLiteral("/vireon-update-") + QString::number(::getuid());
    return cache + QStringLiteral("/update");
#endif
}

// --- settings ---

void UpdateManager::setServerUrl(const QString &url)
{
    const QString trimmed = url.trimmed();
    if (trimmed.isEmpty() || trimmed == m_serverUrl)
        return;
    m_serverUrl = trimmed;
    QSettings settings = openSettings();
    settings.setValue(kSettingsGroup + u'/' + kServerUrlKey, m_serverUrl);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        qWarning() << "[UpdateManager] Could not save the update server address.";
    emit serverUrlChanged();
}

void UpdateManager::setAutoCheckOnStartup(bool enabled)
{
    if (enabled == m_autoCheckOnStartup)
        return;
    m_autoCheckOnStartup = enabled;
    QSettings settings = openSettings();
    settings.setValue(kSettingsGroup + u'/' + kAutoCheckKey, m_autoCheckOnStartup);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        qWarning() << "[UpdateManager] Could not save the automatic update check setting.";
    emit autoCheckOnStartupChanged();
}

// --- requests ---

QNetworkRequest UpdateManager::makeRequest(const QUrl &url) const
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Vireon-Studio/") + currentVersion());
    // Every redirect is shown to onRedirected(), which refuses a step down from HTTPS and
    // keeps track of whether the whole chain stayed on HTTPS.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setTransferTimeout(m_transferTimeoutMs);
    return request;
}

QNetworkReply *UpdateManager::send(Transfer &transfer, const QUrl &url)
{
    transfer = Transfer{};
    transfer.currentUrl = url;
    transfer.allHttps = UpdateTrust::isHttps(url);
    QNetworkReply *reply = m_network->get(makeRequest(url));
    transfer.reply = reply;
    connect(reply, &QNetworkReply::redirected, this,
            [this, &transfer, reply](const QUrl &target) { onRedirected(transfer, reply, target); });
    return reply;
}

void UpdateManager::onRedirected(Transfer &transfer, QNetworkReply *reply, const QUrl &target)
{
    if (transfer.reply != reply)
        return;
    const QUrl next = transfer.currentUrl.resolved(target);
    if (!UpdateTrust::isRedirectAllowed(transfer.currentUrl, next)) {
        qWarning() << "[UpdateManager] Refused redirect from" << transfer.currentUrl.toString()
                   << "to" << next.toString();
        transfer.abortReason = kRedirectRefused;
        reply->abort(); // delivers finished at once; the finish handler reports it
        return;
    }
    transfer.currentUrl = next;
    transfer.allHttps = transfer.allHttps && UpdateTrust::isHttps(next);
    emit reply->redirectAllowed();
}

QString UpdateManager::errorTextOf(const Transfer &transfer, QNetworkReply *reply)
{
    if (!transfer.abortReason.isEmpty())
        return transfer.abortReason;
    // Every abort of our own either sets a reason or disconnects first, so a cancelled
    // reply that still reaches a handler was ended by the transfer timeout.
    if (reply->error() == QNetworkReply::OperationCanceledError || reply->error() == QNetworkReply::TimeoutError)
        return kTimedOut;
    return reply->errorString();
}

void UpdateManager::releaseReply(Transfer &transfer)
{
    if (QNetworkReply *reply = std::exchange(transfer, Transfer{}).reply) {
        // Only our own connections: the reply's signals also steer the network thread.
        disconnect(reply, nullptr, this, nullptr);
        reply->abort();
        reply->deleteLater();
    }
}

// --- checking ---

void UpdateManager::checkForUpdates(bool silent)
{
    if (m_isChecking || m_isDownloading)
        return;

    m_silent = silent;
    setIsChecking(true);
    setStatusMessage(kStatusChecking);

    const QUrl url(m_serverUrl);
    if (!url.isValid() || url.scheme().isEmpty()) {
        setIsChecking(false);
        setStatusMessage(kStatusInvalidUrl);
        emit updateError(kStatusInvalidUrl);
        return;
    }

    releaseReply(m_check);
    QNetworkReply *reply = send(m_check, url);
    connect(reply, &QNetworkReply::finished, this, &UpdateManager::onVersionCheckReply);
    // A manifest is a few hundred bytes; an endless answer is cut off instead of buffered.
    // readyRead comes with every piece (the progress signal is rate-limited by Qt).
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] {
        if (m_check.reply != reply)
            return;
        if (reply->bytesAvailable() > UpdateManifestReader::kMaxManifestBytes) {
            m_check.tooLarge = true;
            m_check.abortReason = kManifestTooLarge;
            reply->abort();
        }
    });
}

void UpdateManager::onVersionCheckReply()
{
    if (!m_check.reply)
        return;
    const Transfer check = std::exchange(m_check, Transfer{});
    QNetworkReply *reply = check.reply;
    disconnect(reply, nullptr, this, nullptr);
    const auto release = qScopeGuard([reply] { reply->deleteLater(); });
    // Read before the first signal: a handler may start the next check from there.
    const bool silent = m_silent;

    setIsChecking(false);

    if (check.tooLarge) {
        qWarning() << "[UpdateManager] JSON parse error:" << "the manifest is larger than"
                   << UpdateManifestReader::kMaxManifestBytes << "bytes";
        setStatusMessage(kStatusBadFormat);
        if (!silent)
            emit updateError(kErrorBadFormat);
        return;
    }

    if (reply->error() != QNetworkReply::NoError) {
        const QString error = errorTextOf(check, reply);
        qWarning() << "[UpdateManager] Network error during version check:" << error;
        setStatusMessage(kStatusCheckFailed + error);
        if (!silent)
            emit updateError(kErrorCheckFailed + error);
        return;
    }

    const QByteArray body = reply->readAll();
    const QString language = openSettings().value(kLanguageKey, QStringLiteral("EN")).toString();
    const ManifestParseResult parsed = UpdateManifestReader::parse(body, language, check.currentUrl);

    if (parsed.status == ManifestParseResult::Status::NotJsonObject) {
        qWarning() << "[UpdateManager] JSON parse error:" << parsed.parserMessage;
        setStatusMessage(kStatusBadFormat);
        if (!silent)
            emit updateError(kErrorBadFormat);
        return;
    }
    if (parsed.status == ManifestParseResult::Status::MissingFields) {
        setStatusMessage(kStatusMissingFields);
        if (!silent)
            emit updateError(kErrorMissingFields);
        return;
    }

    const UpdateManifest &manifest = parsed.manifest;
    m_latestVersion = manifest.version;
    m_releaseDate = manifest.releaseDate;
    m_changelog = manifest.changelog;
    m_downloadUrl = manifest.downloadUrl;
    m_expectedSha256 = manifest.sha256;
    m_isMandatory = manifest.isMandatory;
    m_installerUrl = manifest.installerUrl;
    m_manifestOverHttps = check.allHttps;
    emit updateInfoChanged();

    if (VersionCompare::isNewer(m_latestVersion, currentVersion())) {
        setUpdateAvailable(true);
        setStatusMessage(kStatusAvailable + m_latestVersion);
        emit updateCheckFinished(true, m_latestVersion, m_changelog);
    } else {
        setUpdateAvailable(false);
        setStatusMessage(kStatusUpToDate.arg(currentVersion()));
        emit updateCheckFinished(false, currentVersion(), QString());
    }
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
        emit updateError(kErrorCannotCreate);
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
        failDownload(m_installerFile.errorString());
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
        failDownload(m_installerFile.errorString());
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
        emit updateError(kErrorShaMismatch);
        break;
    case UpdateTrust::Verdict::Unreadable:
        qWarning() << "[UpdateManager] The downloaded installer cannot be read back for verification.";
        setStatusMessage(kStatusUnreadable);
        emit updateError(kErrorUnreadable);
        break;
    case UpdateTrust::Verdict::Unverifiable:
        qWarning() << "[UpdateManager] Installer refused: no SHA-256 from a manifest that came over HTTPS, and not everything came over HTTPS.";
        setStatusMessage(kStatusUnverifiable);
        emit updateError(kErrorUnverifiable);
        break;
    case UpdateTrust::Verdict::Verified:
    case UpdateTrust::Verdict::TrustedTransport:
        break;
    }
}

void UpdateManager::failDownload(const QString &errorText)
{
    qWarning() << "[UpdateManager] Download failed:" << errorText;
    stopDownload(RemoveFile::Yes);
    setStatusMessage(kStatusDownloadFailed + errorText);
    emit updateError(kErrorDownloadFailed + errorText);
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
        emit updateError(kErrorNotFound);
        return;
    }

    // Start exactly the file that was verified, not whatever lies at that path now.
    if (UpdateTrust::sha256OfFile(m_installerPath) != m_verifiedSha256) {
        qWarning() << "[UpdateManager] The installer changed after verification; not started:"
                   << QDir::toNativeSeparators(m_installerPath);
        removeInstallerFile();
        setUpdateReadyToInstall(false);
        setStatusMessage(kStatusChanged);
        emit updateError(kErrorChanged);
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
    emit updateError(kErrorLaunchFailed);
}

void UpdateManager::dismissUpdate()
{
    setUpdateAvailable(false);
}

// --- state: store a changed value, emit once ---

void UpdateManager::setStatusMessage(const QString &message)
{
    if (message == m_statusMessage)
        return;
    m_statusMessage = message;
    emit statusMessageChanged();
}

void UpdateManager::setIsChecking(bool checking)
{
    if (checking == m_isChecking)
        return;
    m_isChecking = checking;
    emit isCheckingChanged();
}

void UpdateManager::setUpdateAvailable(bool available)
{
    if (available == m_updateAvailable)
        return;
    m_updateAvailable = available;
    emit updateAvailableChanged();
}

void UpdateManager::setIsDownloading(bool downloading)
{
    if (downloading == m_isDownloading)
        return;
    m_isDownloading = downloading;
    emit isDownloadingChanged();
}

void UpdateManager::setUpdateReadyToInstall(bool ready)
{
    if (ready == m_updateReadyToInstall)
        return;
    m_updateReadyToInstall = ready;
    emit updateReadyToInstallChanged();
}

void UpdateManager::setProgress(float progress, const QString &text)
{
    m_downloadProgress = progress;
    m_downloadProgressText = text;
    emit downloadProgressChanged();
}
