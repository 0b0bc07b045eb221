// Recorders linked into a studio over loopback sockets, each with its own remote-control
// server: the links and their states (linked, refused, lost and back), the clock offset of a
// follower whose clock is off, a studio take armed, started and stopped on every linked
// machine at the same instants of their own clocks, the faults (a machine not reached at REC,
// one lost mid-take, one whose disk filled up), the take reports, collecting the files
// (resumed and checked), a follower asking its leader to drive it, and the studio as the
// remote-control dialog shows it and keeps it.
#include "FakeStudioRecorder.h"
#include "ManagerTestCase.h"

#include "models/InputChannelsModel.h"
#include "remote/RemoteControlServer.h"
#include "studio/ClockOffset.h"
#include "studio/FileCollector.h"
#include "studio/FileHasher.h"
#include "studio/FollowerLink.h"
#include "studio/LinkCall.h"
#include "studio/StudioFollower.h"
#include "studio/StudioLeader.h"
#include "studio/StudioSession.h"
#include "studio/StudioSettings.h"
#include "studio/WallClock.h"

#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

constexpr int kPollMs = 100;

// One recorder of the studio: its own clock (perhaps off), sync state, follower side and
// server on a loopback port of its own.
struct Machine
{
    Machine(const QString &name, ApplicationManager *manager, qint64 clockOffsetNs = 0)
        : recorder(name, folder.path())
        , clock(clockOffsetNs)
        , follower(&recorder, &clock, &sync)
        , server(manager)
    {
        server.setStudioFollower(&follower);
        server.startServer(0);
        port = quint16(server.port());
    }
    LinkAddress address() const { return LinkAddress{QStringLiteral("127.0.0.1"), port, server.accessKey()}; }
    // Brings the server back on the port it had (a machine that returns).
    bool restart()
    {
        server.startServer(port);
        return server.isRunning() && server.port() == port;
    }

    QTemporaryDir folder;
    FakeStudioRecorder recorder;
    WallClock clock;
    FixedClockSync sync;
    StudioFollower follower;
    RemoteControlServer server;
    quint16 port = 0;
};

// A loopback port nothing listens on.
quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool sameFileContents(const QString &a, const QString &b)
{
    return !FileHasher::sha256Of(a).isEmpty() && FileHasher::sha256Of(a) == FileHasher::sha256Of(b);
}

QStringList problemLines(const StudioLeader &leader)
{
    QStringList lines;
    for (const StudioText &line : leader.problems())
        lines.append(line.en);
    return lines;
}

} // namespace

class TestStudioLink : public ManagerTestCase
{
    Q_OBJECT

private slots:
    void linksShowTheirStateAndClockOffset();
    void studioTakeRunsOnEveryLinkedMachine();
    void faultsStayWithTheirMachine();
    void collectingResumesAndChecks();
    void followerAsksItsLeaderToDriveIt();
    void sessionShowsTheStudioAndKeepsIt();
};

void TestStudioLink::linksShowTheirStateAndClockOffset()
{
    QTemporaryDir leaderFolder;
    FakeStudioRecorder leaderRecorder(QStringLiteral("A"), leaderFolder.path());
    const WallClock clock;
    StudioLeader leader(&leaderRecorder, &clock);
    leader.setPollIntervalMs(kPollMs);

    Machine b(QStringLiteral("B"), m_manager);
    Machine c(QStringLiteral("C"), m_manager, 50'000'000);
    Machine d(QStringLiteral("D"), m_manager);
    c.sync.m_state = ClockSyncState{true, false, 16'000'000, 16'000'000, QStringLiteral("NTP")};
    FollowerLink *toB = leader.addFollower(b.address());
    FollowerLink *toC = leader.addFollower(c.address());
    LinkAddress wrongKey = d.address();
    wrongKey.key = QStringLiteral("0123456789abcdef0123456789abcdef");
    FollowerLink *refused = leader.addFollower(wrongKey);
    FollowerLink *nobody = leader.addFollower(LinkAddress{QStringLiteral("127.0.0.1"), closedPort(), b.address().key});
    QCOMPARE(leader.followers().size(), 4);

    QTRY_COMPARE_WITH_TIMEOUT(toB->state(), FollowerLink::State::Linked, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(toC->state(), FollowerLink::State::Linked, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(refused->state(), FollowerLink::State::Refused, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(nobody->state(), FollowerLink::State::Lost, 5000);
    QCOMPARE(toB->machineName(), QStringLiteral("B"));
    QCOMPARE(toB->status().cameras.value(0).name, QStringLiteral("Test Pattern 1"));
    QTRY_VERIFY_WITH_TIMEOUT(toC->clockOffset().probeCount() >= 4, 5000);

    // C's clock is 50 ms ahead: measured over the link to within half the best round trip,
    // shown red before any take; B's is in step.
    const qint64 offsetC = toC->clockOffset().offsetNs();
    QVERIFY2(std::llabs(offsetC - 50'000'000) <= std::max<qint64>(toC->clockOffset().roundTripNs() / 2, 2'000'000),
             qPrintable(QString::number(offsetC)));
    QCOMPARE(offsetLevel(offsetC, 30.0), OffsetLevel::Error);
    QVERIFY(offsetText(toC->machineName(), offsetC, toC->status().sync, QStringLiteral("EN"))
                .startsWith(QStringLiteral("C: +5")));
    QVERIFY(offsetText(toC->machineName(), offsetC, toC->status().sync, QStringLiteral("EN"))
                .endsWith(QStringLiteral(", not synchronised")));
    QCOMPARE(offsetLevel(toB->clockOffset().offsetNs(), 30.0), OffsetLevel::Good);
    // The follower sees its leader by name.
    QTRY_VERIFY(b.follower.hasLeaderContact());
    QCOMPARE(b.follower.leaderMachine(), QStringLiteral("A"));

    // B goes away: lost within 2 s; it comes back on its port: linked again.
    b.server.stopServer();
    QTRY_COMPARE_WITH_TIMEOUT(toB->state(), FollowerLink::State::Lost, 2000);
    QVERIFY(b.restart());
    QTRY_COMPARE_WITH_TIMEOUT(toB->state(), FollowerLink::State::Linked, 5000);

    QVERIFY(leader.removeFollower(wrongKey.display()));
    QCOMPARE(leader.followers().size(), 3);
}

void TestStudioLink::studioTakeRunsOnEveryLinkedMachine()
{
    QTemporaryDir leaderFolder;
    FakeStudioRecorder leaderRecorder(QStringLiteral("A"), leaderFolder.path());
    const WallClock clock;
    StudioLeader leader(&leaderRecorder, &clock);
    leader.setPollIntervalMs(kPollMs);
    Machine b(QStringLiteral("B"), m_manager);
    Machine c(QStringLiteral("C"), m_manager, 3'000'000); // 3 ms ahead
    // Two machines named alike keep apart in the take.
    c.recorder.machine = QStringLiteral("B");
    FollowerLink *toB = leader.addFollower(b.address());
    FollowerLink *toC = leader.addFollower(c.address());
    leader.addFollower(LinkAddress{QStringLiteral("127.0.0.1"), closedPort(), QString()});
    QTRY_VERIFY_WITH_TIMEOUT(toB->state() == FollowerLink::State::Linked && toC->state() == FollowerLink::State::Linked, 5000);

    QVERIFY(leader.recordAll(QStringLiteral("Interview")));
    QCOMPARE(leader.phase(), StudioLeader::Phase::Armed);
    QVERIFY(leaderRecorder.prepared);
    const StudioTakePlan plan = *leaderRecorder.prepared;
    QVERIFY(plan.start.startWallNs - clock.nowNs() > 800'000'000);
    QTRY_VERIFY_WITH_TIMEOUT(b.recorder.prepared && c.recorder.prepared, 2000);
    for (const Machine *machine : {&b, &c}) {
        QCOMPARE(machine->recorder.prepared->start.startWallNs, plan.start.startWallNs);
        QCOMPARE(machine->recorder.prepared->start.timecode, plan.start.timecode);
        QCOMPARE(machine->recorder.prepared->session, QStringLiteral("Interview"));
        QVERIFY(machine->recorder.armingShown.value(0) >= 1); // the countdown shows there too
    }
    QTRY_VERIFY(problemLines(leader).join(QLatin1Char('\n')).contains(QStringLiteral("did not start: not reachable")));

    // Every machine starts at the instant of its own clock: C, 3 ms ahead, 3 ms earlier.
    QTRY_VERIFY_WITH_TIMEOUT(leaderRecorder.recording && b.recorder.recording && c.recorder.recording, 3000);
    QCOMPARE(leader.phase(), StudioLeader::Phase::Running);
    QVERIFY(std::llabs(b.recorder.startedMonotonicNs - leaderRecorder.startedMonotonicNs) < 1'000'000);
    QVERIFY(std::llabs(c.recorder.startedMonotonicNs - (leaderRecorder.startedMonotonicNs - 3'000'000)) < 1'000'000);
    QCOMPARE(leaderRecorder.armingShown.last(), 0);
    QCOMPARE(b.recorder.armingShown.last(), 0);

    // STOP: one length for all, a whole number of frames.
    leader.stopAll();
    QVERIFY(leaderRecorder.endsAfterNs > 0);
    QTRY_COMPARE_WITH_TIMEOUT(b.recorder.endsAfterNs, leaderRecorder.endsAfterNs, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(c.recorder.endsAfterNs, leaderRecorder.endsAfterNs, 3000);
    const qint64 frames = qRound64(double(leaderRecorder.endsAfterNs) * 30 / 1e9);
    QCOMPARE(StudioTime::framesDurationNs(frames, 30.0), leaderRecorder.endsAfterNs);

    // The takes end; the leader gathers the reports, then collects the files.
    QSignalSpy reportsReady(&leader, &StudioLeader::reportsReady);
    leader.takeFinished(leaderRecorder.takeFolder);
    QCOMPARE(leader.phase(), StudioLeader::Phase::Reporting);
    b.follower.takeFinished(b.recorder.takeFolder, b.recorder.finishTake(300'000));
    c.follower.takeFinished(c.recorder.takeFolder, c.recorder.finishTake(200'000));
    QTRY_COMPARE_WITH_TIMEOUT(reportsReady.count(), 1, 5000);
    QCOMPARE(leader.phase(), StudioLeader::Phase::Idle);
    const std::vector<StudioLeader::Member> &members = leader.members();
    QCOMPARE(members.size(), size_t(3));
    QCOMPARE(members[0].name, QStringLiteral("B"));
    QCOMPARE(members[1].name, QStringLiteral("B (2)"));
    QVERIFY(members[0].report && members[1].report && !members[2].report);
    QCOMPARE(members[0].report->takeId, QStringLiteral("Interview/Take_01"));
    QCOMPARE(members[0].report->startTimecode, plan.start.timecode);
    QCOMPARE(members[0].report->files.value(0).bytes, qint64(300'000));

    QSignalSpy collected(&leader, &StudioLeader::collectFinished);
    leader.collectFiles();
    QVERIFY(leader.isCollecting());
    QTRY_COMPARE_WITH_TIMEOUT(collected.count(), 1, 10'000);
    QVERIFY2(collected.at(0).at(0).toBool(), qPrintable(leader.collectError()));
    QCOMPARE(leader.collectedBytes(), qint64(500'000));
    QVERIFY(sameFileContents(QDir(leader.memberFolder(members[0])).filePath(QStringLiteral("Camera_01.mp4")),
                             QDir(b.recorder.takeFolder).filePath(QStringLiteral("Camera_01.mp4"))));
    QVERIFY(sameFileContents(QDir(leaderFolder.path()).filePath(QStringLiteral("Interview/Take_01/B (2)/Camera_01.mp4")),
                             QDir(c.recorder.takeFolder).filePath(QStringLiteral("Camera_01.mp4"))));
}

void TestStudioLink::faultsStayWithTheirMachine()
{
    QTemporaryDir leaderFolder;
    FakeStudioRecorder leaderRecorder(QStringLiteral("A"), leaderFolder.path());
    const WallClock clock;
    StudioLeader leader(&leaderRecorder, &clock);
    leader.setPollIntervalMs(kPollMs);
    Machine b(QStringLiteral("B"), m_manager);
    Machine c(QStringLiteral("C"), m_manager, 50'000'000);
    Machine d(QStringLiteral("D"), m_manager);
    d.recorder.refuseWith = StudioText{QStringLiteral("only 200 MB free on its disk"), QStringLiteral("samo 200 MB")};
    FollowerLink *toB = leader.addFollower(b.address());
    FollowerLink *toC = leader.addFollower(c.address());
    FollowerLink *toD = leader.addFollower(d.address());
    QTRY_VERIFY_WITH_TIMEOUT(toB->state() == FollowerLink::State::Linked && toC->state() == FollowerLink::State::Linked
                                 && toD->state() == FollowerLink::State::Linked, 5000);

    // This machine cannot open its files: nobody is armed.
    leaderRecorder.refuseWith = StudioText{QStringLiteral("the take folder cannot be created"), QString()};
    StudioText refusal;
    QVERIFY(!leader.recordAll(QStringLiteral("S"), &refusal));
    QCOMPARE(refusal.en, QStringLiteral("the take folder cannot be created"));
    QTest::qWait(200);
    QVERIFY(!b.recorder.prepared);
    leaderRecorder.refuseWith = StudioText{};

    QVERIFY(leader.recordAll(QStringLiteral("S")));
    QTRY_VERIFY_WITH_TIMEOUT(problemLines(leader).contains(QStringLiteral("D did not start: only 200 MB free on its disk")), 2000);
    QTRY_VERIFY_WITH_TIMEOUT(b.recorder.recording && c.recorder.recording, 3000);
    // C's clock is 50 ms ahead: it started 50 ms early, and the banner says so.
    QVERIFY(problemLines(leader).join(QLatin1Char('\n')).contains(QStringLiteral("C's clock is 5")));

    // B's disk fills up: its own take stops; the leader shows why.
    b.recorder.problemText = StudioText{QStringLiteral("the disk is full"), QStringLiteral("disk je pun")};
    b.follower.takeFinished(b.recorder.takeFolder, b.recorder.finishTake(1000));
    QTRY_VERIFY_WITH_TIMEOUT(problemLines(leader).contains(QStringLiteral("B stopped: the disk is full")), 2000);
    QVERIFY(leader.problems().first().sr.contains(QStringLiteral("disk je pun")));

    // C is lost mid-take: shown lost, it keeps recording; it misses the STOP and gets it
    // once it is back.
    c.server.stopServer();
    QTRY_VERIFY_WITH_TIMEOUT(problemLines(leader).contains(QStringLiteral("C is lost: it records on by itself")), 2000);
    QVERIFY(c.recorder.recording);
    QVERIFY(c.follower.isInStudioTake());
    leader.stopAll();
    QTest::qWait(300);
    QCOMPARE(c.recorder.endsAfterNs, qint64(-1));
    QVERIFY(c.restart());
    QTRY_COMPARE_WITH_TIMEOUT(c.recorder.endsAfterNs, leaderRecorder.endsAfterNs, 5000);
    QTRY_VERIFY(!problemLines(leader).join(QLatin1Char(' ')).contains(QStringLiteral("C is lost")));

    // The leader's take ends: B's report (kept from before its disk filled) and C's come in.
    QSignalSpy reportsReady(&leader, &StudioLeader::reportsReady);
    leader.takeFinished(leaderRecorder.takeFolder);
    c.follower.takeFinished(c.recorder.takeFolder, c.recorder.finishTake(1000));
    QTRY_COMPARE_WITH_TIMEOUT(reportsReady.count(), 1, 5000);
    QVERIFY(leader.members()[0].report && leader.members()[1].report && !leader.members()[2].report);

    // A STOP before the start calls the take off everywhere.
    leaderRecorder.recording = false;
    const qint64 lastStart = leaderRecorder.startedMonotonicNs;
    QVERIFY(leader.recordAll(QStringLiteral("S")));
    QTRY_VERIFY_WITH_TIMEOUT(b.follower.isInStudioTake(), 2000);
    leader.stopAll();
    QCOMPARE(leader.phase(), StudioLeader::Phase::Idle);
    QTRY_VERIFY_WITH_TIMEOUT(!b.follower.isInStudioTake() && b.recorder.cancelled == 1, 2000);
    QTest::qWait(1200); // past the instant: nothing starts
    QVERIFY(!leaderRecorder.recording && !b.recorder.recording);
    QCOMPARE(leaderRecorder.startedMonotonicNs, lastStart);
    QCOMPARE(leaderRecorder.cancelled, 1);
}

void TestStudioLink::collectingResumesAndChecks()
{
    Machine b(QStringLiteral("B"), m_manager);
    const StudioTakePlan plan{QStringLiteral("42"), StudioTime::planStart(b.clock.nowNs(), 30.0, 100'000'000),
                              QStringLiteral("S"), QStringLiteral("A")};
    QVERIFY(b.follower.arm(plan).accepted);
    QTRY_VERIFY(b.recorder.recording);
    b.recorder.endsAfterNs = 1'000'000'000;
    constexpr qint64 size = 3 * 1024 * 1024 + 17;
    b.follower.takeFinished(b.recorder.takeFolder, b.recorder.finishTake(size));
    const QString original = QDir(b.recorder.takeFolder).filePath(QStringLiteral("Camera_01.mp4"));
    QFile source(original);
    QVERIFY(source.open(QIODevice::ReadOnly));
    const QByteArray bytes = source.readAll();
    StudioTakeReport report = *b.follower.report(QStringLiteral("42"));
    QVERIFY(report.files.value(0).sha256.isEmpty()); // still being checksummed by B

    // The follower's file route: ranges, and nothing but its take's files.
    const WallClock clock;
    QObject context;
    const auto get = [&](const QString &take, const QString &name, const QByteArray &range) {
        LinkRequest request;
        request.path = QStringLiteral("/api/studio/file");
        request.query.addQueryItem(QStringLiteral("take"), take);
        request.query.addQueryItem(QStringLiteral("name"), name);
        if (!range.isEmpty())
            request.headers.append({"Range", range});
        LinkResponse answer;
        bool done = false;
        LinkCall::start(b.address(), request, &clock, &context, [&](const LinkResponse &response) {
            answer = response;
            done = true;
        });
        (void)QTest::qWaitFor([&] { return done; }, 5000);
        return answer;
    };
    const LinkResponse tail = get(report.takeId, QStringLiteral("Camera_01.mp4"), "bytes=3145000-");
    QCOMPARE(tail.status, 206);
    QCOMPARE(tail.body, bytes.mid(3145000));
    QCOMPARE(tail.header("Content-Range"), QByteArray("bytes 3145000-3145744/3145745"));
    QCOMPARE(get(report.takeId, QString::fromLatin1(StudioTakeReport::kManifestName), QByteArray()).status, 404);
    QCOMPARE(get(QStringLiteral("S/../S/Take_01"), QStringLiteral("Camera_01.mp4"), QByteArray()).status, 404);
    QCOMPARE(get(report.takeId, QStringLiteral("Camera_01.mp4"), "bytes=9999999-").status, 416);

    // A copy cut short goes on from its last byte; one that came out wrong is copied again.
    QTemporaryDir into;
    const QString target = into.filePath(QStringLiteral("Camera_01.mp4"));
    QFile part(target + QStringLiteral(".part"));
    QVERIFY(part.open(QIODevice::WriteOnly));
    part.write(bytes.left(1024 * 1024));
    part.close();
    {
        FileCollector collector(b.address(), &clock, report, into.path());
        collector.setRetryDelayMs(50);
        QSignalSpy finished(&collector, &FileCollector::finished);
        qint64 firstProgress = -1;
        connect(&collector, &FileCollector::progressChanged, &context, [&] {
            if (firstProgress < 0)
                firstProgress = collector.doneBytes();
        });
        collector.start();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10'000);
        QVERIFY2(collector.hasSucceeded(), qPrintable(collector.error()));
        QVERIFY(firstProgress > 1024 * 1024);
        QVERIFY(sameFileContents(target, original));
        QVERIFY(!QFile::exists(target + QStringLiteral(".part")));
    }
    QFile damaged(target);
    QVERIFY(damaged.open(QIODevice::ReadWrite));
    damaged.seek(size / 2);
    damaged.write("XXXX");
    damaged.close();
    {
        FileCollector collector(b.address(), &clock, report, into.path());
        collector.setRetryDelayMs(50);
        QSignalSpy finished(&collector, &FileCollector::finished);
        collector.start();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10'000);
        QVERIFY2(collector.hasSucceeded(), qPrintable(collector.error()));
        QVERIFY(sameFileContents(target, original));
    }
    // The follower's kept report now carries the checksum of its file.
    QCOMPARE(b.follower.report(QStringLiteral("42"))->files.value(0).sha256, FileHasher::sha256Of(original));
}

void TestStudioLink::followerAsksItsLeaderToDriveIt()
{
    QTemporaryDir leaderFolder;
    FakeStudioRecorder leaderRecorder(QStringLiteral("A"), leaderFolder.path());
    const WallClock clock;
    StudioLeader leader(&leaderRecorder, &clock);
    leader.setPollIntervalMs(kPollMs);
    Machine a(QStringLiteral("A"), m_manager);
    a.server.setStudioJoinHandler([&](const LinkAddress &follower, const QString &) {
        leader.addFollower(follower);
        return true;
    });
    Machine b(QStringLiteral("B"), m_manager);

    LinkAddress wrong = a.address();
    wrong.key = QStringLiteral("ffffffffffffffffffffffffffffffff");
    b.follower.setJoinIntervalMs(100);
    b.follower.followLeader(wrong, b.port, b.server.accessKey());
    QTRY_COMPARE(b.follower.joinError(), QStringLiteral("the leader refused the key"));
    QVERIFY(leader.followers().isEmpty());

    b.follower.followLeader(a.address(), b.port, b.server.accessKey());
    QTRY_COMPARE_WITH_TIMEOUT(leader.followers().size(), 1, 5000);
    QCOMPARE(leader.followers().first()->address().display(), QStringLiteral("127.0.0.1:%1").arg(b.port));
    QTRY_COMPARE_WITH_TIMEOUT(leader.followers().first()->state(), FollowerLink::State::Linked, 5000);
    QTRY_VERIFY(b.follower.hasLeaderContact());
    QVERIFY(b.follower.joinError().isEmpty());
    // It keeps asking only while the leader is quiet: joined once, linked once.
    QTest::qWait(400);
    QCOMPARE(leader.followers().size(), 1);
}

void TestStudioLink::sessionShowsTheStudioAndKeepsIt()
{
    QTemporaryDir leaderFolder;
    FakeStudioRecorder leaderRecorder(QStringLiteral("A"), leaderFolder.path());
    Machine b(QStringLiteral("B"), m_manager);
    const auto sync = [] {
        return std::make_unique<FixedClockSync>(ClockSyncState{true, true, 100, 400, QStringLiteral("PTP")});
    };
    {
        StudioSession session(&leaderRecorder, sync());
        session.leader()->setPollIntervalMs(kPollMs);
        session.setMachineName(QStringLiteral(" A "));
        QCOMPARE(session.addFollower(QStringLiteral("192.168.1.20:99999"), QString()),
                 QStringLiteral("the port is not a number from 1 to 65535"));
        QVERIFY(session.addFollower(b.address().display(), b.address().key).isEmpty());
        QVERIFY(session.isLeading());
        QTRY_COMPARE_WITH_TIMEOUT(session.followers().value(0).toMap().value(QStringLiteral("state")).toString(),
                                  QStringLiteral("linked"), 5000);
        QTRY_VERIFY(!session.followers().value(0).toMap().value(QStringLiteral("offsetText")).toString().isEmpty());
        const QVariantMap entry = session.followers().value(0).toMap();
        QVERIFY(entry.value(QStringLiteral("offsetText")).toString().startsWith(QStringLiteral("B: ")));
        QVERIFY(entry.value(QStringLiteral("offsetText")).toString().endsWith(QStringLiteral(" ms, PTP")));
        QCOMPARE(entry.value(QStringLiteral("offsetLevel")).toString(), QStringLiteral("good"));
        QCOMPARE(entry.value(QStringLiteral("cameras")).toString(), QStringLiteral("5–8"));
        QCOMPARE(session.ownClockText(), QStringLiteral("A (this machine): PTP, ±0.1 ms"));
        session.setLanguage(QStringLiteral("SR"));
        QCOMPARE(session.followers().value(0).toMap().value(QStringLiteral("stateText")).toString(), QStringLiteral("povezan"));
        // A leader does not follow; nothing to collect before a studio take.
        QVERIFY(!session.followLeader(QStringLiteral("127.0.0.1:1"), QString()).isEmpty());
        QVERIFY(!session.isFollowing());
        QVERIFY(!session.canCollect());
    }
    // After a restart the links are back.
    StudioSession again(&leaderRecorder, sync());
    QCOMPARE(again.machineName(), QStringLiteral("A"));
    QCOMPARE(again.followers().size(), 1);
    QCOMPARE(again.followers().value(0).toMap().value(QStringLiteral("address")).toString(), b.address().display());
    again.removeFollower(b.address().display());
    QVERIFY(!again.isLeading());
    QVERIFY(again.followLeader(b.address().display(), b.address().key).isEmpty());
    QVERIFY(again.leaderText().startsWith(QStringLiteral("Following ")));
    QCOMPARE(StudioSettings::load().leader, parseLinkAddress(b.address().display(), b.address().key));
    again.stopFollowing();
    QVERIFY(again.leaderText().isEmpty());
    QVERIFY(StudioSettings::load().followers.isEmpty());
    // Added on a leader instead: this machine shows the leader while its probes come.
    QVERIFY(again.statusJson().isEmpty());
    again.follower()->noteLeaderContact(QStringLiteral("A"));
    QCOMPARE(again.leaderText(), QStringLiteral("Led by A: linked"));
    QCOMPARE(again.statusJson().value(QStringLiteral("role")).toString(), QStringLiteral("follower"));
    QVERIFY(!again.isFollowing());
    QTRY_VERIFY_WITH_TIMEOUT(again.leaderText().isEmpty(), StudioFollower::kLeaderQuietMs + 2000);
}

QTEST_MAIN(TestStudioLink)
#include "tst_studiolink.moc"
