// A leader and simulated followers on loopback: what one leader's links cost per follower.
//
//   bench_studio [FOLLOWERS=10] [SECONDS=20]
//
// The followers run in a child process (this program with --serve N): each has its own
// remote-control server, follower side and a recorder without cameras (BenchRecorder),
// as a real follower answers the link. The leader runs here and probes them as the program
// does (twice a second each). Measured, each over SECONDS:
//   - the leader's CPU time with one follower and with all of them (the ratio and the cost of
//     each follower more show how it grows with the count), and the followers' process
//     against its own idle reference (no leader probing);
//   - the bytes one probe puts on the wire both ways;
//   - REC ALL: how long until every follower has answered its arm command, and how far
//     apart the leader and the followers start their takes (their start instants on the
//     monotonic clock, which both processes share);
//   - the best round trip and the clock offsets measured on loopback (one clock: ~0).
// Figures taken on a loaded machine are loaded; compare ratios, not absolute times.
#include "app/ApplicationManager.h"
#include "remote/RemoteControlServer.h"
#include "studio/ClockSync.h"
#include "studio/FollowerLink.h"
#include "studio/StudioRecorder.h"
#include "studio/LinkCall.h"
#include "studio/StudioFollower.h"
#include "studio/StudioLeader.h"
#include "studio/WallClock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QSettings>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <SDL.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop (sleeping while there is nothing to do) for `ms`.
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

template <typename Condition>
bool waitFor(Condition condition, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > ms)
            return false;
        runFor(10);
    }
    return true;
}

// A recorder without cameras that does what the studio asks (prepare, start, end) and notes
// when its take started; the link's cost is the same as with a real one.
class BenchRecorder final : public IStudioRecorder
{
public:
    explicit BenchRecorder(const QString &machine) : m_machine(machine) {}
    QString machineName() const override { return m_machine; }
    double frameRate() const override { return 30.0; }
    QList<StudioCamera> cameras() const override
    {
        return {{1, QStringLiteral("Camera 1")}, {2, QStringLiteral("Camera 2")}, {3, QStringLiteral("Camera 3")},
                {4, QStringLiteral("Camera 4")}};
    }
    bool isRecording() const override { return recording; }
    qint64 diskFreeBytes() const override { return 500'000'000'000; }
    StudioText problem() const override { return {}; }
    QString recordingRoot() const override { return QStringLiteral("/nonexistent"); }
    StudioText prepareTake(const StudioTakePlan &plan) override
    {
        m_takeId = plan.session + QStringLiteral("/Take_01");
        return {};
    }
    QString preparedTakeId() const override { return m_takeId; }
    void startPreparedTake(qint64 startMonotonicNs) override
    {
        startedMonotonicNs = startMonotonicNs;
        recording = true;
    }
    void cancelPreparedTake() override {}
    void endTakeAfter(qint64) override {}
    void showArming(bool, int) override {}

    bool recording = false;
    qint64 startedMonotonicNs = -1;

private:
    QString m_machine;
    QString m_takeId;
};

class SteadySync final : public IClockSyncSource
{
public:
    ClockSyncState read() override { return ClockSyncState{true, true, 100, 500, QStringLiteral("PTP")}; }
};

// --- the followers' process ---

struct SimulatedFollower
{
    SimulatedFollower(const QString &name, ApplicationManager *manager)
        : recorder(name)
        , follower(&recorder, &clock, &sync)
        , server(manager)
    {
        server.setStudioFollower(&follower);
        server.startServer(0);
    }
    BenchRecorder recorder;
    WallClock clock;
    SteadySync sync;
    StudioFollower follower;
    RemoteControlServer server;
};

// Answers the parent on stdin: "cpu" (its CPU seconds so far), "starts" (each follower's
// take start on the monotonic clock), "quit".
int serve(int count)
{
    ApplicationManager manager;
    std::vector<std::unique_ptr<SimulatedFollower>> followers;
    for (int i = 0; i < count; ++i) {
        followers.push_back(std::make_unique<SimulatedFollower>(QStringLiteral("F%1").arg(i + 1), &manager));
        std::printf("follower %d %s\n", followers.back()->server.port(), qPrintable(followers.back()->server.accessKey()));
    }
    std::printf("ready\n");
    std::fflush(stdout);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        std::string line;
        if (!std::getline(std::cin, line) || line == "quit") {
            QCoreApplication::quit();
            return;
        }
        if (line == "cpu")
            std::printf("cpu %.6f\n", cpuSeconds());
        if (line == "starts") {
            for (const auto &follower : followers)
                std::printf("start %lld\n", static_cast<long long>(follower->recorder.startedMonotonicNs));
            std::printf("done\n");
        }
        std::fflush(stdout);
    });
    return QCoreApplication::exec();
}

// --- the leader's side ---

QString askChild(QProcess &child, const QByteArray &command, const QByteArray &until)
{
    child.write(command + '\n');
    QString answer;
    while (!answer.contains(QString::fromLatin1(until))) {
        if (!child.waitForReadyRead(10'000))
            break;
        answer += QString::fromLatin1(child.readAll());
    }
    return answer;
}

double childCpu(QProcess &child)
{
    const QString answer = askChild(child, "cpu", "\n");
    return answer.section(QLatin1Char(' '), 1).trimmed().toDouble();
}

// The bytes of one probe both ways, on a raw socket.
qint64 probeBytes(const LinkAddress &address)
{
    QTcpSocket socket;
    socket.connectToHost(address.host, address.port);
    if (!socket.waitForConnected(2000))
        return -1;
    LinkRequest request;
    request.path = QString::fromLatin1(StudioRoutes::kClock);
    request.query.addQueryItem(QStringLiteral("leader"), QStringLiteral("A"));
    const QByteArray bytes = LinkCall::requestBytes(address, request);
    socket.write(bytes);
    QByteArray answer;
    while (socket.waitForReadyRead(2000))
        answer += socket.readAll();
    return bytes.size() + answer.size();
}

int lead(int count, int seconds, const QString &program)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(program, {QStringLiteral("--serve"), QString::number(count)});
    QString greeting;
    while (!greeting.contains(QStringLiteral("ready"))) {
        if (!child.waitForReadyRead(60'000)) {
            std::fprintf(stderr, "bench_studio: the followers did not start\n");
            return 1;
        }
        greeting += QString::fromLatin1(child.readAll());
    }
    QList<LinkAddress> addresses;
    for (const QString &line : greeting.split(QLatin1Char('\n'))) {
        const QStringList parts = line.split(QLatin1Char(' '));
        if (parts.size() == 3 && parts.at(0) == QLatin1String("follower"))
            addresses.append(LinkAddress{QStringLiteral("127.0.0.1"), quint16(parts.at(1).toInt()), parts.at(2)});
    }

    BenchRecorder recorder(QStringLiteral("A"));
    const WallClock clock;
    StudioLeader leader(&recorder, &clock);
    const int windowMs = seconds * 1000;

    // The followers at rest, then probed by one link, then by all.
    const double childIdle0 = childCpu(child);
    runFor(windowMs);
    const double childIdle = childCpu(child) - childIdle0;

    leader.addFollower(addresses.first());
    waitFor([&] { return leader.followers().first()->state() == FollowerLink::State::Linked; }, 5000);
    double cpu0 = cpuSeconds();
    runFor(windowMs);
    const double leaderOne = cpuSeconds() - cpu0;

    for (qsizetype i = 1; i < addresses.size(); ++i)
        leader.addFollower(addresses.at(i));
    const bool allLinked = waitFor([&] {
        return std::all_of(leader.followers().begin(), leader.followers().end(),
                           [](const FollowerLink *link) { return link->state() == FollowerLink::State::Linked; });
    }, 10'000);
    cpu0 = cpuSeconds();
    const double childAll0 = childCpu(child);
    runFor(windowMs);
    const double leaderAll = cpuSeconds() - cpu0;
    const double childAll = childCpu(child) - childAll0;

    qint64 bestTrip = -1;
    qint64 worstOffset = 0;
    for (const FollowerLink *link : leader.followers()) {
        const qint64 trip = link->clockOffset().roundTripNs();
        bestTrip = bestTrip < 0 ? trip : std::min(bestTrip, trip);
        worstOffset = std::max(worstOffset, std::llabs(link->clockOffset().offsetNs()));
    }

    // REC ALL through every follower.
    QElapsedTimer armTimer;
    armTimer.start();
    leader.recordAll(QStringLiteral("Bench"));
    const bool armed = waitFor([&] {
        return std::all_of(leader.members().begin(), leader.members().end(),
                           [](const StudioLeader::Member &member) { return member.armed || !member.refusal.isEmpty(); });
    }, 5000);
    const double armMs = double(armTimer.nsecsElapsed()) / 1e6;
    waitFor([&] { return recorder.recording; }, 5000);
    runFor(300);
    const QString starts = askChild(child, "starts", "done");
    qint64 spread = 0;
    int started = 0;
    for (const QString &line : starts.split(QLatin1Char('\n'))) {
        if (!line.startsWith(QLatin1String("start ")))
            continue;
        const qint64 start = line.mid(6).toLongLong();
        if (start > 0) {
            ++started;
            spread = std::max(spread, std::llabs(start - recorder.startedMonotonicNs));
        }
    }
    leader.stopAll();
    const qint64 bytes = probeBytes(addresses.first());
    child.write("quit\n");
    child.waitForFinished(10'000);

    // What one more follower adds: the fixed cost of the leader's event loop is in both windows.
    const double marginalLeaderMs = count > 1 ? (leaderAll - leaderOne) / (count - 1) / seconds * 1000.0 : 0.0;
    std::printf("bench_studio: %d followers, %d s windows (loopback, one machine)\n", count, seconds);
    std::printf("  linked:                       %s\n", allLinked ? "all" : "NOT ALL");
    std::printf("  leader CPU, 1 follower:       %.3f ms per second\n", leaderOne / seconds * 1000.0);
    std::printf("  leader CPU, %2d followers:     %.3f ms per second (%.3f ms per second for each one more)\n", count,
                leaderAll / seconds * 1000.0, marginalLeaderMs);
    std::printf("  ratio %d followers / (%d x 1):  %.2f\n", count, count, leaderOne > 0 ? leaderAll / (count * leaderOne) : 0.0);
    std::printf("  followers' process CPU:       %.3f ms per second probed, %.3f idle (its recorders' own timers)\n",
                childAll / seconds * 1000.0, childIdle / seconds * 1000.0);
    std::printf("  one probe on the wire:        %lld bytes both ways, %.1f kB/s per follower at 2 probes/s\n",
                static_cast<long long>(bytes), double(bytes) * 2.0 / 1000.0);
    std::printf("  best round trip:              %.3f ms; largest measured offset %.3f ms (one clock: ~0)\n",
                double(bestTrip) / 1e6, double(worstOffset) / 1e6);
    std::printf("  REC ALL answered by all:      %s in %.1f ms\n", armed ? "yes" : "NO", armMs);
    std::printf("  takes started:                %d of %d; start instants at most %.3f ms from the leader's\n", started, count,
                double(spread) / 1e6);
    return allLinked && armed && started == count ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("SDL_AUDIODRIVER"))
        qputenv("SDL_AUDIODRIVER", "dummy");
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    QGuiApplication app(argc, argv);
    // Never the operator's own settings (keys, links).
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    const QStringList args = app.arguments();
    if (args.size() >= 3 && args.at(1) == QLatin1String("--serve")) {
        SDL_Init(SDL_INIT_AUDIO);
        const int code = serve(args.at(2).toInt());
        SDL_Quit();
        return code;
    }
    const int count = args.size() > 1 ? std::max(1, args.at(1).toInt()) : 10;
    const int seconds = args.size() > 2 ? std::max(1, args.at(2).toInt()) : 20;
    return lead(count, seconds, QCoreApplication::applicationFilePath());
}
