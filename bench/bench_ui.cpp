// Preview cost of the interface: the built-in "Test Pattern 1..4" cameras at 1920x1080@30 on
// the four channels, Main.qml loaded offscreen, for N seconds. Reports the frames the main
// window rendered, the repaints of each VideoStreamItem and the process CPU time over the
// window. --headless runs the same process setup without any QML (the reference); --record
// keeps a four-channel take running over the window and reports its dropped frames.
//   bench_ui [seconds=20] [--headless] [--record]
#include "common/AppInfo.h"
#include "app/ApplicationManager.h"
#include "app/DemoSetup.h"
#include "models/InputChannelsModel.h"
#include "models/VideoStreamItem.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <SDL.h>

#include <time.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

namespace {

qint64 processCpuNs()
{
    timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

qint64 monotonicNs()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// Repaints of each item with a picture, counted by the item type QML creates in place of
// VideoStreamItem; keyed by item (a channel can be shown twice: grid and main preview).
std::map<const void *, std::pair<int, qint64>> g_repaints;
bool g_counting = false;

class CountingVideoStreamItem : public VideoStreamItem
{
public:
    using VideoStreamItem::VideoStreamItem;
    void paint(QPainter *painter) override
    {
        VideoStreamItem::paint(painter);
        if (g_counting && !currentImage().isNull()) {
            auto &entry = g_repaints[this];
            entry.first = channelIndex();
            ++entry.second;
        }
    }
};

// Spins the event loop for ms milliseconds.
void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

template <typename Predicate>
bool waitFor(Predicate done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired())
        spin(20);
    return done();
}

} // namespace

int main(int argc, char *argv[])
{
    int seconds = 20;
    bool headless = false;
    bool record = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0)
            headless = true;
        else if (std::strcmp(argv[i], "--record") == 0)
            record = true;
        else if (argv[i][0] != '-')
            seconds = qMax(1, std::atoi(argv[i]));
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QGuiApplication app(argc, argv);
    if (SDL_Init(SDL_INIT_AUDIO | SDL_INIT_VIDEO) != 0 && SDL_WasInit(SDL_INIT_AUDIO) == 0)
        SDL_InitSubSystem(SDL_INIT_AUDIO);
    QCoreApplication::setOrganizationName(AppInfo::organisationName);
    QCoreApplication::setOrganizationDomain(AppInfo::organisationDomain);
    QCoreApplication::setApplicationName(QStringLiteral("VireonBenchUi"));
    QQuickStyle::setStyle(QStringLiteral("Basic"));

    // Settings and takes stay in a folder of this run.
    QTemporaryDir runDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, runDir.filePath(QStringLiteral("settings")));
    ApplicationManager *manager = ApplicationManager::instance();
    qmlRegisterType<CountingVideoStreamItem>("Vireon", 1, 0, "VideoStreamItem");
    qmlRegisterSingletonInstance("Vireon", 1, 0, "AppManager", manager);
    InputChannelsModel channelsModel;
    manager->setChannelsModel(&channelsModel);
    qmlRegisterSingletonInstance("Vireon", 1, 0, "ChannelsModel", &channelsModel);
    QObject::connect(manager, &ApplicationManager::channelAudioLevelChanged,
                     &channelsModel, &InputChannelsModel::setAudioLevel);
    manager->setRecordingPath(runDir.filePath(QStringLiteral("takes")));
    DemoSetup::apply(*manager);

    int exitCode = 0;
    qint64 windowFrames = 0;
    bool countingFrames = false;
    {
        std::unique_ptr<QQmlApplicationEngine> engine;
        QQuickWindow *window = nullptr;
        if (!headless) {
            engine = std::make_unique<QQmlApplicationEngine>();
            engine->addImportPath(QStringLiteral("qrc:/"));
            engine->load(QUrl(QStringLiteral("qrc:/Vireon/ui/qml/Main.qml")));
            window = engine->rootObjects().isEmpty() ? nullptr
                                                     : qobject_cast<QQuickWindow *>(engine->rootObjects().first());
            if (!window) {
                std::fprintf(stderr, "bench_ui: Main.qml did not load\n");
                manager->shutDown();
                SDL_Quit();
                return 1;
            }
            QObject::connect(window, &QQuickWindow::afterRendering, window,
                             [&] { if (countingFrames) ++windowFrames; }, Qt::DirectConnection);
        }

        spin(2000); // the cameras deliver their first pictures, the scene settles
        if (record) {
            manager->startRecording();
            if (!waitFor([&] { return manager->isRecording(); }, 8000)) {
                std::fprintf(stderr, "bench_ui: the take did not start: %s\n",
                             qPrintable(manager->lastRecordingError()));
                exitCode = 1;
            }
            spin(1000);
        }

        const qint64 cpu0 = processCpuNs();
        const qint64 t0 = monotonicNs();
        countingFrames = true;
        g_counting = true;
        spin(seconds * 1000);
        countingFrames = false;
        g_counting = false;
        const qint64 cpu1 = processCpuNs();
        const qint64 t1 = monotonicNs();

        int dropped = -1;
        if (record && manager->isRecording()) {
            dropped = manager->droppedFrames(); // last once-a-second sample of the take
            bool finished = false;
            QObject::connect(manager, &ApplicationManager::takeFinished, &app, [&] { finished = true; });
            manager->stopRecording();
            waitFor([&] { return finished || !manager->isRecording(); }, 15000);
            dropped = qMax(dropped, manager->droppedFrames());
        }

        const double wall = double(t1 - t0) / 1e9;
        const double cpuPct = double(cpu1 - cpu0) / double(t1 - t0) * 100.0;
        std::printf("mode: %s%s\n", headless ? "headless" : "windowed", record ? "+record" : "");
        std::printf("seconds: %.2f\n", wall);
        std::printf("cpu_percent_one_core: %.1f\n", cpuPct);
        if (!headless) {
            std::printf("window_fps: %.2f\n", double(windowFrames) / wall);
            int item = 0;
            for (const auto &[key, entry] : g_repaints)
                std::printf("item_%d_channel_%d_repaints: %lld (%.2f fps)\n", ++item, entry.first,
                            (long long)entry.second, double(entry.second) / wall);
        }
        if (record)
            std::printf("dropped_frames: %d\n", dropped);
        std::fflush(stdout);
    }
    manager->shutDown();
    SDL_Quit();
    manager->setChannelsModel(nullptr);
    return exitCode;
}
