// The program as a user runs it: `vireon --headless --demo --record S`, ended normally (with
// the container the settings window stored), by SIGTERM, by SIGKILL (after switches and a
// marker from the phone's API; the next start rebuilds its timelines), on a disk that fills up
// and on a file system that fills up (where the timeline cannot be written either: never half
// a file, never "Successfully exported", exit status 1). The files it leaves are read back.
// A studio set up from the phone is there again at the next start, its absent camera waited
// for, and a demo run with --fps changes nothing of it. Every run gets a settings store of its
// own, so the developer's settings neither change these takes nor are changed by them.
#include "FcpxmlReader.h"
#include "MediaReadback.h"
#include "OtioReader.h"
#include "XmemlReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>

namespace {

const QString kSession = QStringLiteral("Proc");

double wavSeconds(const WavReadback &wav)
{
    return wav.sampleRate > 0 ? double(wav.frames()) / wav.sampleRate : 0.0;
}

// A running program's remote control, as a phone reaches it: its address and key from the
// line the program prints at start.
struct Remote
{
    QString host;
    quint16 port = 0;
    QString key;

    bool isValid() const { return port != 0; }

    // The JSON answer to one request ("GET /api/status", "POST /api/add_source" with a body).
    QJsonObject call(const QByteArray &method, const QString &target, const QByteArray &body = {}) const
    {
        QTcpSocket socket;
        socket.connectToHost(host, port);
        if (!socket.waitForConnected(5000))
            return {};
        socket.write(method + ' ' + target.toUtf8() + " HTTP/1.1\r\nHost: " + host.toUtf8() + ':'
                     + QByteArray::number(port) + "\r\nX-Vireon-Key: " + key.toUtf8()
                     + "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size())
                     + "\r\nConnection: close\r\n\r\n" + body);
        QByteArray answer;
        while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(10000))
            answer += socket.readAll();
        answer += socket.readAll();
        return QJsonDocument::fromJson(answer.mid(answer.indexOf("\r\n\r\n") + 4)).object();
    }
};

Remote remoteOf(QProcess &process)
{
    static const QRegularExpression line(QStringLiteral(R"(Remote control: http://([0-9.]+):(\d+)/\?key=([0-9a-f]+))"));
    QByteArray printed;
    for (int i = 0; i < 100 && !printed.contains('\n'); ++i) {
        process.waitForReadyRead(200);
        printed += process.readAllStandardOutput();
    }
    const QRegularExpressionMatch match = line.match(QString::fromUtf8(printed));
    if (!match.hasMatch())
        return {};
    return {match.captured(1), quint16(match.captured(2).toUInt()), match.captured(3)};
}

// Where the last picture written so far ends, in seconds of the file (0 without one).
double lastPictureSeconds(const QString &path)
{
    const Readback video = readBack(path);
    return video.pts.isEmpty() ? 0.0 : double(*std::max_element(video.pts.begin(), video.pts.end())) * av_q2d(video.timeBase);
}

// A port nobody listens on right now, for a run's remote control.
int freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// POSTs to the program's remote control as the phone does; the status line and body back.
QByteArray post(int port, const QString &key, const QByteArray &target, const QByteArray &body = QByteArray())
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(port));
    if (!socket.waitForConnected(5000))
        return QByteArray();
    socket.write("POST " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Vireon-Key: " + key.toLatin1()
                 + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    QByteArray reply;
    while (socket.waitForReadyRead(5000))
        reply += socket.readAll();
    return reply;
}

} // namespace

class TestRecordingProcess : public QObject
{
    Q_OBJECT

private slots:
    void recordPrintsTheCompleteTake_data();
    void recordPrintsTheCompleteTake();
    void sigtermDuringATakeFinishesIt();
    void killDuringATakeLeavesPlayableFiles();
    void fullDiskEndsTheTakeWithAnError();
    void fullFileSystemLeavesNoHalfTimeline();
    void studioSetUpIsThereAtTheNextStart();

private:
    // Starts the program (through bash when a file-size limit is wanted), with the settings
    // store in `configHome` (XDG_CONFIG_HOME), or in a fresh folder when that is empty.
    void start(QProcess &process, const QString &output, double seconds, int fileSizeLimitKb = 0,
               const QString &configHome = QString(), int port = 0);
    QProcessEnvironment environment(const QString &configHome) const;
    QTemporaryDir m_configHome;
    QString takeFolder(const QString &output) const { return output + QLatin1Char('/') + kSession + QStringLiteral("/Take_01"); }
};

QProcessEnvironment TestRecordingProcess::environment(const QString &configHome) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome.isEmpty() ? m_configHome.path() : configHome);
    env.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("dummy"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

void TestRecordingProcess::start(QProcess &process, const QString &output, double seconds, int fileSizeLimitKb,
                                 const QString &configHome, int port)
{
    process.setProcessEnvironment(environment(configHome));
    QStringList args = {QStringLiteral("--headless"), QStringLiteral("--demo"), QStringLiteral("--record"),
                        QString::number(seconds), QStringLiteral("--output"), output,
                        QStringLiteral("--session"), kSession};
    if (port > 0)
        args << QStringLiteral("--port") << QString::number(port);
    if (fileSizeLimitKb > 0) {
        QStringList quoted;
        for (const QString &arg : args)
            quoted.append(QLatin1Char('\'') + arg + QLatin1Char('\''));
        process.start(QStringLiteral("/bin/bash"),
                      {QStringLiteral("-c"), QStringLiteral("ulimit -f %1; exec '%2' %3")
                                                 .arg(fileSizeLimitKb).arg(QStringLiteral(VIREON_EXECUTABLE), quoted.join(' '))});
    } else {
        process.start(QStringLiteral(VIREON_EXECUTABLE), args);
    }
    QVERIFY(process.waitForStarted());
}

void TestRecordingProcess::recordPrintsTheCompleteTake_data()
{
    QTest::addColumn<QVariant>("storedFormat"); // RecordingConfig/formatIndex; invalid: none
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("demuxer");
    QTest::newRow("nothing stored: MP4") << QVariant() << ".mp4" << "mov,mp4,m4a,3gp,3g2,mj2";
    QTest::newRow("MKV chosen in the settings") << QVariant(1) << ".mkv" << "matroska,webm";
    QTest::newRow("AVI stored: refused, MP4") << QVariant(4) << ".mp4" << "mov,mp4,m4a,3gp,3g2,mj2";
}

void TestRecordingProcess::recordPrintsTheCompleteTake()
{
    QFETCH(QVariant, storedFormat);
    QFETCH(QString, extension);
    QFETCH(QString, demuxer);
    QTemporaryDir configHome;
    if (storedFormat.isValid()) {
        // Where the settings window's store lives on Linux.
        QSettings settings(configHome.filePath(QStringLiteral("Vireon/Vireon.conf")), QSettings::IniFormat);
        settings.setValue(QStringLiteral("RecordingConfig/formatIndex"), storedFormat);
        settings.sync();
        QCOMPARE(settings.status(), QSettings::NoError);
    }
    QTemporaryDir output;
    QProcess process;
    start(process, output.path(), 2.5, 0, configHome.path());
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 0);
    const QString take = takeFolder(output.path());
    // The take folder comes last; before it only the phone's address with its access key
    // (missing when both remote-control ports were taken on this machine).
    const QStringList printed = QString::fromUtf8(process.readAllStandardOutput()).trimmed().split(u'\n');
    QCOMPARE(printed.last(), take);
    QVERIFY2(printed.size() <= 2, qPrintable(printed.join(u'|')));
    if (printed.size() == 2) {
        static const QRegularExpression remoteLine(QStringLiteral(R"(^Remote control: http://[0-9.]+:\d+/\?key=[0-9a-f]{32}$)"));
        QVERIFY2(remoteLine.match(printed.first()).hasMatch(), qPrintable(printed.first()));
    }

    QStringList expected = {"Master_Audio_Output.wav", "Channel_01_Audio.wav", "Channel_02_Audio.wav",
                            "Channel_03_Audio.wav", "Channel_04_Audio.wav", "Cut_Journal.txt",
                            "Proc_Take_01.xml", "Proc_Take_01_AllAngles.xml", "Proc_Take_01.fcpxml",
                            "Proc_Take_01_AllAngles.fcpxml", "Proc_Take_01.otio", "Proc_Take_01_AllAngles.otio"};
    for (int channel = 1; channel <= 4; ++channel)
        expected.append(QStringLiteral("Camera_0%1").arg(channel) + extension);
    QStringList files = QDir(take).entryList(QDir::Files);
    files.sort();
    QStringList sortedExpected = expected;
    sortedExpected.sort();
    QCOMPARE(files, sortedExpected);

    const WavReadback master = readWav(take + QStringLiteral("/Master_Audio_Output.wav"));
    QVERIFY(master.headerValid);
    QVERIFY2(std::abs(wavSeconds(master) - 2.5) < 0.05, qPrintable(QString::number(wavSeconds(master))));
    QFile timeline(take + QStringLiteral("/Proc_Take_01.xml"));
    QVERIFY(timeline.open(QIODevice::ReadOnly));
    const QByteArray xml = timeline.readAll();
    for (int channel = 1; channel <= 4; ++channel) {
        const QString path = take + QStringLiteral("/Camera_0%1").arg(channel) + extension;
        AVFormatContext *format = nullptr;
        QVERIFY(avformat_open_input(&format, path.toUtf8().constData(), nullptr, nullptr) >= 0);
        const QString opened = QString::fromLatin1(format->iformat->name);
        avformat_close_input(&format);
        QCOMPARE(opened, demuxer);
        const Readback video = readBack(path);
        QVERIFY2(video.error.isEmpty(), qPrintable(video.error));
        QCOMPARE(video.width, 1920);
        QVERIFY2(std::abs(video.pts.size() - 75) <= 1, qPrintable(QString::number(video.pts.size())));
        QCOMPARE(readWav(take + QStringLiteral("/Channel_0%1_Audio.wav").arg(channel)).frames(), master.frames());
    }
    // The timeline points the editor at the files as recorded (only the programme camera, 1,
    // has clips in a take without switches).
    const QString first = take + QStringLiteral("/Camera_01") + extension;
    QVERIFY2(xml.contains(("<pathurl>file://localhost" + first + "</pathurl>").toUtf8()), qPrintable(first));
    // Both timelines as an editor's import reads them: 2.5 s is 75 frames, every file they
    // name opens with that length.
    for (const QString &name : {QStringLiteral("Proc_Take_01.xml"), QStringLiteral("Proc_Take_01_AllAngles.xml")}) {
        const XmemlTimeline read = readXmemlFile(take + QLatin1Char('/') + name, 75);
        QCOMPARE(read.faults + checkXmemlMedia(read), QStringList());
    }
    if (extension != QLatin1String(".mp4"))
        QVERIFY(!xml.contains(".mp4"));
}

void TestRecordingProcess::sigtermDuringATakeFinishesIt()
{
    QTemporaryDir output;
    QProcess process;
    start(process, output.path(), 60);
    const QString take = takeFolder(output.path());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(take + QStringLiteral("/Master_Audio_Output.wav")), 20000);
    QTest::qWait(2500);
    process.terminate();
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);

    // Finished as at a normal stop: headers final, timeline written, lengths matching.
    const WavReadback master = readWav(take + QStringLiteral("/Master_Audio_Output.wav"));
    QVERIFY(master.headerValid);
    QCOMPARE(qint64(master.dataSize) + 44, master.fileSize);
    const double seconds = wavSeconds(master);
    QVERIFY2(seconds > 2.0, qPrintable(QString::number(seconds)));
    const Readback video = readBack(take + QStringLiteral("/Camera_01.mp4"));
    QVERIFY2(std::abs(video.pts.size() - qRound(seconds * 30)) <= 1,
             qPrintable(QStringLiteral("%1 frames, %2 s").arg(video.pts.size()).arg(seconds)));
    QVERIFY(QFile::exists(take + QStringLiteral("/Proc_Take_01.xml")));
}

void TestRecordingProcess::killDuringATakeLeavesPlayableFiles()
{
    QTemporaryDir output;
    QProcess process;
    const int port = freePort();
    start(process, output.path(), 60, 0, QString(), port);
    const QString take = takeFolder(output.path());
    // The phone's address with its key comes first on standard output.
    QTRY_VERIFY_WITH_TIMEOUT(process.canReadLine(), 20000);
    const QString remote = QString::fromUtf8(process.readLine()).trimmed();
    const QString key = remote.mid(remote.indexOf(QStringLiteral("key=")) + 4);
    QVERIFY2(key.size() == 32, qPrintable(remote));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(take + QStringLiteral("/Master_Audio_Output.wav")), 20000);
    // On a busy machine the encoders start seconds after the WAV files; the promise is about
    // what had reached the files, so wait until every camera's first fragment has.
    for (int channel = 1; channel <= 4; ++channel) {
        const QString path = take + QStringLiteral("/Camera_0%1.mp4").arg(channel);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(path).size() > 0, 30000);
    }
    // Two switches and a marker from the phone, as the operator would make them.
    QTest::qWait(500);
    QVERIFY(post(port, key, "/api/switch?id=2").startsWith("HTTP/1.1 200"));
    QTest::qWait(700);
    const QByteArray marker = post(port, key, "/api/marker", R"({"name": "Tom & <Jerry> \"Čačak\""})");
    QVERIFY2(marker.startsWith("HTTP/1.1 200") && marker.contains("\"number\":1"), marker.constData());
    QTest::qWait(700);
    QVERIFY(post(port, key, "/api/switch?id=3").startsWith("HTTP/1.1 200"));
    // Pictures reach the files a fragment (two seconds) at a time, later on a busy machine:
    // wait until every camera's file holds a second of camera 3's stretch.
    const qint64 markerMs = QJsonDocument::fromJson(marker.mid(marker.indexOf("\r\n\r\n") + 4)).object().value("takeMs").toInteger();
    QVERIFY(markerMs > 0);
    for (int channel = 1; channel <= 4; ++channel) {
        const QString path = take + QStringLiteral("/Camera_0%1.mp4").arg(channel);
        QTRY_VERIFY_WITH_TIMEOUT(lastPictureSeconds(path) * 1000 > markerMs + 700 + 1000, 40000);
    }
    ::kill(pid_t(process.processId()), SIGKILL);
    QVERIFY(process.waitForFinished(10000));

    // Nothing was finalised, yet everything up to a few seconds before the kill plays.
    const WavReadback master = readWav(take + QStringLiteral("/Master_Audio_Output.wav"));
    QVERIFY(master.headerValid);
    QVERIFY2(wavSeconds(master) >= 2.0, qPrintable(QString::number(wavSeconds(master))));
    for (int channel = 1; channel <= 4; ++channel) {
        const Readback video = readBack(take + QStringLiteral("/Camera_0%1.mp4").arg(channel), true);
        QVERIFY2(video.error.isEmpty(), qPrintable(video.error));
        QVERIFY2(video.decodedFrames >= 60, qPrintable(QString::number(video.decodedFrames)));
        // A kill while a fragment is being written (a write held up by a busy disk) cuts its
        // picture short; the demuxer ends the file there, so at most that one picture is lost.
        QVERIFY2(video.decodeErrors <= 1, qPrintable(QString::number(video.decodeErrors)));
    }
    // The live edit is in the journal; no timeline was written.
    QVERIFY(QFile::exists(take + QStringLiteral("/Cut_Journal.txt")));
    QCOMPARE(QDir(take).entryList({QStringLiteral("*.xml"), QStringLiteral("*.fcpxml"), QStringLiteral("*.otio")}), QStringList());

    // The next start rebuilds them from the journal and the files as the kill left them.
    QProcess next;
    start(next, output.path(), 1, 0, QString(), freePort());
    QVERIFY(next.waitForFinished(90000));
    QCOMPARE(next.exitCode(), 0);
    const QByteArray log = next.readAllStandardError();
    QVERIFY2(log.contains("[TakeRecovery] Take_01 recovered \xe2\x80\x94 timelines rebuilt"), log.right(3000).constData());
    QVERIFY(log.contains("[TakeRecovery] Take_01 - Journal: 3 switches, 1 markers, no stop"));
    const QString stem = take + QStringLiteral("/Proc_Take_01");
    for (const QString &layout : {QString(), QStringLiteral("_AllAngles")}) {
        const XmemlTimeline xmeml = readXmemlFile(stem + layout + QStringLiteral(".xml"));
        const QStringList xmemlFaults = xmeml.faults + checkXmemlMedia(xmeml);
        QVERIFY2(xmemlFaults.isEmpty(), qPrintable(xmemlFaults.join('\n')));
        QCOMPARE(xmeml.markers.value(0).name, QStringLiteral("Tom & <Jerry> \"Čačak\""));
        const FcpxmlTimeline fcpxml = readFcpxmlFile(stem + layout + QStringLiteral(".fcpxml"));
        const QStringList fcpxmlFaults = fcpxml.faults + checkFcpxmlMedia(fcpxml); // every clip within its file
        QVERIFY2(fcpxmlFaults.isEmpty(), qPrintable(fcpxmlFaults.join('\n')));
        QCOMPARE(fcpxml.markers.size(), 1);
        const OtioTimeline otio = readOtioFile(stem + layout + QStringLiteral(".otio"));
        const QStringList otioFaults = otio.faults + checkOtioMedia(otio);
        QVERIFY2(otioFaults.isEmpty(), qPrintable(otioFaults.join('\n')));
        QCOMPARE(otio.markers.size(), 1);
        // The programme as it was switched: camera 1, 2, then 3 (while their files last).
        QStringList programme;
        for (const OtioClip &clip : otio.tracksOfKind(QStringLiteral("Video")).last()->items) {
            if (!clip.isGap())
                programme << QFileInfo(clip.path).fileName();
        }
        QCOMPARE(programme.mid(0, 3), (QStringList{"Camera_01.mp4", "Camera_02.mp4", "Camera_03.mp4"}));
    }
    // A take with timelines is left alone at the start after.
    QProcess third;
    start(third, output.path(), 1, 0, QString(), freePort());
    QVERIFY(third.waitForFinished(90000));
    QVERIFY(!third.readAllStandardError().contains("[TakeRecovery]"));
}

void TestRecordingProcess::fullDiskEndsTheTakeWithAnError()
{
    QTemporaryDir output;
    QProcess process;
    // 400 KiB per file: the WAV files reach it after about two seconds.
    start(process, output.path(), 30, 400);
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    const QByteArray errors = process.readAllStandardError();
    QVERIFY2(errors.contains("Recording stopped after a write failure"), errors.right(2000).constData());

    const QString take = takeFolder(output.path());
    const WavReadback master = readWav(take + QStringLiteral("/Master_Audio_Output.wav"));
    QVERIFY(master.headerValid);
    QVERIFY(master.fileSize <= 400 * 1024);
    const Readback video = readBack(take + QStringLiteral("/Camera_01.mp4"), true);
    QVERIFY2(video.error.isEmpty(), qPrintable(video.error));
    QCOMPARE(video.decodeErrors, 0);
    QVERIFY(QFile::exists(take + QStringLiteral("/Proc_Take_01.xml")));
}

void TestRecordingProcess::fullFileSystemLeavesNoHalfTimeline()
{
    // A file system of 3 MiB of its own (a tmpfs in a user and mount namespace). The namespace
    // and its files end with the shell, so the shell copies out whatever timeline files exist.
    QTemporaryDir output, kept;
    QProcess process;
    process.setProcessEnvironment(environment(QString()));
    const QString script = QStringLiteral(R"(mount -t tmpfs -o size=3m tmpfs "$1" || exit 99
out=$1; keep=$2; shift 2
"$@"; status=$?
find "$out" -name '*.xml*' -exec cp {} "$keep" \;
exit $status)");
    process.start(QStringLiteral("unshare"),
                  {QStringLiteral("-rm"), QStringLiteral("/bin/bash"), QStringLiteral("-c"), script, QStringLiteral("_"),
                   output.path(), kept.path(), QStringLiteral(VIREON_EXECUTABLE), QStringLiteral("--headless"),
                   QStringLiteral("--demo"), QStringLiteral("--record"), QStringLiteral("30"), QStringLiteral("--output"),
                   output.path(), QStringLiteral("--session"), kSession});
    if (!process.waitForStarted())
        QSKIP("unshare is not available");
    QVERIFY(process.waitForFinished(90000));
    if (process.exitCode() == 99)
        QSKIP("this system does not let the test mount a file system of its own");
    const QString errors = QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(process.exitCode(), 1);
    // Far too little room for a take: refused before a file is opened, saying how little
    // there is, so no timeline can be left half-written. (A disk that fills during a take is
    // stopped above a reserve, and a timeline that still cannot be written is reported: the
    // take tests cover both.)
    QVERIFY2(errors.contains(QStringLiteral("The take did not start: only")), qPrintable(errors.right(2000)));
    QVERIFY(errors.contains(QStringLiteral(" is free on the disk of ")));
    QVERIFY(!errors.contains(QStringLiteral("Successfully exported")));
    QVERIFY(!QDir(takeFolder(output.path())).exists());
    QCOMPARE(QDir(kept.path()).entryList(QDir::Files), QStringList());
}

void TestRecordingProcess::studioSetUpIsThereAtTheNextStart()
{
    QTemporaryDir configHome;
    QTemporaryDir output;
    const QString store = configHome.filePath(QStringLiteral("Vireon/Vireon.conf"));
    const auto run = [&](QProcess &process, const QStringList &args) {
        process.setProcessEnvironment(environment(configHome.path()));
        process.start(QStringLiteral(VIREON_EXECUTABLE), args);
        QVERIFY(process.waitForStarted());
    };
    const auto end = [](QProcess &process) {
        process.terminate();
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 0);
    };

    // Monday: four cameras put on the channels from the phone.
    {
        QProcess first;
        run(first, {QStringLiteral("--headless"), QStringLiteral("--output"), output.path()});
        const Remote remote = remoteOf(first);
        if (!remote.isValid())
            QSKIP("both remote-control ports are taken on this machine");
        for (int channel = 1; channel <= 4; ++channel) {
            const QJsonObject source{{"channelId", channel}, {"deviceLink", QStringLiteral("vireon:testpattern:%1").arg(channel)},
                                     {"width", 640}, {"height", 480}, {"framerate", 25},
                                     {"channelName", QStringLiteral("Desk %1").arg(channel)}};
            QCOMPARE(remote.call("POST", QStringLiteral("/api/add_source"), QJsonDocument(source).toJson()).value("status"),
                     QJsonValue("ok"));
        }
        end(first);
    }
    // Overnight, the camera of channel 4 went back into its bag: another machine's camera now.
    {
        QSettings settings(store, QSettings::IniFormat);
        QCOMPARE(settings.value(QStringLiteral("Studio/Channel2/channelName")).toString(), QStringLiteral("Desk 2"));
        // --output was that run's only.
        QVERIFY(!settings.contains(QStringLiteral("RecordingConfig/outputFolder")));
        settings.setValue(QStringLiteral("Studio/Channel4/cameraKey"), QStringLiteral("/dev/v4l/by-id/usb-Studio_Cam-video-index0"));
        settings.setValue(QStringLiteral("Studio/Channel4/cameraName"), QStringLiteral("Studio Cam"));
    }

    // Tuesday: the same studio, channel 4 waiting for its camera.
    {
        QProcess second;
        run(second, {QStringLiteral("--headless")});
        const Remote remote = remoteOf(second);
        QVERIFY(remote.isValid());
        const QJsonArray channels = remote.call("GET", QStringLiteral("/api/status")).value("channels").toArray();
        QCOMPARE(channels.size(), 4);
        for (int channel = 1; channel <= 3; ++channel) {
            const QJsonObject card = channels.at(channel - 1).toObject();
            QCOMPARE(card.value("sourceState").toString(), QStringLiteral("live"));
            QCOMPARE(card.value("framerate").toDouble(), 25.0);
            QCOMPARE(card.value("deviceLink").toString(), QStringLiteral("vireon:testpattern:%1").arg(channel));
        }
        const QJsonObject waiting = channels.at(3).toObject();
        QCOMPARE(waiting.value("sourceState").toString(), QStringLiteral("waiting"));
        QCOMPARE(waiting.value("sourceFormat").toString(), QStringLiteral("Studio Cam"));
        QVERIFY(waiting.value("active").toBool());
        end(second);
    }

    // A demo run at another rate records, and leaves the studio's set-up as it was.
    const auto savedSetUp = [&] {
        QSettings settings(store, QSettings::IniFormat);
        QStringList values;
        for (const QString &key : settings.allKeys()) {
            if (key.startsWith(QLatin1String("Studio/")) || key.startsWith(QLatin1String("RecordingConfig/")))
                values.append(key + QLatin1Char('=') + settings.value(key).toString());
        }
        return values;
    };
    const QStringList before = savedSetUp();
    QVERIFY(before.contains(QStringLiteral("Studio/Channel4/cameraName=Studio Cam")));
    QProcess demo;
    run(demo, {QStringLiteral("--headless"), QStringLiteral("--demo"), QStringLiteral("--fps"), QStringLiteral("50"),
               QStringLiteral("--record"), QStringLiteral("1"), QStringLiteral("--output"), output.path(),
               QStringLiteral("--session"), kSession});
    QVERIFY(demo.waitForFinished(60000));
    QCOMPARE(demo.exitCode(), 0);
    QCOMPARE(readBack(takeFolder(output.path()) + QStringLiteral("/Camera_01.mp4")).frameRate.num, 50);
    QCOMPARE(savedSetUp(), before);
}

QTEST_GUILESS_MAIN(TestRecordingProcess)
#include "tst_recordingprocess.moc"
