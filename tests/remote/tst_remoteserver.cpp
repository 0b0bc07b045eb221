// The remote-control server over real loopback sockets: the exact bytes of its answers, what
// each route does to the manager, requests that arrive in pieces or break the limits, other
// sites, the access key and its guessers, connection limits (also from several loopback
// addresses, 127.0.0.x), running out of descriptors, and the preview stream with fast, slow
// and dead clients.
// Longer than our other files: every case needs the same live server and sockets, and the
// cases read best beside the route table they exercise.
#include "app/ApplicationManager.h"
#include "capture/AudioCapture.h"
#include "capture/CameraCapture.h"
#include "models/InputChannelsModel.h"
#include "remote/AccessKey.h"
#include "remote/ConnectionLimits.h"
#include "remote/HttpResponse.h"
#include "remote/PreviewStream.h"
#include "remote/RemoteControlServer.h"
#include "remote/SocketAcceptor.h"
#include "ManagerTestCase.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <SDL.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

namespace {

QString testPatternKey(int n)
{
    for (const DeviceInfo &device : CameraCapture::listDevices()) {
        if (device.friendlyName == QStringLiteral("Test Pattern %1").arg(n))
            return device.devicePath;
    }
    return QString();
}

QByteArray numberText(double value)
{
    return QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}

// The parts of a received stream after its head: each part's JPEG bytes.
QList<QByteArray> streamParts(const QByteArray &received)
{
    QList<QByteArray> parts;
    qsizetype at = received.indexOf("\r\n\r\n");
    if (at < 0)
        return parts;
    at += 4;
    while (true) {
        const QByteArray prefix("--frame\r\nContent-Type: image/jpeg\r\nContent-Length: ");
        if (received.mid(at, prefix.size()) != prefix)
            break;
        const qsizetype lengthEnd = received.indexOf("\r\n\r\n", at + prefix.size());
        if (lengthEnd < 0)
            break;
        const qsizetype length = received.mid(at + prefix.size(), lengthEnd - at - prefix.size()).toLongLong();
        const qsizetype dataStart = lengthEnd + 4;
        if (received.size() < dataStart + length + 2)
            break;
        if (received.mid(dataStart + length, 2) != "\r\n")
            break;
        parts.append(received.mid(dataStart, length));
        at = dataStart + length + 2;
    }
    return parts;
}

} // namespace

class TestRemoteServer : public ManagerTestCase
{
    Q_OBJECT

public:
    TestRemoteServer() : ManagerTestCase(QStringLiteral("RemoteTest")) {}

private slots:
    void init();
    void cleanup();

    void statusAnswerIsExact();
    void readOnlyRoutes_data();
    void readOnlyRoutes();
    void switchSource_data();
    void switchSource();
    void addSource_data();
    void addSource();
    void removeSource_data();
    void removeSource();
    void recordToggles();
    void methods_data();
    void methods();
    void requestsInPiecesAreReadWhole_data();
    void requestsInPiecesAreReadWhole();
    void refusals_data();
    void refusals();
    void otherSitesAreRefused_data();
    void otherSitesAreRefused();
    void expectContinue();
    void accessKey_data();
    void accessKey();
    void wrongKeysAreLimited();
    void newKeyAndTheSwitch();
    void idleConnectionsAreClosed_data();
    void idleConnectionsAreClosed();
    void connectionLimits();
    void fullHouseIsServedAtOnce();
    void outOfDescriptorsRestsInsteadOfSpinning();
    void streamWithoutPictureSendsOnlyItsHead();
    void streamClientsGetTheSameParts();
    void streamRepeatsTheLastPictureWithoutCamera();
    void streamClientThatNeverReads();
    void streamViewerLimit();
    void stopClosesStreams();
    void portFallsBackOnce();
    void bothPortsBusyLeavesItStopped();
    void networkInfoAndQrCode();

private:
    // With the access key in its header; unkeyedRequest() without it.
    QByteArray request(const QByteArray &method, const QByteArray &target, const QByteArray &body = QByteArray(),
                       const QByteArray &extraHeaders = QByteArray()) const;
    QByteArray unkeyedRequest(const QByteArray &method, const QByteArray &target,
                              const QByteArray &extraHeaders = QByteArray()) const;
    // Sends the pieces (pausing between them) and reads until the server closes.
    QByteArray exchange(const QList<QByteArray> &pieces, int pauseMs = 0, int timeoutMs = 10'000,
                        const QHostAddress &from = QHostAddress());
    QByteArray exchange(const QByteArray &raw) { return exchange(QList<QByteArray>{raw}); }
    QByteArray exchangeFrom(const QHostAddress &from, const QByteArray &raw) { return exchange({raw}, 0, 10'000, from); }
    // A connected client from a loopback address of its choice (127.0.0.x).
    std::unique_ptr<QTcpSocket> connectFrom(const QHostAddress &from);
    QJsonObject jsonBodyOf(const QByteArray &response) const;
    void putPatternOn(int channel, int pattern);

    RemoteControlServer *m_server = nullptr;
};

void TestRemoteServer::init()
{
    ManagerTestCase::init();
    m_server = new RemoteControlServer(m_manager);
    // The key settings persist in this run's store; every test starts with the key required.
    m_server->setRequireAccessKey(true);
    m_server->startServer(0);
    QVERIFY(m_server->isRunning());
}

void TestRemoteServer::cleanup()
{
    delete m_server;
    ManagerTestCase::cleanup();
    // Sockets scheduled for deletion go now, before the next test's server.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QByteArray TestRemoteServer::request(const QByteArray &method, const QByteArray &target, const QByteArray &body,
                                     const QByteArray &extraHeaders) const
{
    QByteArray raw = method + ' ' + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(m_server->port()) + "\r\n";
    raw += "X-Vireon-Key: " + m_server->accessKey().toLatin1() + "\r\n";
    raw += extraHeaders;
    if (!body.isEmpty())
        raw += "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
    return raw + "\r\n" + body;
}

QByteArray TestRemoteServer::unkeyedRequest(const QByteArray &method, const QByteArray &target,
                                            const QByteArray &extraHeaders) const
{
    return method + ' ' + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(m_server->port()) + "\r\n"
           + extraHeaders + "\r\n";
}

std::unique_ptr<QTcpSocket> TestRemoteServer::connectFrom(const QHostAddress &from)
{
    auto client = std::make_unique<QTcpSocket>();
    if (!from.isNull())
        client->bind(from);
    client->connectToHost(QHostAddress::LocalHost, quint16(m_server->port()));
    return client;
}

QByteArray TestRemoteServer::exchange(const QList<QByteArray> &pieces, int pauseMs, int timeoutMs, const QHostAddress &from)
{
    const std::unique_ptr<QTcpSocket> connection = connectFrom(from);
    QTcpSocket &client = *connection;
    if (!QTest::qWaitFor([&] { return client.state() == QAbstractSocket::ConnectedState; }, 5000))
        return "<no connection>";
    for (const QByteArray &piece : pieces) {
        client.write(piece);
        client.flush();
        if (pauseMs > 0)
            QTest::qWait(pauseMs);
    }
    QByteArray reply;
    const bool closed = QTest::qWaitFor([&] {
        reply += client.readAll();
        return client.state() == QAbstractSocket::UnconnectedState;
    }, timeoutMs);
    reply += client.readAll();
    return closed ? reply : reply + "<still open>";
}

QJsonObject TestRemoteServer::jsonBodyOf(const QByteArray &response) const
{
    const qsizetype end = response.indexOf("\r\n\r\n");
    if (end < 0)
        return QJsonObject();
    return QJsonDocument::fromJson(response.mid(end + 4)).object();
}

void TestRemoteServer::putPatternOn(int channel, int pattern)
{
    const QString key = testPatternKey(pattern);
    QVERIFY(!key.isEmpty());
    m_manager->setCameraForChannel(channel, key, 1920, 1080, 30.0f);
    QCOMPARE(m_manager->getCameraLinkForChannel(channel), key);
}

void TestRemoteServer::statusAnswerIsExact()
{
    putPatternOn(2, 2);
    m_manager->setActiveSourceId(2);
    m_manager->setAudioInputForChannel(2, QStringLiteral("Test Interface \u2014 In 3"));
    const QByteArray reply = exchange(request("GET", "/api/status"));

    const auto channel = [this](int id, bool active, const QByteArray &link, const QByteArray &name) {
        // A running camera says how it runs; a channel without one is off. The card names the
        // microphone the channel hears.
        const QByteArray format = active ? QStringLiteral("1920\u00d71080 I420 30 fps").toUtf8() : QByteArray();
        const QByteArray audio = active ? QStringLiteral("\"audioInput\":\"Test Interface \u2014 In 3\",\"audioState\":\"live\"").toUtf8()
                                        : QByteArray("\"audioInput\":\"None\",\"audioState\":\"none\"");
        return "{\"active\":" + QByteArray(active ? "true" : "false") + "," + audio + ",\"colorRange\":\"Default\",\"deviceLink\":\""
               + link + "\",\"framerate\":30,\"height\":1080,\"id\":" + QByteArray::number(id) + ",\"name\":\"" + name
               + "\",\"sourceFormat\":\"" + format + "\",\"sourceState\":\"" + (active ? "live" : "off")
               + "\",\"trouble\":\""
               + m_manager->getCameraHealthForChannel(id).value(QStringLiteral("trouble")).toString().toUtf8()
               + "\",\"width\":1920}";
    };
    const QByteArray body =
        "{\"activeSourceId\":2,\"activeVideoCount\":1,\"channels\":["
        + channel(1, false, "", "Source 1") + ',' + channel(2, true, testPatternKey(2).toUtf8(), "Test Pattern 2") + ','
        + channel(3, false, "", "Source 3") + ',' + channel(4, false, "", "Source 4")
        + "],\"countdownSeconds\":" + QByteArray::number(m_manager->countdownSeconds())
        + ",\"currentFps\":" + numberText(m_manager->currentFps())
        + ",\"fpsLevel\":\"" + m_manager->fpsLevel().toUtf8() + '"'
        + ",\"isArming\":false,\"isRecording\":false,\"lastMarker\":\"\",\"masterVolume\":" + numberText(double(m_manager->masterAudioVolume()))
        // The rate the next take records at, as a number and as people write it.
        + ",\"recordingFps\":30,\"recordingFpsText\":\"30\""
        + ",\"selectedGlobalFps\":" + numberText(m_manager->selectedGlobalFps())
        + ",\"sessionName\":\"RemoteTest\",\"timecode\":\"" + m_manager->timecode().toUtf8()
        + "\",\"warningText\":\"\"}";
    const QByteArray expected = "HTTP/1.1 200 OK\r\n"
                                "Content-Type: application/json; charset=utf-8\r\n"
                                "Access-Control-Allow-Origin: *\r\n"
                                "Access-Control-Allow-Methods: GET, POST, OPTIONS\r\n"
                                "Content-Length: " + QByteArray::number(body.size()) + "\r\n"
                                "Connection: close\r\n"
                                "\r\n" + body;
    QCOMPARE(reply, expected);
}

void TestRemoteServer::readOnlyRoutes_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("statusLine");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("bodyStart");

    QTest::newRow("page") << QByteArray("/") << QByteArray("HTTP/1.1 200 OK") << QByteArray("text/html; charset=utf-8")
                          << QByteArray("<!DOCTYPE html>");
    QTest::newRow("index.html") << QByteArray("/index.html") << QByteArray("HTTP/1.1 200 OK")
                                << QByteArray("text/html; charset=utf-8") << QByteArray("<!DOCTYPE html>");
    QTest::newRow("page style") << QByteArray("/remote.css") << QByteArray("HTTP/1.1 200 OK")
                                << QByteArray("text/css; charset=utf-8") << QByteArray("/*");
    QTest::newRow("page script") << QByteArray("/remote.js") << QByteArray("HTTP/1.1 200 OK")
                                 << QByteArray("text/javascript; charset=utf-8") << QByteArray("//");
    QTest::newRow("sources") << QByteArray("/api/sources") << QByteArray("HTTP/1.1 200 OK")
                             << QByteArray("application/json; charset=utf-8") << QByteArray("{\"activeSourceId\":");
    QTest::newRow("status with cache buster") << QByteArray("/api/status?t=123") << QByteArray("HTTP/1.1 200 OK")
                                              << QByteArray("application/json; charset=utf-8")
                                              << QByteArray("{\"activeSourceId\":");
    QTest::newRow("devices") << QByteArray("/api/devices") << QByteArray("HTTP/1.1 200 OK")
                             << QByteArray("application/json; charset=utf-8") << QByteArray("{\"audioDevices\":");
    QTest::newRow("devices_info.json") << QByteArray("/devices_info.json") << QByteArray("HTTP/1.1 200 OK")
                                       << QByteArray("application/json; charset=utf-8") << QByteArray("{\"audioDevices\":");
    QTest::newRow("paths are case-sensitive") << QByteArray("/API/STATUS") << QByteArray("HTTP/1.1 404 Not Found")
                                              << QByteArray("text/plain") << QByteArray("404 Not Found");
    QTest::newRow("unknown") << QByteArray("/favicon.ico") << QByteArray("HTTP/1.1 404 Not Found")
                             << QByteArray("text/plain") << QByteArray("404 Not Found");
}

void TestRemoteServer::readOnlyRoutes()
{
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, statusLine);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, bodyStart);

    const QByteArray reply = exchange(request("GET", target));
    QVERIFY2(reply.startsWith(statusLine + "\r\nContent-Type: " + contentType + "\r\n"), reply.left(200).constData());
    const qsizetype end = reply.indexOf("\r\n\r\n");
    const QByteArray body = reply.mid(end + 4);
    QVERIFY(body.startsWith(bodyStart));
    QVERIFY(reply.left(end).contains("\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n"));
    QVERIFY(reply.left(end).endsWith("\r\nConnection: close"));
    if (target.startsWith("/api/devices") || target == "/devices_info.json")
        QCOMPARE(body, m_manager->devicesReport());
    if (statusLine.contains("404"))
        QCOMPARE(reply, HttpResponse::notFound());
    if (contentType.startsWith("text/html"))
        QVERIFY(body.contains("<title>Vireon Studio - Remote</title>"));
    // The page's own files need no key: the browser fetches them before the page knows it.
    if (target.startsWith("/remote."))
        QCOMPARE(exchange(unkeyedRequest("GET", target)), reply);
}

void TestRemoteServer::switchSource_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("expected");

    // The programme starts on channel 3 in each row.
    QTest::newRow("query") << QByteArray("/api/switch?id=2") << QByteArray() << 2;
    QTest::newRow("json body") << QByteArray("/api/switch") << QByteArray("{\"id\":4}") << 4;
    QTest::newRow("query wins over body") << QByteArray("/api/switch?id=1") << QByteArray("{\"id\":4}") << 1;
    QTest::newRow("id 0") << QByteArray("/api/switch?id=0") << QByteArray() << 3;
    QTest::newRow("id 5") << QByteArray("/api/switch?id=5") << QByteArray() << 3;
    QTest::newRow("negative") << QByteArray("/api/switch?id=-1") << QByteArray() << 3;
    QTest::newRow("not a number") << QByteArray("/api/switch?id=two") << QByteArray() << 3;
    QTest::newRow("huge") << QByteArray("/api/switch?id=99999999999999999999") << QByteArray() << 3;
    QTest::newRow("no id at all") << QByteArray("/api/switch") << QByteArray() << 3;
    QTest::newRow("body not JSON") << QByteArray("/api/switch") << QByteArray("id=2") << 3;
    QTest::newRow("body a JSON array") << QByteArray("/api/switch") << QByteArray("[2]") << 3;
    QTest::newRow("body id out of range") << QByteArray("/api/switch") << QByteArray("{\"id\":9}") << 3;
    // A body object whose id is not a number means channel 1.
    QTest::newRow("body id a string") << QByteArray("/api/switch") << QByteArray("{\"id\":\"x\"}") << 1;
}

void TestRemoteServer::switchSource()
{
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, body);
    QFETCH(int, expected);

    m_manager->setActiveSourceId(3);
    const QByteArray reply = exchange(request("POST", target, body));
    QVERIFY2(reply.startsWith("HTTP/1.1 200 OK\r\n"), reply.constData());
    QCOMPARE(m_manager->activeSourceId(), expected);
    QCOMPARE(jsonBodyOf(reply).value(QStringLiteral("activeSourceId")).toInt(), expected);
}

void TestRemoteServer::addSource_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("answeredChannel");
    QTest::addColumn<int>("changedChannel"); // 0: nothing changes
    QTest::addColumn<int>("pattern");
    QTest::addColumn<QString>("modelName");

    const QByteArray link2 = testPatternKey(2).toUtf8();
    const QByteArray link3 = testPatternKey(3).toUtf8();
    QTest::newRow("page's payload")
        << QByteArray("/api/add_source")
        << "{\"channelId\":2,\"deviceLink\":\"" + link2 + "\",\"deviceName\":\"Test Pattern 2\",\"width\":1920,"
           "\"height\":1080,\"framerate\":30,\"colorRange\":\"Default\",\"channelName\":\"Wide\",\"formatName\":\"I420\"}"
        << 2 << 2 << 2 << "Wide";
    QTest::newRow("query overrides body")
        << "/api/add_source?channelId=3&deviceLink=" + QByteArray(link3).replace(":", "%3A")
        << "{\"channelId\":2,\"deviceLink\":\"" + link2 + "\"}" << 3 << 3 << 3 << "Source 3";
    QTest::newRow("wrong types fall back")
        << QByteArray("/api/add_source")
        << "{\"channelId\":4,\"deviceLink\":\"" + link2 + "\",\"width\":\"wide\",\"height\":null,\"framerate\":\"fast\","
           "\"colorRange\":7,\"channelName\":12}"
        << 4 << 4 << 2 << "Source 4";
    QTest::newRow("channel out of range") << QByteArray("/api/add_source?channelId=7") << QByteArray() << 7 << 0 << 0
                                          << QString();
    QTest::newRow("query channel not a number") << QByteArray("/api/add_source?channelId=x") << QByteArray() << 0 << 0
                                                << 0 << QString();
    QTest::newRow("channel id a fraction in the body")
        << QByteArray("/api/add_source") << "{\"channelId\":0.5,\"deviceLink\":\"" + link2 + "\"}" << 1 << 1 << 2
        << "Source 1";
}

void TestRemoteServer::addSource()
{
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, body);
    QFETCH(int, answeredChannel);
    QFETCH(int, changedChannel);
    QFETCH(int, pattern);
    QFETCH(QString, modelName);

    const QByteArray reply = exchange(request("POST", target, body));
    const QByteArray expectedBody = "{\"channelId\":" + QByteArray::number(answeredChannel) + ",\"status\":\"ok\"}";
    QVERIFY2(reply.endsWith("\r\n\r\n" + expectedBody), reply.constData());
    for (int id = 1; id <= 4; ++id) {
        if (id == changedChannel) {
            QCOMPARE(m_manager->getCameraLinkForChannel(id), testPatternKey(pattern));
            QCOMPARE(m_manager->getCameraNameForChannel(id), QStringLiteral("Test Pattern %1").arg(pattern));
            QCOMPARE(m_model->getChannelName(id), modelName);
            QVERIFY(m_model->hasActiveVideo(id));
        } else {
            QVERIFY(m_manager->getCameraLinkForChannel(id).isEmpty());
        }
    }
    if (changedChannel != 0) {
        QCOMPARE(m_manager->getCameraWidthForChannel(changedChannel), 1920);
        QCOMPARE(m_manager->getCameraHeightForChannel(changedChannel), 1080);
        QCOMPARE(m_manager->getCameraFramerateForChannel(changedChannel), 30.0f);
        QCOMPARE(m_manager->getCameraColorRangeForChannel(changedChannel), QStringLiteral("Default"));
    }
}

void TestRemoteServer::removeSource_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("removed"); // 0: channels 1 and 2 keep their cameras

    QTest::newRow("query") << QByteArray("/api/remove_source?channelId=1") << QByteArray() << 1;
    QTest::newRow("json body") << QByteArray("/api/remove_source") << QByteArray("{\"channelId\":2}") << 2;
    QTest::newRow("query out of range, body used") << QByteArray("/api/remove_source?channelId=0")
                                                   << QByteArray("{\"channelId\":2}") << 2;
    QTest::newRow("query out of range") << QByteArray("/api/remove_source?channelId=9") << QByteArray() << 0;
    QTest::newRow("body not JSON") << QByteArray("/api/remove_source") << QByteArray("channelId=1") << 0;
    QTest::newRow("body without id") << QByteArray("/api/remove_source") << QByteArray("{}") << 0;
}

void TestRemoteServer::removeSource()
{
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, body);
    QFETCH(int, removed);

    putPatternOn(1, 1);
    putPatternOn(2, 2);
    // Channel 1 is the programme: removed from the phone, it moves to channel 2, as in the window.
    m_manager->setActiveSourceId(1);
    const QByteArray reply = exchange(request("POST", target, body));
    QVERIFY2(reply.endsWith("\r\n\r\n{\"status\":\"ok\"}"), reply.constData());
    QCOMPARE(m_manager->getCameraLinkForChannel(1).isEmpty(), removed == 1);
    QCOMPARE(m_manager->getCameraLinkForChannel(2).isEmpty(), removed == 2);
    QCOMPARE(m_manager->activeSourceId(), removed == 1 ? 2 : 1);
    QCOMPARE(m_model->hasActiveVideo(removed == 0 ? 1 : removed), removed == 0);

    // A microphone comes off a channel the same way.
    m_manager->setAudioInputForChannel(1, AudioCapture::testToneName());
    m_manager->setAudioInputForChannel(2, AudioCapture::testToneName());
    QByteArray audioTarget = target;
    audioTarget.replace("remove_source", "remove_audio");
    QVERIFY(exchange(request("POST", audioTarget, body)).endsWith("\r\n\r\n{\"status\":\"ok\"}"));
    for (int id : {1, 2})
        QCOMPARE(m_manager->getChannelAudioStateForChannel(id), removed == id ? "none" : "live");
    QCOMPARE(m_manager->getChannelAudioInput(removed == 0 ? 1 : removed), removed == 0 ? AudioCapture::testToneName() : "None");
}

void TestRemoteServer::recordToggles()
{
    putPatternOn(1, 1);
    // A marker needs a take.
    QVERIFY(exchange(request("POST", "/api/marker")).startsWith("HTTP/1.1 409 Conflict"));
    const QByteArray started = exchange(request("POST", "/api/record"));
    QVERIFY(m_manager->isRecording());
    QCOMPARE(jsonBodyOf(started).value(QStringLiteral("isRecording")).toBool(), true);
    QTest::qWait(300);

    // Markers: named by the body or numbered, answered with their take time; never by GET,
    // never from a body that is no name.
    const QJsonObject named = jsonBodyOf(exchange(request("POST", "/api/marker", R"({"name": " Tom & <Jerry> \"Čačak\" "})")));
    QCOMPARE(named.value(QStringLiteral("name")).toString(), QStringLiteral("Tom & <Jerry> \"Čačak\""));
    QCOMPARE(named.value(QStringLiteral("number")).toInt(), 1);
    QVERIFY(named.value(QStringLiteral("takeMs")).toInteger() >= 300);
    QVERIFY(named.value(QStringLiteral("takeTime")).toString().startsWith(QStringLiteral("00:00:0")));
    QVERIFY(exchange(request("GET", "/api/marker")).startsWith("HTTP/1.1 405"));
    QVERIFY(exchange(request("POST", "/api/marker", R"({"name": 3})")).startsWith("HTTP/1.1 400"));
    QVERIFY(exchange(request("POST", "/api/marker", "[1]")).startsWith("HTTP/1.1 400"));
    QCOMPARE(jsonBodyOf(exchange(request("POST", "/api/marker"))).value(QStringLiteral("name")).toString(), QStringLiteral("Marker 2"));
    QVERIFY(jsonBodyOf(exchange(request("GET", "/api/status"))).value(QStringLiteral("lastMarker")).toString().startsWith(QStringLiteral("Marker 2 at 00:00:0")));
    QCOMPARE(m_manager->takeMarkers().size(), 2);

    const QByteArray stopped = exchange(request("POST", "/api/record"));
    QVERIFY(!m_manager->isRecording());
    QCOMPARE(jsonBodyOf(stopped).value(QStringLiteral("isRecording")).toBool(), false);
    QVERIFY(m_manager->lastRecordingError().isEmpty());
    QVERIFY(QFileInfo(m_manager->masterWavPath()).size() > 44);

    // A take that cannot start: the phone reads why, in the interface language, as the main
    // window's banner says it.
    QVERIFY(QDir().mkpath(m_manager->recordingPath()));
    QFile blocker(QDir(m_manager->recordingPath()).filePath(QStringLiteral("not-a-folder")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    m_manager->setRecordingPath(blocker.fileName());
    m_manager->setCurrentLanguage(QStringLiteral("SR"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Recording not started")));
    const QString warning = jsonBodyOf(exchange(request("POST", "/api/record"))).value(QStringLiteral("warningText")).toString();
    QVERIFY(!m_manager->isRecording());
    QVERIFY2(warning.startsWith(QStringLiteral("Snimanje nije počelo")) && warning.contains(QStringLiteral("not-a-folder")),
             qPrintable(warning));
    m_manager->dismissRecordingError();
    QCOMPARE(jsonBodyOf(exchange(request("GET", "/api/status"))).value(QStringLiteral("warningText")).toString(), QString());
}

void TestRemoteServer::methods_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("statusLine");
    QTest::addColumn<bool>("hasBody");
    QTest::addColumn<bool>("recording"); // after the request

    // Safe methods never act: a preflight or a link checker must not start a take.
    QTest::newRow("OPTIONS record") << QByteArray("OPTIONS") << QByteArray("/api/record")
                                    << QByteArray("HTTP/1.1 204 No Content") << false << false;
    QTest::newRow("OPTIONS unknown path") << QByteArray("OPTIONS") << QByteArray("/nowhere")
                                          << QByteArray("HTTP/1.1 404 Not Found") << true << false;
    QTest::newRow("HEAD status") << QByteArray("HEAD") << QByteArray("/api/status") << QByteArray("HTTP/1.1 200 OK")
                                 << false << false;
    QTest::newRow("HEAD page") << QByteArray("HEAD") << QByteArray("/") << QByteArray("HTTP/1.1 200 OK") << false
                               << false;
    QTest::newRow("HEAD record") << QByteArray("HEAD") << QByteArray("/api/record")
                                 << QByteArray("HTTP/1.1 405 Method Not Allowed") << true << false;
    QTest::newRow("GET record") << QByteArray("GET") << QByteArray("/api/record") << QByteArray("HTTP/1.1 200 OK")
                                << true << true;
    QTest::newRow("PUT record") << QByteArray("PUT") << QByteArray("/api/record")
                                << QByteArray("HTTP/1.1 405 Method Not Allowed") << true << false;
    QTest::newRow("lower-case get") << QByteArray("get") << QByteArray("/api/status")
                                    << QByteArray("HTTP/1.1 405 Method Not Allowed") << true << false;
}

void TestRemoteServer::methods()
{
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, statusLine);
    QFETCH(bool, hasBody);
    QFETCH(bool, recording);

    const QByteArray reply = exchange(request(method, target));
    QVERIFY2(reply.startsWith(statusLine + "\r\n"), reply.constData());
    const qsizetype end = reply.indexOf("\r\n\r\n");
    QVERIFY(end > 0);
    QCOMPARE(reply.size() > end + 4, hasBody);
    QCOMPARE(m_manager->isRecording(), recording);
    if (method == "HEAD" && statusLine.endsWith("200 OK")) {
        // The head of a HEAD is the head of the GET, Content-Length included.
        const QByteArray full = exchange(request("GET", target));
        QCOMPARE(reply, full.left(full.indexOf("\r\n\r\n") + 4));
    }
    if (method == "OPTIONS" && statusLine.contains("204"))
        QCOMPARE(reply, HttpResponse::preflight());
}

void TestRemoteServer::requestsInPiecesAreReadWhole_data()
{
    QTest::addColumn<int>("pieceCount");
    QTest::addColumn<int>("pauseMs");

    QTest::newRow("two segments") << 2 << 100;
    QTest::newRow("five segments") << 5 << 50;
    QTest::newRow("byte by byte") << 0 << 2;
}

void TestRemoteServer::requestsInPiecesAreReadWhole()
{
    QFETCH(int, pieceCount);
    QFETCH(int, pauseMs);

    m_manager->setActiveSourceId(1);
    const QByteArray raw = request("POST", "/api/switch", "{\"id\":4}");
    QList<QByteArray> pieces;
    const qsizetype step = pieceCount > 0 ? (raw.size() + pieceCount - 1) / pieceCount : 1;
    for (qsizetype at = 0; at < raw.size(); at += step)
        pieces.append(raw.mid(at, step));
    const QByteArray reply = exchange(pieces, pauseMs, 30'000);
    QVERIFY2(reply.startsWith("HTTP/1.1 200 OK\r\n"), reply.constData());
    QCOMPARE(m_manager->activeSourceId(), 4);
    // Exactly one answer.
    QCOMPARE(reply.count("HTTP/1.1"), 1);
}

void TestRemoteServer::refusals_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<int>("status");

    QTest::newRow("garbage request line") << QByteArray("HELLO\r\n\r\n") << 400;
    QTest::newRow("TLS hello") << QByteArray("\x16\x03\x01\x00\xa5\x01\x00\x00\xa1\x03\x03\r\n\r\n", 15) << 400;
    QTest::newRow("header block too large")
        << "GET /api/status HTTP/1.1\r\nX-Pad: " + QByteArray(20'000, 'a') + "\r\n\r\n" << 413;
    QTest::newRow("body too large")
        << "POST /api/switch HTTP/1.1\r\nContent-Length: " + QByteArray::number(2 * 1024 * 1024) + "\r\n\r\n{" << 413;
    QTest::newRow("chunked") << QByteArray("POST /api/record HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n") << 501;
}

void TestRemoteServer::refusals()
{
    QFETCH(QByteArray, raw);
    QFETCH(int, status);

    const QByteArray reply = exchange(raw);
    QCOMPARE(reply, HttpResponse::error(status));
    QVERIFY(!m_manager->isRecording());
    QTRY_COMPARE(m_server->pendingConnectionCount(), 0);
}

void TestRemoteServer::otherSitesAreRefused_data()
{
    QTest::addColumn<QByteArray>("headers");
    QTest::addColumn<bool>("refused");

    QTest::newRow("page's own origin") << QByteArray("Origin: http://127.0.0.1:%PORT%\r\n") << false;
    QTest::newRow("localhost host") << QByteArray("Host: localhost:%PORT%\r\n") << false;
    QTest::newRow("cross-site fetch") << QByteArray("Origin: http://evil.example\r\n") << true;
    QTest::newRow("rebinding host") << QByteArray("Host: evil.example:%PORT%\r\n") << true;
    QTest::newRow("origin on another port") << QByteArray("Origin: http://127.0.0.1:1\r\n") << true;
    QTest::newRow("null origin") << QByteArray("Origin: null\r\n") << true;
    // Browsers send no Origin with a picture or a link: their Fetch Metadata tells.
    QTest::newRow("picture on another site") << QByteArray("Sec-Fetch-Site: cross-site\r\nSec-Fetch-Mode: no-cors\r\n"
                                                           "Sec-Fetch-Dest: image\r\n") << true;
    QTest::newRow("picture on another port of this machine") << QByteArray("Sec-Fetch-Site: same-site\r\n") << true;
    QTest::newRow("marked, but no site given") << QByteArray("Sec-Fetch-Mode: navigate\r\n") << true;
    QTest::newRow("the page's own request") << QByteArray("Sec-Fetch-Site: same-origin\r\nSec-Fetch-Mode: cors\r\n") << false;
    QTest::newRow("typed or scanned by the user") << QByteArray("Sec-Fetch-Site: none\r\nSec-Fetch-Mode: navigate\r\n") << false;
}

void TestRemoteServer::otherSitesAreRefused()
{
    QFETCH(QByteArray, headers);
    QFETCH(bool, refused);

    headers.replace("%PORT%", QByteArray::number(m_server->port()));
    // The key does not open the door to another site: the right one goes with every row.
    QByteArray raw = "POST /api/record HTTP/1.1\r\nX-Vireon-Key: " + m_server->accessKey().toLatin1() + "\r\n";
    if (!headers.startsWith("Host:"))
        raw += "Host: 127.0.0.1:" + QByteArray::number(m_server->port()) + "\r\n";
    raw += headers + "\r\n";
    const QByteArray reply = exchange(raw);
    if (refused) {
        QCOMPARE(reply, HttpResponse::error(403));
        QVERIFY(!m_manager->isRecording());
    } else {
        QVERIFY2(reply.startsWith("HTTP/1.1 200 OK\r\n"), reply.constData());
        QVERIFY(m_manager->isRecording());
    }
}

void TestRemoteServer::accessKey_data()
{
    QTest::addColumn<bool>("keyRequired");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("target");  // %KEY%: the server's key
    QTest::addColumn<QByteArray>("headers"); // likewise
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("recording"); // after the request

    const auto row = [](const char *name, bool required, const char *method, const char *target, const char *headers,
                        int status, bool recording = false) {
        QTest::newRow(name) << required << QByteArray(method) << QByteArray(target) << QByteArray(headers) << status
                            << recording;
    };
    row("status without a key", true, "GET", "/api/status", "", 401);
    row("status, key in the header", true, "GET", "/api/status", "X-Vireon-Key: %KEY%\r\n", 200);
    row("status, key in the query", true, "GET", "/api/status?t=1&key=%KEY%", "", 200);
    row("wrong key", true, "GET", "/api/status", "X-Vireon-Key: 00000000000000000000000000000000\r\n", 401);
    row("key in capitals", true, "GET", "/api/status", "X-Vireon-Key: %UPPERKEY%\r\n", 401);
    row("key and one character more", true, "GET", "/api/status?key=%KEY%0", "", 401);
    row("empty key", true, "GET", "/api/status?key=", "X-Vireon-Key: \r\n", 401);
    row("stream without a key", true, "GET", "/stream.mjpg", "", 401);
    row("record without a key", true, "POST", "/api/record", "", 401);
    row("record with the key", true, "POST", "/api/record?key=%KEY%", "", 200, true);
    row("the page needs no key", true, "GET", "/", "", 200);
    row("unknown path", true, "GET", "/favicon.ico", "", 404);
    row("key off: status without a key", false, "GET", "/api/status", "", 200);
    row("key off: record without a key", false, "POST", "/api/record", "", 200, true);
    row("key off: another site is still refused", false, "POST", "/api/record", "Sec-Fetch-Site: cross-site\r\n", 403);
}

void TestRemoteServer::accessKey()
{
    QFETCH(bool, keyRequired);
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, headers);
    QFETCH(int, status);
    QFETCH(bool, recording);

    putPatternOn(1, 1);
    m_server->setRequireAccessKey(keyRequired);
    const QByteArray key = m_server->accessKey().toLatin1();
    for (QByteArray *text : {&target, &headers})
        text->replace("%UPPERKEY%", key.toUpper()).replace("%KEY%", key);
    const QByteArray reply = exchange(unkeyedRequest(method, target, headers));
    QVERIFY2(reply.startsWith("HTTP/1.1 " + QByteArray::number(status) + ' '), reply.left(300).constData());
    QCOMPARE(m_manager->isRecording(), recording);
    if (status == 401)
        QCOMPARE(reply, HttpResponse::jsonError(401, "access key required"));
    if (target == "/")
        QVERIFY(reply.contains("Scan the QR code in Vireon to connect"));
}

void TestRemoteServer::wrongKeysAreLimited()
{
    const QHostAddress guesser(QStringLiteral("127.0.0.2"));
    const QHostAddress phone(QStringLiteral("127.0.0.3"));
    const auto ask = [this](const QHostAddress &from, const QByteArray &key) {
        return exchangeFrom(from, unkeyedRequest("GET", "/api/status", key.isNull() ? QByteArray() : "X-Vireon-Key: " + key + "\r\n"));
    };
    const QByteArray rightKey = m_server->accessKey().toLatin1();
    for (int i = 0; i < WrongKeyLimiter::MaxWrongKeys - 1; ++i)
        QVERIFY(ask(guesser, "guess" + QByteArray::number(i)).startsWith("HTTP/1.1 401 "));
    // No key at all is not a guess, and the right key still works before the tenth.
    for (int i = 0; i < 5; ++i)
        QVERIFY(ask(guesser, QByteArray()).startsWith("HTTP/1.1 401 "));
    QVERIFY(ask(guesser, rightKey).startsWith("HTTP/1.1 200 "));
    QVERIFY(ask(guesser, "guess9").startsWith("HTTP/1.1 401 "));

    // Ten wrong: refused for a minute, the right key too, the stream too.
    QCOMPARE(ask(guesser, rightKey), HttpResponse::jsonError(429, "too many wrong access keys", 60));
    QVERIFY(exchangeFrom(guesser, request("GET", "/stream.mjpg")).startsWith("HTTP/1.1 429 "));
    QVERIFY(exchangeFrom(guesser, request("POST", "/api/record")).startsWith("HTTP/1.1 429 "));
    QVERIFY(!m_manager->isRecording());
    // The page itself still loads, and another device is not affected.
    QVERIFY(exchangeFrom(guesser, unkeyedRequest("GET", "/")).startsWith("HTTP/1.1 200 "));
    QVERIFY(ask(phone, rightKey).startsWith("HTTP/1.1 200 "));
}

void TestRemoteServer::newKeyAndTheSwitch()
{
    putPatternOn(1, 1);
    m_manager->setActiveSourceId(1);
    const QString oldKey = m_server->accessKey();
    QVERIFY(AccessKey::isWellFormed(oldKey));
    QCOMPARE(m_server->serverUrl(), QStringLiteral("http://%1:%2/?key=%3").arg(m_server->localIp()).arg(m_server->port()).arg(oldKey));
    QTcpSocket viewer;
    viewer.connectToHost(QHostAddress::LocalHost, quint16(m_server->port()));
    QVERIFY(viewer.waitForConnected(5000));
    viewer.write(request("GET", "/stream.mjpg"));
    QTRY_COMPARE(m_server->clientCount(), 1);

    const QString oldQr = m_server->qrCodeDataUrl();
    QSignalSpy urlChanged(m_server, &RemoteControlServer::serverUrlChanged);
    QSignalSpy keyChanged(m_server, &RemoteControlServer::accessKeyChanged);
    m_server->newAccessKey();
    const QString newKey = m_server->accessKey();
    QVERIFY(AccessKey::isWellFormed(newKey));
    QVERIFY(newKey != oldKey);
    QCOMPARE(keyChanged.count(), 1);
    QCOMPARE(urlChanged.count(), 1);
    QVERIFY(m_server->serverUrl().endsWith(QStringLiteral("/?key=") + newKey));
    QVERIFY(m_server->qrCodeDataUrl() != oldQr);
    // Phones must scan again: the viewer is gone, the old key no longer opens anything.
    QCOMPARE(m_server->clientCount(), 0);
    QTRY_COMPARE(viewer.state(), QAbstractSocket::UnconnectedState);
    QVERIFY(exchange(unkeyedRequest("GET", "/api/status", "X-Vireon-Key: " + oldKey.toLatin1() + "\r\n")).startsWith("HTTP/1.1 401 "));
    QVERIFY(exchange(request("GET", "/api/status")).startsWith("HTTP/1.1 200 "));

    // Kept in the settings: the next start uses the same key.
    {
        RemoteControlServer restarted(m_manager);
        QCOMPARE(restarted.accessKey(), newKey);
        QVERIFY(restarted.requireAccessKey());
    }

    // Switched off (the open behaviour is in accessKey()), kept over a restart, and on again:
    // viewers who came in without a key are closed.
    m_server->setRequireAccessKey(false);
    QVERIFY(!RemoteControlServer(m_manager).requireAccessKey());
    viewer.connectToHost(QHostAddress::LocalHost, quint16(m_server->port()));
    QVERIFY(viewer.waitForConnected(5000));
    viewer.write(unkeyedRequest("GET", "/stream.mjpg"));
    QTRY_COMPARE(m_server->clientCount(), 1);
    m_server->setRequireAccessKey(true);
    QCOMPARE(m_server->clientCount(), 0);
    QTRY_COMPARE(viewer.state(), QAbstractSocket::UnconnectedState);
}

void TestRemoteServer::expectContinue()
{
    m_manager->setActiveSourceId(1);
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, quint16(m_server->port()));
    QVERIFY(client.waitForConnected(5000));
    client.write("POST /api/switch HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Vireon-Key: " + m_server->accessKey().toLatin1()
                 + "\r\nContent-Length: 8\r\nExpect: 100-continue\r\n\r\n");
    QByteArray received;
    QVERIFY(QTest::qWaitFor([&] {
        received += client.readAll();
        return received.contains("\r\n\r\n");
    }, 5000));
    QCOMPARE(received, HttpResponse::continueInterim());
    client.write("{\"id\":3}");
    QVERIFY(QTest::qWaitFor([&] {
        received += client.readAll();
        return client.state() == QAbstractSocket::UnconnectedState;
    }, 5000));
    received += client.readAll();
    QVERIFY(received.startsWith(HttpResponse::continueInterim() + "HTTP/1.1 200 OK\r\n"));
    QCOMPARE(m_manager->activeSourceId(), 3);
}

void TestRemoteServer::idleConnectionsAreClosed_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<int>("trickleMs"); // > 0: then one more byte this often, for ever

    QTest::newRow("nothing sent") << QByteArray() << 0;
    QTest::newRow("half a request line") << QByteArray("GET /api/sta") << 0;
    QTest::newRow("head without its body") << QByteArray("POST /api/switch HTTP/1.1\r\nContent-Length: 10\r\n\r\n{\"id\"") << 0;
    // Slowloris: a byte now and then does not buy more time.
    QTest::newRow("a header trickling in") << QByteArray("GET /api/status HTTP/1.1\r\nX-Pad: ") << 100;
}

void TestRemoteServer::idleConnectionsAreClosed()
{
    QFETCH(QByteArray, sent);
    QFETCH(int, trickleMs);

    m_server->setRequestTimeoutMs(1000);
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, quint16(m_server->port()));
    QVERIFY(client.waitForConnected(5000));
    QElapsedTimer sinceConnect;
    sinceConnect.start();
    if (!sent.isEmpty())
        client.write(sent);
    QTimer trickle;
    connect(&trickle, &QTimer::timeout, &client, [&client] { client.write("a"); });
    if (trickleMs > 0)
        trickle.start(trickleMs);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->pendingConnectionCount(), 1, 2000);
    QTRY_COMPARE_WITH_TIMEOUT(client.state(), QAbstractSocket::UnconnectedState, 5000);
    QVERIFY2(sinceConnect.elapsed() < 1900, qPrintable(QString::number(sinceConnect.elapsed())));
    // Cut without an answer: the request never became whole.
    QVERIFY(client.readAll().isEmpty());
    QTRY_COMPARE(m_server->pendingConnectionCount(), 0);
}

void TestRemoteServer::connectionLimits()
{
    m_server->setRequestTimeoutMs(60'000);
    // One machine holds its share with connections that never finish a request.
    const QHostAddress holder(QStringLiteral("127.0.0.2"));
    std::vector<std::unique_ptr<QTcpSocket>> held;
    for (int i = 0; i < ConnectionLimits::MaxPerAddress; ++i)
        held.push_back(connectFrom(holder));
    QTRY_COMPARE(m_server->pendingConnectionCount(), ConnectionLimits::MaxPerAddress);
    // Beyond its share: answered 503 at once, and closed.
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 3; ++i)
        QCOMPARE(exchangeFrom(holder, request("GET", "/api/status")), HttpResponse::error(503));
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
    // The phone on another address gets in meanwhile.
    QVERIFY(exchange(request("GET", "/api/status")).startsWith("HTTP/1.1 200 "));
    QTRY_COMPARE(m_server->pendingConnectionCount(), ConnectionLimits::MaxPerAddress);

    // Three more machines fill the whole house; a fifth is turned away.
    for (int machine = 3; machine <= 5; ++machine) {
        for (int i = 0; i < ConnectionLimits::MaxPerAddress; ++i)
            held.push_back(connectFrom(QHostAddress(QStringLiteral("127.0.0.%1").arg(machine))));
    }
    QTRY_COMPARE(m_server->pendingConnectionCount(), ConnectionLimits::MaxConnections);
    QCOMPARE(exchangeFrom(QHostAddress(QStringLiteral("127.0.0.6")), request("GET", "/api/status")),
             HttpResponse::error(503));

    // Room again once they leave.
    for (auto &client : held)
        client->abort();
    QTRY_COMPARE(m_server->pendingConnectionCount(), 0);
    QVERIFY(exchangeFrom(holder, request("GET", "/api/status")).startsWith("HTTP/1.1 200 "));
}

void TestRemoteServer::outOfDescriptorsRestsInsteadOfSpinning()
{
    rlimit original{};
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &original), 0);
    const auto restore = qScopeGuard([&original] { ::setrlimit(RLIMIT_NOFILE, &original); });
    // A server that has worked before (Qt's own accept loop then spins instead of stopping).
    QVERIFY(exchange(request("GET", "/api/status")).startsWith("HTTP/1.1 200 OK\r\n"));
    // Two clients waiting in the kernel's queue (no event loop has run to accept them yet)...
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < 2; ++i) {
        clients.push_back(connectFrom(QHostAddress()));
        QVERIFY(clients.back()->waitForConnected(5000));
    }
    // ...and not one descriptor left for this process: the lowest free number is the limit.
    const int lowestFree = ::dup(0);
    QVERIFY(lowestFree >= 0);
    ::close(lowestFree);
    rlimit lowered = original;
    lowered.rlim_cur = rlim_t(lowestFree);
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Cannot accept a connection")));
    const SocketAcceptor *acceptor = m_server->findChild<SocketAcceptor *>();
    QVERIFY(acceptor);
    QElapsedTimer waited;
    waited.start();
    {
        // A real event loop, as the program runs: the way a spinning notifier would show.
        QEventLoop loop;
        QTimer::singleShot(1000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    // Spinning would try accept() on every turn of the loop; resting tries once per pause
    // (however slowly the loop turned, never more often).
    QVERIFY(acceptor->isResting());
    const qint64 mostTries = waited.elapsed() / RemoteControlServer::AcceptPauseMs + 2;
    QVERIFY2(acceptor->resourceFailures() <= mostTries,
             qPrintable(QStringLiteral("%1 failed accepts in %2 ms").arg(acceptor->resourceFailures()).arg(waited.elapsed())));

    // Descriptors back: the waiting clients get in and are answered.
    ::setrlimit(RLIMIT_NOFILE, &original);
    for (auto &client : clients)
        client->write(request("GET", "/api/status"));
    for (auto &client : clients) {
        QByteArray reply;
        QVERIFY(QTest::qWaitFor([&] {
            reply += client->readAll();
            return client->state() == QAbstractSocket::UnconnectedState;
        }, 5000));
        reply += client->readAll();
        QVERIFY2(reply.startsWith("HTTP/1.1 200 OK\r\n"), reply.constData());
    }
}

void TestRemoteServer::fullHouseIsServedAtOnce()
{
    // As many as the limits allow, from four machines, all connected before anyone asks.
    constexpr int Count = ConnectionLimits::MaxConnections;
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < Count; ++i)
        clients.push_back(connectFrom(QHostAddress(QStringLiteral("127.0.0.%1").arg(1 + i % 4))));
    QVERIFY(QTest::qWaitFor([&] {
        return std::all_of(clients.begin(), clients.end(),
                           [](const auto &c) { return c->state() == QAbstractSocket::ConnectedState; });
    }, 10'000));
    // All connected before anyone asks, then all ask.
    for (const auto &client : clients)
        client->write(request("GET", "/api/status"));
    std::vector<QByteArray> replies(Count);
    QVERIFY(QTest::qWaitFor([&] {
        bool allClosed = true;
        for (int i = 0; i < Count; ++i) {
            replies[size_t(i)] += clients[size_t(i)]->readAll();
            allClosed = allClosed && clients[size_t(i)]->state() == QAbstractSocket::UnconnectedState;
        }
        return allClosed;
    }, 20'000));
    for (int i = 0; i < Count; ++i) {
        replies[size_t(i)] += clients[size_t(i)]->readAll();
        QVERIFY2(replies[size_t(i)].startsWith("HTTP/1.1 200 OK\r\n"), qPrintable(QString::number(i)));
        QCOMPARE(jsonBodyOf(replies[size_t(i)]).value(QStringLiteral("channels")).toArray().size(), 4);
    }
    QTRY_COMPARE(m_server->pendingConnectionCount(), 0);
}

void TestRemoteServer::streamWithoutPictureSendsOnlyItsHead()
{
    // No camera anywhere: nothing to encode yet.
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, quint16(m_server->port()));
    QVERIFY(client.waitForConnected(5000));
    client.write(request("GET", "/stream.mjpg?t=1"));
    QTRY_COMPARE(m_server->clientCount(), 1);
    QTest::qWait(300);
    QCOMPARE(client.readAll(), HttpResponse::streamHead());
    QVERIFY(m_server->previewStream()->isTimerActive());
}

void TestRemoteServer::streamClientsGetTheSameParts()
{
    putPatternOn(1, 1);
    m_manager->setActiveSourceId(1);
    QSignalSpy counts(m_server, &RemoteControlServer::clientCountChanged);
    QTcpSocket first;
    QTcpSocket second;
    for (QTcpSocket *client : {&first, &second}) {
        client->connectToHost(QHostAddress::LocalHost, quint16(m_server->port()));
        QVERIFY(client->waitForConnected(5000));
    }
    first.write(request("GET", "/preview.mjpg"));
    second.write(request("GET", "/stream.mjpg"));
    QTRY_COMPARE(m_server->clientCount(), 2);
    QCOMPARE(counts.count(), 2);

    QByteArray a;
    QByteArray b;
    QVERIFY(QTest::qWaitFor([&] {
        a += first.readAll();
        b += second.readAll();
        return streamParts(a).size() >= 6 && streamParts(b).size() >= 6;
    }, 10'000));
    QVERIFY(a.startsWith(HttpResponse::streamHead()));
    QVERIFY(b.startsWith(HttpResponse::streamHead()));
    // Both joined before the first tick: part for part the same bytes.
    const QList<QByteArray> partsA = streamParts(a);
    const QList<QByteArray> partsB = streamParts(b);
    for (qsizetype i = 0; i < 5; ++i)
        QCOMPARE(partsA.at(i), partsB.at(i));
    QImage picture;
    QVERIFY(picture.loadFromData(partsA.first(), "JPEG"));
    QCOMPARE(picture.size(), QSize(480, 270));

    first.close();
    QTRY_COMPARE(m_server->clientCount(), 1);
    const qsizetype before = streamParts(b).size();
    QVERIFY(QTest::qWaitFor([&] {
        b += second.readAll();
        return streamParts(b).size() >= before + 3;
    }, 5000));
}

void TestRemoteServer::streamRepeatsTheLastPictureWithoutCamera()
{
    putPatternOn(1, 1);
    m_manager->setActiveSourceId(1);
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, quint16(m_server->port()));
    QVERIFY(client.waitForConnected(5000));
    client.write(request("GET", "/stream.mjpg"));
    QByteArray received;
    QVERIFY(QTest::qWaitFor([&] {
        received += client.readAll();
        return !streamParts(received).isEmpty();
    }, 5000));

    m_manager->removeCameraFromChannel(1);
    const QByteArray last = m_server->previewStream()->lastJpeg();
    QVERIFY(!last.isEmpty());
    const qsizetype seen = streamParts(received).size();
    QVERIFY(QTest::qWaitFor([&] {
        received += client.readAll();
        return streamParts(received).size() >= seen + 4;
    }, 5000));
    const QList<QByteArray> parts = streamParts(received);
    for (qsizetype i = seen + 1; i < parts.size(); ++i)
        QCOMPARE(parts.at(i), last);
}

void TestRemoteServer::streamClientThatNeverReads()
{
    putPatternOn(1, 1);
    m_manager->setActiveSourceId(1);
    m_server->previewStream()->setStallTimeoutMs(1500);

    // A client with a tiny receive window that never reads: its kernel buffers fill at once.
    const int stuck = ::socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(stuck >= 0);
    const auto closeStuck = qScopeGuard([stuck] { ::close(stuck); });
    int small = 2048;
    ::setsockopt(stuck, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(m_server->port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QCOMPARE(::connect(stuck, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
    const QByteArray ask = request("GET", "/stream.mjpg");
    QCOMPARE(::send(stuck, ask.constData(), size_t(ask.size()), 0), ssize_t(ask.size()));

    QTcpSocket reader;
    reader.connectToHost(QHostAddress::LocalHost, quint16(m_server->port()));
    QVERIFY(reader.waitForConnected(5000));
    reader.write(request("GET", "/stream.mjpg"));
    QTRY_COMPARE(m_server->clientCount(), 2);

    // The reader keeps getting pictures while the other one is stuck, the server holds no
    // more than about two parts for the stuck one, and drops it once it has taken nothing
    // for the stall time.
    QElapsedTimer timer;
    timer.start();
    QByteArray received;
    QVERIFY(QTest::qWaitFor([&] {
        received += reader.readAll();
        return m_server->clientCount() == 1;
    }, 60'000));
    received += reader.readAll();
    const QList<QByteArray> parts = streamParts(received);
    QVERIFY(parts.size() >= 10);
    qsizetype largestPart = 0;
    for (const QByteArray &part : parts)
        largestPart = std::max(largestPart, part.size());
    qDebug() << "stuck client dropped after" << timer.elapsed() << "ms; largest backlog"
             << m_server->previewStream()->largestBacklogBytes() << "bytes, parts up to" << largestPart;
    QVERIFY2(m_server->previewStream()->largestBacklogBytes() <= 4 * (largestPart + 100),
             qPrintable(QStringLiteral("backlog %1 bytes, parts up to %2")
                            .arg(m_server->previewStream()->largestBacklogBytes()).arg(largestPart)));
    QCOMPARE(reader.state(), QAbstractSocket::ConnectedState);
}

void TestRemoteServer::streamViewerLimit()
{
    putPatternOn(1, 1);
    std::vector<std::unique_ptr<QTcpSocket>> viewers;
    for (int i = 0; i < PreviewStream::MaxClients; ++i) {
        // From a few machines, as the request connections have a share per address.
        viewers.push_back(connectFrom(QHostAddress(QStringLiteral("127.0.0.%1").arg(1 + i % 4))));
        viewers.back()->write(request("GET", "/stream.mjpg"));
    }
    QTRY_COMPARE(m_server->clientCount(), PreviewStream::MaxClients);
    QCOMPARE(exchange(request("GET", "/stream.mjpg")), HttpResponse::error(503));
    QCOMPARE(m_server->clientCount(), PreviewStream::MaxClients);
    // The API is not part of that budget.
    QVERIFY(exchange(request("GET", "/api/status")).startsWith("HTTP/1.1 200 "));
    viewers.front()->abort();
    QTRY_COMPARE(m_server->clientCount(), PreviewStream::MaxClients - 1);
}

void TestRemoteServer::stopClosesStreams()
{
    putPatternOn(1, 1);
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, quint16(m_server->port()));
    QVERIFY(client.waitForConnected(5000));
    client.write(request("GET", "/stream.mjpg"));
    QTRY_COMPARE(m_server->clientCount(), 1);

    QSignalSpy state(m_server, &RemoteControlServer::serverStateChanged);
    m_server->stopServer();
    QCOMPARE(m_server->clientCount(), 0);
    QVERIFY(!m_server->isRunning());
    QCOMPARE(state.count(), 1);
    QVERIFY(!m_server->previewStream()->isTimerActive());
    QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);

    // Nothing listens any more; toggling brings it back on the same port.
    const int port = m_server->port();
    m_server->toggleServer();
    QVERIFY(m_server->isRunning());
    QCOMPARE(m_server->port(), port);
    QVERIFY(exchange(request("GET", "/api/status")).startsWith("HTTP/1.1 200 OK"));
}

void TestRemoteServer::portFallsBackOnce()
{
    m_server->stopServer();
    // Find a port whose neighbour is free too, and hold the port itself.
    QTcpServer blocker;
    int port = 0;
    for (int attempt = 0; attempt < 20 && port == 0; ++attempt) {
        QVERIFY(blocker.listen(QHostAddress::AnyIPv4, 0));
        QTcpServer probe;
        if (blocker.serverPort() < 65535 && probe.listen(QHostAddress::AnyIPv4, blocker.serverPort() + 1))
            port = blocker.serverPort();
        else
            blocker.close();
    }
    QVERIFY(port != 0);

    QSignalSpy portChanged(m_server, &RemoteControlServer::portChanged);
    m_server->startServer(port);
    QVERIFY(m_server->isRunning());
    QCOMPARE(m_server->port(), port + 1);
    QVERIFY(m_server->serverUrl().contains(QStringLiteral(":%1/?key=").arg(port + 1)));
    QCOMPARE(portChanged.count(), 1);
    QVERIFY(exchange(request("GET", "/api/status")).startsWith("HTTP/1.1 200 OK"));
}

void TestRemoteServer::bothPortsBusyLeavesItStopped()
{
    const QString urlBefore = m_server->serverUrl();
    m_server->stopServer();
    QTcpServer first;
    QTcpServer second;
    int port = 0;
    for (int attempt = 0; attempt < 20 && port == 0; ++attempt) {
        QVERIFY(first.listen(QHostAddress::AnyIPv4, 0));
        if (first.serverPort() < 65535 && second.listen(QHostAddress::AnyIPv4, first.serverPort() + 1))
            port = first.serverPort();
        else
            first.close();
    }
    QVERIFY(port != 0);

    QSignalSpy state(m_server, &RemoteControlServer::serverStateChanged);
    QSignalSpy url(m_server, &RemoteControlServer::serverUrlChanged);
    m_server->startServer(port);
    QVERIFY(!m_server->isRunning());
    QCOMPARE(state.count(), 0);
    QCOMPARE(url.count(), 0);
    QCOMPARE(m_server->serverUrl(), urlBefore);
}

void TestRemoteServer::networkInfoAndQrCode()
{
    QVERIFY(m_server->qrCodeDataUrl().startsWith(QStringLiteral("data:image/png;base64,")));
    QCOMPARE(m_server->serverUrl(), QStringLiteral("http://%1:%2/?key=%3").arg(m_server->localIp()).arg(m_server->port()).arg(m_server->accessKey()));

    m_server->stopServer();
    QSignalSpy qr(m_server, &RemoteControlServer::qrCodeDataUrlChanged);
    QSignalSpy url(m_server, &RemoteControlServer::serverUrlChanged);
    m_server->refreshNetworkInfo();
    QCOMPARE(qr.count(), 1);
    QCOMPARE(url.count(), 1);
    QVERIFY(!m_server->qrCodeDataUrl().isEmpty());
}

QTEST_MAIN(TestRemoteServer)
#include "tst_remoteserver.moc"
