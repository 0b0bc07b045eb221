// Offscreen pictures of the main window: loads Main.qml with the built-in cameras on the first
// N channels, optionally starts a take, and saves the window as a PNG.
//   vireon_screenshot --channels N --state idle|recording --language EN|SR --output FILE
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
#include <QImage>
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
            const QImage image = window->grabWindow();
            if (image.isNull() || !image.save(output)) {
                std::fprintf(stderr, "vireon_screenshot: could not save %s\n", qPrintable(output));
                exitCode = 1;
            }
            if (manager->isRecording())
                manager->stopRecording();
        }
    }
    manager->shutDown();
    SDL_Quit();
    return exitCode;
}
