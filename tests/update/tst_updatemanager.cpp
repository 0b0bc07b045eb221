// The update manager end to end against two servers of its own on 127.0.0.1 (plain HTTP and
// TLS), serving manifests and packages for every branch: up to date, newer, malformed,
// refused, cut short, cancelled, verified and started; the Debian package that is shown and
// never run; texts in the interface language. The pure rules are tst_updaterules.
// Longer than our other files: every case runs against the same two local servers and harness.
#include "LocalHttpServer.h"

#include "update/UpdateManager.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkProxy>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {

constexpr int kWaitMs = 15000;
constexpr qsizetype kInstallerBytes = 3 * 1024 * 1024;

QByteArray makeInstaller()
{
    QByteArray bytes(kInstallerBytes, Qt::Uninitialized);
    QRandomGenerator generator(2024);
    for (char &byte : bytes)
        byte = char(generator.generate() & 0xff);
    return bytes;
}

QByteArray sha256Hex(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}

// An expected text ending in '*' is a prefix (the rest is the network layer's own wording).
bool textMatches(const QString &actual, const QString &expected)
{
    if (expected.endsWith(u'*'))
        return actual.startsWith(expected.chopped(1));
    return actual == expected;
}

Route route(const QString &path, bool onHttps, QByteArray body = {}, int status = 200)
{
    Route r;
    r.path = path;
    r.onHttps = onHttps;
    r.body = std::move(body);
    r.status = status;
    return r;
}

Route redirect(const QString &path, bool onHttps, const QByteArray &location)
{
    Route r = route(path, onHttps, {}, 302);
    r.location = location;
    return r;
}

// One manager with the seams the tests need: its own download folder, a launcher and a package
// shower that record instead of running or opening anything, a quit handler that counts. It
// fetches the installer and speaks Serbian unless a case says otherwise.
struct Harness
{
    explicit Harness(const QString &folder, UpdatePackage package = UpdatePackage::Installer)
    {
        manager.setPackage(package);
        manager.setLanguage(QStringLiteral("SR"));
        manager.setDownloadFolder(folder);
        manager.setTransferTimeoutMs(5000); // long enough for a loaded CI machine
        manager.setInstallerLauncher([this](const QString &path) {
            launched.append(path);
            launchedExecutable = QFileInfo(path).isExecutable();
            return launcherWorks;
        });
        manager.setPackageShower([this](const QString &path) {
            shown.append(path);
            return true;
        });
        manager.setQuitHandler([this] { ++quitCount; });
        QObject::connect(&manager, &UpdateManager::updateError, &manager,
                         [this](const QString &text) { errors.append(text); });
        QObject::connect(&manager, &UpdateManager::downloadProgressChanged, &manager,
                         [this] { progressTexts.append(manager.downloadProgressText()); });
    }

    UpdateManager manager;
    bool launcherWorks = true;
    bool launchedExecutable = false;
    QStringList launched;
    QStringList shown;
    int quitCount = 0;
    QStringList errors;
    QStringList progressTexts;
};

} // namespace

class TestUpdateManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void progressText_data();
    void progressText();

    void settingsAndDefaults();
    void check_data();
    void check();
    void download_data();
    void download();
    void cancelWhileStreaming();
    void install_data();
    void install();
    void debianPackageIsShownNeverRun();
    void textsFollowTheLanguage();

private:
    QString expand(QString text) const;
    void serve(const QList<Route> &routes);
    void checkAgainst(Harness &harness, const QString &serverUrl);

    QTemporaryDir m_settingsDir;
    LocalHttpServer m_http{false};
    LocalHttpServer m_https{true};
    QByteArray m_installer;
};

void TestUpdateManager::initTestCase()
{
    QVERIFY(m_settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settingsDir.path());
    QStandardPaths::setTestModeEnabled(true);
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);

    QVERIFY2(QSslSocket::supportsSsl(), "the TLS backend is needed for the HTTPS cases");
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.addCaCertificate(TestCertificate::certificate());
    QSslConfiguration::setDefaultConfiguration(tls);

    QVERIFY(m_http.start());
    QVERIFY(m_https.start());
    const auto expander = [this](const QByteArray &text) { return expand(QString::fromLatin1(text)).toLatin1(); };
    m_http.expand = expander;
    m_https.expand = expander;
    m_installer = makeInstaller();
}

void TestUpdateManager::init()
{
    QSettings("Vireon", "Vireon").clear();
    m_http.clear();
    m_https.clear();
}

QString TestUpdateManager::expand(QString text) const
{
    text.replace(QLatin1String("{https}"), m_https.origin());
    text.replace(QLatin1String("{http}"), m_http.origin());
    return text;
}

void TestUpdateManager::serve(const QList<Route> &routes)
{
    for (Route r : routes) {
        // Byte-wise, so an installer's bytes pass unchanged.
        r.body.replace("{https}", m_https.origin().toLatin1());
        r.body.replace("{http}", m_http.origin().toLatin1());
        (r.onHttps ? m_https : m_http).setRoute(r);
    }
}

void TestUpdateManager::checkAgainst(Harness &harness, const QString &serverUrl)
{
    harness.manager.setServerUrl(expand(serverUrl));
    harness.manager.checkForUpdates();
    QTRY_VERIFY_WITH_TIMEOUT(!harness.manager.isChecking(), kWaitMs);
}

// --- the manager ---

void TestUpdateManager::progressText_data()
{
    QTest::addColumn<qlonglong>("received");
    QTest::addColumn<qlonglong>("total");
    QTest::addColumn<QString>("text");
    QTest::addColumn<float>("progress"); // -1: unchanged from the 0.5 set before
    QTest::newRow("known size") << 13212058LL << 31457280LL << "42% (12.6 / 30.0 MB)" << 0.42f;
    QTest::newRow("truncated, not rounded") << 1048575LL << 1048576LL << "99% (1.0 / 1.0 MB)" << 0.999999f;
    QTest::newRow("complete") << 31457280LL << 31457280LL << "100% (30.0 / 30.0 MB)" << 1.0f;
    QTest::newRow("unknown size") << 5242880LL << -1LL << "5.0 MB" << -1.0f;
    QTest::newRow("nothing yet, no size") << 0LL << 0LL << "0.0 MB" << -1.0f;
}

void TestUpdateManager::progressText()
{
    QFETCH(qlonglong, received);
    QFETCH(qlonglong, total);
    QFETCH(QString, text);
    QFETCH(float, progress);
    UpdateManager manager;
    manager.onDownloadProgress(1, 2);
    QSignalSpy spy(&manager, &UpdateManager::downloadProgressChanged);
    manager.onDownloadProgress(received, total);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(manager.downloadProgressText(), text);
    QVERIFY(qAbs(manager.downloadProgress() - (progress < 0 ? 0.5f : progress)) < 1e-5f);
}

void TestUpdateManager::settingsAndDefaults()
{
    {
        UpdateManager manager;
        QCOMPARE(manager.currentVersion(), QStringLiteral("2.4.5b"));
        QCOMPARE(manager.statusMessage(), QStringLiteral("Up to date"));
        const QUrl server(manager.serverUrl());
        QCOMPARE(server.scheme(), QStringLiteral("https"));
        QCOMPARE(server.path(), QStringLiteral("/version.json"));
        QVERIFY(manager.autoCheckOnStartup());
        // On Linux the update is the Debian package, which the program never runs.
        QCOMPARE(manager.installsItself(), manager.package() == UpdatePackage::Installer);
#ifdef Q_OS_LINUX
        QCOMPARE(manager.package(), UpdatePackage::DebianPackage);
        QCOMPARE(manager.installerFileName(), QStringLiteral("Vireon_Update.deb"));
#else
        QVERIFY(!manager.installerFileName().endsWith(QLatin1String(".deb")));
#endif
        // Never the shared temporary folder, where another user could plant the file.
        QVERIFY(!manager.downloadFolder().startsWith(QDir::tempPath()));

        QSignalSpy urlSpy(&manager, &UpdateManager::serverUrlChanged);
        manager.setServerUrl(QStringLiteral("   "));
        manager.setServerUrl(QStringLiteral(" http://127.0.0.1:9/version.json "));
        manager.setServerUrl(QStringLiteral("http://127.0.0.1:9/version.json"));
        QCOMPARE(urlSpy.count(), 1);
        QCOMPARE(manager.serverUrl(), QStringLiteral("http://127.0.0.1:9/version.json"));

        QSignalSpy autoSpy(&manager, &UpdateManager::autoCheckOnStartupChanged);
        manager.setAutoCheckOnStartup(false);
        manager.setAutoCheckOnStartup(false);
        QCOMPARE(autoSpy.count(), 1);
    }
    QSettings settings("Vireon", "Vireon");
    QCOMPARE(settings.value("Updates/serverUrl").toString(), QStringLiteral("http://127.0.0.1:9/version.json"));
    QCOMPARE(settings.value("Updates/autoCheckOnStartup").toBool(), false);
    {
        UpdateManager restarted;
        QCOMPARE(restarted.serverUrl(), QStringLiteral("http://127.0.0.1:9/version.json"));
        QVERIFY(!restarted.autoCheckOnStartup());
    }
    settings.setValue("Updates/serverUrl", "  ");
    settings.sync();
    UpdateManager blankSaved;
    QCOMPARE(blankSaved.serverUrl(), UpdateManager::defaultServerUrl());
}

void TestUpdateManager::check_data()
{
    QTest::addColumn<QString>("serverUrl");
    QTest::addColumn<QList<Route>>("routes");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QString>("language");
    QTest::addColumn<bool>("available");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("error"); // empty: no updateError
    QTest::addColumn<QString>("changelog");

    const auto manifest = [](const QByteArray &version) {
        return R"({"version":")" + version + R"(","downloadUrl":"{http}/setup","changelog_en":"Fixes","changelog_sr":"Ispravke"})";
    };
    const QString http = QStringLiteral("{http}/version.json");
    const QString https = QStringLiteral("{https}/version.json");
    const QString upToDate = QStringLiteral("Program je ažuriran (v2.4.5b)");
    const QString badFormat = QStringLiteral("Neispravan format verzije na serveru.");
    const QString badFormatError = QStringLiteral("Neispravan format manifest fajla na serveru.");
    const QString missing = QStringLiteral("Manifest fajl ne sadrži verziju ili download link.");
    const QString missingError = QStringLiteral("Manifest fajl ne sadrži potrebne podatke za ažuriranje.");
    const QString checkFailed = QStringLiteral("Greška pri proveri: *");
    const QString checkFailedError = QStringLiteral("Nije moguće kontaktirati update server: *");

    QTest::newRow("newer version") << http << QList<Route>{route("/version.json", false, manifest("2.5.0"))}
        << false << "SR" << true << "Dostupna je nova verzija: v2.5.0" << "" << "Ispravke";
    QTest::newRow("newer, in English") << http << QList<Route>{route("/version.json", false, manifest("2.5.0"))}
        << false << "EN" << true << "A new version is available: v2.5.0" << "" << "Fixes";
    QTest::newRow("up to date, in English") << http << QList<Route>{route("/version.json", false, manifest("2.4.5"))}
        << false << "EN" << false << "The program is up to date (v2.4.5b)" << "" << "";
    QTest::newRow("not JSON, in English") << http << QList<Route>{route("/version.json", false, "<html>502</html>")}
        << false << "EN" << false << "Invalid version format on the server." << "Invalid manifest file format on the server." << "";
    QTest::newRow("https to http redirect refused, in English") << https
        << QList<Route>{redirect("/version.json", true, "{http}/version.json"), route("/version.json", false, manifest("2.5.0"))}
        << false << "EN" << false << "Check failed: Refused a redirect from HTTPS to an HTTP address."
        << "Cannot reach the update server: Refused a redirect from HTTPS to an HTTP address." << "";
    QTest::newRow("same numbers as 2.4.5b") << http << QList<Route>{route("/version.json", false, manifest("2.4.5"))}
        << false << "SR" << false << upToDate << "" << "";
    QTest::newRow("v2.4.6 keeps its v") << http << QList<Route>{route("/version.json", false, manifest("v2.4.6"))}
        << false << "SR" << true << "Dostupna je nova verzija: vv2.4.6" << "" << "Ispravke";
    QTest::newRow("2.4.10 after 2.4.5b") << http << QList<Route>{route("/version.json", false, manifest("2.4.10"))}
        << true << "SR" << true << "Dostupna je nova verzija: v2.4.10" << "" << "Ispravke";
    QTest::newRow("not JSON") << http << QList<Route>{route("/version.json", false, "<html>502</html>")}
        << false << "SR" << false << badFormat << badFormatError << "";
    QTest::newRow("not JSON, silent") << http << QList<Route>{route("/version.json", false, "<html>502</html>")}
        << true << "SR" << false << badFormat << "" << "";
    QTest::newRow("JSON array") << http << QList<Route>{route("/version.json", false, "[1,2]")}
        << false << "SR" << false << badFormat << badFormatError << "";
    QTest::newRow("larger than a manifest can be") << http
        << QList<Route>{route("/version.json", false, QByteArray(3 * 1024 * 1024, ' ') + manifest("2.5.0"))}
        << false << "SR" << false << badFormat << badFormatError << "";
    QTest::newRow("no download link") << http << QList<Route>{route("/version.json", false, R"({"version":"9.0"})")}
        << false << "SR" << false << missing << missingError << "";
    QTest::newRow("HTTP 404") << http << QList<Route>{}
        << false << "SR" << false << checkFailed << checkFailedError << "";
    QTest::newRow("unreachable server, silent") << QStringLiteral("{closed}/version.json") << QList<Route>{}
        << true << "SR" << false << checkFailed << "" << "";
    QTest::newRow("server never answers") << http
        << QList<Route>{[] { Route r = route("/version.json", false); r.answer = false; return r; }()}
        << true << "SR" << false << "Greška pri proveri: Server ne odgovara (isteklo je vreme čekanja)." << "" << "";
    QTest::newRow("invalid address, reported even when silent") << QStringLiteral("not a url") << QList<Route>{}
        << true << "SR" << false << "Neispravan URL servera za ažuriranje." << "Neispravan URL servera za ažuriranje." << "";
    QTest::newRow("http redirect followed") << http
        << QList<Route>{redirect("/version.json", false, "/v2/version.json"), route("/v2/version.json", false, manifest("2.5.0"))}
        << false << "SR" << true << "Dostupna je nova verzija: v2.5.0" << "" << "Ispravke";
    QTest::newRow("over https") << https << QList<Route>{route("/version.json", true, manifest("2.5.0"))}
        << false << "SR" << true << "Dostupna je nova verzija: v2.5.0" << "" << "Ispravke";
    QTest::newRow("https to https redirect followed") << https
        << QList<Route>{redirect("/version.json", true, "{https}/v2.json"), route("/v2.json", true, manifest("2.5.0"))}
        << false << "SR" << true << "Dostupna je nova verzija: v2.5.0" << "" << "Ispravke";
    QTest::newRow("https to http redirect refused") << https
        << QList<Route>{redirect("/version.json", true, "{http}/version.json"), route("/version.json", false, manifest("2.5.0"))}
        << false << "SR" << false << "Greška pri proveri: Odbijeno preusmerenje sa HTTPS na HTTP adresu."
        << "Nije moguće kontaktirati update server: Odbijeno preusmerenje sa HTTPS na HTTP adresu." << "";
}

void TestUpdateManager::check()
{
    QFETCH(QString, serverUrl);
    QFETCH(QList<Route>, routes);
    QFETCH(bool, silent);
    QFETCH(QString, language);
    QFETCH(bool, available);
    QFETCH(QString, status);
    QFETCH(QString, error);
    QFETCH(QString, changelog);

    if (serverUrl.contains(QLatin1String("{closed}"))) {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        serverUrl.replace(QLatin1String("{closed}"), QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort()));
    }
    serve(routes);

    QTemporaryDir folder;
    Harness harness(folder.path());
    UpdateManager &manager = harness.manager;
    manager.setLanguage(language);
    QSignalSpy finished(&manager, &UpdateManager::updateCheckFinished);
    QSignalSpy checking(&manager, &UpdateManager::isCheckingChanged);
    manager.setServerUrl(expand(serverUrl));
    manager.checkForUpdates(silent);
    QTRY_VERIFY_WITH_TIMEOUT(!manager.isChecking(), kWaitMs);

    QVERIFY2(textMatches(manager.statusMessage(), status), qPrintable(manager.statusMessage()));
    QCOMPARE(manager.updateAvailable(), available);
    QCOMPARE(checking.count(), 2);
    if (error.isEmpty()) {
        QVERIFY2(harness.errors.isEmpty(), qPrintable(harness.errors.join(u'|')));
    } else {
        QCOMPARE(harness.errors.size(), 1);
        QVERIFY2(textMatches(harness.errors.first(), error), qPrintable(harness.errors.first()));
    }

    const bool answered = status.startsWith(QLatin1String("Dostupna")) || status.startsWith(QLatin1String("Program"))
                          || status.startsWith(QLatin1String("A new")) || status.startsWith(QLatin1String("The program"));
    QCOMPARE(finished.count(), answered ? 1 : 0);
    if (answered) {
        QCOMPARE(finished.first().at(0).toBool(), available);
        QCOMPARE(finished.first().at(1).toString(), available ? manager.latestVersion() : QStringLiteral("2.4.5b"));
        QCOMPARE(finished.first().at(2).toString(), available ? changelog : QString());
        QCOMPARE(manager.changelog(), available ? changelog : manager.changelog());
    }
    for (const LocalHttpServer *server : {&m_http, &m_https}) {
        for (const QByteArray &agent : server->userAgents)
            QCOMPARE(agent, QByteArray("Vireon-Studio/2.4.5b"));
    }
    // Nothing was downloaded by a check.
    QVERIFY(QDir(folder.path()).isEmpty());
}

void TestUpdateManager::download_data()
{
    QTest::addColumn<bool>("manifestOverHttps");
    QTest::addColumn<QList<Route>>("routes"); // the first is the download link
    QTest::addColumn<QString>("sha");         // "match", "upper", "wrong" or "none"
    QTest::addColumn<bool>("ready");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("error");

    const QByteArray installer = m_installer;
    const QString done = QStringLiteral("Preuzimanje završeno! Spreman za instalaciju.");
    const QString unverifiable = QStringLiteral("Greška: Instalacioni fajl nije moguće proveriti (nema SHA-256 preko HTTPS, veza nije HTTPS).");
    const QString unverifiableError = QStringLiteral(
        "Server nije objavio SHA-256 kontrolnu sumu preko HTTPS veze, a manifest ili instalacioni fajl nije preuzet preko HTTPS veze. "
        "Preuzimanje je obustavljeno radi bezbednosti.");
    const QString failed = QStringLiteral("Preuzimanje neuspešno: *");
    const QString failedError = QStringLiteral("Preuzimanje instalacionog paketa nije uspelo: *");
    Route noLength = route("/setup", false, installer);
    noLength.sendContentLength = false;
    noLength.pieces = 3;
    noLength.pieceDelayMs = 250;
    Route slow = route("/setup", false, installer);
    slow.pieces = 3;
    slow.pieceDelayMs = 250;
    Route halfWay = route("/setup", false, installer);
    halfWay.sendBytes = installer.size() / 2;

    QTest::newRow("checksum matches") << true << QList<Route>{slow} << "match" << true << done << "";
    QTest::newRow("checksum published in upper case") << true << QList<Route>{route("/setup", false, installer)} << "upper" << true << done << "";
    QTest::newRow("checksum from an http manifest does not count") << false << QList<Route>{route("/setup", true, installer)} << "match" << false << unverifiable << unverifiableError;
    QTest::newRow("checksum differs") << true << QList<Route>{route("/setup", false, installer)} << "wrong" << false
        << "Greška: SHA-256 kontrolna suma se ne poklapa!"
        << "Integritet instalacionog fajla je narušen (SHA-256 se ne poklapa sa serverom). Preuzimanje je obustavljeno radi bezbednosti.";
    QTest::newRow("no checksum, all http") << false << QList<Route>{route("/setup", false, installer)} << "none" << false << unverifiable << unverifiableError;
    QTest::newRow("no checksum, all https") << true << QList<Route>{route("/setup", true, installer)} << "none" << true << done << "";
    QTest::newRow("no checksum, installer over http") << true << QList<Route>{route("/setup", false, installer)} << "none" << false << unverifiable << unverifiableError;
    QTest::newRow("no checksum, manifest over http") << false << QList<Route>{route("/setup", true, installer)} << "none" << false << unverifiable << unverifiableError;
    QTest::newRow("no checksum, http redirected to https") << true
        << QList<Route>{redirect("/old", false, "{https}/setup"), route("/setup", true, installer)} << "none" << false << unverifiable << unverifiableError;
    QTest::newRow("no checksum, https redirected to https") << true
        << QList<Route>{redirect("/old", true, "{https}/setup"), route("/setup", true, installer)} << "none" << true << done << "";
    QTest::newRow("http redirect followed") << true
        << QList<Route>{redirect("/old", false, "/setup"), route("/setup", false, installer)} << "match" << true << done << "";
    QTest::newRow("https to http redirect refused") << true
        << QList<Route>{redirect("/old", true, "{http}/setup"), route("/setup", false, installer)} << "match" << false
        << "Preuzimanje neuspešno: Odbijeno preusmerenje sa HTTPS na HTTP adresu."
        << "Preuzimanje instalacionog paketa nije uspelo: Odbijeno preusmerenje sa HTTPS na HTTP adresu.";
    QTest::newRow("no Content-Length") << true << QList<Route>{noLength} << "match" << true << done << "";
    QTest::newRow("connection closes half-way") << true << QList<Route>{halfWay} << "match" << false << failed << failedError;
    QTest::newRow("installer missing") << true << QList<Route>{} << "match" << false << failed << failedError;
}

void TestUpdateManager::download()
{
    QFETCH(bool, manifestOverHttps);
    QFETCH(QList<Route>, routes);
    QFETCH(QString, sha);
    QFETCH(bool, ready);
    QFETCH(QString, status);
    QFETCH(QString, error);

    const QString link = routes.isEmpty() ? QStringLiteral("{http}/setup")
                                          : QStringLiteral("{%1}%2").arg(routes.first().onHttps ? "https" : "http", routes.first().path);
    QByteArray published;
    if (sha == QLatin1String("match"))
        published = sha256Hex(m_installer);
    else if (sha == QLatin1String("upper"))
        published = sha256Hex(m_installer).toUpper();
    else if (sha == QLatin1String("wrong"))
        published = sha256Hex("something else");
    QJsonObject manifest{{"version", "2.5.0"}, {"downloadUrl", link}};
    if (!published.isEmpty())
        manifest.insert("sha256", QString::fromLatin1(published));
    routes.append(route("/version.json", manifestOverHttps, QJsonDocument(manifest).toJson()));
    serve(routes);

    QTemporaryDir folder;
    Harness harness(folder.path());
    UpdateManager &manager = harness.manager;
    checkAgainst(harness, manifestOverHttps ? "{https}/version.json" : "{http}/version.json");
    QVERIFY2(manager.updateAvailable(), qPrintable(manager.statusMessage()));

    QSignalSpy readySpy(&manager, &UpdateManager::updateReadyToInstallChanged);
    manager.startDownload();
    QVERIFY(manager.isDownloading());
    QCOMPARE(manager.statusMessage(), QStringLiteral("Preuzimanje ažuriranja..."));
    QTRY_VERIFY_WITH_TIMEOUT(!manager.isDownloading(), kWaitMs);

    QVERIFY2(textMatches(manager.statusMessage(), status), qPrintable(manager.statusMessage()));
    if (error.isEmpty()) {
        QVERIFY2(harness.errors.isEmpty(), qPrintable(harness.errors.join(u'|')));
    } else {
        QCOMPARE(harness.errors.size(), 1);
        QVERIFY2(textMatches(harness.errors.first(), error), qPrintable(harness.errors.first()));
    }
    QCOMPARE(manager.updateReadyToInstall(), ready);
    QCOMPARE(readySpy.count(), ready ? 1 : 0);
    QVERIFY(QFileInfo(manager.installerPath()).fileName() == manager.installerFileName());

    if (ready) {
        QFile file(manager.installerPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll() == m_installer);
        QCOMPARE(manager.downloadProgressText(), QStringLiteral("100%"));
        QCOMPARE(manager.downloadProgress(), 1.0f);
        // Progress was shown on the way: with a size as "n% (a / b MB)", without as "a MB".
        const bool sizeKnown = routes.first().sendContentLength;
        const QRegularExpression shape(sizeKnown ? QStringLiteral(R"(^\d+% \(\d+\.\d / 3\.0 MB\)$)")
                                                 : QStringLiteral(R"(^\d+\.\d MB$)"));
        QVERIFY2(std::any_of(harness.progressTexts.begin(), harness.progressTexts.end(),
                             [&](const QString &text) { return shape.match(text).hasMatch(); }),
                 qPrintable(harness.progressTexts.join(u'|')));
        if (!sizeKnown) {
            const QRegularExpression percent(QStringLiteral(R"(^\d+% \()"));
            QVERIFY2(std::none_of(harness.progressTexts.begin(), harness.progressTexts.end(),
                                  [&](const QString &text) { return percent.match(text).hasMatch(); }),
                     qPrintable(harness.progressTexts.join(u'|')));
        }
    } else {
        // Nothing unverified or partial is left behind.
        QVERIFY(!QFile::exists(manager.installerPath()));
        QCOMPARE(manager.downloadProgress(), 0.0f);
    }

    manager.installAndRestart();
    QCOMPARE(harness.launched, ready ? QStringList{manager.installerPath()} : QStringList{});
    QCOMPARE(harness.quitCount, ready ? 1 : 0);
    if (ready)
        QVERIFY(harness.launchedExecutable);
    else
        QCOMPARE(manager.statusMessage(), QStringLiteral("Instalacioni fajl nije pronađen."));
}

void TestUpdateManager::cancelWhileStreaming()
{
    // The server sends a third of the installer and then holds the connection.
    Route held = route("/setup", false, m_installer);
    held.sendBytes = m_installer.size() / 3;
    held.keepOpen = true;
    held.pieces = 2;
    held.pieceDelayMs = 300;
    const QJsonObject manifest{{"version", "2.5.0"}, {"downloadUrl", expand("{http}/setup")},
                               {"sha256", QString::fromLatin1(sha256Hex(m_installer))}};
    serve({held, route("/version.json", true, QJsonDocument(manifest).toJson())});

    QTemporaryDir folder;
    Harness harness(folder.path());
    UpdateManager &manager = harness.manager;
    checkAgainst(harness, "{https}/version.json");
    QVERIFY(manager.updateAvailable());
    manager.startDownload();

    // The body goes to disk as it arrives, not at the end.
    QTRY_COMPARE_WITH_TIMEOUT(manager.downloadProgressText(), QStringLiteral("33% (1.0 / 3.0 MB)"), kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(manager.installerPath()).size(), m_installer.size() / 3, kWaitMs);
    QVERIFY(manager.isDownloading());

    // Neither a check nor a second download starts meanwhile.
    const QString status = manager.statusMessage();
    manager.checkForUpdates();
    QVERIFY(!manager.isChecking());
    manager.startDownload();
    QCOMPARE(manager.statusMessage(), status);
    QCOMPARE(m_http.requestedPaths.count(QStringLiteral("/setup")), 1);

    QSignalSpy downloading(&manager, &UpdateManager::isDownloadingChanged);
    manager.cancelDownload();
    QCOMPARE(downloading.count(), 1);
    QVERIFY(!manager.isDownloading());
    QCOMPARE(manager.statusMessage(), QStringLiteral("Preuzimanje otkazano."));
    QCOMPARE(manager.downloadProgress(), 0.0f);
    QVERIFY(!QFile::exists(manager.installerPath()));
    // A cancel is not a failure: no error dialog, also not once the abort has been delivered.
    QTest::qWait(200);
    QVERIFY2(harness.errors.isEmpty(), qPrintable(harness.errors.join(u'|')));
    QVERIFY(!manager.updateReadyToInstall());
    manager.installAndRestart();
    QVERIFY(harness.launched.isEmpty());

    // The next attempt starts from scratch and completes.
    serve({route("/setup", false, m_installer)});
    harness.errors.clear();
    manager.startDownload();
    QTRY_VERIFY_WITH_TIMEOUT(manager.updateReadyToInstall(), kWaitMs);
    QCOMPARE(QFileInfo(manager.installerPath()).size(), m_installer.size());
    QVERIFY(harness.errors.isEmpty());
}

void TestUpdateManager::install_data()
{
    QTest::addColumn<QString>("before"); // what happens between verification and install
    QTest::addColumn<bool>("launcherWorks");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("error");
    QTest::addColumn<bool>("launched");
    QTest::addColumn<bool>("quits");
    QTest::newRow("verified installer starts, program quits") << "nothing" << true
        << "Preuzimanje završeno! Spreman za instalaciju." << "" << true << true;
    QTest::newRow("installer fails to start") << "nothing" << false
        << "Neuspešno pokretanje instalera." << "Nije moguće pokrenuti instalacioni program." << true << false;
    QTest::newRow("file changed after verification") << "append" << true
        << "Greška: Instalacioni fajl je izmenjen nakon provere."
        << "Instalacioni fajl je izmenjen nakon provere i neće biti pokrenut. Preuzmite ažuriranje ponovo." << false << false;
    QTest::newRow("file removed after verification") << "remove" << true
        << "Instalacioni fajl nije pronađen." << "Instalacioni fajl nije pronađen na računaru." << false << false;
    QTest::newRow("nothing downloaded") << "no download" << true
        << "Instalacioni fajl nije pronađen." << "Instalacioni fajl nije pronađen na računaru." << false << false;
}

void TestUpdateManager::install()
{
    QFETCH(QString, before);
    QFETCH(bool, launcherWorks);
    QFETCH(QString, status);
    QFETCH(QString, error);
    QFETCH(bool, launched);
    QFETCH(bool, quits);

    const QJsonObject manifest{{"version", "2.5.0"}, {"downloadUrl", expand("{http}/setup")},
                               {"sha256", QString::fromLatin1(sha256Hex(m_installer))}};
    serve({route("/setup", false, m_installer), route("/version.json", true, QJsonDocument(manifest).toJson())});

    QTemporaryDir folder;
    Harness harness(folder.path());
    harness.launcherWorks = launcherWorks;
    UpdateManager &manager = harness.manager;
    checkAgainst(harness, "{https}/version.json");
    if (before != QLatin1String("no download")) {
        manager.startDownload();
        QTRY_VERIFY_WITH_TIMEOUT(manager.updateReadyToInstall(), kWaitMs);
    }
    if (before == QLatin1String("append")) {
        QFile file(manager.installerPath());
        QVERIFY(file.open(QIODevice::Append));
        file.write("#");
    } else if (before == QLatin1String("remove")) {
        QVERIFY(QFile::remove(manager.installerPath()));
    }

    manager.installAndRestart();
    QCOMPARE(manager.statusMessage(), status);
    QCOMPARE(harness.errors, error.isEmpty() ? QStringList{} : QStringList{error});
    QCOMPARE(harness.launched.size(), launched ? 1 : 0);
    QCOMPARE(harness.quitCount, quits ? 1 : 0);
    if (launched)
        QVERIFY(harness.launchedExecutable);
    if (before == QLatin1String("append")) {
        QVERIFY(!manager.updateReadyToInstall());
        QVERIFY(!QFile::exists(manager.installerPath()));
    }
}

void TestUpdateManager::debianPackageIsShownNeverRun()
{
    // The manifest offers both; Linux takes the package, verified by its own digest.
    const QJsonObject manifest{{"version", "2.5.0"},
                               {"downloadUrl", expand("{http}/setup.exe")},
                               {"sha256", QString::fromLatin1(sha256Hex("the installer"))},
                               {"downloadUrl_deb", expand("{http}/vireon_2.5.0_amd64.deb")},
                               {"sha256_deb", QString::fromLatin1(sha256Hex(m_installer))}};
    serve({route("/vireon_2.5.0_amd64.deb", false, m_installer), route("/version.json", true, QJsonDocument(manifest).toJson())});

    QTemporaryDir folder;
    // A folder with a space: the command the user copies must still name the file.
    Harness harness(folder.filePath(QStringLiteral("my updates")), UpdatePackage::DebianPackage);
    UpdateManager &manager = harness.manager;
    manager.setLanguage(QStringLiteral("EN"));
    checkAgainst(harness, "{https}/version.json");
    QVERIFY2(manager.updateAvailable(), qPrintable(manager.statusMessage()));
    QCOMPARE(manager.downloadUrl(), expand("{http}/vireon_2.5.0_amd64.deb"));
    QVERIFY(!manager.installsItself());
    QCOMPARE(manager.installCommand(), QString());

    manager.startDownload();
    QTRY_VERIFY_WITH_TIMEOUT(manager.updateReadyToInstall(), kWaitMs);
    QCOMPARE(QFileInfo(manager.installerPath()).fileName(), QStringLiteral("Vireon_Update.deb"));
    const QString command = QStringLiteral("sudo apt install '%1'").arg(manager.installerPath());
    QCOMPARE(manager.installCommand(), command);
    QCOMPARE(manager.statusMessage(), QStringLiteral("Package downloaded and verified. Install it in a terminal: ") + command);

    // "Install" shows the package and says how; nothing is run, made executable or quit.
    manager.installAndRestart();
    QVERIFY(harness.launched.isEmpty());
    QCOMPARE(harness.quitCount, 0);
    QCOMPARE(harness.shown, QStringList{manager.installerPath()});
    QVERIFY(!QFileInfo(manager.installerPath()).isExecutable());
    QVERIFY2(harness.errors.isEmpty(), qPrintable(harness.errors.join(u'|')));

    // A manifest without a package for Linux offers nothing to download, never the installer.
    serve({route("/version.json", true, R"({"version":"2.6.0","downloadUrl":"{http}/setup.exe"})")});
    manager.dismissUpdate();
    harness.errors.clear();
    checkAgainst(harness, "{https}/version.json");
    QVERIFY(!manager.updateAvailable());
    QCOMPARE(manager.statusMessage(), QStringLiteral("The manifest file has no version or download link."));
    QCOMPARE(harness.errors, QStringList{QStringLiteral("The manifest file lacks what an update needs.")});
    QVERIFY(!m_http.requestedPaths.contains(QStringLiteral("/setup.exe")));
}

void TestUpdateManager::textsFollowTheLanguage()
{
    serve({route("/version.json", false,
                 R"({"version":"2.5.0","downloadUrl":"{http}/setup","changelog_en":"Fixes","changelog_sr":"Ispravke"})")});
    QTemporaryDir folder;
    Harness harness(folder.path());
    UpdateManager &manager = harness.manager;
    manager.setLanguage(QStringLiteral("EN"));
    checkAgainst(harness, "{http}/version.json");
    QCOMPARE(manager.statusMessage(), QStringLiteral("A new version is available: v2.5.0"));
    QCOMPARE(manager.changelog(), QStringLiteral("Fixes"));

    // What is shown already changes with the interface language, announced once.
    QSignalSpy status(&manager, &UpdateManager::statusMessageChanged);
    QSignalSpy info(&manager, &UpdateManager::updateInfoChanged);
    manager.setLanguage(QStringLiteral("SR"));
    QCOMPARE(manager.statusMessage(), QStringLiteral("Dostupna je nova verzija: v2.5.0"));
    QCOMPARE(manager.changelog(), QStringLiteral("Ispravke"));
    manager.setLanguage(QStringLiteral("SR"));
    QCOMPARE(status.count(), 1);
    QCOMPARE(info.count(), 1);
}

QTEST_GUILESS_MAIN(TestUpdateManager)
#include "tst_updatemanager.moc"
