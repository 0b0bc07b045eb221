// The update path's rules, pure: version order, reading the release manifest (the package of
// each system, the changelog of each language) and the trust decisions about redirects and
// the downloaded package. The manager itself, end to end, is tst_updatemanager.
#include "update/UpdateManifest.h"
#include "update/UpdateTrust.h"
#include "update/VersionCompare.h"

#include <QCryptographicHash>
#include <QTest>

Q_DECLARE_METATYPE(UpdatePackage)

namespace {

QByteArray sha256Hex(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}

} // namespace

class TestUpdateRules : public QObject
{
    Q_OBJECT

private slots:
    void versionOrder_data();
    void versionOrder();
    void manifestReading_data();
    void manifestReading();
    void redirectRule_data();
    void redirectRule();
    void installerVerdict_data();
    void installerVerdict();
};

void TestUpdateRules::versionOrder_data()
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

void TestUpdateRules::versionOrder()
{
    QFETCH(QString, candidate);
    QFETCH(QString, current);
    QFETCH(bool, newer);
    QCOMPARE(VersionCompare::isNewer(candidate, current), newer);
    if (newer)
        QVERIFY(!VersionCompare::isNewer(current, candidate));
}

void TestUpdateRules::manifestReading_data()
{
    using S = ManifestParseResult::Status;
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<UpdatePackage>("package");
    QTest::addColumn<QString>("language");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("changelog");
    QTest::addColumn<QString>("installerUrl");
    QTest::addColumn<QString>("sha256");
    QTest::addColumn<bool>("mandatory");

    const QByteArray full = R"({"version":" v2.5.0 ","releaseDate":" 2025-03-01 ","changelog":"general",
        "changelog_sr":"srpski","changelog_en":"english","downloadUrl":" https://dl.example/setup ",
        "sha256":" ABCDEF ","downloadUrl_deb":"vireon_2.5.0_amd64.deb","sha256_deb":"123ABC","mandatory":true,"extra":1})";
    QTest::newRow("full, SR") << full << UpdatePackage::Installer << "SR" << int(S::Ok) << "v2.5.0" << "srpski" << "https://dl.example/setup" << "ABCDEF" << true;
    QTest::newRow("full, EN") << full << UpdatePackage::Installer << "EN" << int(S::Ok) << "v2.5.0" << "english" << "https://dl.example/setup" << "ABCDEF" << true;
    QTest::newRow("other language takes the general text") << full << UpdatePackage::Installer << "DE" << int(S::Ok) << "v2.5.0" << "general" << "https://dl.example/setup" << "ABCDEF" << true;
    QTest::newRow("own language absent")
        << QByteArray(R"({"version":"2.5","downloadUrl":"http://h/s","changelog":"general","changelog_en":"e"})") << UpdatePackage::Installer << "SR" << int(S::Ok) << "2.5" << "general" << "http://h/s" << "" << false;
    QTest::newRow("mandatory only as a real bool")
        << QByteArray(R"({"version":"2.5","downloadUrl":"http://h/s","mandatory":"true"})") << UpdatePackage::Installer << "EN" << int(S::Ok) << "2.5" << "" << "http://h/s" << "" << false;
    QTest::newRow("relative link resolved against the manifest")
        << QByteArray(R"({"version":"2.5","downloadUrl":"files/setup"})") << UpdatePackage::Installer << "EN" << int(S::Ok) << "2.5" << "" << "https://updates.example/v/files/setup" << "" << false;
    QTest::newRow("blank version") << QByteArray(R"({"version":"  ","downloadUrl":"http://h/s"})") << UpdatePackage::Installer << "EN" << int(S::MissingFields) << "" << "" << "http://h/s" << "" << false;
    QTest::newRow("version as a number") << QByteArray(R"({"version":2.5,"downloadUrl":"http://h/s"})") << UpdatePackage::Installer << "EN" << int(S::MissingFields) << "" << "" << "http://h/s" << "" << false;
    QTest::newRow("local file link refused") << QByteArray(R"({"version":"2.5","downloadUrl":"file:///etc/passwd"})") << UpdatePackage::Installer << "EN" << int(S::MissingFields) << "2.5" << "" << "" << "" << false;
    // Linux reads the Debian package's link and digest, never the installer's.
    QTest::newRow("Debian package") << full << UpdatePackage::DebianPackage << "EN" << int(S::Ok) << "v2.5.0" << "english"
                                    << "https://updates.example/v/vireon_2.5.0_amd64.deb" << "123ABC" << true;
    QTest::newRow("no Debian package offered")
        << QByteArray(R"({"version":"2.5","downloadUrl":"http://h/setup.exe","sha256":"AB"})") << UpdatePackage::DebianPackage
        << "EN" << int(S::MissingFields) << "2.5" << "" << "" << "" << false;
    QTest::newRow("other scheme refused") << QByteArray(R"({"version":"2.5","downloadUrl":"ftp://h/setup"})") << UpdatePackage::Installer << "EN" << int(S::MissingFields) << "2.5" << "" << "" << "" << false;
}

void TestUpdateRules::manifestReading()
{
    QFETCH(QByteArray, body);
    QFETCH(UpdatePackage, package);
    QFETCH(QString, language);
    QFETCH(int, status);
    QFETCH(QString, version);
    QFETCH(QString, changelog);
    QFETCH(QString, installerUrl);
    QFETCH(QString, sha256);
    QFETCH(bool, mandatory);

    const ManifestParseResult result =
        UpdateManifestReader::parse(body, package, QUrl(QStringLiteral("https://updates.example/v/version.json")));
    QCOMPARE(int(result.status), status);
    if (result.status == ManifestParseResult::Status::NotJsonObject) {
        QVERIFY(!result.parserMessage.isEmpty());
        return;
    }
    QCOMPARE(result.manifest.version, version);
    QCOMPARE(result.manifest.changelogs.in(language), changelog);
    QCOMPARE(result.manifest.installerUrl.toString(), installerUrl);
    QCOMPARE(result.manifest.sha256, sha256);
    QCOMPARE(result.manifest.isMandatory, mandatory);
    if (QTest::currentDataTag() == QByteArray("full, SR"))
        QCOMPARE(result.manifest.releaseDate, QStringLiteral("2025-03-01"));
}

void TestUpdateRules::redirectRule_data()
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

void TestUpdateRules::redirectRule()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(bool, allowed);
    QCOMPARE(UpdateTrust::isRedirectAllowed(QUrl(from), QUrl(to)), allowed);
}

void TestUpdateRules::installerVerdict_data()
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

void TestUpdateRules::installerVerdict()
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

QTEST_APPLESS_MAIN(TestUpdateRules)
#include "tst_updaterules.moc"
