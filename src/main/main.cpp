// Process entry: parses the command line, brings up SDL, the back end, the log and the QML
// interface in a fixed order, runs the event loop and tears everything down again.
#include "common/AppInfo.h"
#include "common/AppPaths.h"
#include "common/MemoryTuning.h"
#include "app/ApplicationManager.h"
#include "app/CommandLine.h"
#include "app/DemoSetup.h"
#include "app/LogHandler.h"
#include "app/QuitOnSignal.h"
#include "app/StartupSequence.h"
#include "models/InputChannelsModel.h"
#include "ui/QmlRegistration.h"
#include "recording/FfmpegLog.h"
#include "remote/RemoteControlServer.h"
#include "update/UpdateManager.h"

#include <QDebug>
#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QTimer>

#include <SDL.h>

#include <csignal>
#include <cstdio>
#include <memory>

#ifdef _WIN32
#include "platform/windows/WinsockSession.h"
#endif

namespace {

#ifdef _WIN32
// The Windows socket layer, started before main() and cleaned up after the singletons are
// destroyed (they are created later, so they go first).
const WinsockSession socketLayer;
#endif

QStringList argumentsOf(int argc, char **argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    return args;
}

void initSdl()
{
    // SDL video is never used, but the start-up asks for it with audio; on a machine
    // without a display it fails and takes audio down with it, so bring audio up alone.
    if (SDL_Init(SDL_INIT_AUDIO | SDL_INIT_VIDEO) != 0 && SDL_WasInit(SDL_INIT_AUDIO) == 0)
        SDL_InitSubSystem(SDL_INIT_AUDIO);
}

void applyCommandLine(ApplicationManager *manager, const CommandLineOptions &options)
{
    // What this run is told on the command line applies to this run only: the saved settings
    // keep their own values.
    SetupPersistence::Overrides overrides;
    if (!options.outputDir.isEmpty())
        overrides.outputFolder = QDir(options.outputDir).absolutePath();
    if (options.framerateIndex >= 0)
        overrides.framerateIndex = options.framerateIndex;
    if (options.resolutionIndex >= 0)
        overrides.resolutionIndex = options.resolutionIndex;
    manager->applyRunOverrides(overrides);
    if (overrides.outputFolder)
        qDebug() << "[Vireon] Recording path:" << manager->recordingPath();
    if (overrides.framerateIndex || overrides.resolutionIndex)
        qDebug().noquote() << "[Vireon] This run records at" << manager->recordingFpsText() << "fps, at most"
                           << manager->activeResolutionName();
    if (!options.sessionName.isEmpty()) {
        manager->setActiveSessionName(options.sessionName.trimmed());
        qDebug() << "[Vireon] Session:" << manager->activeSessionName();
    }
}

// The remote-control server carries the studio's routes: this machine as a follower, and
// followers asking this one to lead them; the studio learns where it is reached and its key.
void linkStudioToServer(RemoteControlServer *remote, StudioSession *studio)
{
    remote->setStudioFollower(studio->follower());
    remote->setStudioJoinHandler([studio](const LinkAddress &follower, const QString &machine) {
        return studio->acceptJoin(follower, machine);
    });
    const auto shareAccess = [remote, studio] {
        if (remote->isRunning())
            studio->setOwnAccess(quint16(remote->port()), remote->requireAccessKey() ? remote->accessKey() : QString());
    };
    QObject::connect(remote, &RemoteControlServer::serverStateChanged, studio, shareAccess);
    QObject::connect(remote, &RemoteControlServer::accessKeyChanged, studio, shareAccess);
    QObject::connect(remote, &RemoteControlServer::requireAccessKeyChanged, studio, shareAccess);
    shareAccess();
}

// --machine and --follow: what the remote dialog's studio part sets, for a machine run
// without windows.
void applyStudioCommandLine(StudioSession *studio, const CommandLineOptions &options)
{
    if (!options.machineName.isEmpty())
        studio->setMachineName(options.machineName);
    if (options.followLink.isEmpty())
        return;
    if (const QString why = studio->followLeader(options.followLink, QString()); !why.isEmpty())
        qWarning().noquote() << "[Vireon] Not following" << options.followLink << ":" << why;
    else
        qDebug().noquote() << "[Vireon] Following the studio leader at" << options.followLink;
}

} // namespace

int main(int argc, char *argv[])
{
    // Before any thread and any picture: the allocator keeps pictures' memory from piling up.
    tunePictureMemory();
#ifndef _WIN32
    // A file that reaches the size limit must fail its write (and end a take cleanly), not kill
    // the program with every file of the take half-written. The log is the first file written,
    // so this comes before anything else.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    const CommandLineResult commandLine = CommandLine::parse(argumentsOf(argc, argv));
    if (const int exitCode = CommandLine::handleNonRunActions(commandLine); exitCode >= 0)
        return exitCode;
    const CommandLineOptions &options = commandLine.options;

#ifdef Q_OS_UNIX
    // From the first write on (the log comes before the signal handling is set up), a file at
    // the size limit fails its write instead of killing the program.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    // Without windows there is no need for a display.
    if (options.headless && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QGuiApplication app(argc, argv);
    initSdl();

    ApplicationManager *manager = ApplicationManager::instance();
    app.installEventFilter(manager);

    LogHandler::install();
    qDebug() << "[Vireon] Engine initialized successfully.";
    // Where this run reads its manuals from: the first thing to check when help is empty.
    qDebug().noquote() << "[Vireon] User manual:" << AppPaths::manualPath(QStringLiteral("GETTING_STARTED_EN.md"));
    FfmpegLog::install();

    QQuickStyle::setStyle(QStringLiteral("Basic"));
    QCoreApplication::setOrganizationName(AppInfo::organisationName);
    QCoreApplication::setOrganizationDomain(AppInfo::organisationDomain);
    QCoreApplication::setApplicationName(AppInfo::applicationName);
    QCoreApplication::setApplicationVersion(AppInfo::displayVersion);
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/icon.ico")));

    registerVireonQmlTypes(manager);
    UpdateManager *updates = UpdateManager::instance();
    RemoteControlServer *remote = RemoteControlServer::instance();
    // Listening from here on, before any window: a phone can connect during start-up.
    remote->startServer(options.port >= 0 ? options.port : RemoteControlServer::DefaultPort);
    linkStudioToServer(remote, manager->studio());
    applyStudioCommandLine(manager->studio(), options);
    // The address to open on the phone, key included, for whoever runs the program without
    // windows (there is no QR code to scan then).
    if (remote->isRunning()) {
        std::printf("Remote control: %s\n", qPrintable(remote->serverUrl()));
        std::fflush(stdout);
    }

    applyCommandLine(manager, options);
    // Takes a crash left without timelines get them back, before a new take can start.
    manager->recoverInterruptedTakes();
    QuitOnSignal quitOnSignal;

    InputChannelsModel channelsModel;
    manager->setChannelsModel(&channelsModel);
    QObject::connect(manager, &ApplicationManager::channelAudioLevelChanged,
                     &channelsModel, &InputChannelsModel::setAudioLevel);
    // The studio as it was left, saved again as the operator changes it; a demo run neither
    // restores nor saves it.
    if (options.demo) {
        DemoSetup::apply(*manager);
    } else {
        manager->restoreStudioSetup();
        manager->setSetupSaving(true);
    }

    std::unique_ptr<QQmlApplicationEngine> engine;
    std::unique_ptr<SplashToMainSwitch> splashSwitch;
    if (options.headless) {
        qDebug() << "[Vireon] Running headless.";
    } else {
        engine = std::make_unique<QQmlApplicationEngine>();
        engine->addImportPath(QStringLiteral("qrc:/"));
        QObject::connect(engine.get(), &QQmlApplicationEngine::objectCreated, &Startup::logRootObjectLoad);
        engine->load(Startup::splashWindowUrl);
        splashSwitch = std::make_unique<SplashToMainSwitch>(engine.get(), manager);
        // A silent update check a little after the main window appears.
        splashSwitch->setAfterMainLoaded([updates] {
            if (updates->autoCheckOnStartup())
                QTimer::singleShot(3000, updates, [updates] { updates->checkForUpdates(true); });
        });
        manager->runInitialization();
    }

    // --record: one take of the given length, its folder on stdout, then the program ends.
    int recordExitCode = 0;
    // Context of the --record connections: gone when main() returns, so a take the manager
    // finishes later (at exit) never reaches these locals.
    QObject recordingRun;
    if (options.recordSeconds > 0.0) {
        QTimer::singleShot(0, &recordingRun, [&] {
            manager->startRecording();
            if (!manager->isRecording()) {
                std::fprintf(stderr, "vireon: %s\n", qPrintable(manager->lastRecordingError()));
                recordExitCode = 1;
                QCoreApplication::quit();
                return;
            }
            manager->limitTakeLength(qRound64(options.recordSeconds * 1000.0));
        });
        QObject::connect(manager, &ApplicationManager::takeFinished, &recordingRun, [&](const QString &takeFolder) {
            std::printf("%s\n", qPrintable(QDir::toNativeSeparators(takeFolder)));
            std::fflush(stdout);
            if (!manager->lastRecordingError().isEmpty()) {
                std::fprintf(stderr, "vireon: %s\n", qPrintable(manager->lastRecordingError()));
                recordExitCode = 1;
            }
            QCoreApplication::quit();
        });
    }

    const int exitCode = app.exec();

    // Finish the take and stop every device thread while everything they use still exists.
    manager->shutDown();
    SDL_Quit();
    splashSwitch.reset();
    engine.reset();
    manager->setChannelsModel(nullptr);
    return exitCode != 0 ? exitCode : recordExitCode;
}
