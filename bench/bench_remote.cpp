// The remote control under load while the recorder works: a four-channel 1080p30 take from the
// built-in devices, with stream clients on the MJPEG preview and a steady rate of status
// requests, all on loopback and all with the access key. Two windows of the same take: the
// reference (viewers and status only), then the same under a slowloris attack (connections
// from one machine that send a request a byte per second and reconnect when cut). Reports
// what each side got, the attack's effect as ratios against the reference, and checks the
// targets in the attack window:
//   no recording frame dropped, every stream client at 15 frames per second or more,
//   the status answered within 20 ms at the 99th percentile and never refused,
//   resident memory flat (the last seconds within 16 MB of the first).
//
//   bench_remote [SECONDS=30] [STREAM_CLIENTS=20] [STATUS_PER_SECOND=50] [SLOWLORIS=150]
//
// Each window lasts SECONDS. The clients come from loopback addresses of their own, as the
// server limits connections per address: the status requests from 25 "phones" (127.0.2.x),
// each viewer from its own (127.0.3.x), the attacker from one (127.0.9.1). The server and the
// recorder run on the main thread as in the program; the clients run on a thread of their own
// and the attacker on another, so that neither's work delays the server's event loop nor the
// attacker's the measuring clients'.
#include "app/ApplicationManager.h"
#include "app/DemoSetup.h"
#include "models/InputChannelsModel.h"
#include "remote/RemoteControlServer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QSettings>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include "capture/ISource.h"
#include "remote/PreviewStream.h"

#include <SDL.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

// Where the clients come from. The status rate stands for 25 phones polling twice a second;
// the attacker is one machine.
constexpr int kPhones = 25;
const QHostAddress kAttacker(QStringLiteral("127.0.9.1"));
QHostAddress phoneAddress(int i)
{
    return QHostAddress(QStringLiteral("127.0.2.%1").arg(1 + i % kPhones));
}
QHostAddress viewerAddress(int i)
{
    return QHostAddress(QStringLiteral("127.0.3.%1").arg(1 + i % 250));
}

struct LoadFigures
{
    std::vector<qint64> partsPerClient;  // parts received inside the measured window
    std::vector<double> statusLatencyMs; // request sent to answer complete, per request
    int statusFailures = 0;
    double windowSeconds = 0.0;
    // The attack: connections made, refused at once (503), and the longest one held before
    // the server cut it.
    int slowConnections = 0;
    int slowRefused = 0;
    double slowLongestHeldSeconds = 0.0;
};

// Lives on the load thread: the stream clients and the status requests.
class LoadGenerator : public QObject
{
    Q_OBJECT

public:
    LoadGenerator(quint16 port, const QByteArray &key, int streamClients, int statusPerSecond, int slowloris)
        : m_port(port)
        , m_key(key)
        , m_streamClientCount(streamClients)
        , m_statusIntervalMs(std::max(1, 1000 / std::max(1, statusPerSecond)))
        , m_slowCount(slowloris)
    {
    }

public slots:
    void start()
    {
        const QByteArray streamRequest = "GET /stream.mjpg?key=" + m_key + " HTTP/1.1\r\nHost: 127.0.0.1:"
                                         + QByteArray::number(m_port) + "\r\n\r\n";
        for (int i = 0; i < m_streamClientCount; ++i) {
            auto client = std::make_unique<StreamClient>();
            client->socket = new QTcpSocket(this);
            client->socket->bind(viewerAddress(i));
            StreamClient *c = client.get();
            connect(c->socket, &QTcpSocket::connected, c->socket, [c, streamRequest] { c->socket->write(streamRequest); });
            connect(c->socket, &QTcpSocket::readyRead, c->socket, [this, c] {
                // Count part delimiters, also across reads.
                const QByteArray data = c->tail + c->socket->readAll();
                const qsizetype count = data.count("--frame\r\n");
                if (m_measuring)
                    c->parts += count;
                c->tail = data.right(8);
            });
            c->socket->connectToHost(QHostAddress::LocalHost, m_port);
            m_streams.push_back(std::move(client));
        }
        connect(&m_statusTimer, &QTimer::timeout, this, &LoadGenerator::sendStatusRequest);
        m_statusTimer.setTimerType(Qt::PreciseTimer);
        m_statusTimer.start(m_statusIntervalMs);
    }

    // The attack: every connection sends the start of a request and then one byte a second,
    // and comes back a second after the server cut or refused it.
    void startSlowloris()
    {
        connect(&m_trickleTimer, &QTimer::timeout, this, [this] {
            for (auto &slow : m_slow) {
                if (slow->socket->state() == QAbstractSocket::ConnectedState)
                    slow->socket->write("a");
            }
        });
        m_trickleTimer.start(1000);
        for (int i = 0; i < m_slowCount; ++i) {
            m_slow.push_back(std::make_unique<SlowClient>());
            connectSlow(m_slow.back().get());
        }
    }

    void beginMeasuring()
    {
        for (auto &client : m_streams)
            client->parts = 0;
        m_latencies.clear();
        m_failures = 0;
        m_slowConnections = m_slowRefused = 0;
        m_slowLongestHeldMs = 0;
        m_window.start();
        m_measuring = true;
    }

    // The figures of the window; the load goes on unless `stop`.
    LoadFigures collect(bool stop)
    {
        m_measuring = false;
        LoadFigures figures;
        figures.windowSeconds = double(m_window.elapsed()) / 1000.0;
        for (auto &client : m_streams)
            figures.partsPerClient.push_back(client->parts);
        figures.statusLatencyMs = m_latencies;
        figures.statusFailures = m_failures;
        figures.slowConnections = m_slowConnections;
        figures.slowRefused = m_slowRefused;
        figures.slowLongestHeldSeconds = double(m_slowLongestHeldMs) / 1000.0;
        if (stop) {
            m_statusTimer.stop();
            m_trickleTimer.stop();
            for (auto &client : m_streams)
                client->socket->abort();
            for (auto &slow : m_slow) {
                slow->socket->disconnect(this);
                slow->socket->abort();
            }
        }
        return figures;
    }

private slots:
    void sendStatusRequest()
    {
        auto *socket = new QTcpSocket(this);
        auto timer = std::make_shared<QElapsedTimer>();
        auto reply = std::make_shared<QByteArray>();
        timer->start();
        const bool measured = m_measuring;
        socket->bind(phoneAddress(m_statusSent++));
        const QByteArray request = "GET /api/status HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(m_port)
                                   + "\r\nX-Vireon-Key: " + m_key + "\r\n\r\n";
        connect(socket, &QTcpSocket::connected, socket, [socket, request] { socket->write(request); });
        connect(socket, &QTcpSocket::readyRead, socket, [socket, reply] { *reply += socket->readAll(); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket, timer, reply, measured] {
            *reply += socket->readAll();
            if (measured && m_measuring) {
                if (reply->startsWith("HTTP/1.1 200 OK") && reply->endsWith("}"))
                    m_latencies.push_back(double(timer->nsecsElapsed()) / 1e6);
                else
                    ++m_failures;
            }
            socket->deleteLater();
        });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, socket, measured](QAbstractSocket::SocketError error) {
            if (error != QAbstractSocket::RemoteHostClosedError) {
                if (measured && m_measuring)
                    ++m_failures;
                socket->deleteLater();
            }
        });
        socket->connectToHost(QHostAddress::LocalHost, m_port);
    }

private:
    struct StreamClient
    {
        QTcpSocket *socket = nullptr;
        qint64 parts = 0;
        QByteArray tail;
    };

    struct SlowClient
    {
        QTcpSocket *socket = nullptr;
        QElapsedTimer since; // connected
        bool refused = false;
    };

    void connectSlow(SlowClient *slow)
    {
        if (slow->socket)
            slow->socket->deleteLater();
        slow->socket = new QTcpSocket(this);
        slow->refused = false;
        QTcpSocket *socket = slow->socket;
        socket->bind(kAttacker);
        connect(socket, &QTcpSocket::connected, this, [this, slow, socket] {
            slow->since.start();
            ++m_slowConnections;
            socket->write("GET /api/status HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(m_port) + "\r\nX-Slow: ");
        });
        connect(socket, &QTcpSocket::readyRead, this, [this, slow, socket] {
            if (!slow->refused && socket->readAll().startsWith("HTTP/1.1 503")) {
                slow->refused = true;
                ++m_slowRefused;
            }
        });
        // Cut by the server (or refused before connecting): back a second later.
        connect(socket, &QAbstractSocket::stateChanged, this, [this, slow, socket](QAbstractSocket::SocketState state) {
            if (state != QAbstractSocket::UnconnectedState || slow->socket != socket)
                return;
            if (slow->since.isValid() && !slow->refused) {
                m_slowLongestHeldMs = std::max(m_slowLongestHeldMs, slow->since.elapsed());
            }
            slow->since.invalidate();
            slow->refused = true; // counted once
            QTimer::singleShot(1000, this, [this, slow] { connectSlow(slow); });
        });
        socket->connectToHost(QHostAddress::LocalHost, m_port);
    }

    quint16 m_port;
    QByteArray m_key;
    int m_streamClientCount;
    int m_statusIntervalMs;
    int m_slowCount;
    int m_statusSent = 0;
    std::vector<std::unique_ptr<StreamClient>> m_streams;
    std::vector<std::unique_ptr<SlowClient>> m_slow;
    int m_slowConnections = 0;
    int m_slowRefused = 0;
    qint64 m_slowLongestHeldMs = 0;
    QTimer m_statusTimer{this}; // children, so they move to the load thread with us
    QTimer m_trickleTimer{this};
    std::vector<double> m_latencies;
    int m_failures = 0;
    bool m_measuring = false;
    QElapsedTimer m_window;
};

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(p / 100.0 * double(values.size() - 1) + 0.5));
    return values[index];
}

qint64 videoFrames(const QString &path)
{
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_packets"),
                                            QStringLiteral("-select_streams"), QStringLiteral("v:0"), QStringLiteral("-show_entries"),
                                            QStringLiteral("stream=nb_read_packets"), QStringLiteral("-of"), QStringLiteral("csv=p=0"), path});
    if (!probe.waitForFinished(120'000))
        return -1;
    bool ok = false;
    const qint64 frames = probe.readAllStandardOutput().trimmed().toLongLong(&ok);
    return ok ? frames : -1;
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The preview's own cost: scaling one 1080p picture of the source into 480 x 270 and
// encoding it, as every stream tick does once for all clients.
double previewEncodeMs(ISource &source)
{
    Picture picture;
    source.latestFrame(picture);
    constexpr int Rounds = 100;
    QElapsedTimer timer;
    timer.start();
    qsizetype bytes = 0;
    for (int i = 0; i < Rounds; ++i)
        bytes += PreviewStream::encodeFrame(picture.bytes(), source.width(), source.height()).size();
    return bytes > 0 ? double(timer.nsecsElapsed()) / 1e6 / Rounds : -1.0;
}

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * ::sysconf(_SC_PAGESIZE) : 0;
}

// What the main thread sees during a window: the server's open request connections and the
// process's resident memory, once every 100 ms.
struct ServerSamples
{
    int mostPending = 0;
    std::vector<qint64> residentBytes;
};

ServerSamples runWindow(int ms, const RemoteControlServer &server)
{
    ServerSamples samples;
    QEventLoop loop;
    QTimer sampler;
    int ticks = 0;
    QObject::connect(&sampler, &QTimer::timeout, &loop, [&] {
        samples.mostPending = std::max(samples.mostPending, server.pendingConnectionCount());
        if (++ticks % 10 == 0)
            samples.residentBytes.push_back(residentBytes());
    });
    sampler.start(100);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return samples;
}

struct WindowResult
{
    double minFps = 0.0;
    double maxFps = 0.0;
    double p50 = 0.0;
    double p99 = 0.0;
    double worst = 0.0;
    double cpuPercent = 0.0;
};

WindowResult report(const char *name, const LoadFigures &figures, const ServerSamples &samples, double cpuSeconds)
{
    WindowResult r;
    if (!figures.partsPerClient.empty()) {
        const auto [minParts, maxParts] = std::minmax_element(figures.partsPerClient.begin(), figures.partsPerClient.end());
        r.minFps = double(*minParts) / figures.windowSeconds;
        r.maxFps = double(*maxParts) / figures.windowSeconds;
    }
    r.p50 = percentile(figures.statusLatencyMs, 50);
    r.p99 = percentile(figures.statusLatencyMs, 99);
    r.worst = percentile(figures.statusLatencyMs, 100);
    r.cpuPercent = 100.0 * cpuSeconds / figures.windowSeconds;
    std::printf("[%s] %.1f s\n", name, figures.windowSeconds);
    std::printf("  stream: %d clients, %.1f to %.1f frames/s each\n", int(figures.partsPerClient.size()), r.minFps, r.maxFps);
    std::printf("  status: %d answered (%.1f/s), %d failed; latency p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
                int(figures.statusLatencyMs.size()), double(figures.statusLatencyMs.size()) / figures.windowSeconds,
                figures.statusFailures, r.p50, r.p99, r.worst);
    if (figures.slowConnections > 0) {
        std::printf("  slowloris: %d connections, %d refused at once (503), longest held %.1f s\n",
                    figures.slowConnections, figures.slowRefused, figures.slowLongestHeldSeconds);
    }
    std::printf("  server: at most %d request connections open; process CPU %.0f %% of one core\n",
                samples.mostPending, r.cpuPercent);
    if (!samples.residentBytes.empty()) {
        std::printf("  resident memory: %.1f MB at the start, %.1f MB at most, %.1f MB at the end\n",
                    double(samples.residentBytes.front()) / 1048576.0,
                    double(*std::max_element(samples.residentBytes.begin(), samples.residentBytes.end())) / 1048576.0,
                    double(samples.residentBytes.back()) / 1048576.0);
    }
    return r;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("SDL_AUDIODRIVER", "dummy");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int seconds = args.size() > 1 ? args.at(1).toInt() : 30;
    const int streamClients = args.size() > 2 ? args.at(2).toInt() : 20;
    const int statusPerSecond = args.size() > 3 ? args.at(3).toInt() : 50;
    const int slowloris = args.size() > 4 ? args.at(4).toInt() : 150;
    if (seconds < 4 || streamClients < 0 || statusPerSecond < 1 || slowloris < 0) {
        std::fprintf(stderr, "usage: bench_remote [SECONDS>=4] [STREAM_CLIENTS] [STATUS_PER_SECOND] [SLOWLORIS]\n");
        return 2;
    }

    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath(QStringLiteral("settings")));
    SDL_Init(SDL_INIT_AUDIO);
    int result = 1;
    {
        ApplicationManager manager;
        InputChannelsModel model;
        manager.setChannelsModel(&model);
        manager.setRecordingPath(dir.filePath(QStringLiteral("rec")));
        DemoSetup::apply(manager);
        RemoteControlServer server(&manager);
        server.startServer(0);
        if (!server.isRunning()) {
            SDL_Quit();
            return 1;
        }

        std::printf("four-channel 1080p30 take, %d stream clients, %d status requests/s, then %d slowloris "
                    "connections; two windows of %d s\n", streamClients, statusPerSecond, slowloris, seconds);
        manager.startRecording();
        if (!manager.isRecording()) {
            std::fprintf(stderr, "the take did not start: %s\n", qPrintable(manager.lastRecordingError()));
            SDL_Quit();
            return 1;
        }
        QElapsedTimer takeClock;
        takeClock.start();

        QThread loadThread;
        loadThread.setObjectName(QStringLiteral("load"));
        auto *load = new LoadGenerator(quint16(server.port()), server.accessKey().toLatin1(), streamClients,
                                       statusPerSecond, 0);
        load->moveToThread(&loadThread);
        QObject::connect(&loadThread, &QThread::finished, load, &QObject::deleteLater);
        loadThread.start();
        QThread attackThread;
        attackThread.setObjectName(QStringLiteral("attack"));
        auto *attacker = new LoadGenerator(quint16(server.port()), QByteArray(), 0, 1, slowloris);
        attacker->moveToThread(&attackThread);
        QObject::connect(&attackThread, &QThread::finished, attacker, &QObject::deleteLater);
        attackThread.start();
        QMetaObject::invokeMethod(load, &LoadGenerator::start, Qt::QueuedConnection);

        // Two seconds to settle (all clients connected, encoders warm), then the reference.
        runFor(2000);
        QMetaObject::invokeMethod(load, &LoadGenerator::beginMeasuring, Qt::BlockingQueuedConnection);
        double cpuBefore = processCpuSeconds();
        const ServerSamples referenceSamples = runWindow(seconds * 1000, server);
        const double referenceCpu = processCpuSeconds() - cpuBefore;
        LoadFigures referenceFigures;
        QMetaObject::invokeMethod(load, [load] { return load->collect(false); }, Qt::BlockingQueuedConnection,
                                  &referenceFigures);

        // The attack starts; its first connections are cut after ten seconds, so the window
        // sees the whole cycle of connecting, holding, being cut and coming back.
        QMetaObject::invokeMethod(attacker, &LoadGenerator::startSlowloris, Qt::BlockingQueuedConnection);
        runFor(2000);
        QMetaObject::invokeMethod(load, &LoadGenerator::beginMeasuring, Qt::BlockingQueuedConnection);
        QMetaObject::invokeMethod(attacker, &LoadGenerator::beginMeasuring, Qt::BlockingQueuedConnection);
        cpuBefore = processCpuSeconds();
        const ServerSamples attackSamples = runWindow(seconds * 1000, server);
        const double attackCpu = processCpuSeconds() - cpuBefore;
        LoadFigures attackFigures;
        QMetaObject::invokeMethod(load, [load] { return load->collect(true); }, Qt::BlockingQueuedConnection,
                                  &attackFigures);
        LoadFigures attackerFigures;
        QMetaObject::invokeMethod(attacker, [attacker] { return attacker->collect(true); }, Qt::BlockingQueuedConnection,
                                  &attackerFigures);
        attackFigures.slowConnections = attackerFigures.slowConnections;
        attackFigures.slowRefused = attackerFigures.slowRefused;
        attackFigures.slowLongestHeldSeconds = attackerFigures.slowLongestHeldSeconds;
        loadThread.quit();
        loadThread.wait();
        attackThread.quit();
        attackThread.wait();

        manager.updateMetrics();
        const int dropped = manager.droppedFrames();
        const double takeSeconds = double(takeClock.elapsed()) / 1000.0;
        manager.stopRecording();
        const std::map<int, QString> videos = manager.videoPaths();

        const WindowResult reference = report("reference", referenceFigures, referenceSamples, referenceCpu);
        const WindowResult attack = report("under attack", attackFigures, attackSamples, attackCpu);
        const auto ratio = [](double a, double b) { return b > 0.0 ? a / b : 0.0; };
        std::printf("attack / reference: status p99 %.2fx, slowest viewer %.2fx, CPU %.2fx\n", ratio(attack.p99, reference.p99),
                    ratio(attack.minFps, reference.minFps), ratio(attack.cpuPercent, reference.cpuPercent));

        // Flat: the median of the last five samples of the whole run within 16 MB of the
        // median of the first five (the encoders' buffers settle within the first seconds).
        std::vector<double> memoryMb;
        for (const ServerSamples *samples : {&referenceSamples, &attackSamples}) {
            for (const qint64 bytes : samples->residentBytes)
                memoryMb.push_back(double(bytes) / 1048576.0);
        }
        const auto edge = std::ptrdiff_t(std::min<size_t>(5, memoryMb.size() / 2));
        const double growthMb = memoryMb.size() < 2 ? 0.0
            : percentile({memoryMb.end() - edge, memoryMb.end()}, 50) - percentile({memoryMb.begin(), memoryMb.begin() + edge}, 50);
        std::printf("resident memory over both windows: %+.1f MB from the first to the last seconds\n", growthMb);

        std::printf("recording: %d frames dropped; take %.1f s\n", dropped, takeSeconds);
        if (const std::shared_ptr<ISource> source = manager.sourceForChannel(1))
            std::printf("preview frame (1080p -> 480x270 JPEG q55): %.2f ms, once per 50 ms tick for all clients\n",
                        previewEncodeMs(*source));
        bool framesOk = true;
        for (const auto &[channel, path] : videos) {
            const qint64 frames = videoFrames(path);
            std::printf("  channel %d: %lld frames in the MP4 (%.0f expected)\n", channel, static_cast<long long>(frames),
                        takeSeconds * 30.0);
            framesOk = framesOk && frames > 0;
        }

        const bool ok = dropped == 0 && framesOk && (streamClients == 0 || attack.minFps >= 15.0) && attack.p99 <= 20.0
                        && attackFigures.statusFailures == 0 && referenceFigures.statusFailures == 0 && growthMb <= 16.0;
        std::printf("%s: dropped == 0, every viewer >= 15 frames/s, status p99 <= 20 ms and never refused, memory flat"
                    " (under attack)\n", ok ? "MET" : "NOT MET");
        manager.setChannelsModel(nullptr);
        result = ok ? 0 : 1;
    }
    SDL_Quit();
    return result;
}

#include "bench_remote.moc"
