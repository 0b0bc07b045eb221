// The pure pieces of a studio: where a take's start and stop fall on the timecode, the clock
// offset from probes and how it is shown, the kernel's sync state, what the operator may enter
// as a link and what is kept of it, take reports as they travel, which files a follower
// serves, how the studio's angles are numbered and named, and the studio's timelines as an
// editor's import reads them.
#include "common/AppInfo.h"
#include "recording/FramePump.h"
#include "recording/FrameRate.h"
#include "recording/Timecode.h"
#include "studio/ClockOffset.h"
#include "studio/StudioAngles.h"
#include "studio/StudioTimeline.h"
#include "recording/TimelineExport.h"
#include "FcpxmlReader.h"
#include "OtioReader.h"
#include "XmemlReader.h"
#include "studio/ClockSync.h"
#include "studio/FollowerFiles.h"
#include "studio/LinkAddress.h"
#include "studio/StudioSettings.h"
#include "studio/StudioTakeReport.h"
#include "studio/StudioTime.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <ctime>

namespace {

constexpr qint64 kNsPerSecond = 1'000'000'000;

// An instant of local time today, in wall-clock nanoseconds.
qint64 wallAt(int hours, int minutes, int seconds, qint64 extraNs)
{
    const QDateTime local(QDate(2026, 3, 10), QTime(hours, minutes, seconds));
    return local.toMSecsSinceEpoch() * 1'000'000 + extraNs;
}

ClockSyncState synced(const QString &engine)
{
    ClockSyncState state;
    state.isKnown = true;
    state.isSynchronised = true;
    state.engine = engine;
    return state;
}

StudioTakeReport sampleReport()
{
    StudioTakeReport report;
    report.machine = QStringLiteral("B");
    report.studioTakeId = QStringLiteral("1773136800000000000");
    report.takeId = QStringLiteral("Interview/Take_02");
    report.startTimecode = QStringLiteral("10:00:00:00");
    report.fps = 29.97;
    report.startWallNs = 1773136800123456789;
    report.durationMs = 12'345;
    report.files.append(StudioTakeFile{QStringLiteral("Camera_01.mp4"), QStringLiteral("video"), 1, 1000, 370, 12'345, QString()});
    report.files.append(StudioTakeFile{QStringLiteral("Master_Audio_Output.wav"), QStringLiteral("audio"), 0, 44, 0, 12'345,
                                       QStringLiteral("ab")});
    report.cameras.append(StudioCamera{1, QStringLiteral("Test Pattern 1")});
    return report;
}

StudioLeader::Member member(const QString &name, int followerIndex, std::optional<StudioTakeReport> report)
{
    StudioLeader::Member member;
    member.name = name;
    member.followerIndex = followerIndex;
    member.armed = report.has_value();
    member.report = std::move(report);
    return member;
}

} // namespace

Q_DECLARE_METATYPE(ClockSyncState)

class TestStudioPieces : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void startOnAFrameBoundary_data();
    void startOnAFrameBoundary();
    void stopAfterWholeFrames_data();
    void stopAfterWholeFrames();
    void clockOffsetKeepsTheShortestRoundTrip();
    void offsetLevelAndText_data();
    void offsetLevelAndText();
    void kernelSyncState_data();
    void kernelSyncState();
    void linkAddress_data();
    void linkAddress();
    void studioIsKeptAcrossRestarts();
    void takeReportTravelsWhole();
    void takeReportRefusesForeignNames_data();
    void takeReportRefusesForeignNames();
    void followerServesOnlyItsOwnTakeFiles();
    void followersAnglesComeAfterTheLeaders();
    void studioTimelinesHoldEveryAngle();
};

void TestStudioPieces::initTestCase()
{
    // A zone with summer time, so "local midnight" is not UTC's.
    qputenv("TZ", "Europe/Belgrade");
    tzset();
}

void TestStudioPieces::startOnAFrameBoundary_data()
{
    QTest::addColumn<qint64>("now");
    QTest::addColumn<double>("fps");
    QTest::addColumn<QString>("timecode");

    QTest::newRow("30 fps") << wallAt(9, 59, 59, 10'000'000) << 30.0 << QStringLiteral("10:00:00:01");
    QTest::newRow("25 fps, just past a boundary") << wallAt(9, 59, 59, 1) << 25.0 << QStringLiteral("10:00:00:01");
    QTest::newRow("25 fps, on a boundary") << wallAt(9, 59, 59, 0) << 25.0 << QStringLiteral("10:00:00:00");
    // 29.97 counts 30000/1001 frames a second from midnight: at 10:00:00.010 wall time frame
    // 1 078 921 begins next, labelled 09:59:24:02 (non-drop-frame runs behind the clock).
    QTest::newRow("29.97 fps") << wallAt(9, 59, 59, 10'000'000) << 29.97 << QStringLiteral("09:59:24:02");
    QTest::newRow("59.94 fps") << wallAt(14, 30, 0, 0) << 59.94 << QString();
    QTest::newRow("across midnight") << wallAt(23, 59, 59, 990'000'000) << 30.0 << QString();
}

void TestStudioPieces::startOnAFrameBoundary()
{
    QFETCH(qint64, now);
    QFETCH(double, fps);
    QFETCH(QString, timecode);

    const StudioTime::StartPlan plan = StudioTime::planStart(now, fps);
    const qint64 frameNs = StudioTime::framesDurationNs(1, fps) + 1;
    QVERIFY(plan.startWallNs >= now + StudioTime::kCommandLeadNs);
    QVERIFY(plan.startWallNs < now + StudioTime::kCommandLeadNs + frameNs);
    // A boundary is its own next boundary.
    QCOMPARE(StudioTime::frameBoundaryAtOrAfter(plan.startWallNs, fps), plan.startWallNs);
    if (!timecode.isEmpty())
        QCOMPARE(plan.timecode, timecode);

    // The label names the instant: read back the way the WAV time reference and the editor
    // read a timecode, it gives the start to within a sample.
    const std::optional<qint64> samples = Timecode::samplesSinceMidnight(plan.timecode, fps, 48'000);
    QVERIFY(samples);
    const qint64 labelledNs = *samples * kNsPerSecond / 48'000;
    QVERIFY2(std::llabs(labelledNs - StudioTime::sinceMidnightNs(plan.startWallNs)) <= kNsPerSecond / 48'000,
             qPrintable(plan.timecode));
}

void TestStudioPieces::stopAfterWholeFrames_data()
{
    QTest::addColumn<double>("fps");
    QTest::addColumn<qint64>("asked");

    QTest::newRow("30 fps, 10 s in") << 30.0 << 10 * kNsPerSecond + 12'345'678;
    QTest::newRow("29.97 fps, an hour in") << 29.97 << 3600 * kNsPerSecond + 7;
    QTest::newRow("23.976 fps") << 23.976 << 61 * kNsPerSecond;
    QTest::newRow("stop before the start") << 25.0 << -2 * kNsPerSecond;
}

void TestStudioPieces::stopAfterWholeFrames()
{
    QFETCH(double, fps);
    QFETCH(qint64, asked);

    const qint64 start = StudioTime::planStart(wallAt(11, 0, 0, 0), fps).startWallNs;
    const qint64 now = start + asked;
    const qint64 stop = StudioTime::planStop(start, now, fps);
    const qint64 length = stop - start;
    QVERIFY(stop >= now + StudioTime::kCommandLeadNs);
    // A whole number of frames, which the frame pump fills exactly: every machine's file
    // holds that many frames.
    const qint64 frames = FramePump(frameRateFraction(fps)).slotsCovering(length);
    QCOMPARE(StudioTime::framesDurationNs(frames, fps), length);
    QVERIFY(StudioTime::framesDurationNs(frames - 1, fps) < now + StudioTime::kCommandLeadNs - start
            || frames == 1);
}

void TestStudioPieces::clockOffsetKeepsTheShortestRoundTrip()
{
    ClockOffsetEstimator estimator(3);
    QVERIFY(!estimator.hasEstimate());
    // The follower is 5 ms ahead. A probe that queued on the way out reads it as more.
    estimator.add(ClockProbe{1'000'000'000, 2'000'000, 1'006'000'000});  // 1 ms out, 1 ms back: +5 ms
    estimator.add(ClockProbe{2'000'000'000, 20'000'000, 2'024'000'000}); // 19 ms out: +14 ms
    estimator.add(ClockProbe{3'000'000'000, -1, 0});                     // clock stepped: ignored
    QCOMPARE(estimator.offsetNs(), qint64(5'000'000));
    QCOMPARE(estimator.roundTripNs(), qint64(2'000'000));
    estimator.add(ClockProbe{4'000'000'000, 4'000'000, 4'007'000'000});
    estimator.add(ClockProbe{5'000'000'000, 6'000'000, 5'008'000'000});
    // The best one has left the window of three: the best of the rest counts.
    QCOMPARE(estimator.probeCount(), 3);
    QCOMPARE(estimator.offsetNs(), qint64(5'000'000));
    QCOMPARE(estimator.roundTripNs(), qint64(4'000'000));
}

void TestStudioPieces::offsetLevelAndText_data()
{
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<double>("fps");
    QTest::addColumn<ClockSyncState>("sync");
    QTest::addColumn<QString>("language");
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("text");

    const ClockSyncState unsynced{true, false, 16'000'000, 16'000'000, QStringLiteral("NTP")};
    QTest::newRow("PTP, well in step") << qint64(400'000) << 30.0 << synced(QStringLiteral("PTP")) << QStringLiteral("EN")
                                       << int(OffsetLevel::Good) << QStringLiteral("B: +0.4 ms, PTP");
    QTest::newRow("a hair behind reads +0.0") << qint64(-40'000) << 30.0 << synced(QStringLiteral("NTP"))
                                              << QStringLiteral("EN") << int(OffsetLevel::Good) << QStringLiteral("B: +0.0 ms, NTP");
    QTest::newRow("quarter frame at 30 is amber") << qint64(-8'400'000) << 30.0 << synced(QString()) << QStringLiteral("EN")
                                                  << int(OffsetLevel::Warning) << QStringLiteral("B: -8.4 ms, synchronised");
    QTest::newRow("quarter frame at 25 is not yet") << qint64(10'000'000) << 25.0 << synced(QStringLiteral("NTP"))
                                                    << QStringLiteral("EN") << int(OffsetLevel::Good) << QStringLiteral("B: +10.0 ms, NTP");
    QTest::newRow("just under a frame at 29.97") << qint64(33'350'000) << 29.97 << synced(QStringLiteral("PTP"))
                                                 << QStringLiteral("EN") << int(OffsetLevel::Warning) << QStringLiteral("B: +33.4 ms, PTP");
    QTest::newRow("just over a frame at 29.97") << qint64(33'400'000) << 29.97 << synced(QStringLiteral("PTP"))
                                                << QStringLiteral("EN") << int(OffsetLevel::Error) << QStringLiteral("B: +33.4 ms, PTP");
    QTest::newRow("50 ms off, unsynchronised") << qint64(50'000'000) << 30.0 << unsynced << QStringLiteral("EN")
                                               << int(OffsetLevel::Error) << QStringLiteral("B: +50.0 ms, not synchronised");
    QTest::newRow("Serbian") << qint64(50'000'000) << 30.0 << unsynced << QStringLiteral("SR") << int(OffsetLevel::Error)
                             << QStringLiteral("B: +50.0 ms, nije sinhronizovan");
    QTest::newRow("a clock on the wrong day") << qint64(-86'400) * kNsPerSecond << 60.0 << ClockSyncState{}
                                              << QStringLiteral("EN") << int(OffsetLevel::Error)
                                              << QStringLiteral("B: -86400000.0 ms");
}

void TestStudioPieces::offsetLevelAndText()
{
    QFETCH(qint64, offset);
    QFETCH(double, fps);
    QFETCH(ClockSyncState, sync);
    QFETCH(QString, language);
    QFETCH(int, level);
    QFETCH(QString, text);

    QCOMPARE(int(offsetLevel(offset, fps)), level);
    QCOMPARE(offsetText(QStringLiteral("B"), offset, sync, language), text);
}

void TestStudioPieces::kernelSyncState_data()
{
    QTest::addColumn<int>("clockState");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("known");
    QTest::addColumn<bool>("synchronised");

    QTest::newRow("TIME_OK, synchronised") << 0 << 0x2001 << true << true; // STA_PLL | STA_NANO
    QTest::newRow("leap second pending") << 1 << 0x0011 << true << true;
    QTest::newRow("STA_UNSYNC set") << 0 << 0x0041 << true << false;
    QTest::newRow("TIME_ERROR") << 5 << 0x0001 << true << false;
    QTest::newRow("call failed") << -1 << 0 << false << false;
}

void TestStudioPieces::kernelSyncState()
{
    QFETCH(int, clockState);
    QFETCH(int, status);
    QFETCH(bool, known);
    QFETCH(bool, synchronised);

    const ClockSyncState state = ClockSync::fromKernel(clockState, status, 250, 1500);
    QCOMPARE(state.isKnown, known);
    QCOMPARE(state.isSynchronised, synchronised);
    if (known)
        QCOMPARE(state.estimatedErrorUs, qint64(250));
    // It travels to the leader unchanged.
    QCOMPARE(ClockSyncState::fromJson(state.toJson()), state);

    QCOMPARE(ClockSync::engineFromProcessNames({QStringLiteral("bash"), QStringLiteral("chronyd"), QStringLiteral("phc2sys")}),
             QStringLiteral("PTP"));
    QCOMPARE(ClockSync::engineFromProcessNames({QStringLiteral("systemd-timesyn")}), QStringLiteral("NTP"));
    QCOMPARE(ClockSync::engineFromProcessNames({QStringLiteral("chrony")}), QString());
}

void TestStudioPieces::linkAddress_data()
{
    QTest::addColumn<QString>("entered");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("expectedKey");
    QTest::addColumn<QString>("error");

    const QString key = QStringLiteral("3f9c0000111122223333444455556666");
    QTest::newRow("scanned link") << QStringLiteral("http://192.168.1.20:8081/?key=") + key << QString()
                                  << QStringLiteral("192.168.1.20:8081") << key << QString();
    QTest::newRow("typed key wins") << QStringLiteral("http://192.168.1.20/?key=") + key
                                    << QStringLiteral(" 3F9C0000111122223333444455557777 ") << QStringLiteral("192.168.1.20:8080")
                                    << QStringLiteral("3f9c0000111122223333444455557777") << QString();
    QTest::newRow("address and port") << QStringLiteral(" 10.0.0.7:8090 ") << key << QStringLiteral("10.0.0.7:8090") << key << QString();
    QTest::newRow("host name, key off") << QStringLiteral("studio-b.local") << QString() << QStringLiteral("studio-b.local:8080")
                                        << QString() << QString();
    QTest::newRow("IPv6") << QStringLiteral("[::1]:8081") << key << QStringLiteral("[::1]:8081") << key << QString();
    QTest::newRow("nothing") << QStringLiteral("  ") << key << QString() << QString() << QStringLiteral("no address");
    QTest::newRow("https") << QStringLiteral("https://192.168.1.20/") << key << QString() << QString()
                           << QStringLiteral("not an http address");
    QTest::newRow("port 0") << QStringLiteral("192.168.1.20:0") << key << QString() << QString()
                            << QStringLiteral("the port is not a number from 1 to 65535");
    QTest::newRow("port too big") << QStringLiteral("192.168.1.20:70000") << key << QString() << QString()
                                  << QStringLiteral("the port is not a number from 1 to 65535");
    QTest::newRow("short key") << QStringLiteral("192.168.1.20") << QStringLiteral("3f9c") << QString() << QString()
                               << QStringLiteral("the key must be 32 hexadecimal digits");
    QTest::newRow("credentials") << QStringLiteral("http://me:pw@192.168.1.20/") << key << QString() << QString()
                                 << QStringLiteral("not an http address");
}

void TestStudioPieces::linkAddress()
{
    QFETCH(QString, entered);
    QFETCH(QString, key);
    QFETCH(QString, display);
    QFETCH(QString, expectedKey);
    QFETCH(QString, error);

    QString why;
    const std::optional<LinkAddress> address = parseLinkAddress(entered, key, &why);
    QCOMPARE(why, error);
    QCOMPARE(address.has_value(), error.isEmpty());
    if (!address)
        return;
    QCOMPARE(address->display(), display);
    QCOMPARE(address->key, expectedKey);
    // Saved and read back, it is the same link.
    QCOMPARE(LinkAddress::fromJson(address->toJson()), address);
}

void TestStudioPieces::studioIsKeptAcrossRestarts()
{
    QTemporaryDir settingsFolder;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
    QCOMPARE(StudioSettings::load().machineName, StudioSettings::defaultMachineName());

    StudioSettings::Values values;
    values.machineName = QStringLiteral(" B ");
    values.followers = {*parseLinkAddress(QStringLiteral("192.168.1.21:8080"), QStringLiteral("00112233445566778899aabbccddeeff")),
                        *parseLinkAddress(QStringLiteral("[fe80::1]:8081"))};
    values.leader = parseLinkAddress(QStringLiteral("http://192.168.1.20:8080/?key=ffeeddccbbaa99887766554433221100"));
    values.collectAfterEveryTake = true;
    StudioSettings::save(values);
    {
        // A follower entry spoilt by hand is dropped, the others stay.
        QSettings settings(AppInfo::organisationName, AppInfo::applicationName);
        settings.setValue(QStringLiteral("StudioLink/followers"),
                          settings.value(QStringLiteral("StudioLink/followers")).toByteArray().replace("]", R"(,{"host":"","port":1}])"));
    }
    const StudioSettings::Values back = StudioSettings::load();
    QCOMPARE(back.machineName, QStringLiteral("B"));
    QCOMPARE(back.followers, values.followers);
    QCOMPARE(back.leader, values.leader);
    QVERIFY(back.collectAfterEveryTake);
}

void TestStudioPieces::takeReportTravelsWhole()
{
    const StudioTakeReport report = sampleReport();
    QString error;
    const std::optional<StudioTakeReport> back = StudioTakeReport::fromJson(report.toJson(), &error);
    QVERIFY2(back, qPrintable(error));
    QCOMPARE(*back, report); // nanoseconds and all
    QVERIFY(!back->isHashed());
    QCOMPARE(back->totalBytes(), qint64(1044));
    QCOMPARE(StudioTakeFiles::folderNameFor(QStringLiteral(" B: Cam/Room ")), QStringLiteral("B_ Cam_Room"));
    QCOMPARE(StudioTakeFiles::folderNameFor(QStringLiteral("..")), QStringLiteral("Recorder"));
}

void TestStudioPieces::takeReportRefusesForeignNames_data()
{
    QTest::addColumn<QString>("takeId");
    QTest::addColumn<QString>("fileName");

    QTest::newRow("file climbs out") << QStringLiteral("Interview/Take_02") << QStringLiteral("../../.ssh/id_rsa");
    QTest::newRow("file in a sub-folder") << QStringLiteral("Interview/Take_02") << QStringLiteral("a/b.mp4");
    QTest::newRow("Windows path") << QStringLiteral("Interview/Take_02") << QStringLiteral("C:\\x.mp4");
    QTest::newRow("no name") << QStringLiteral("Interview/Take_02") << QString();
    QTest::newRow("take climbs out") << QStringLiteral("../Take_02") << QStringLiteral("Camera_01.mp4");
    QTest::newRow("take of three parts") << QStringLiteral("a/b/c") << QStringLiteral("Camera_01.mp4");
    QTest::newRow("absolute take") << QStringLiteral("/etc") << QStringLiteral("passwd");
}

void TestStudioPieces::takeReportRefusesForeignNames()
{
    QFETCH(QString, takeId);
    QFETCH(QString, fileName);

    StudioTakeReport report = sampleReport();
    report.takeId = takeId;
    report.files[0].name = fileName;
    QString error;
    QVERIFY(!StudioTakeReport::fromJson(report.toJson(), &error));
    QVERIFY(!error.isEmpty());
}

void TestStudioPieces::followerServesOnlyItsOwnTakeFiles()
{
    QTemporaryDir root;
    QTemporaryDir elsewhere;
    const QString take = root.filePath(QStringLiteral("Interview/Take_02"));
    QVERIFY(QDir().mkpath(take));
    const auto write = [](const QString &path, const QByteArray &bytes) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    QVERIFY(write(take + QStringLiteral("/Camera_01.mp4"), QByteArray(1000, 'v')));
    QVERIFY(write(take + QStringLiteral("/Notes.txt"), "not in the report"));
    QVERIFY(write(elsewhere.filePath(QStringLiteral("secret")), "secret"));
    QVERIFY(QFile::link(elsewhere.filePath(QStringLiteral("secret")), take + QStringLiteral("/Master_Audio_Output.wav")));
    // A take folder without a report, and a link to a folder outside the recording folder.
    QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("Interview/Take_01"))));
    QVERIFY(write(root.filePath(QStringLiteral("Interview/Take_01/Camera_01.mp4")), "x"));
    QVERIFY(QFile::link(elsewhere.path(), root.filePath(QStringLiteral("Interview/Take_03"))));
    StudioTakeReport outside = sampleReport();
    outside.takeId = QStringLiteral("Interview/Take_03");
    QVERIFY(StudioTakeFiles::writeManifest(elsewhere.path(), outside));
    QVERIFY(write(elsewhere.filePath(QStringLiteral("Camera_01.mp4")), "outside"));

    QVERIFY(StudioTakeFiles::writeManifest(take, sampleReport()));
    const FollowerFiles files(root.path());
    const FollowerFiles::Resolved camera = files.resolve(QStringLiteral("Interview/Take_02"), QStringLiteral("Camera_01.mp4"));
    QVERIFY2(camera.isServed(), qPrintable(camera.refusal));
    QCOMPARE(camera.size, qint64(1000));

    const QList<QPair<QString, QString>> refused = {
        {QStringLiteral("Interview/Take_02"), QStringLiteral("Notes.txt")},               // not in the report
        {QStringLiteral("Interview/Take_02"), QStringLiteral("Master_Audio_Output.wav")}, // listed, but a link out
        {QStringLiteral("Interview/Take_02"), QString::fromLatin1(StudioTakeReport::kManifestName)},
        {QStringLiteral("Interview/Take_01"), QStringLiteral("Camera_01.mp4")},           // no report there
        {QStringLiteral("Interview/Take_03"), QStringLiteral("Camera_01.mp4")},           // folder outside
        {QStringLiteral("Interview/Take_09"), QStringLiteral("Camera_01.mp4")},
        {QStringLiteral("Interview/.."), QStringLiteral("Camera_01.mp4")},
    };
    for (const auto &[takeId, name] : refused) {
        const FollowerFiles::Resolved resolved = files.resolve(takeId, name);
        QVERIFY2(!resolved.isServed(), qPrintable(takeId + QLatin1Char(' ') + name));
        QVERIFY(!resolved.refusal.isEmpty());
    }
}


void TestStudioPieces::followersAnglesComeAfterTheLeaders()
{
    LeaderTakeFiles leader;
    leader.machine = QStringLiteral("A");
    leader.videoPaths = {{2, QStringLiteral("/take/Camera_02.mp4")}, {1, QStringLiteral("/take/Camera_01.mp4")}};
    leader.cameraNames = {{1, QStringLiteral("Test Pattern 1")}};
    leader.masterAudioPath = QStringLiteral("/take/Master_Audio_Output.wav");
    StudioTakeReport b = sampleReport();
    b.files.append(StudioTakeFile{QStringLiteral("Camera_03.mp4"), QStringLiteral("video"), 3, 1, 370, 12'345, QString()});
    b.files.append(StudioTakeFile{QStringLiteral("Channel_02_Audio.wav"), QStringLiteral("audio"), 2, 1, 0, 12'345, QString()});
    StudioTakeReport d = sampleReport();
    d.files = {StudioTakeFile{QStringLiteral("Camera_02.mp4"), QStringLiteral("video"), 2, 1, 370, 12'345, QString()}};
    const std::vector<StudioLeader::Member> members = {member(QStringLiteral("B"), 0, b),
                                                       member(QStringLiteral("C"), 1, std::nullopt),
                                                       member(QStringLiteral("D: Wide"), 2, d)};

    const StudioAngles angles = studioAngles(leader, members, QStringLiteral("/take"));
    QStringList video;
    for (const StudioClip &clip : angles.video)
        video.append(QStringLiteral("%1 %2 %3").arg(clip.studioChannel).arg(clip.name, clip.path));
    QCOMPARE(video, QStringList({QStringLiteral("1 A Test Pattern 1 /take/Camera_01.mp4"),
                                 QStringLiteral("2 A Camera 2 /take/Camera_02.mp4"),
                                 QStringLiteral("5 B Test Pattern 1 /take/B/Camera_01.mp4"),
                                 QStringLiteral("7 B Camera 3 /take/B/Camera_03.mp4"),
                                 QStringLiteral("14 D: Wide Camera 2 /take/D_ Wide/Camera_02.mp4")}));
    QStringList audio;
    for (const StudioClip &clip : angles.audio)
        audio.append(clip.name);
    QCOMPARE(audio, QStringList({QStringLiteral("A Master audio"), QStringLiteral("B Master audio"),
                                 QStringLiteral("B Channel 2 audio")}));
    // A studio channel tells its machine and its channel there.
    QCOMPARE(StudioLeader::machineChannel(4), std::make_pair(-1, 4));
    QCOMPARE(StudioLeader::machineChannel(7), std::make_pair(0, 3));
    QCOMPARE(StudioLeader::machineChannel(14), std::make_pair(2, 2));
}

void TestStudioPieces::studioTimelinesHoldEveryAngle()
{
    QTemporaryDir folder;
    const QString take = folder.filePath(QStringLiteral("Show/Take_03"));
    QVERIFY(QDir().mkpath(take));
    TimelineExportInput leader;
    leader.sessionName = QStringLiteral("Show");
    leader.takeFolderPath = take;
    leader.startTimecode = QStringLiteral("10:00:00:00");
    leader.durationMs = 6000;
    for (int channel = 1; channel <= 4; ++channel)
        leader.videoPaths[channel] = take + QStringLiteral("/Camera_0%1.mp4").arg(channel);
    leader.masterWavPath = take + QStringLiteral("/Master_Audio_Output.wav");
    // From the leader's camera 1 to B's camera 2 (studio channel 6), then its own camera 2.
    leader.cuts = {TimelineCut{1, 0}, TimelineCut{6, 2000}, TimelineCut{2, 4000}};
    leader.markers = {TimelineMarker{3000, QStringLiteral("applause")}};
    const auto report = [](qint64 frames) {
        StudioTakeReport r = sampleReport();
        r.files.clear();
        for (int channel = 1; channel <= 4; ++channel) {
            r.files.append(StudioTakeFile{QStringLiteral("Camera_0%1.mp4").arg(channel), QStringLiteral("video"), channel,
                                          1000, frames, frames * 1000 / 30, QString()});
            r.cameras.append(StudioCamera{channel, QStringLiteral("Cam %1").arg(channel)});
        }
        r.files.append(StudioTakeFile{QStringLiteral("Master_Audio_Output.wav"), QStringLiteral("audio"), 0, 44, 288'000,
                                      6000, QString()});
        return r;
    };
    // C ended a frame short; D sent no report.
    const std::vector<StudioLeader::Member> members = {member(QStringLiteral("B"), 0, report(180)),
                                                       member(QStringLiteral("C"), 1, report(179)),
                                                       member(QStringLiteral("D"), 2, std::nullopt)};
    const TimelineModel model = studioTimelineModel(leader, QStringLiteral("A"), {{1, QStringLiteral("Test Pattern 1")}}, members);
    QList<TimelineFileWrite> written;
    QVERIFY(writeTimelineModel(model, take, leader.sessionName, studioTimelineTakeName(QStringLiteral("Take_03")), &written));
    QCOMPARE(written.size(), 6);
    QVERIFY(written.first().path.endsWith(QStringLiteral("/Show_Take_03_Studio.xml")));

    // All angles: twelve cameras on tracks of their own, named by machine, the programme above.
    const TimelineSequence &angles = model.allAngles;
    QCOMPARE(angles.video.size(), 13);
    QCOMPARE(angles.video.at(0).name, QStringLiteral("A Test Pattern 1"));
    QCOMPARE(angles.video.at(5).name, QStringLiteral("B Cam 2"));
    QCOMPARE(angles.video.at(11).name, QStringLiteral("C Cam 4"));
    QStringList audio;
    for (const TimelineTrack &track : angles.audio)
        audio.append(track.name);
    QCOMPARE(audio, QStringList({QStringLiteral("A Master audio"), QStringLiteral("B Master audio"), QStringLiteral("C Master audio")}));
    const TimelineClip &shortOne = angles.video.at(8).clips.first();
    QCOMPARE(shortOne.end - shortOne.start, qint64(179));

    // Read as an editor reads them: no broken rule in any format, the followers' files in their
    // machines' folders, the switch to B's camera on the programme.
    const XmemlTimeline xmeml = readXmemlFile(take + QStringLiteral("/Show_Take_03_Studio_AllAngles.xml"), 180);
    QVERIFY2(xmeml.faults.isEmpty(), qPrintable(xmeml.faults.join(QLatin1Char('\n'))));
    QCOMPARE(xmeml.videoTracks.size(), 13);
    QStringList urls;
    for (const XmemlFile &file : xmeml.files)
        urls.append(file.pathUrl);
    QVERIFY(urls.join(QLatin1Char(' ')).contains(QStringLiteral("/Show/Take_03/B/Camera_02.mp4")));
    QVERIFY(!urls.join(QLatin1Char(' ')).contains(QStringLiteral("/D/")));
    const QList<XmemlClip> &programme = xmeml.videoTracks.last();
    QCOMPARE(programme.size(), 3);
    QVERIFY(xmeml.file(programme.at(1).fileId) && xmeml.file(programme.at(1).fileId)->pathUrl.endsWith(QStringLiteral("/B/Camera_02.mp4")));
    const XmemlTimeline cut = readXmemlFile(take + QStringLiteral("/Show_Take_03_Studio.xml"), 180);
    QVERIFY2(cut.faults.isEmpty(), qPrintable(cut.faults.join(QLatin1Char('\n'))));
    const FcpxmlTimeline fcpxml = readFcpxmlFile(take + QStringLiteral("/Show_Take_03_Studio_AllAngles.fcpxml"), 180);
    QVERIFY2(fcpxml.faults.isEmpty(), qPrintable(fcpxml.faults.join(QLatin1Char('\n'))));
    QCOMPARE(fcpxml.markers.size(), 1);
    const OtioTimeline otio = readOtioFile(take + QStringLiteral("/Show_Take_03_Studio_AllAngles.otio"), 180);
    QVERIFY2(otio.faults.isEmpty(), qPrintable(otio.faults.join(QLatin1Char('\n'))));
    QCOMPARE(otio.tracksOfKind(QStringLiteral("Video")).size(), 13);
}

QTEST_GUILESS_MAIN(TestStudioPieces)
#include "tst_studiopieces.moc"
