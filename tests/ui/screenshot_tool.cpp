// Offscreen pictures of the main window: loads Main.qml with the built-in cameras on the first
// N channels, optionally starts a take, and saves the window as a PNG.
//   vireon_screenshot --channels N --state idle|recording --language EN|SR --output FILE
//                     [--overlay source|source-edit|remote|remote-open|remote-studio|update|
//                                update-download|take-failed|take-saved|take-recovered|disk-low]
//                     [--size WxH]
// remote-studio shows the remote dialog leading three followers on loopback: one in step, one
// whose clock is 50 ms ahead, and one that does not answer. --size gives the main window
// another size than its initial 1280x720 (a 1366x768 laptop, a 1920x1080 screen).
// With --window help|help-missing|monitor it grabs that secondary window instead: the help
// window on the shipped manual (or on none), or the performance monitor over this run's log.
// The settings window instead, on one of its pages (0-3), optionally scrolled, with the
// advanced quality grid open, or after a hardware benchmark:
//   vireon_screenshot --window settings --page N [--scroll PX] [--advanced] [--benchmark] ...
// With --webcams (Linux) the channels get simulated USB webcams instead of the built-in cameras:
// channel 1 asks for a format its camera will not set (the tile shows what runs and what was
// asked), channel 2's camera is unplugged a second after it starts (the tile shows it lost).
#include "common/AppInfo.h"
#include "app/ApplicationManager.h"
#include "app/LogHandler.h"
#include "capture/AudioCapture.h"
#include "capture/AudioDeviceRegistry.h"
#include "models/InputChannelsModel.h"
#include "ui/QmlRegistration.h"
#include "remote/RemoteControlServer.h"
#include "update/UpdateManager.h"

#include "BuiltInDevices.h"
#include "FakeStudioRecorder.h"
#include "studio/StudioFollower.h"
#include "studio/WallClock.h"
#ifdef VIREON_HAVE_V4L2_SIMULATION
#include "capture/V4l2Kernel.h"
#include "SimulatedV4l2Kernel.h"
#include "SimulatedWebcam.h"
#endif

#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QFile>
#include <QGuiApplication>
#include <QByteArray>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlApplicationEngine>
#include <QQmlComponent>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <SDL.h>

#include <cstdio>

namespace {

// Runs the event loop until done() holds or the time is up.
template <typename Predicate>
bool waitFor(Predicate done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired())
        QTest::qWait(20);
    return done();
}

// --- overlays: the main window's dialogs, opened as the panels open them ---

// Offers a newer version through a manifest given as a data: address (nothing is fetched from
// the network); with `downloadFromLocalServer` the download runs against the remote-control
// server's endless preview stream, so the dialog shows a download under way.
bool offerUpdate(bool downloadFromLocalServer, const QString &downloadFolder)
{
    UpdateManager *updates = UpdateManager::instance();
    RemoteControlServer *server = RemoteControlServer::instance();
    QString installerUrl = QStringLiteral("https://example.invalid/Vireon_Setup.exe");
    if (downloadFromLocalServer) {
        // The download is no phone: it carries no access key, so the stream must not ask for one.
        server->setRequireAccessKey(false);
        server->startServer(0);
        installerUrl = QStringLiteral("http://127.0.0.1:%1/stream.mjpg").arg(server->port());
    }
    const QJsonObject manifest{
        {QStringLiteral("version"), QStringLiteral("2.5.0")},
        {QStringLiteral("releaseDate"), QStringLiteral("2025-03-14")},
        {QStringLiteral("changelog"), QStringLiteral("- Faster start of a take on four cameras\n"
                                                     "- Timeline export keeps clip names with accents\n"
                                                     "- Remote control shows the recording time\n"
                                                     "- Fixes for audio meters after a device is unplugged")},
        {QStringLiteral("downloadUrl"), installerUrl},
        // What a Linux build fetches.
        {QStringLiteral("downloadUrl_deb"), installerUrl}};
    updates->setServerUrl(QStringLiteral("data:application/json;base64,")
                          + QString::fromLatin1(QJsonDocument(manifest).toJson(QJsonDocument::Compact).toBase64()));
    updates->checkForUpdates(true);
    if (!waitFor([&] { return updates->updateAvailable(); }, 5000))
        return false;
    if (downloadFromLocalServer) {
        updates->setDownloadFolder(downloadFolder);
        updates->startDownload();
        QTest::qWait(800);
        return updates->isDownloading();
    }
    return true;
}

// The notices of a take: REC ALL on a folder that cannot be made (the red banner), a short take
// just saved (the green notice) or a disk with little room left (the amber read-out).
bool showTakeNotice(const QString &notice, const QString &scratchFolder)
{
    ApplicationManager *manager = ApplicationManager::instance();
    if (notice == QLatin1String("take-failed")) {
        QFile blocker(scratchFolder + QStringLiteral("/not-a-folder"));
        if (!blocker.open(QIODevice::WriteOnly))
            return false;
        manager->setRecordingPath(blocker.fileName() + QStringLiteral("/takes"));
        manager->startRecording();
        return !manager->isRecording() && !manager->lastRecordingError().isEmpty();
    }
    if (notice == QLatin1String("take-saved")) {
        manager->startRecording();
        QTest::qWait(2000);
        manager->stopRecording();
        return !manager->lastTakeSummary().isEmpty();
    }
    if (notice == QLatin1String("take-recovered")) {
        // A take as a crash leaves it: files and journal, no timeline; rebuilt as at start.
        manager->startRecording();
        QTest::qWait(1500);
        manager->stopRecording();
        const QDir take(manager->currentTakeFolder());
        for (const QString &name : take.entryList({QStringLiteral("*.xml"), QStringLiteral("*.fcpxml"), QStringLiteral("*.otio")}))
            QFile::remove(take.filePath(name));
        manager->recoverInterruptedTakes();
        manager->waitForTakeRecovery();
        return !manager->takeRecoveryText().isEmpty();
    }
    if (notice == QLatin1String("disk-low")) {
        manager->setFreeSpaceProbe([](const QString &) { return qint64(2200) << 20; });
        manager->checkDiskSpace();
        return manager->diskSpaceLevelName() != QLatin1String("ok");
    }
    return false;
}

// Opens `overlay` in the loaded main window; false when it is unknown or did not open.
bool openOverlay(QQuickWindow *window, const QString &overlay, InputChannelsModel &channels,
                 const QString &scratchFolder)
{
    const auto holder = [window](const char *name) { return window->property(name).value<QObject *>(); };
    if (overlay == QLatin1String("source") || overlay == QLatin1String("source-edit")) {
        const bool edit = overlay == QLatin1String("source-edit");
        // Add mode needs a free channel, as the add-source buttons do.
        const int channel = edit ? 1 : channels.firstInactiveChannelId();
        if (channel < 1)
            return false;
        QObject *dialogs = holder("sourceConfigOverlay");
        return dialogs && QMetaObject::invokeMethod(dialogs, "openForChannel", Q_ARG(QVariant, channel),
                                                    Q_ARG(QVariant, edit));
    }
    if (overlay == QLatin1String("remote-studio")) {
        // Two followers in this process, each with its own server; a third address answers nobody.
        struct Follower
        {
            Follower(const QString &name, qint64 offsetNs, const QString &folder)
                : recorder(name, folder), clock(offsetNs), follower(&recorder, &clock, &sync),
                  server(ApplicationManager::instance())
            {
                server.setStudioFollower(&follower);
                server.startServer(0);
            }
            FakeStudioRecorder recorder;
            WallClock clock;
            FixedClockSync sync;
            StudioFollower follower;
            RemoteControlServer server;
        };
        static Follower studioB(QStringLiteral("Studio B"), 400'000, scratchFolder);
        static Follower studioC(QStringLiteral("Studio C"), 50'000'000, scratchFolder);
        StudioSession *studio = ApplicationManager::instance()->studio();
        studio->setMachineName(QStringLiteral("Studio A"));
        for (const Follower *follower : {&studioB, &studioC})
            studio->addFollower(QStringLiteral("127.0.0.1:%1").arg(follower->server.port()), follower->server.accessKey());
        studio->addFollower(QStringLiteral("127.0.0.1:9"), QString());
        waitFor([&] { return studio->followerSources().size() == 2; }, 5000);
        QTest::qWait(2000); // the silent one is shown lost, the others measured
        RemoteControlServer::instance()->startServer(0);
        QObject *dialogs = holder("remoteControlOverlay");
        return dialogs && QMetaObject::invokeMethod(dialogs, "openDialog");
    }
    if (overlay == QLatin1String("remote") || overlay == QLatin1String("remote-open")) {
        // A free port: a picture must not depend on 8080 being free on this machine.
        RemoteControlServer::instance()->setRequireAccessKey(overlay == QLatin1String("remote"));
        RemoteControlServer::instance()->startServer(0);
        QObject *dialogs = holder("remoteControlOverlay");
        return dialogs && QMetaObject::invokeMethod(dialogs, "openDialog");
    }
    if (overlay == QLatin1String("update") || overlay == QLatin1String("update-download"))
        return offerUpdate(overlay == QLatin1String("update-download"), scratchFolder + QStringLiteral("/update"));
    return showTakeNotice(overlay, scratchFolder);
}

// The help window or the performance monitor, created as the bars create them; null (and a
// message) when it does not load.
QQuickWindow *createSecondaryWindow(QQmlEngine &engine, const QString &which, const QString &language)
{
    const bool isHelp = which.startsWith(QLatin1String("help"));
    QQmlComponent component(&engine, QUrl(isHelp ? QStringLiteral("qrc:/Vireon/ui/qml/Components/HelpWindow.qml")
                                                 : QStringLiteral("qrc:/Vireon/ui/qml/Components/PerformanceMonitorWindow.qml")));
    auto *window = qobject_cast<QQuickWindow *>(component.create());
    if (!window) {
        std::fprintf(stderr, "vireon_screenshot: %s did not load: %s\n", qPrintable(which),
                     qPrintable(component.errorString()));
        return nullptr;
    }
    if (isHelp) {
        // The manuals lie beside the program, not beside this tool: hand over the shipped text.
        QString text;
        if (which == QLatin1String("help")) {
            QFile manual(QStringLiteral(VIREON_MANUALS_DIR "/GETTING_STARTED_%1.md")
                             .arg(language == QLatin1String("SR") ? QStringLiteral("SR") : QStringLiteral("EN")));
            if (manual.open(QIODevice::ReadOnly))
                text = QString::fromUtf8(manual.readAll());
        }
        QMetaObject::invokeMethod(window, "loadManual", Q_ARG(QVariant, text));
    }
    window->show();
    return window;
}

// The settings window on one page; returns the exit code.
int grabSettingsWindow(ApplicationManager *manager, const QCommandLineParser &parser, const QString &output)
{
    QQmlApplicationEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/"));
    if (parser.isSet(QStringLiteral("advanced")))
        manager->setAdvancedQualityEnabled(true);
    if (parser.isSet(QStringLiteral("benchmark"))) {
        manager->runHardwareBenchmark();
        if (!waitFor([&] { return !manager->isBenchmarking(); }, 180000))
            std::fprintf(stderr, "vireon_screenshot: the benchmark did not finish\n");
    }
    engine.load(QUrl(QStringLiteral("qrc:/Vireon/ui/qml/Components/SettingsDialog.qml")));
    auto *window = engine.rootObjects().isEmpty() ? nullptr
                                                  : qobject_cast<QQuickWindow *>(engine.rootObjects().first());
    if (!window) {
        std::fprintf(stderr, "vireon_screenshot: SettingsDialog.qml did not load\n");
        return 1;
    }
    const int page = qBound(0, parser.value(QStringLiteral("page")).toInt(), 3);
    window->setProperty("currentCategoryIndex", page);
    window->show();
    QTest::qWait(800); // the previews of the sources page get their first pictures
    static const char *const pageNames[] = {"recordingPage", "sourcesPage", "audioPage", "systemPage"};
    if (parser.isSet(QStringLiteral("scroll"))) {
        auto *pageItem = window->property(pageNames[page]).value<QObject *>();
        if (pageItem && pageItem->property("contentY").isValid()) {
            const qreal maxY = qMax(0.0, pageItem->property("contentHeight").toReal() - pageItem->property("height").toReal());
            pageItem->setProperty("contentY", qMin(parser.value(QStringLiteral("scroll")).toDouble(), maxY));
        }
        QTest::qWait(100);
    }
    const QImage image = window->grabWindow();
    if (image.isNull() || !image.save(output)) {
        std::fprintf(stderr, "vireon_screenshot: could not save %s\n", qPrintable(output));
        return 1;
    }
    return 0;
}

// Simulated webcams on the first `channels` channels (see --webcams).
bool putWebcamsOnChannels(ApplicationManager *manager, int channels)
{
#ifdef VIREON_HAVE_V4L2_SIMULATION
    static const auto kernel = std::make_shared<SimulatedV4l2Kernel>();
    installV4l2Kernel(kernel);
    for (int channel = 1; channel <= channels; ++channel) {
        SimulatedCameraSpec spec = simulatedWebcam(channel);
        if (channel == 2)
            spec.vanishAfterPictures = 30;
        const int sim = kernel->addCamera(spec);
        if (channel == 1)
            manager->setCameraForChannel(channel, kernel->deviceKey(sim), 1280, 720, 30.0f, QStringLiteral("Default"),
                                         QStringLiteral("MJPEG"));
        else
            manager->setCameraForChannel(channel, kernel->deviceKey(sim), 1920, 1080, 30.0f, QStringLiteral("Default"),
                                         QStringLiteral("MJPEG"));
    }
    return true;
#else
    Q_UNUSED(manager);
    Q_UNUSED(channels);
    return false;
#endif
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QCoreApplication::setOrganizationName(AppInfo::organisationName);
    QCoreApplication::setOrganizationDomain(AppInfo::organisationDomain);
    QCoreApplication::setApplicationName(QStringLiteral("VireonScreenshots"));
    QQuickStyle::setStyle(QStringLiteral("Basic"));

    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({ QStringLiteral("channels"), QStringLiteral("Channels with a camera (0-4)."), QStringLiteral("n"), QStringLiteral("4") });
    parser.addOption({ QStringLiteral("state"), QStringLiteral("idle or recording."), QStringLiteral("state"), QStringLiteral("idle") });
    parser.addOption({ QStringLiteral("language"), QStringLiteral("EN or SR."), QStringLiteral("lang"), QStringLiteral("EN") });
    parser.addOption({ QStringLiteral("output"), QStringLiteral("PNG file to write."), QStringLiteral("file") });
    parser.addOption({ QStringLiteral("overlay"),
                       QStringLiteral("Dialog to open: source, source-edit, remote, remote-open (no access key), remote-studio (three followers), update or update-download."),
                       QStringLiteral("overlay") });
    parser.addOption({ QStringLiteral("window"),
                       QStringLiteral("Grab help, help-missing, monitor or settings instead of the main window."),
                       QStringLiteral("name") });
    parser.addOption({ QStringLiteral("page"), QStringLiteral("Settings page (0-3)."), QStringLiteral("n"), QStringLiteral("0") });
    parser.addOption({ QStringLiteral("scroll"), QStringLiteral("Settings page scrolled down by this many pixels."), QStringLiteral("px") });
    parser.addOption({ QStringLiteral("advanced"), QStringLiteral("Settings: advanced quality grid open.") });
    parser.addOption({ QStringLiteral("benchmark"), QStringLiteral("Settings: run the hardware benchmark first.") });
    parser.addOption({ QStringLiteral("webcams"), QStringLiteral("Simulated USB webcams instead of the built-in cameras.") });
    parser.addOption({ QStringLiteral("size"), QStringLiteral("Main window size, for example 1920x1080."), QStringLiteral("WxH") });
    parser.addOption({ QStringLiteral("audio"),
                       QStringLiteral("tone (the Test Tone on every channel), interface (input N of the four-input "
                                      "Test Interface on channel N, trim and low cut on channel 1) or interface-lost "
                                      "(the same, then unplugged)."),
                       QStringLiteral("inputs"), QStringLiteral("tone") });
    parser.process(app);
    const int channels = qBound(0, parser.value(QStringLiteral("channels")).toInt(), 4);
    const bool recording = parser.value(QStringLiteral("state")) == QLatin1String("recording");
    const QString output = parser.value(QStringLiteral("output"));
    if (output.isEmpty()) {
        std::fprintf(stderr, "vireon_screenshot: --output is required\n");
        return 2;
    }
    const QString secondary = parser.value(QStringLiteral("window"));
    const bool settingsWindow = secondary == QLatin1String("settings");
    if (!secondary.isEmpty() && secondary != QLatin1String("help") && secondary != QLatin1String("help-missing")
        && secondary != QLatin1String("monitor") && !settingsWindow) {
        std::fprintf(stderr, "vireon_screenshot: --window takes help, help-missing, monitor or settings\n");
        return 2;
    }

    // Settings and takes stay in a folder of this run: a picture never changes the user's setup.
    QTemporaryDir takeDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, takeDir.filePath(QStringLiteral("settings")));
    ApplicationManager *manager = ApplicationManager::instance();
    if (secondary == QLatin1String("monitor")) {
        // The monitor shows the tail of the log: this run's messages, in this tool's folder.
        manager->clearLogFile();
        LogHandler::install();
    }
    registerVireonQmlTypes(manager);
    InputChannelsModel channelsModel;
    manager->setChannelsModel(&channelsModel);
    QObject::connect(manager, &ApplicationManager::channelAudioLevelChanged,
                     &channelsModel, &InputChannelsModel::setAudioLevel);
    manager->setCurrentLanguage(parser.value(QStringLiteral("language")));
    manager->setRecordingPath(takeDir.filePath(QStringLiteral("takes")));
    if (parser.isSet(QStringLiteral("webcams"))) {
        if (!putWebcamsOnChannels(manager, channels)) {
            std::fprintf(stderr, "vireon_screenshot: no simulated webcams in this build\n");
            return 2;
        }
    } else {
        const QString audio = parser.value(QStringLiteral("audio"));
        for (int channel = 1; channel <= channels; ++channel) {
            manager->setCameraForChannel(channel, testPatternKey(channel), 1280, 720, 30.0f, QStringLiteral("Default"));
            if (audio == QLatin1String("tone"))
                manager->setAudioInputForChannel(channel, AudioCapture::testToneName());
        }
        if (audio != QLatin1String("tone")) {
            for (int channel = 1; channel <= 4; ++channel)
                manager->setAudioInputForChannel(channel, AudioInputChoice{AudioCapture::testInterfaceName(), channel, 1}.text());
            manager->setChannelGainTrim(1, 6.0f);
            manager->setChannelLowCutEnabled(1, true);
            if (audio == QLatin1String("interface-lost"))
                AudioDeviceRegistry::shared().setUnplugged(AudioCapture::testInterfaceName(), true);
        }
    }

    int exitCode = settingsWindow ? grabSettingsWindow(manager, parser, output) : 0;
    if (!settingsWindow) {
        QQmlApplicationEngine engine;
        engine.addImportPath(QStringLiteral("qrc:/"));
        QQuickWindow *window = nullptr;
        if (secondary.isEmpty()) {
            engine.load(QUrl(QStringLiteral("qrc:/Vireon/ui/qml/Main.qml")));
            window = engine.rootObjects().isEmpty() ? nullptr : qobject_cast<QQuickWindow *>(engine.rootObjects().first());
            const QStringList size = parser.value(QStringLiteral("size")).split(QLatin1Char('x'));
            if (window && size.size() == 2 && size[0].toInt() > 0 && size[1].toInt() > 0)
                window->resize(size[0].toInt(), size[1].toInt());
        } else {
            window = createSecondaryWindow(engine, secondary, parser.value(QStringLiteral("language")));
        }
        if (!window) {
            if (secondary.isEmpty())
                std::fprintf(stderr, "vireon_screenshot: Main.qml did not load\n");
            exitCode = 1;
        } else {
            // The cameras deliver their first pictures and the read-outs (refreshed every 2 s)
            // show measured figures rather than their start values.
            QTest::qWait(2500);
            if (recording) {
                manager->startRecording();
                if (!waitFor([&] { return manager->isRecording(); }, 8000))
                    std::fprintf(stderr, "vireon_screenshot: the take did not start: %s\n",
                                 qPrintable(manager->lastRecordingError()));
                QTest::qWait(2500);
            }
            const QString overlay = parser.value(QStringLiteral("overlay"));
            if (!overlay.isEmpty()) {
                if (!openOverlay(window, overlay, channelsModel, takeDir.path())) {
                    std::fprintf(stderr, "vireon_screenshot: the overlay %s did not open\n", qPrintable(overlay));
                    exitCode = 1;
                }
                QTest::qWait(300);
            }
            const QImage image = window->grabWindow();
            if (image.isNull() || !image.save(output)) {
                std::fprintf(stderr, "vireon_screenshot: could not save %s\n", qPrintable(output));
                exitCode = 1;
            }
            if (manager->isRecording())
                manager->stopRecording();
            UpdateManager::instance()->cancelDownload();
            if (RemoteControlServer::instance()->isRunning())
                RemoteControlServer::instance()->stopServer();
            if (!secondary.isEmpty())
                delete window; // created here, not by the engine's root list
        }
    }
    manager->shutDown();
    SDL_Quit();
    return exitCode;
}
