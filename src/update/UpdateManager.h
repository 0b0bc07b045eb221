// UpdateManager: asks the release server whether a newer Vireon exists, downloads its
// package, verifies it and installs it the way this system installs programs. QML sees the
// process-wide instance() as the singleton UpdateManager: the settings window shows the
// version, status and server address, the update dialog drives download, cancel and install.
//
// Packages: on Windows the installer, which installAndRestart() starts before the program
// quits; on Linux the Debian package, which only its user can install (with the package
// manager, as root): installAndRestart() runs nothing there, it shows the verified package in
// the file manager and installCommand says how to install it.
//
// Threads: GUI thread only. The network access manager delivers every reply as a queued
// event on this thread, so nothing here is locked.
//
// Trust: the package is written to disk as it arrives (never held in memory), hashed from
// disk when complete, and offered for installation only when UpdateTrust::judge() allows it:
// a matching SHA-256 from a manifest that came over HTTPS, or, without one, manifest and
// package both over HTTPS. A redirect from HTTPS to HTTP is refused. A failed, refused or
// cancelled download removes its file.
//
// Texts: status and error texts come in the interface language (setLanguage(), which the QML
// registration ties to AppManager.currentLanguage); a change of language changes the status
// and the changelog already shown. The sources are split by concern: UpdateManager.cpp
// (settings, language, requests, the check, state), UpdateManagerDownload.cpp (download,
// verification, installing).
#pragma once

#include "common/LocalisedText.h"
#include "update/UpdateManifest.h"
#include "update/UpdateTrust.h"

#include <QFile>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

class UpdateManager : public QObject
{
    Q_OBJECT

    Q_PROPERTY(QString currentVersion READ currentVersion CONSTANT)
    Q_PROPERTY(QString serverUrl READ serverUrl WRITE setServerUrl NOTIFY serverUrlChanged)
    Q_PROPERTY(bool autoCheckOnStartup READ autoCheckOnStartup WRITE setAutoCheckOnStartup NOTIFY autoCheckOnStartupChanged)
    Q_PROPERTY(bool isChecking READ isChecking NOTIFY isCheckingChanged)
    Q_PROPERTY(bool updateAvailable READ updateAvailable NOTIFY updateAvailableChanged)
    Q_PROPERTY(QString latestVersion READ latestVersion NOTIFY updateInfoChanged)
    Q_PROPERTY(QString releaseDate READ releaseDate NOTIFY updateInfoChanged)
    Q_PROPERTY(QString changelog READ changelog NOTIFY updateInfoChanged)
    Q_PROPERTY(QString downloadUrl READ downloadUrl NOTIFY updateInfoChanged)
    Q_PROPERTY(QString expectedSha256 READ expectedSha256 NOTIFY updateInfoChanged)
    Q_PROPERTY(bool isMandatory READ isMandatory NOTIFY updateInfoChanged)
    Q_PROPERTY(bool isDownloading READ isDownloading NOTIFY isDownloadingChanged)
    Q_PROPERTY(float downloadProgress READ downloadProgress NOTIFY downloadProgressChanged)
    Q_PROPERTY(QString downloadProgressText READ downloadProgressText NOTIFY downloadProgressChanged)
    Q_PROPERTY(bool updateReadyToInstall READ updateReadyToInstall NOTIFY updateReadyToInstallChanged)
    Q_PROPERTY(QString statusMessage READ statusMessage NOTIFY statusMessageChanged)
    // True where installAndRestart() starts the installer; false for a Debian package.
    Q_PROPERTY(bool installsItself READ installsItself CONSTANT)
    // For a Debian package that is ready: the command that installs it ("sudo apt install
    // /home/ana/.cache/Vireon/Vireon/update/Vireon_Update.deb"); empty otherwise.
    Q_PROPERTY(QString installCommand READ installCommand NOTIFY updateReadyToInstallChanged)

public:
    // Starts the verified installer; true when it is running. The default starts it detached,
    // with no arguments and no working folder.
    using InstallerLauncher = std::function<bool(const QString &installerPath)>;
    // Shows the verified Debian package to its user; true when shown. The default opens its
    // folder in the file manager.
    using PackageShower = std::function<bool(const QString &packagePath)>;

    explicit UpdateManager(QObject *parent = nullptr);
    ~UpdateManager() override;

    // The process-wide instance, created on first use (thread-safe) and kept to exit.
    static UpdateManager *instance();

    static QString defaultServerUrl();
    // The package of this system: the installer on Windows, the Debian package on Linux.
    static UpdatePackage systemPackage();
    // "Vireon_Setup_Update.exe" for the installer on Windows, without the extension
    // elsewhere; "Vireon_Update.deb" for the Debian package.
    QString installerFileName() const;

    // The interface language ("EN", "SR"); the saved "UI/Language" until told.
    void setLanguage(const QString &language);
    QString language() const { return m_language; }

    QString currentVersion() const;
    QString serverUrl() const { return m_serverUrl; }
    void setServerUrl(const QString &url);
    bool autoCheckOnStartup() const { return m_autoCheckOnStartup; }
    void setAutoCheckOnStartup(bool enabled);
    bool isChecking() const { return m_isChecking; }
    bool updateAvailable() const { return m_updateAvailable; }
    QString latestVersion() const { return m_latestVersion; }
    QString releaseDate() const { return m_releaseDate; }
    QString changelog() const { return m_changelogs.in(m_language); }
    QString downloadUrl() const { return m_downloadUrl; }
    QString expectedSha256() const { return m_expectedSha256; }
    bool isMandatory() const { return m_isMandatory; }
    bool isDownloading() const { return m_isDownloading; }
    float downloadProgress() const { return m_downloadProgress; }
    QString downloadProgressText() const { return m_downloadProgressText; }
    bool updateReadyToInstall() const { return m_updateReadyToInstall; }
    QString statusMessage() const { return m_status.in(m_language); }
    bool installsItself() const { return m_package == UpdatePackage::Installer; }
    QString installCommand() const;

    // Where the installer is written. The default is the user's own temporary folder on
    // Windows and a private cache folder elsewhere (never the shared /tmp, where another
    // user could plant or swap the file that is about to be run).
    QString downloadFolder() const;
    void setDownloadFolder(const QString &folder) { m_downloadFolder = folder; }
    QString installerPath() const { return m_installerPath; }

    // The package this manager downloads; systemPackage() unless a test says otherwise.
    void setPackage(UpdatePackage package) { m_package = package; }
    UpdatePackage package() const { return m_package; }
    void setInstallerLauncher(InstallerLauncher launcher) { m_launchInstaller = std::move(launcher); }
    void setPackageShower(PackageShower shower) { m_showPackage = std::move(shower); }
    // Ends the program once the installer runs; QCoreApplication::quit() by default.
    void setQuitHandler(std::function<void()> quit) { m_quit = std::move(quit); }
    // A request that receives nothing for this long is abandoned (30 s by default), so a
    // server that never answers cannot hold the check or the download open for ever.
    void setTransferTimeoutMs(int timeoutMs) { m_transferTimeoutMs = timeoutMs; }

    Q_INVOKABLE void checkForUpdates(bool silent);
    Q_INVOKABLE void checkForUpdates() { checkForUpdates(false); }
    Q_INVOKABLE void startDownload();
    Q_INVOKABLE void cancelDownload();
    Q_INVOKABLE void installAndRestart();
    Q_INVOKABLE void dismissUpdate();

signals:
    void serverUrlChanged();
    void autoCheckOnStartupChanged();
    void isCheckingChanged();
    void updateAvailableChanged();
    void updateInfoChanged();
    void isDownloadingChanged();
    void downloadProgressChanged();
    void updateReadyToInstallChanged();
    void statusMessageChanged();
    void updateCheckFinished(bool updateFound, QString version, QString changelog);
    void updateError(QString errorMessage);

public slots:
    void onVersionCheckReply();
    void onDownloadDataReady();
    void onDownloadProgress(qlonglong bytesReceived, qlonglong bytesTotal);
    void onDownloadFinished();

private:
    // One request under way: its reply and what its redirects have shown so far.
    struct Transfer
    {
        QNetworkReply *reply = nullptr;
        QUrl currentUrl;          // the request's address, then each followed redirect
        bool allHttps = false;    // every hop so far was HTTPS
        LocalisedText abortReason; // set when this class aborted the reply itself
        bool tooLarge = false;    // the manifest outgrew UpdateManifestReader::kMaxManifestBytes
    };

    // The default launcher and package shower.
    static bool startDetached(const QString &installerPath);
    static bool showInFileManager(const QString &packagePath);

    QNetworkRequest makeRequest(const QUrl &url) const;
    QNetworkReply *send(Transfer &transfer, const QUrl &url);
    void onRedirected(Transfer &transfer, QNetworkReply *reply, const QUrl &target);
    static LocalisedText errorTextOf(const Transfer &transfer, QNetworkReply *reply);
    void releaseReply(Transfer &transfer);

    enum class RemoveFile { No, Yes };
    // The cancel clean-up: abort the reply, close the file (removing it when asked), leave
    // the downloading state and reset the progress.
    void stopDownload(RemoveFile remove);
    void removeInstallerFile();
    void failDownload(const LocalisedText &errorText);
    void rejectInstaller(UpdateTrust::Verdict verdict, const QByteArray &actualSha256);
    bool writeToInstaller(const QByteArray &data);
    void showPackage();

    void setStatusMessage(const LocalisedText &message);
    // updateError with the text in the interface language.
    void reportError(const LocalisedText &message);
    void setIsChecking(bool checking);
    void setUpdateAvailable(bool available);
    void setIsDownloading(bool downloading);
    void setUpdateReadyToInstall(bool ready);
    void setProgress(float progress, const QString &text);

    QString m_serverUrl;
    bool m_autoCheckOnStartup = true;
    bool m_isChecking = false;
    bool m_silent = false;
    bool m_updateAvailable = false;
    QString m_language;
    QString m_latestVersion;
    QString m_releaseDate;
    UpdateChangelogs m_changelogs;
    QString m_downloadUrl;
    QString m_expectedSha256;
    bool m_isMandatory = false;
    bool m_isDownloading = false;
    float m_downloadProgress = 0.0f;
    QString m_downloadProgressText = QStringLiteral("0%");
    bool m_updateReadyToInstall = false;
    QString m_installerPath;
    LocalisedText m_status{QStringLiteral("Up to date"), QStringLiteral("Program je ažuriran")};

    QNetworkAccessManager *m_network = nullptr; // owned (child)
    Transfer m_check;
    Transfer m_download;
    QFile m_installerFile;

    // From the manifest of the last successful check.
    QUrl m_installerUrl;
    bool m_manifestOverHttps = false;

    // Fixed when a download starts, so a check answered meanwhile cannot change what the
    // running download is verified against.
    QString m_downloadExpectedSha256;
    bool m_downloadManifestOverHttps = false;
    // Digest of the installer as verified; installAndRestart() starts only this file.
    QByteArray m_verifiedSha256;

    QString m_downloadFolder;
    int m_transferTimeoutMs = 30000;
    UpdatePackage m_package = systemPackage();
    InstallerLauncher m_launchInstaller;
    PackageShower m_showPackage;
    std::function<void()> m_quit;
};
