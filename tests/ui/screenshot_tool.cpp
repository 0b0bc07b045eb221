// Offscreen pictures of the main window: loads Main.qml with the built-in cameras on the first
// N channels, optionally starts a take, and saves the window as a PNG.
//   vireon_screenshot --channels N --state idle|recording --language EN|SR --output FILE
//                     [--overlay source|source-edit|remote|update|update-download]
#include "app/AppInfo.h"
#include "app/ApplicationManager.h"
#include "capture/AudioCapture.h"
#include "models/InputChannelsModel.h"
#include "models/VideoStreamItem.h"
#include "remote/RemoteControlServer.h"
#include "update/UpdateManager.h"

#include "BuiltInDevices.h"

#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QByteArray>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlApplicationEngine>
#include <QQmlContext>
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
        {QStringLiteral("downloadUrl"), installerUrl}};
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
    if (overlay == QLatin1String("remote")) {
        // A free port: a picture must not depend on 8080 being free on this machine.
        RemoteControlServer::instance()->startServer(0);
        QObject *dialogs = holder("remoteControlOverlay");
        return dialogs && QMetaObject::invokeMethod(dialogs, "openDialog");
    }
    if (overlay == QLatin1String("update") || overlay == QLatin1String("update-download"))
        return offerUpdate(overlay == QLatin1String("update-download"), scratchFolder + QStringLiteral("/update"));
    return false;
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
                       QStringLiteral("Dialog to open: source, source-edit, remote, update or update-download."),
                       QStringLiteral("overlay") });
    parser.process(app);
    const int channels = qBound(0, parser.value(QStringLiteral("channels")).toInt(), 4);
    const bool recording = parser.value(QStringLiteral("state")) == QLatin1String("recording");
    const QString output = parser.value(QStringLiteral("output"));
    if (output.isEmpty()) {
        std::fprintf(stderr, "vireon_screenshot: --output is required\n");
        return 2;
    }

    // Settings and takes stay in a folder of this run: a picture never changes the user's setup.
    QTemporaryDir takeDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, takeDir.filePath(QStringLiteral("settings")));
    ApplicationManager *manager = ApplicationManager::instance();
    qmlRegisterType<VideoStreamItem>("Vireon", 1, 0, "VideoStreamItem");
    qmlRegisterSingletonInstance("Vireon", 1, 0, "AppManager", manager);
    qmlRegisterSingletonInstance("Vireon", 1, 0, "UpdateManager", UpdateManager::instance());
    qmlRegisterSingletonInstance("Vireon", 1, 0, "RemoteServer", RemoteControlServer::instance());
    InputChannelsModel channelsModel;
    manager->setChannelsModel(&channelsModel);
    QObject::connect(manager, &ApplicationManager::channelAudioLevelChanged,
                     &channelsModel, &InputChannelsModel::setAudioLevel);
    manager->setCurrentLanguage(parser.value(QStringLiteral("language")));
    manager->setRecordingPath(takeDir.filePath(QStringLiteral("takes")));
    for (int channel = 1; channel <= channels; ++channel) {
        manager->setCameraForChannel(channel, testPatternKey(channel), 1280, 720, 30.0f, QStringLiteral("Default"));
        manager->setAudioInputForChannel(channel, AudioCapture::testToneName());
    }

    int exitCode = 0;
    {
        QQmlApplicationEngine engine;
        engine.rootContext()->setContextProperty(QStringLiteral("ChannelsModel"), &channelsModel);
        engine.addImportPath(QStringLiteral("qrc:/"));
        engine.load(QUrl(QStringLiteral("qrc:/Vireon/ui/qml/Main.qml")));
        auto *window = engine.rootObjects().isEmpty() ? nullptr
                                                      : qobject_cast<QQuickWindow *>(engine.rootObjects().first());
        if (!window) {
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
        }
    }
    manager->shutDown();
    SDL_Quit();
    return exitCode;
}
