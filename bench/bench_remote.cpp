// The remote control under load while the recorder works: a four-channel 1080p30 take from the
// built-in devices, with stream clients on the MJPEG preview and a steady rate of status
// requests, all on loopback. Reports what each side got and checks the targets:
//   no recording frame dropped, every stream client at 15 frames per second or more,
//   the status answered within 50 ms at the 99th percentile.
//
//   bench_remote [SECONDS=60] [STREAM_CLIENTS=20] [STATUS_PER_SECOND=50]
//
// The server and the recorder run on the main thread as in the program; the clients run on a
// thread of their own so that their work does not delay the server's event loop.
#include "app/ApplicationManager.h"
#include "app/DemoSetup.h"
#include "models/InputChannelsModel.h"
#include "remote/RemoteControlServer.h"

#include <QElapsedTimer>
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

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

struct LoadFigures
{
    std::vector<qint64> partsPerClient;  // parts received inside the measured window
    std::vector<double> statusLatencyMs; // request sent to answer complete, per request
    int statusFailures = 0;
    double windowSeconds = 0.0;
};

// Lives on the load thread: the stream clients and the status requests.
class LoadGenerator : public QObject
{
    Q_OBJECT

public:
    LoadGenerator(quint16 port, int streamClients, int statusPerSecond)
        : m_port(port)
        , m_streamClientCount(streamClients)
        , m_statusIntervalMs(std::max(1, 1000 / std::max(1, statusPerSecond)))
    {
    }

public slots:
    void start()
    {
        const QByteArray streamRequest = "GET /stream.mjpg HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(m_port) + "\r\n\r\n";
        for (int i = 0; i < m_streamClientCount; ++i) {
            auto client = std::make_unique<StreamClient>();
            client->socket = new QTcpSocket(this);
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

    void beginMeasuring()
    {
        for (auto &client : m_streams)
            client->parts = 0;
        m_latencies.clear();
        m_failures = 0;
        m_window.start();
        m_measuring = true;
    }

    LoadFigures finish()
    {
        m_measuring = false;
        m_statusTimer.stop();
        LoadFigures figures;
        figures.windowSeconds = double(m_window.elapsed()) / 1000.0;
        for (auto &client : m_streams) {
            figures.partsPerClient.push_back(client->parts);
            client->socket->abort();
        }
        figures.statusLatencyMs = m_latencies;
        figures.statusFailures = m_failures;
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
        const QByteArray request = "GET /api/status HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(m_port) + "\r\n\r\n";
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

    quint16 m_port;
    int m_streamClientCount;
    int m_statusIntervalMs;
    std::vector<std::unique_ptr<StreamClient>> m_streams;
    QTimer m_statusTimer{this}; // a child, so it moves to the load thread with us
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
    QByteArray picture;
    source.latestFrame(picture);
    constexpr int Rounds = 100;
    QElapsedTimer timer;
    timer.start();
    qsizetype bytes = 0;
    for (int i = 0; i < Rounds; ++i)
        bytes += PreviewStream::encodeFrame(picture, source.width(), source.height()).size();
    return bytes > 0 ? double(timer.nsecsElapsed()) / 1e6 / Rounds : -1.0;
}

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("SDL_AUDIODRIVER", "dummy");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int seconds = args.size() > 1 ? args.at(1).toInt() : 60;
    const int streamClients = args.size() > 2 ? args.at(2).toInt() : 20;
    const int statusPerSecond = args.size() > 3 ? args.at(3).toInt() : 50;
    if (seconds < 1 || streamClients < 0 || statusPerSecond < 1) {
        std::fprintf(stderr, "usage: bench_remote [SECONDS] [STREAM_CLIENTS] [STATUS_PER_SECOND]\n");
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

        std::printf("four-channel 1080p30 take, %d stream clients, %d status requests/s, %d s\n", streamClients,
                    statusPerSecond, seconds);
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
        auto *load = new LoadGenerator(quint16(server.port()), streamClients, statusPerSecond);
        load->moveToThread(&loadThread);
        QObject::connect(&loadThread, &QThread::finished, load, &QObject::deleteLater);
        loadThread.start();
        QMetaObject::invokeMethod(load, &LoadGenerator::start, Qt::QueuedConnection);

        // Two seconds to settle (all clients connected, encoders warm), then the measured window.
        runFor(2000);
        QMetaObject::invokeMethod(load, &LoadGenerator::beginMeasuring, Qt::BlockingQueuedConnection);
        const double cpuBefore = processCpuSeconds();
        runFor(seconds * 1000);
        const double cpuSeconds = processCpuSeconds() - cpuBefore;
        LoadFigures figures;
        QMetaObject::invokeMethod(load, &LoadGenerator::finish, Qt::BlockingQueuedConnection, &figures);
        loadThread.quit();
        loadThread.wait();

        manager.updateMetrics();
        const int dropped = manager.droppedFrames();
        const double takeSeconds = double(takeClock.elapsed()) / 1000.0;
        manager.stopRecording();
        const std::map<int, QString> videos = manager.videoPaths();

        const auto [minParts, maxParts] = std::minmax_element(figures.partsPerClient.begin(), figures.partsPerClient.end());
        const double minFps = figures.partsPerClient.empty() ? 0.0 : double(*minParts) / figures.windowSeconds;
        const double maxFps = figures.partsPerClient.empty() ? 0.0 : double(*maxParts) / figures.windowSeconds;
        const double p50 = percentile(figures.statusLatencyMs, 50);
        const double p99 = percentile(figures.statusLatencyMs, 99);
        const double worst = percentile(figures.statusLatencyMs, 100);

        std::printf("stream: %d clients, %.1f to %.1f frames/s each over %.1f s\n", int(figures.partsPerClient.size()),
                    minFps, maxFps, figures.windowSeconds);
        std::printf("status: %d answered (%.1f/s), %d failed; latency p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
                    int(figures.statusLatencyMs.size()), double(figures.statusLatencyMs.size()) / figures.windowSeconds,
                    figures.statusFailures, p50, p99, worst);
        std::printf("recording: %d frames dropped; take %.1f s\n", dropped, takeSeconds);
        std::printf("process CPU: %.0f %% of one core over the window (encoders, capture, server, clients)\n",
                    100.0 * cpuSeconds / figures.windowSeconds);
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

        const bool ok = dropped == 0 && framesOk && (streamClients == 0 || minFps >= 15.0) && p99 <= 50.0
                        && figures.statusFailures == 0;
        std::printf("%s: dropped == 0, every client >= 15 frames/s, status p99 <= 50 ms\n", ok ? "MET" : "NOT MET");
        manager.setChannelsModel(nullptr);
        result = ok ? 0 : 1;
    }
    SDL_Quit();
    return result;
}

#include "bench_remote.moc"
