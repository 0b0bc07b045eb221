// Offscreen pictures of the main window: loads Main.qml with the built-in cameras on the first
// N channels, optionally starts a take, and saves the window as a PNG.
//   vireon_screenshot --channels N --state idle|recording --language EN|SR --output FILE
// The settings window instead, on one of its pages (0-3), optionally scrolled, with the
// advanced quality grid open, or after a hardware benchmark:
//   vireon_screenshot --window settings --page N [--scroll PX] [--advanced] [--benchmark] ...
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

// The settings window on one page; returns the exit code.
int grabSettingsWindow(InputChannelsModel *channelsModel, ApplicationManager *manager,
                       const QCommandLineParser &parser, const QString &output)
{
    QQmlApplicationEngine engine;
    engine.rootContext()->setContextProperty(QStringLiteral("ChannelsModel"), channelsModel);
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
    parser.addOption({ QStringLiteral("window"), QStringLiteral("main or settings."), QStringLiteral("window"), QStringLiteral("main") });
    parser.addOption({ QStringLiteral("page"), QStringLiteral("Settings page (0-3)."), QStringLiteral("n"), QStringLiteral("0") });
    parser.addOption({ QStringLiteral("scroll"), QStringLiteral("Settings page scrolled down by this many pixels."), QStringLiteral("px") });
    parser.addOption({ QStringLiteral("advanced"), QStringLiteral("Settings: advanced quality grid open.") });
    parser.addOption({ QStringLiteral("benchmark"), QStringLiteral("Settings: run the hardware benchmark first.") });
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

    const bool settingsWindow = parser.value(QStringLiteral("window")) == QLatin1String("settings");
    int exitCode = settingsWindow ? grabSettingsWindow(&channelsModel, manager, parser, output) : 0;
    if (!settingsWindow) {
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
            QTest::qWait(1500); // the cameras deliver their first pictures
            if (recording) {
                manager->startRecording();
                if (!waitFor([&] { return manager->isRecording(); }, 8000))
                    std::fprintf(stderr, "vireon_screenshot: the take did not start: %s\n",
                                 qPrintable(manager->lastRecordingError()));
                QTest::qWait(1200);
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
