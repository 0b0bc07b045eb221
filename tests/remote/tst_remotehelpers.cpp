// The pure pieces of the remote control: which requests count as this server's own, the
// limit on wrong access keys over time, which address is announced, the QR code (read back
// with zbarimg), the preview picture size, the byte range a resumed download asks for.
#include "remote/ByteRange.h"
#include "remote/HostCheck.h"
#include "remote/LocalAddress.h"
#include "remote/PreviewStream.h"
#include "remote/QrCodeImage.h"
#include "remote/WrongKeyLimiter.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(NetworkInterfaceEntry)

class TestRemoteHelpers : public QObject
{
    Q_OBJECT

private slots:
    void hostCheck_data();
    void hostCheck();
    void originCheck_data();
    void originCheck();
    void wrongKeyWindows_data();
    void wrongKeyWindows();
    void wrongKeyTableStaysSmall();
    void localAddressChoice_data();
    void localAddressChoice();
    void qrCodeReadsBackToTheUrl_data();
    void qrCodeReadsBackToTheUrl();
    void qrCodeOfTextTooLongFails();
    void previewFrameSize_data();
    void previewFrameSize();
    void byteRange_data();
    void byteRange();
};

void TestRemoteHelpers::byteRange_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("kind");
    QTest::addColumn<qint64>("first");
    QTest::addColumn<qint64>("length");
    QTest::addColumn<QByteArray>("contentRange");

    const int whole = int(ByteRange::Kind::Whole);
    const int part = int(ByteRange::Kind::Partial);
    const int refused = int(ByteRange::Kind::Unsatisfiable);
    QTest::newRow("no header") << QByteArray() << qint64(1000) << whole << qint64(0) << qint64(1000) << QByteArray();
    QTest::newRow("resume") << QByteArray("bytes=400-") << qint64(1000) << part << qint64(400) << qint64(600)
                            << QByteArray("bytes 400-999/1000");
    QTest::newRow("closed range") << QByteArray("bytes=0-99") << qint64(1000) << part << qint64(0) << qint64(100)
                                  << QByteArray("bytes 0-99/1000");
    QTest::newRow("end past the file") << QByteArray("bytes=900-5000") << qint64(1000) << part << qint64(900) << qint64(100)
                                       << QByteArray("bytes 900-999/1000");
    QTest::newRow("last bytes") << QByteArray("bytes=-100") << qint64(1000) << part << qint64(900) << qint64(100)
                                << QByteArray("bytes 900-999/1000");
    QTest::newRow("more last bytes than the file") << QByteArray("bytes=-5000") << qint64(1000) << part << qint64(0)
                                                   << qint64(1000) << QByteArray("bytes 0-999/1000");
    QTest::newRow("start at the end") << QByteArray("bytes=1000-") << qint64(1000) << refused << qint64(0) << qint64(0)
                                      << QByteArray("bytes */1000");
    QTest::newRow("empty file") << QByteArray("bytes=0-") << qint64(0) << refused << qint64(0) << qint64(0)
                                << QByteArray("bytes */0");
    QTest::newRow("backwards") << QByteArray("bytes=500-100") << qint64(1000) << whole << qint64(0) << qint64(1000) << QByteArray();
    QTest::newRow("several ranges") << QByteArray("bytes=0-1,5-9") << qint64(1000) << whole << qint64(0) << qint64(1000)
                                    << QByteArray();
    QTest::newRow("other unit") << QByteArray("items=0-1") << qint64(1000) << whole << qint64(0) << qint64(1000) << QByteArray();
    QTest::newRow("negative start") << QByteArray("bytes=-5-9") << qint64(1000) << whole << qint64(0) << qint64(1000)
                                    << QByteArray();
    QTest::newRow("huge number") << QByteArray("bytes=99999999999999999999-") << qint64(1000) << whole << qint64(0)
                                 << qint64(1000) << QByteArray();
}

void TestRemoteHelpers::byteRange()
{
    QFETCH(QByteArray, header);
    QFETCH(qint64, size);
    QFETCH(int, kind);
    QFETCH(qint64, first);
    QFETCH(qint64, length);
    QFETCH(QByteArray, contentRange);

    const ByteRange::Selection selection = ByteRange::select(header, size);
    QCOMPARE(int(selection.kind), kind);
    QCOMPARE(selection.first, first);
    QCOMPARE(selection.length, length);
    if (!contentRange.isEmpty())
        QCOMPARE(ByteRange::contentRange(selection, size), contentRange);
}

void TestRemoteHelpers::hostCheck_data()
{
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<bool>("allowed");

    QTest::newRow("LAN address with port") << QByteArray("192.168.1.20:8080") << true;
    QTest::newRow("loopback") << QByteArray("127.0.0.1:8081") << true;
    QTest::newRow("address without port") << QByteArray("10.0.0.7") << true;
    QTest::newRow("localhost") << QByteArray("localhost:8080") << true;
    QTest::newRow("LOCALHOST") << QByteArray("LOCALHOST") << true;
    QTest::newRow("localhost with trailing dot") << QByteArray("localhost.:8080") << true;
    QTest::newRow("own host name") << QByteArray("studio-pc:8080") << true;
    QTest::newRow("own host name, mDNS") << QByteArray("Studio-PC.local:8080") << true;
    QTest::newRow("IPv6 loopback") << QByteArray("[::1]:8080") << true;
    QTest::newRow("no Host header") << QByteArray() << true;
    QTest::newRow("rebinding domain") << QByteArray("attacker.example:8080") << false;
    QTest::newRow("localhost subdomain") << QByteArray("localhost.attacker.example") << false;
    QTest::newRow("empty Host") << QByteArray("") << false;
    QTest::newRow("port not a number") << QByteArray("127.0.0.1:80a") << false;
    QTest::newRow("two ports") << QByteArray("127.0.0.1:80:81") << false;
    QTest::newRow("unclosed bracket") << QByteArray("[::1:8080") << false;
    QTest::newRow("IPv6 without brackets") << QByteArray("::1") << false;
}

void TestRemoteHelpers::hostCheck()
{
    QFETCH(QByteArray, host);
    QFETCH(bool, allowed);
    const QStringList names{QStringLiteral("studio-pc"), QStringLiteral("studio-pc.local")};
    QCOMPARE(HostCheck::isAllowedHost(host, names), allowed);
}

void TestRemoteHelpers::originCheck_data()
{
    QTest::addColumn<QByteArray>("origin");
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<bool>("same");

    QTest::newRow("no Origin (tools, same-origin GET)") << QByteArray() << QByteArray("192.168.1.20:8080") << true;
    QTest::newRow("the page itself") << QByteArray("http://192.168.1.20:8080") << QByteArray("192.168.1.20:8080") << true;
    QTest::newRow("case differs") << QByteArray("http://LocalHost:8080") << QByteArray("localhost:8080") << true;
    QTest::newRow("default port written out") << QByteArray("http://127.0.0.1:80") << QByteArray("127.0.0.1") << true;
    QTest::newRow("other site") << QByteArray("http://evil.example") << QByteArray("192.168.1.20:8080") << false;
    QTest::newRow("other port") << QByteArray("http://192.168.1.20:8081") << QByteArray("192.168.1.20:8080") << false;
    QTest::newRow("https") << QByteArray("https://192.168.1.20:8080") << QByteArray("192.168.1.20:8080") << false;
    QTest::newRow("null (sandboxed frame, file)") << QByteArray("null") << QByteArray("127.0.0.1:8080") << false;
    QTest::newRow("Origin without Host") << QByteArray("http://127.0.0.1:8080") << QByteArray() << false;
    QTest::newRow("origin with a path") << QByteArray("http://127.0.0.1:8080/x") << QByteArray("127.0.0.1:8080") << false;
}

void TestRemoteHelpers::originCheck()
{
    QFETCH(QByteArray, origin);
    QFETCH(QByteArray, host);
    QFETCH(bool, same);
    QCOMPARE(HostCheck::isSameOrigin(origin, host), same);
}

void TestRemoteHelpers::wrongKeyWindows_data()
{
    // Wrong keys from one address at the given seconds; then whether it is refused at `at`.
    QTest::addColumn<QList<int>>("wrongAt");
    QTest::addColumn<int>("at");
    QTest::addColumn<bool>("blocked");

    const QList<int> tenInAMinute{0, 5, 10, 15, 20, 25, 30, 35, 40, 59};
    QTest::newRow("nine wrong") << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8} << 9 << false;
    QTest::newRow("ten within a minute") << tenInAMinute << 60 << true;
    QTest::newRow("refused for a minute") << tenInAMinute << 118 << true;
    QTest::newRow("back after the minute") << tenInAMinute << 119 << false;
    QTest::newRow("ten spread over more than a minute") << QList<int>{0, 7, 14, 21, 28, 35, 42, 49, 56, 63} << 64 << false;
    // Guesses while refused do not prolong it.
    QTest::newRow("guessing on while refused") << tenInAMinute + QList<int>{70, 80, 90, 100, 110, 118} << 119 << false;
}

void TestRemoteHelpers::wrongKeyWindows()
{
    QFETCH(QList<int>, wrongAt);
    QFETCH(int, at);
    QFETCH(bool, blocked);

    WrongKeyLimiter limiter;
    const QString address = QStringLiteral("192.168.1.50");
    for (const int second : wrongAt)
        limiter.recordWrongKey(address, qint64(second) * 1000);
    QCOMPARE(limiter.isBlocked(address, qint64(at) * 1000), blocked);
    QVERIFY(!limiter.isBlocked(QStringLiteral("192.168.1.51"), qint64(at) * 1000));
}

void TestRemoteHelpers::wrongKeyTableStaysSmall()
{
    WrongKeyLimiter limiter;
    const QString guesser = QStringLiteral("10.0.0.1");
    for (int i = 0; i < WrongKeyLimiter::MaxWrongKeys; ++i)
        limiter.recordWrongKey(guesser, i);
    QVERIFY(limiter.isBlocked(guesser, 100));
    // A flood of one wrong key each from many addresses: bounded, and the block survives.
    for (int i = 0; i < 5000; ++i)
        limiter.recordWrongKey(QStringLiteral("10.1.%1.%2").arg(i / 250).arg(i % 250), 1000 + i);
    QVERIFY(limiter.trackedAddressCount() <= WrongKeyLimiter::MaxTrackedAddresses);
    QVERIFY(limiter.isBlocked(guesser, 7000));
}

void TestRemoteHelpers::localAddressChoice_data()
{
    QTest::addColumn<QList<NetworkInterfaceEntry>>("interfaces");
    QTest::addColumn<QString>("expected");

    const auto up = [](QStringList addresses, bool loopback = false) {
        return NetworkInterfaceEntry{true, true, loopback, std::move(addresses)};
    };
    QTest::newRow("nothing but loopback") << QList<NetworkInterfaceEntry>{up({"127.0.0.1"}, true)} << "127.0.0.1";
    QTest::newRow("only 172.20") << QList<NetworkInterfaceEntry>{up({"127.0.0.1"}, true), up({"172.20.1.5"})}
                                 << "172.20.1.5";
    QTest::newRow("192.168 after 172.20") << QList<NetworkInterfaceEntry>{up({"172.20.1.5"}), up({"192.168.1.20"})}
                                          << "192.168.1.20";
    QTest::newRow("192.168 before 172.20") << QList<NetworkInterfaceEntry>{up({"192.168.1.20"}), up({"172.20.1.5"})}
                                           << "192.168.1.20";
    QTest::newRow("10. on the same interface") << QList<NetworkInterfaceEntry>{up({"172.16.0.2", "10.1.2.3"})}
                                               << "10.1.2.3";
    QTest::newRow("first other address stays") << QList<NetworkInterfaceEntry>{up({"172.20.1.5"}), up({"100.64.0.9"})}
                                               << "172.20.1.5";
    QTest::newRow("interface down")
        << QList<NetworkInterfaceEntry>{NetworkInterfaceEntry{false, false, false, {"192.168.1.20"}}, up({"172.20.1.5"})}
        << "172.20.1.5";
    QTest::newRow("up but not running")
        << QList<NetworkInterfaceEntry>{NetworkInterfaceEntry{true, false, false, {"10.0.0.1"}}} << "127.0.0.1";
    QTest::newRow("loopback interface with a LAN-looking address")
        << QList<NetworkInterfaceEntry>{up({"192.168.9.9"}, true)} << "127.0.0.1";
}

void TestRemoteHelpers::localAddressChoice()
{
    QFETCH(QList<NetworkInterfaceEntry>, interfaces);
    QFETCH(QString, expected);
    QCOMPARE(LocalAddress::choose(interfaces), expected);
}

void TestRemoteHelpers::qrCodeReadsBackToTheUrl_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<int>("side");

    // 25 characters: version 2 at level MEDIUM, 25 modules, 25 * 8 + 32 pixels.
    QTest::newRow("LAN address") << "http://192.168.1.20:8080/" << 232;
    QTest::newRow("fall-back port") << "http://10.0.0.7:8081/" << -1;
    QTest::newRow("loopback") << "http://127.0.0.1:8080/" << -1;
    // The phone's link with its access key: 62 characters, version 4 (33 modules).
    QTest::newRow("with the access key") << "http://192.168.1.20:8080/?key=0123456789abcdef0123456789abcdef" << 33 * 8 + 32;
}

void TestRemoteHelpers::qrCodeReadsBackToTheUrl()
{
    QFETCH(QString, url);
    QFETCH(int, side);

    const QString dataUrl = QrCodeImage::dataUrl(url);
    const QString prefix = QStringLiteral("data:image/png;base64,");
    QVERIFY(dataUrl.startsWith(prefix));
    const QByteArray png = QByteArray::fromBase64(dataUrl.mid(prefix.size()).toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    QVERIFY(!png.isEmpty());
    QImage image;
    QVERIFY(image.loadFromData(png, "PNG"));
    QCOMPARE(image.width(), image.height());
    QCOMPARE((image.width() - 2 * QrCodeImage::QuietZonePixels) % QrCodeImage::ModulePixels, 0);
    if (side > 0)
        QCOMPARE(image.width(), side);
    // The quiet zone is white, the finder pattern's corner black.
    QCOMPARE(image.pixel(0, 0), qRgb(255, 255, 255));
    QCOMPARE(image.pixel(QrCodeImage::QuietZonePixels, QrCodeImage::QuietZonePixels), qRgb(0, 0, 0));

    const QString zbarimg = QStandardPaths::findExecutable(QStringLiteral("zbarimg"));
#ifdef Q_OS_WIN
    // The Windows runner has no zbar; the read-back runs on Linux.
    if (zbarimg.isEmpty())
        QSKIP("zbarimg not found: the QR code was drawn but not read back");
#endif
    QVERIFY2(!zbarimg.isEmpty(), "zbarimg not found: run scripts/install-deps.sh --tests (zbar-tools)");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("qr.png"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(png);
    file.close();
    QProcess reader;
    reader.start(zbarimg, {QStringLiteral("--quiet"), QStringLiteral("--raw"), path});
    QVERIFY(reader.waitForFinished(30'000));
    QCOMPARE(reader.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(reader.readAllStandardOutput()).trimmed(), url);
}

void TestRemoteHelpers::qrCodeOfTextTooLongFails()
{
    QString error;
    QCOMPARE(QrCodeImage::dataUrl(QString(5000, QLatin1Char('x')), &error), QString());
    QVERIFY(!error.isEmpty());
}

void TestRemoteHelpers::previewFrameSize_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<qsizetype>("bytes");
    QTest::addColumn<QSize>("expected");

    QTest::newRow("1080p") << 1920 << 1080 << qsizetype(1920 * 1080 * 4) << QSize(480, 270);
    QTest::newRow("VGA") << 640 << 480 << qsizetype(640 * 480 * 4) << QSize(360, 270);
    QTest::newRow("portrait") << 1080 << 1920 << qsizetype(1080 * 1920 * 4) << QSize(151, 270);
    QTest::newRow("smaller than the box") << 320 << 180 << qsizetype(320 * 180 * 4) << QSize(480, 270);
    QTest::newRow("buffer one byte short") << 640 << 480 << qsizetype(640 * 480 * 4 - 1) << QSize();
    QTest::newRow("no size") << 0 << 0 << qsizetype(0) << QSize();
}

void TestRemoteHelpers::previewFrameSize()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(qsizetype, bytes);
    QFETCH(QSize, expected);

    QByteArray rgba(bytes, char(0x80));
    const QByteArray jpeg = PreviewStream::encodeFrame(rgba, width, height);
    if (!expected.isValid()) {
        QVERIFY(jpeg.isEmpty());
        return;
    }
    QImage decoded;
    QVERIFY(decoded.loadFromData(jpeg, "JPEG"));
    QCOMPARE(decoded.size(), expected);
}

QTEST_GUILESS_MAIN(TestRemoteHelpers)
#include "tst_remotehelpers.moc"
