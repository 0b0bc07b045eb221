// remote_test_host: the back end with the remote-control server on a free loopback port, for the
// browser tests. It does what the program does at start-up (manager, channel model, server),
// with the built-in devices, and takes commands on standard input so a test can change the
// channels behind the page's back or take the server away:
//
//   camera N P   put "Test Pattern P" on channel N      remove N   take channel N's camera off
//   stop         stop the server                        start      start it again on its port
//   newkey       make a new access key                  quit
//
// It answers each command with one line ("OK ...", "READY <port> <key>", "STOPPED",
// "KEY <key>"); when a take ends it prints "TAKE <folder>". Arguments: [--demo] [--port N]
// --output DIR.
#include "app/ApplicationManager.h"
#include "app/DemoSetup.h"
#include "capture/AudioCapture.h"
#include "capture/CameraCapture.h"
#include "models/InputChannelsModel.h"
#include "remote/RemoteControlServer.h"

#include <QCommandLineParser>
#include <QDir>
#include <QGuiApplication>
#include <QSettings>
#include <QSocketNotifier>
#include <QTemporaryDir>

#include <SDL.h>

#include <cstdio>
#include <unistd.h>

namespace {

void say(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

QString testPatternKey(int number)
{
    for (const DeviceInfo &device : CameraCapture::listDevices()) {
        if (device.friendlyName == QStringLiteral("Test Pattern %1").arg(number))
            return device.devicePath;
    }
    return QString();
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("SDL_AUDIODRIVER", "dummy");
    QGuiApplication app(argc, argv);

    QCommandLineParser parser;
    parser.addOption({QStringLiteral("demo"), QStringLiteral("Built-in devices on channels 1-4.")});
    parser.addOption({QStringLiteral("port"), QStringLiteral("Port (0: any free one)."), QStringLiteral("port"), QStringLiteral("0")});
    parser.addOption({QStringLiteral("output"), QStringLiteral("Recording folder."), QStringLiteral("dir")});
    parser.process(app);

    // Settings of this run only, never the user's.
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    SDL_Init(SDL_INIT_AUDIO);

    auto *manager = new ApplicationManager;
    InputChannelsModel model;
    manager->setChannelsModel(&model);
    if (parser.isSet(QStringLiteral("output")))
        manager->setRecordingPath(QDir(parser.value(QStringLiteral("output"))).absolutePath());
    manager->setActiveSessionName(QStringLiteral("Browser"));
    if (parser.isSet(QStringLiteral("demo")))
        DemoSetup::apply(*manager);
    QObject::connect(manager, &ApplicationManager::takeFinished, [](const QString &folder) {
        say(QStringLiteral("TAKE ") + folder);
    });

    auto *server = new RemoteControlServer(manager);
    server->setChannelsModel(&model);
    server->startServer(parser.value(QStringLiteral("port")).toInt());
    if (!server->isRunning())
        return 1;
    const int port = server->port();
    say(QStringLiteral("READY %1 %2").arg(port).arg(server->accessKey()));

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char chunk[256];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n <= 0) {
            QCoreApplication::quit();
            return;
        }
        pending.append(chunk, n);
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QStringList words = QString::fromUtf8(pending.left(end)).simplified().split(QLatin1Char(' '));
            pending.remove(0, end + 1);
            const QString command = words.value(0);
            if (command == QLatin1String("camera") && words.size() == 3) {
                const int channel = words.at(1).toInt();
                manager->setCameraForChannel(channel, testPatternKey(words.at(2).toInt()), 1920, 1080, 30.0f);
                say(QStringLiteral("OK camera"));
            } else if (command == QLatin1String("remove") && words.size() == 2) {
                manager->removeCameraFromChannel(words.at(1).toInt());
                say(QStringLiteral("OK remove"));
            } else if (command == QLatin1String("stop")) {
                server->stopServer();
                say(QStringLiteral("STOPPED"));
            } else if (command == QLatin1String("start")) {
                server->startServer(port);
                say(QStringLiteral("READY %1 %2").arg(server->port()).arg(server->accessKey()));
            } else if (command == QLatin1String("newkey")) {
                server->newAccessKey();
                say(QStringLiteral("KEY ") + server->accessKey());
            } else if (command == QLatin1String("quit")) {
                QCoreApplication::quit();
            } else {
                say(QStringLiteral("ERROR unknown command"));
            }
        }
    });

    const int exitCode = app.exec();
    delete server;
    if (manager->isRecording())
        manager->stopRecording();
    manager->setChannelsModel(nullptr);
    delete manager;
    SDL_Quit();
    return exitCode;
}
