// Settings, language, requests, the check and the state setters of UpdateManager (the
// download, its verification and installing are in UpdateManagerDownload.cpp).
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

} // namespace

UpdateManager::UpdateManager(QObject *parent)
    : QObject(parent)
    , m_serverUrl(defaultServerUrl())
    , m_network(new QNetworkAccessManager(this))
    , m_launchInstaller(&UpdateManager::startDetached)
    , m_showPackage(&UpdateManager::showInFileManager)
    , m_quit([] { QCoreApplication::quit(); })
{
    QSettings settings = openSettings();
    m_language = settings.value(kLanguageKey, QStringLiteral("EN")).toString();
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

UpdatePackage UpdateManager::systemPackage()
{
#ifdef Q_OS_LINUX
    return UpdatePackage::DebianPackage;
#else
    return UpdatePackage::Installer;
#endif
}

QString UpdateManager::installerFileName() const
{
    if (m_package == UpdatePackage::DebianPackage)
        return QStringLiteral("Vireon_Update.deb");
#ifdef Q_OS_WIN
    return QStringLiteral("Vireon_Setup_Update.exe");
#else
    return QStringLiteral("Vireon_Setup_Update");
#endif
}

void UpdateManager::setLanguage(const QString &language)
{
    if (language == m_language)
        return;
    const QString status = statusMessage();
    const QString changelogBefore = changelog();
    m_language = language;
    if (statusMessage() != status)
        emit statusMessageChanged();
    if (changelog() != changelogBefore)
        emit updateInfoChanged();
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

LocalisedText UpdateManager::errorTextOf(const Transfer &transfer, QNetworkReply *reply)
{
    if (!transfer.abortReason.isEmpty())
        return transfer.abortReason;
    // Every abort of our own either sets a reason or disconnects first, so a cancelled
    // reply that still reaches a handler was ended by the transfer timeout.
    if (reply->error() == QNetworkReply::OperationCanceledError || reply->error() == QNetworkReply::TimeoutError)
        return kTimedOut;
    // The network layer's own words, which have no translation here.
    return LocalisedText::untranslated(reply->errorString());
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
        reportError(kStatusInvalidUrl);
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
            reportError(kErrorBadFormat);
        return;
    }

    if (reply->error() != QNetworkReply::NoError) {
        const LocalisedText error = errorTextOf(check, reply);
        qWarning() << "[UpdateManager] Network error during version check:" << error.en;
        setStatusMessage(kStatusCheckFailed + error);
        if (!silent)
            reportError(kErrorCheckFailed + error);
        return;
    }

    const QByteArray body = reply->readAll();
    const ManifestParseResult parsed = UpdateManifestReader::parse(body, m_package, check.currentUrl);

    if (parsed.status == ManifestParseResult::Status::NotJsonObject) {
        qWarning() << "[UpdateManager] JSON parse error:" << parsed.parserMessage;
        setStatusMessage(kStatusBadFormat);
        if (!silent)
            reportError(kErrorBadFormat);
        return;
    }
    if (parsed.status == ManifestParseResult::Status::MissingFields) {
        // Also a manifest that offers no package for this system: an installer is never
        // fetched where it cannot run.
        if (m_package == UpdatePackage::DebianPackage)
            qWarning() << "[UpdateManager] The manifest offers no Debian package (downloadUrl_deb).";
        setStatusMessage(kStatusMissingFields);
        if (!silent)
            reportError(kErrorMissingFields);
        return;
    }

    const UpdateManifest &manifest = parsed.manifest;
    m_latestVersion = manifest.version;
    m_releaseDate = manifest.releaseDate;
    m_changelogs = manifest.changelogs;
    m_downloadUrl = manifest.downloadUrl;
    m_expectedSha256 = manifest.sha256;
    m_isMandatory = manifest.isMandatory;
    m_installerUrl = manifest.installerUrl;
    m_manifestOverHttps = check.allHttps;
    emit updateInfoChanged();

    if (VersionCompare::isNewer(m_latestVersion, currentVersion())) {
        setUpdateAvailable(true);
        setStatusMessage(kStatusAvailable + LocalisedText::untranslated(m_latestVersion));
        emit updateCheckFinished(true, m_latestVersion, changelog());
    } else {
        setUpdateAvailable(false);
        setStatusMessage({kStatusUpToDate.en.arg(currentVersion()), kStatusUpToDate.sr.arg(currentVersion())});
        emit updateCheckFinished(false, currentVersion(), QString());
    }
}

// --- state: store a changed value, emit once ---

void UpdateManager::setStatusMessage(const LocalisedText &message)
{
    const QString shown = statusMessage();
    m_status = message;
    if (statusMessage() != shown)
        emit statusMessageChanged();
}

void UpdateManager::reportError(const LocalisedText &message)
{
    emit updateError(message.in(m_language));
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
