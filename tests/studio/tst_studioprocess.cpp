// Three recorders on this machine, as an operator runs them: three `vireon --headless`
// programs with their own ports, folders and settings, built-in cameras, the two followers
// linked to the leader by address and key. Driven as the phone drives the leader: REC, a
// switch to a follower's camera, a marker, STOP, "Collect files"; then a follower killed
// mid-take. The files are read back: every file of every machine starts at the same timecode
// and holds the same number of frames (± 1), the collected copies are the followers' files
// byte for byte, the studio's all-angles timeline holds the twelve cameras and passes the
// strict reader with every file it names, and a killed follower's files play up to the kill.
// Kept to these two cases on purpose: three programs recording are heavy on a small machine.
#include "MediaReadback.h"
#include "XmemlReader.h"

#include "studio/FileHasher.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <memory>

namespace {

const QString kSession = QStringLiteral("Show");

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// One recorder: its program, its settings and its recording folder.
struct Recorder
{
    QString name;
    QString key;
    quint16 port = 0;
    QTemporaryDir home;
    std::unique_ptr<QProcess> process;

    QString output() const { return home.filePath(QStringLiteral("out")); }
    QString take(int number) const
    {
        return output() + QStringLiteral("/%1/Take_%2").arg(kSession).arg(number, 2, 10, QLatin1Char('0'));
    }
};

// One request to a recorder's remote-control server; the answer's JSON body (empty on failure).
QJsonObject call(const Recorder &recorder, const QByteArray &method, const QByteArray &target, const QByteArray &body = {})
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, recorder.port);
    if (!socket.waitForConnected(3000))
        return {};
    socket.write(method + ' ' + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Vireon-Key: " + recorder.key.toLatin1()
                 + "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size())
                 + "\r\nConnection: close\r\n\r\n" + body);
    QByteArray answer;
    while (socket.waitForReadyRead(5000))
        answer += socket.readAll();
    answer += socket.readAll();
    return QJsonDocument::fromJson(answer.mid(answer.indexOf("\r\n\r\n") + 4)).object();
}

QJsonObject status(const Recorder &recorder)
{
    return call(recorder, "GET", "/api/status");
}

QJsonObject followerEntry(const QJsonObject &leaderStatus, const QString &name)
{
    for (const QJsonValue &entry : leaderStatus.value(QStringLiteral("studio")).toObject().value(QStringLiteral("followers")).toArray()) {
        if (entry.toObject().value(QStringLiteral("name")).toString() == name)
            return entry.toObject();
    }
    return {};
}

} // namespace

class TestStudioProcess : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void studioTakeOnThreeRecorders();
    void killedFollowerIsShownLostAndTheOthersGoOn();

private:
    void startRecorder(Recorder &recorder);
    bool allLinked() const;

    Recorder m_a, m_b, m_c;
};

void TestStudioProcess::startRecorder(Recorder &recorder)
{
    recorder.process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), recorder.home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), recorder.home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("dummy"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    recorder.process->setProcessEnvironment(env);
    recorder.process->setProcessChannelMode(QProcess::MergedChannels);
    recorder.process->setStandardOutputFile(recorder.home.filePath(QStringLiteral("log.txt")));
    recorder.process->start(QStringLiteral(VIREON_EXECUTABLE),
                            {QStringLiteral("--headless"), QStringLiteral("--size"), QStringLiteral("640x480"),
                             QStringLiteral("--output"), recorder.output(),
                             QStringLiteral("--session"), kSession, QStringLiteral("--port"), QString::number(recorder.port)});
    QVERIFY(recorder.process->waitForStarted());
}

bool TestStudioProcess::allLinked() const
{
    const QJsonObject leader = status(m_a);
    return followerEntry(leader, QStringLiteral("B")).value(QStringLiteral("state")).toString() == QLatin1String("linked")
           && followerEntry(leader, QStringLiteral("C")).value(QStringLiteral("state")).toString() == QLatin1String("linked");
}

void TestStudioProcess::initTestCase()
{
    const QList<Recorder *> recorders{&m_a, &m_b, &m_c};
    const QStringList names{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")};
    for (int i = 0; i < 3; ++i) {
        Recorder &recorder = *recorders[i];
        recorder.name = names[i];
        recorder.key = QString(32, QLatin1Char("abc"[i]));
        recorder.port = freePort();
    }
    // Each machine's settings: its key and name; the followers have the leader's link, as the
    // operator enters it in the remote dialog.
    for (Recorder *recorder : recorders) {
        QSettings settings(recorder->home.filePath(QStringLiteral("config/Vireon/Vireon.conf")), QSettings::IniFormat);
        settings.setValue(QStringLiteral("RemoteControl/accessKey"), recorder->key);
        settings.setValue(QStringLiteral("StudioLink/machineName"), recorder->name);
        if (recorder != &m_a) {
            const QJsonObject leader{{QStringLiteral("host"), QStringLiteral("127.0.0.1")},
                                     {QStringLiteral("port"), m_a.port}, {QStringLiteral("key"), m_a.key}};
            settings.setValue(QStringLiteral("StudioLink/leader"), QJsonDocument(leader).toJson(QJsonDocument::Compact));
        }
    }
    for (Recorder *recorder : recorders)
        startRecorder(*recorder);
    // Small built-in cameras, recorded small (--size): twelve of them on one small machine.
    for (Recorder *recorder : recorders) {
        QTRY_VERIFY_WITH_TIMEOUT(!status(*recorder).isEmpty(), 30'000);
        for (int channel = 1; channel <= 4; ++channel) {
            const QByteArray body = QJsonDocument(QJsonObject{{QStringLiteral("channelId"), channel},
                                                              {QStringLiteral("deviceLink"), QStringLiteral("vireon:testpattern:%1").arg(channel)},
                                                              {QStringLiteral("width"), 160},
                                                              {QStringLiteral("height"), 120},
                                                              {QStringLiteral("framerate"), 30}})
                                        .toJson(QJsonDocument::Compact);
            QCOMPARE(call(*recorder, "POST", "/api/add_source", body).value(QStringLiteral("status")).toString(), QStringLiteral("ok"));
        }
    }
    QTRY_VERIFY_WITH_TIMEOUT(allLinked(), 20'000);
}

void TestStudioProcess::cleanupTestCase()
{
    for (Recorder *recorder : {&m_a, &m_b, &m_c}) {
        if (recorder->process && recorder->process->state() != QProcess::NotRunning) {
            recorder->process->terminate();
            if (!recorder->process->waitForFinished(20'000))
                recorder->process->kill();
        }
    }
}

void TestStudioProcess::cleanup()
{
    if (!QTest::currentTestFailed())
        return;
    // What each program said, for whoever reads the failure.
    for (const Recorder *recorder : {&m_a, &m_b, &m_c}) {
        QFile log(recorder->home.filePath(QStringLiteral("log.txt")));
        if (log.open(QIODevice::ReadOnly))
            qWarning().noquote() << "---" << recorder->name << "---\n" << QString::fromUtf8(log.readAll().right(3000));
    }
}

void TestStudioProcess::studioTakeOnThreeRecorders()
{
    // On one machine the clocks agree: shown in step before REC.
    const QJsonObject before = status(m_a);
    QCOMPARE(followerEntry(before, QStringLiteral("B")).value(QStringLiteral("offsetLevel")).toString(), QStringLiteral("good"));
    QVERIFY(followerEntry(before, QStringLiteral("C")).value(QStringLiteral("offsetText")).toString().startsWith(QStringLiteral("C: ")));

    call(m_a, "POST", "/api/record");
    QTRY_VERIFY_WITH_TIMEOUT(status(m_a).value(QStringLiteral("isRecording")).toBool()
                                 && status(m_b).value(QStringLiteral("isRecording")).toBool()
                                 && status(m_c).value(QStringLiteral("isRecording")).toBool(), 10'000);
    QTest::qWait(1500);
    // The programme switches to a follower's camera (numbered after the leader's).
    const QJsonArray sources = status(m_a).value(QStringLiteral("studio")).toObject().value(QStringLiteral("sources")).toArray();
    QCOMPARE(sources.size(), 8);
    const int followerCamera = sources.at(1).toObject().value(QStringLiteral("id")).toInt();
    QVERIFY(followerCamera > 4);
    QCOMPARE(call(m_a, "POST", "/api/switch?id=" + QByteArray::number(followerCamera)).value(QStringLiteral("activeSourceId")).toInt(),
             followerCamera);
    QTest::qWait(700);
    QVERIFY(call(m_a, "POST", "/api/marker", R"({"name":"applause"})").value(QStringLiteral("ok")).toBool());
    QTest::qWait(800);
    call(m_a, "POST", "/api/record");
    QTRY_VERIFY_WITH_TIMEOUT(!status(m_a).value(QStringLiteral("isRecording")).toBool()
                                 && !status(m_b).value(QStringLiteral("isRecording")).toBool()
                                 && !status(m_c).value(QStringLiteral("isRecording")).toBool(), 15'000);
    QTRY_VERIFY_WITH_TIMEOUT(status(m_a).value(QStringLiteral("studio")).toObject().value(QStringLiteral("canCollect")).toBool(), 20'000);

    // Every file of the three starts at one timecode and spans as many frame slots (± 1): its
    // first frame is slot 0 and its last the take's last. A machine too busy for its encoders
    // drops frames inside that span (and says so as DROPS); where none were dropped the files
    // hold as many frames.
    const double rate = status(m_a).value(QStringLiteral("recordingFps")).toDouble();
    QVERIFY(rate > 0);
    QString timecode;
    qint64 fewest = -1, most = -1;
    for (const Recorder *recorder : {&m_a, &m_b, &m_c}) {
        for (int channel = 1; channel <= 4; ++channel) {
            const Readback video = readBack(recorder->take(1) + QStringLiteral("/Camera_0%1.mp4").arg(channel));
            QVERIFY2(video.error.isEmpty(), qPrintable(recorder->name + video.error));
            QVERIFY(!video.pts.isEmpty());
            if (timecode.isEmpty())
                timecode = video.videoTimecode;
            QCOMPARE(video.videoTimecode, timecode);
            const auto slotOf = [&video, rate](qint64 pts) { return qRound64(double(pts) * av_q2d(video.timeBase) * rate); };
            QCOMPARE(slotOf(video.pts.first()), qint64(0));
            const qint64 span = slotOf(*std::max_element(video.pts.begin(), video.pts.end())) + 1;
            fewest = fewest < 0 ? span : std::min(fewest, span);
            most = std::max(most, span);
        }
    }
    QVERIFY(!timecode.isEmpty());
    QVERIFY2(most - fewest <= 1, qPrintable(QStringLiteral("%1 to %2 frame slots").arg(fewest).arg(most)));
    QVERIFY(fewest >= 60);

    // Collect: the followers' files land in a folder per machine, byte for byte.
    call(m_a, "POST", "/api/studio/collect");
    QTRY_VERIFY_WITH_TIMEOUT(!status(m_a).value(QStringLiteral("studio")).toObject().value(QStringLiteral("isCollecting")).toBool(), 60'000);
    QCOMPARE(status(m_a).value(QStringLiteral("studio")).toObject().value(QStringLiteral("collectText")).toString(),
             QStringLiteral("Files collected"));
    for (const Recorder *follower : {&m_b, &m_c}) {
        const QDir original(follower->take(1));
        const QDir copy(m_a.take(1) + QLatin1Char('/') + follower->name);
        const QStringList files = original.entryList({QStringLiteral("*.mp4"), QStringLiteral("*.wav")}, QDir::Files);
        QCOMPARE(files.size(), 5); // four cameras and the master mix
        QCOMPARE(copy.entryList({QStringLiteral("*.mp4"), QStringLiteral("*.wav")}, QDir::Files), files);
        for (const QString &file : files)
            QCOMPARE(FileHasher::sha256Of(copy.filePath(file)), FileHasher::sha256Of(original.filePath(file)));
    }

    // The studio's all-angles timeline: twelve cameras and the programme, every file it names
    // there and as long as it says, the switch to the follower's camera and the marker on it.
    const XmemlTimeline angles = readXmemlFile(m_a.take(1) + QStringLiteral("/Show_Take_01_Studio_AllAngles.xml"));
    QVERIFY2(angles.faults.isEmpty(), qPrintable(angles.faults.join(QLatin1Char('\n'))));
    QCOMPARE(angles.videoTracks.size(), 13);
    const QStringList mediaFaults = checkXmemlMedia(angles);
    QVERIFY2(mediaFaults.isEmpty(), qPrintable(mediaFaults.join(QLatin1Char('\n'))));
    const QList<XmemlClip> &programme = angles.videoTracks.last();
    QVERIFY(programme.size() >= 2);
    QVERIFY(angles.file(programme.at(1).fileId));
    QVERIFY(angles.file(programme.at(1).fileId)->pathUrl.contains(QStringLiteral("/Take_01/B/"))
            || angles.file(programme.at(1).fileId)->pathUrl.contains(QStringLiteral("/Take_01/C/")));
    QCOMPARE(angles.markers.size(), 1);
}

void TestStudioProcess::killedFollowerIsShownLostAndTheOthersGoOn()
{
    call(m_a, "POST", "/api/record");
    QTRY_VERIFY_WITH_TIMEOUT(status(m_c).value(QStringLiteral("isRecording")).toBool()
                                 && status(m_a).value(QStringLiteral("isRecording")).toBool(), 10'000);
    for (int channel = 1; channel <= 4; ++channel)
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(m_c.take(2) + QStringLiteral("/Camera_0%1.mp4").arg(channel)).size() > 0, 60'000);
    QTest::qWait(3000);

    ::kill(pid_t(m_c.process->processId()), SIGKILL);
    QVERIFY(m_c.process->waitForFinished(10'000));
    // The leader shows it lost within two seconds; the others go on.
    QTRY_COMPARE_WITH_TIMEOUT(followerEntry(status(m_a), QStringLiteral("C")).value(QStringLiteral("state")).toString(),
                              QStringLiteral("lost"), 2000);
    const QJsonObject leader = status(m_a);
    QVERIFY(leader.value(QStringLiteral("warningText")).toString().isEmpty()
            || !leader.value(QStringLiteral("warningText")).toString().contains(QStringLiteral("C")));
    QVERIFY(leader.value(QStringLiteral("studio")).toObject().value(QStringLiteral("problemText")).toString()
                .contains(QStringLiteral("C is lost")));
    QVERIFY(leader.value(QStringLiteral("isRecording")).toBool());
    QVERIFY(status(m_b).value(QStringLiteral("isRecording")).toBool());

    call(m_a, "POST", "/api/record");
    QTRY_VERIFY_WITH_TIMEOUT(!status(m_a).value(QStringLiteral("isRecording")).toBool()
                                 && !status(m_b).value(QStringLiteral("isRecording")).toBool(), 15'000);
    // The killed follower's files play up to the kill; the others' are whole.
    for (int channel = 1; channel <= 4; ++channel) {
        const Readback killed = readBack(m_c.take(2) + QStringLiteral("/Camera_0%1.mp4").arg(channel), true);
        QVERIFY2(killed.error.isEmpty(), qPrintable(killed.error));
        QVERIFY2(killed.decodedFrames >= 30, qPrintable(QString::number(killed.decodedFrames)));
        QVERIFY2(killed.decodeErrors <= 1, qPrintable(QString::number(killed.decodeErrors)));
        const Readback whole = readBack(m_b.take(2) + QStringLiteral("/Camera_0%1.mp4").arg(channel), true);
        QVERIFY2(whole.error.isEmpty() && whole.decodeErrors == 0, qPrintable(whole.error));
        QVERIFY(whole.decodedFrames > killed.decodedFrames);
    }
}

QTEST_GUILESS_MAIN(TestStudioProcess)
#include "tst_studioprocess.moc"
