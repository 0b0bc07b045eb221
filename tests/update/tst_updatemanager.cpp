// Update path tests: version order, manifest reading, the trust decisions, and the manager
// end to end against two servers of its own on 127.0.0.1 (plain HTTP and TLS), serving
// manifests and installers for every branch: up to date, newer, malformed, refused,
// cut short, cancelled, verified and started.
#include "LocalHttpServer.h"

#include "update/UpdateManager.h"
#include "update/UpdateManifest.h"
#include "update/UpdateTrust.h"
#include "update/VersionCompare.h"

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

// One manager with the seams the tests need: its own download folder, a launcher that
// records instead of running anything, a quit handler that counts.
struct Harness
{
    explicit Harness(const QString &folder)
    {
        manager.setDownloadFolder(folder);
        manager.setTransferTimeoutMs(5000); // long enough for a loaded CI machine
        manager.setInstallerLauncher([this](const QString &path) {
            launched.append(path);
            launchedExecutable = QFileInfo(path).isExecutable();
            return launcherWorks;
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

    void versionOrder_data();
    void versionOrder();
    void manifestReading_data();
    void manifestReading();
    void redirectRule_data();
    void redirectRule();
    void installerVerdict_data();
    void installerVerdict();
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

// --- pure helpers ---

void TestUpdateManager::versionOrder_data()
{
    QTest::addColumn<QString>("candidate");
    QTest::addColumn<QString>("current");
    QTest::addColumn<bool>("newer");
    QTest::newRow("2.4.5 is not newer than 2.4.5b") << "2.4.5" << "2.4.5b" << false;
    QTest::newRow("v prefix") << "v2.4.6" << "2.4.5b" << true;
    QTest::newRow("2.10 numeric, not text") << "2.10" << "2.4.5b" << true;
    QTest::newRow("2.4.10 after 2.4.5b") << "2.4.10" << "2.4.5b" << true;
    QTest::newRow("2.4.5b before 2.4.10") << "2.4.5b" << "2.4.10" << false;
    QTest::newRow("one number") << "3" << "2.9.9" << true;
    QTest::newRow("fourth number") << "2.4.5.1" << "2.4.5b" << true;
    QTest::newRow("trailing zero equal") << "2.4.5.0" << "2.4.5" << false;
    QTest::newRow("leading zeros") << "2.04.05" << "2.4.5" << false;
    // Equal numbers are never newer, whatever letters follow them.
    QTest::newRow("2.4.5c is not newer than 2.4.5b") << "2.4.5c" << "2.4.5b" << false;
    QTest::newRow("2.4.5rc is not newer than 2.4.5b") << "2.4.5rc" << "2.4.5b" << false;
    QTest::newRow("2.4.5beta is not newer than 2.4.5b") << "2.4.5beta" << "2.4.5b" << false;
    QTest::newRow("2.4.5b is not newer than 2.4.5") << "2.4.5b" << "2.4.5" << false;
    QTest::newRow("letters as separators") << "2-beta-4-x-5" << "2.4.5" << false;
    QTest::newRow("empty") << "" << "2.4.5b" << false;
    QTest::newRow("no digits") << "latest" << "2.4.5b" << false;
    QTest::newRow("huge number saturates in place") << "2.99999999999999999999999.0" << "2.4.5b" << true;
}

void TestUpdateManager::versionOrder()
{
    QFETCH(QString, candidate);
    QFETCH(QString, current);
    QFETCH(bool, newer);
    QCOMPARE(VersionCompare::isNewer(candidate, current), newer);
    if (newer)
        QVERIFY(!VersionCompare::isNewer(current, candidate));
}

void TestUpdateManager::manifestReading_data()
{
    using S = ManifestParseResult::Status;
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("language");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("changelog");
    QTest::addColumn<QString>("installerUrl");
    QTest::addColumn<QString>("sha256");
    QTest::addColumn<bool>("mandatory");

    const QByteArray full = R"({"version":" v2.5.0 ","releaseDate":" 2025-03-01 ","changelog":"general",
        "changelog_sr":"srpski","changelog_en":"english","downloadUrl":" https://dl.example/setup ",
        "sha256":" ABCDEF ","mandatory":true,"extra":1})";
    QTest::newRow("full, SR") << full << "SR" << int(S::Ok) << "v2.5.0" << "srpski" << "https://dl.example/setup" << "ABCDEF" << true;
    QTest::newRow("full, EN") << full << "EN" << int(S::Ok) << "v2.5.0" << "english" << "https://dl.example/setup" << "ABCDEF" << true;
    QTest::newRow("other language takes the general text") << full << "DE" << int(S::Ok) << "v2.5.0" << "general" << "https://dl.example/setup" << "ABCDEF" << true;
    QTest::newRow("own language absent")
        << QByteArray(R"({"version":"2.5","downloadUrl":"http://h/s","changelog":"general","changelog_en":"e"})")
        << "SR" << int(S::Ok) << "2.5" << "general" << "http://h/s" << "" << false;
    QTest::newRow("mandatory only as a real bool")
        << QByteArray(R"({"version":"2.5","downloadUrl":"http://h/s","mandatory":"true"})")
        << "EN" << int(S::Ok) << "2.5" << "" << "http://h/s" << "" << false;
    QTest::newRow("relative link resolved against the manifest")
        << QByteArray(R"({"version":"2.5","downloadUrl":"files/setup"})")
        << "EN" << int(S::Ok) << "2.5" << "" << "https://updates.example/v/files/setup" << "" << false;
    QTest::newRow("blank version") << QByteArray(R"({"version":"  ","downloadUrl":"http://h/s"})") << "EN" << int(S::MissingFields) << "" << "" << "http://h/s" << "" << false;
    QTest::newRow("version as a number") << QByteArray(R"({"version":2.5,"downloadUrl":"http://h/s"})") << "EN" << int(S::MissingFields) << "" << "" << "http://h/s" << "" << false;
    QTest::newRow("local file link refused") << QByteArray(R"({"version":"2.5","downloadUrl":"file:///etc/passwd"})") << "EN" << int(S::MissingFields) << "2.5" << "" << "" << "" << false;
    QTest::newRow("other scheme refused") << QByteArray(R"({"version":"2.5","downloadUrl":"ftp://h/setup"})") << "EN" << int(S::MissingFields) << "2.5" << "" << "" << "" << false;
}

void TestUpdateManager::manifestReading()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, language);
    QFETCH(int, status);
    QFETCH(QString, version);
    QFETCH(QString, changelog);
    QFETCH(QString, installerUrl);
    QFETCH(QString, sha256);
    QFETCH(bool, mandatory);

    const ManifestParseResult result =
        UpdateManifestReader::parse(body, language, QUrl(QStringLiteral("https://updates.example/v/version.json")));
    QCOMPARE(int(result.status), status);
    if (result.status == ManifestParseResult::Status::NotJsonObject) {
        QVERIFY(!result.parserMessage.isEmpty());
        return;
    }
    QCOMPARE(result.manifest.version, version);
    QCOMPARE(result.manifest.changelog, changelog);
    QCOMPARE(result.manifest.installerUrl.toString(), installerUrl);
    QCOMPARE(result.manifest.sha256, sha256);
    QCOMPARE(result.manifest.isMandatory, mandatory);
    if (QTest::currentDataTag() == QByteArray("full, SR"))
        QCOMPARE(result.manifest.releaseDate, QStringLiteral("2025-03-01"));
}

void TestUpdateManager::redirectRule_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("https to https") << "https://a/x" << "https://b/y" << true;
    QTest::newRow("https to http") << "https://a/x" << "http://a/x" << false;
    QTest::newRow("HTTPS to http, any case") << "HTTPS://a/x" << "HtTp://a/x" << false;
    QTest::newRow("http to https") << "http://a/x" << "https://a/x" << true;
    QTest::newRow("http to http") << "http://a/x" << "http://b/x" << true;
    QTest::newRow("to a local file") << "http://a/x" << "file:///etc/passwd" << false;
    QTest::newRow("to another scheme") << "https://a/x" << "ftp://a/x" << false;
}

void TestUpdateManager::redirectRule()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(bool, allowed);
    QCOMPARE(UpdateTrust::isRedirectAllowed(QUrl(from), QUrl(to)), allowed);
}

void TestUpdateManager::installerVerdict_data()
{
    using V = UpdateTrust::Verdict;
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QByteArray>("actual");
    QTest::addColumn<bool>("manifestHttps");
    QTest::addColumn<bool>("installerHttps");
    QTest::addColumn<int>("verdict");
    const QByteArray digest = sha256Hex("installer");
    const QString upper = QString::fromLatin1(digest).toUpper();
    QTest::newRow("match, manifest over https, installer over http") << QString::fromLatin1(digest) << digest << true << false << int(V::Verified);
    QTest::newRow("upper-case published value") << upper << digest << true << true << int(V::Verified);
    // A checksum that came over plain HTTP was chosen by whoever sits on the path: no evidence.
    QTest::newRow("match, manifest over http") << QString::fromLatin1(digest) << digest << false << true << int(V::Unverifiable);
    QTest::newRow("mismatch, manifest over http") << QString::fromLatin1(sha256Hex("other")) << digest << false << false << int(V::Unverifiable);
    QTest::newRow("mismatch over https") << QString::fromLatin1(sha256Hex("other")) << digest << true << true << int(V::Mismatch);
    QTest::newRow("malformed published value") << "not-hex" << digest << true << true << int(V::Mismatch);
    QTest::newRow("unreadable, published value") << QString::fromLatin1(digest) << QByteArray() << true << true << int(V::Unreadable);
    QTest::newRow("unreadable, none published") << QString() << QByteArray() << true << true << int(V::Unreadable);
    QTest::newRow("none, both https") << QString() << digest << true << true << int(V::TrustedTransport);
    QTest::newRow("none, manifest over http") << QString() << digest << false << true << int(V::Unverifiable);
    QTest::newRow("none, installer over http") << QString() << digest << true << false << int(V::Unverifiable);
    QTest::newRow("none, both http") << QString() << digest << false << false << int(V::Unverifiable);
}

void TestUpdateManager::installerVerdict()
{
    QFETCH(QString, expected);
    QFETCH(QByteArray, actual);
    QFETCH(bool, manifestHttps);
    QFETCH(bool, installerHttps);
    QFETCH(int, verdict);
    const UpdateTrust::Verdict result = UpdateTrust::judge({expected, actual, manifestHttps, installerHttps});
    QCOMPARE(int(result), verdict);
    QCOMPARE(UpdateTrust::mayStart(result),
             result == UpdateTrust::Verdict::Verified || result == UpdateTrust::Verdict::TrustedTransport);
}

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

// --- the manager ---

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
        QVERIFY(!UpdateManager::installerFileName().endsWith(QLatin1String(".exe")));
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
        << false << "EN" << true << "Dostupna je nova verzija: v2.5.0" << "" << "Fixes";
    QTest::newRow("newer, Serbian changelog") << http << QList<Route>{route("/version.json", false, manifest("2.5.0"))}
        << false << "SR" << true << "Dostupna je nova verzija: v2.5.0" << "" << "Ispravke";
    QTest::newRow("same numbers as 2.4.5b") << http << QList<Route>{route("/version.json", false, manifest("2.4.5"))}
        << false << "EN" << false << upToDate << "" << "";
    QTest::newRow("v2.4.6 keeps its v") << http << QList<Route>{route("/version.json", false, manifest("v2.4.6"))}
        << false << "EN" << true << "Dostupna je nova verzija: vv2.4.6" << "" << "Fixes";
    QTest::newRow("2.4.10 after 2.4.5b") << http << QList<Route>{route("/version.json", false, manifest("2.4.10"))}
        << true << "EN" << true << "Dostupna je nova verzija: v2.4.10" << "" << "Fixes";
    QTest::newRow("not JSON") << http << QList<Route>{route("/version.json", false, "<html>502</html>")}
        << false << "EN" << false << badFormat << badFormatError << "";
    QTest::newRow("not JSON, silent") << http << QList<Route>{route("/version.json", false, "<html>502</html>")}
        << true << "EN" << false << badFormat << "" << "";
    QTest::newRow("JSON array") << http << QList<Route>{route("/version.json", false, "[1,2]")}
        << false << "EN" << false << badFormat << badFormatError << "";
    QTest::newRow("larger than a manifest can be") << http
        << QList<Route>{route("/version.json", false, QByteArray(3 * 1024 * 1024, ' ') + manifest("2.5.0"))}
        << false << "EN" << false << badFormat << badFormatError << "";
    QTest::newRow("no download link") << http << QList<Route>{route("/version.json", false, R"({"version":"9.0"})")}
        << false << "EN" << false << missing << missingError << "";
    QTest::newRow("HTTP 404") << http << QList<Route>{}
        << false << "EN" << false << checkFailed << checkFailedError << "";
    QTest::newRow("unreachable server, silent") << QStringLiteral("{closed}/version.json") << QList<Route>{}
        << true << "EN" << false << checkFailed << "" << "";
    QTest::newRow("server never answers") << http
        << QList<Route>{[] { Route r = route("/version.json", false); r.answer = false; return r; }()}
        << true << "EN" << false << "Greška pri proveri: Server ne odgovara (isteklo je vreme čekanja)." << "" << "";
    QTest::newRow("invalid address, reported even when silent") << QStringLiteral("not a url") << QList<Route>{}
        << true << "EN" << false << "Neispravan URL servera za ažuriranje." << "Neispravan URL servera za ažuriranje." << "";
    QTest::newRow("http redirect followed") << http
        << QList<Route>{redirect("/version.json", false, "/v2/version.json"), route("/v2/version.json", false, manifest("2.5.0"))}
        << false << "EN" << true << "Dostupna je nova verzija: v2.5.0" << "" << "Fixes";
    QTest::newRow("over https") << https << QList<Route>{route("/version.json", true, manifest("2.5.0"))}
        << false << "EN" << true << "Dostupna je nova verzija: v2.5.0" << "" << "Fixes";
    QTest::newRow("https to https redirect followed") << https
        << QList<Route>{redirect("/version.json", true, "{https}/v2.json"), route("/v2.json", true, manifest("2.5.0"))}
        << false << "EN" << true << "Dostupna je nova verzija: v2.5.0" << "" << "Fixes";
    QTest::newRow("https to http redirect refused") << https
        << QList<Route>{redirect("/version.json", true, "{http}/version.json"), route("/version.json", false, manifest("2.5.0"))}
        << false << "EN" << false << "Greška pri proveri: Odbijeno preusmerenje sa HTTPS na HTTP adresu."
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
    QSettings("Vireon", "Vireon").setValue("UI/Language", language);

    QTemporaryDir folder;
    Harness harness(folder.path());
    UpdateManager &manager = harness.manager;
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

    const bool answered = status.startsWith(QLatin1String("Dostupna")) || status.startsWith(QLatin1String("Program"));
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
    QVERIFY(QFileInfo(manager.installerPath()).fileName() == UpdateManager::installerFileName());

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

QTEST_GUILESS_MAIN(TestUpdateManager)
#include "tst_updatemanager.moc"
