#include "app/CommandLine.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using Action = CommandLineResult::Action;

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void parse_data();
    void parse();
    void studioOptions();
    void versionAndHelpExitZero();
    void badOptionPrintsUsageAndExitsTwo();
    void headlessRunsUntilTerminatedAndExitsCleanly();
    void windowedStartLoadsTheMainWindowOnce();

private:
    // Runs a private copy of the program so its log file (beside the executable) is ours.
    QString copyProgram();
    QString readLog() const;

    QTemporaryDir m_dir;
};

void TestCommandLine::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QFile::exists(QStringLiteral(VIREON_EXECUTABLE)));
}

QString TestCommandLine::copyProgram()
{
    const QString target = m_dir.filePath(QStringLiteral("vireon"));
    QFile::remove(target);
    QFile::remove(m_dir.filePath(QStringLiteral("qt_log.txt")));
    if (!QFile::copy(QStringLiteral(VIREON_EXECUTABLE), target))
        return QString();
    return target;
}

QString TestCommandLine::readLog() const
{
    QFile file(m_dir.filePath(QStringLiteral("qt_log.txt")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void TestCommandLine::parse_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("action");
    QTest::addColumn<bool>("headless");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("session");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("fps");  // the frame-rate entry, -1: the settings' own
    QTest::addColumn<int>("size"); // the resolution entry, -1: the settings' own

    const int run = int(Action::Run), err = int(Action::Error);
    QTest::newRow("no options") << QStringList{} << run << false << "" << "" << -1 << -1 << -1;
    QTest::newRow("help") << QStringList{"--help"} << int(Action::ShowHelp) << false << "" << "" << -1 << -1 << -1;
    QTest::newRow("version") << QStringList{"--version"} << int(Action::ShowVersion) << false << "" << "" << -1 << -1 << -1;
    QTest::newRow("all") << QStringList{"--headless", "--output", "/tmp/rec", "--session", "Tom & Jerry", "--port", "9090"}
                         << run << true << "/tmp/rec" << "Tom & Jerry" << 9090 << -1 << -1;
    QTest::newRow("equals form") << QStringList{"--port=8081", "--output=/x"} << run << false << "/x" << "" << 8081 << -1 << -1;
    QTest::newRow("unknown option") << QStringList{"--bogus"} << err << false << "" << "" << -1 << -1 << -1;
    QTest::newRow("stray argument") << QStringList{"take1"} << err << false << "" << "" << -1 << -1 << -1;
    QTest::newRow("port not a number") << QStringList{"--port", "abc"} << err << false << "" << "" << -1 << -1 << -1;
    QTest::newRow("port zero") << QStringList{"--port", "0"} << err << false << "" << "" << -1 << -1 << -1;
    QTest::newRow("port too big") << QStringList{"--port", "70000"} << err << false << "" << "" << -1 << -1 << -1;
    QTest::newRow("output missing value") << QStringList{"--output"} << err << false << "" << "" << -1 << -1 << -1;
    QTest::newRow("blank session") << QStringList{"--session", "  "} << err << false << "" << "" << -1 << -1 << -1;
    QTest::newRow("fps and size") << QStringList{"--fps", "29.97", "--size", "1280x720"} << run << false << "" << "" << -1 << 3 << 3;
    QTest::newRow("fps 25.00, equals form") << QStringList{"--fps=25.00"} << run << false << "" << "" << -1 << 2 << -1;
    QTest::newRow("fps auto") << QStringList{"--fps", "auto"} << run << false << "" << "" << -1 << 10 << -1;
    QTest::newRow("fps not offered") << QStringList{"--fps", "29.9"} << err << false << "" << "" << -1 << -1 << -1;
    QTest::newRow("size not offered") << QStringList{"--size", "1280x700"} << err << false << "" << "" << -1 << -1 << -1;
    QTest::newRow("follow without an address") << QStringList{"--follow", "http://"} << err << false << "" << "" << -1 << -1 << -1;
    QTest::newRow("follow with a short key") << QStringList{"--follow", "http://10.0.0.2:8080/?key=abc"} << err << false << "" << "" << -1 << -1 << -1;
    QTest::newRow("blank machine") << QStringList{"--machine", " "} << err << false << "" << "" << -1 << -1 << -1;
}

void TestCommandLine::parse()
{
    QFETCH(QStringList, args);
    QFETCH(int, action);
    QFETCH(bool, headless);
    QFETCH(QString, output);
    QFETCH(QString, session);
    QFETCH(int, port);
    QFETCH(int, fps);
    QFETCH(int, size);

    args.prepend(QStringLiteral("vireon"));
    const CommandLineResult result = CommandLine::parse(args);
    QCOMPARE(int(result.action), action);
    if (result.action == Action::Error) {
        QVERIFY(!result.errorText.isEmpty());
        return;
    }
    QCOMPARE(result.options.headless, headless);
    QCOMPARE(result.options.outputDir, output);
    QCOMPARE(result.options.sessionName, session);
    QCOMPARE(result.options.port, port);
    QCOMPARE(result.options.framerateIndex, fps);
    QCOMPARE(result.options.resolutionIndex, size);
}

void TestCommandLine::studioOptions()
{
    const QString link = QStringLiteral("http://127.0.0.1:8081/?key=0123456789abcdef0123456789abcdef");
    const CommandLineResult result = CommandLine::parse({QStringLiteral("vireon"), QStringLiteral("--follow"), link,
                                                         QStringLiteral("--machine"), QStringLiteral(" Studio B ")});
    QCOMPARE(int(result.action), int(Action::Run));
    QCOMPARE(result.options.followLink, link);
    QCOMPARE(result.options.machineName, QStringLiteral("Studio B"));
}

void TestCommandLine::versionAndHelpExitZero()
{
    QProcess version;
    version.start(QStringLiteral(VIREON_EXECUTABLE), {QStringLiteral("--version")});
    QVERIFY(version.waitForFinished(10000));
    QCOMPARE(version.exitCode(), 0);
    QCOMPARE(version.readAllStandardOutput().trimmed(), QByteArray("Vireon 2.4.5b"));

    QProcess help;
    help.start(QStringLiteral(VIREON_EXECUTABLE), {QStringLiteral("--help")});
    QVERIFY(help.waitForFinished(10000));
    QCOMPARE(help.exitCode(), 0);
    const QByteArray text = help.readAllStandardOutput();
    for (const char *option : {"--headless", "--output", "--session", "--port", "--version", "--fps <RATE>",
                               "--size <WIDTHxHEIGHT>"})
        QVERIFY2(text.contains(option), option);
}

void TestCommandLine::badOptionPrintsUsageAndExitsTwo()
{
    QProcess process;
    process.start(QStringLiteral(VIREON_EXECUTABLE), {QStringLiteral("--frobnicate")});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 2);
    const QByteArray err = process.readAllStandardError();
    QVERIFY(err.contains("frobnicate"));
    QVERIFY(err.contains("Usage: vireon"));

    // A rate that is not offered names the ones that are.
    QProcess rate;
    rate.start(QStringLiteral(VIREON_EXECUTABLE), {QStringLiteral("--fps"), QStringLiteral("31")});
    QVERIFY(rate.waitForFinished(10000));
    QCOMPARE(rate.exitCode(), 2);
    QVERIFY2(rate.readAllStandardError().contains("--fps '31' is not offered; choose one of: 23.976, 24, 25, 29.97, 30, 48, 50, 59.94, 60, 120, auto."),
             "the list of rates");
}

void TestCommandLine::headlessRunsUntilTerminatedAndExitsCleanly()
{
    const QString program = copyProgram();
    QVERIFY(!program.isEmpty());
    QProcess process;
    // A settings store of this run: the program keeps its remote-control key there.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
    process.setProcessEnvironment(env);
    process.start(program, {QStringLiteral("--headless"), QStringLiteral("--output"), m_dir.filePath("takes"),
                            QStringLiteral("--session"), QStringLiteral("Pod 7")});
    QVERIFY(process.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(readLog().contains(QStringLiteral("Running headless")), 10000);
    QTest::qWait(300);
    QCOMPARE(process.state(), QProcess::Running);

    process.terminate(); // SIGTERM
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);

    const QStringList lines = readLog().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY(!lines.isEmpty());
    QCOMPARE(lines.first(), QStringLiteral("[Vireon] Engine initialized successfully."));
    QVERIFY(lines.contains(QStringLiteral("[Vireon] Recording path: \"%1\"").arg(m_dir.filePath("takes"))));
    QVERIFY(lines.contains(QStringLiteral("[Vireon] Session: \"Pod 7\"")));
    QVERIFY(!readLog().contains(QStringLiteral("QQmlApplicationEngine")));
}

void TestCommandLine::windowedStartLoadsTheMainWindowOnce()
{
    const QString program = copyProgram();
    QVERIFY(!program.isEmpty());
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
    process.setProcessEnvironment(env);
    process.start(program, {});
    QVERIFY(process.waitForStarted());

    const QString mainLoaded =
        QStringLiteral("QQmlApplicationEngine loaded root object for: QUrl(\"qrc:/Vireon/ui/qml/Main.qml\")");
    QTRY_VERIFY_WITH_TIMEOUT(readLog().contains(mainLoaded), 15000);
    QTest::qWait(500);
    process.terminate();
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 0);

    const QStringList lines = readLog().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.first(), QStringLiteral("[Vireon] Engine initialized successfully."));
    const int splashAt = lines.indexOf(
        QStringLiteral("QQmlApplicationEngine loaded root object for: QUrl(\"qrc:/Vireon/ui/qml/SplashWindow.qml\")"));
    QVERIFY(splashAt > 0);
    QVERIFY(lines.indexOf(mainLoaded) > splashAt);
    QCOMPARE(lines.count(mainLoaded), 1);
    QVERIFY(!readLog().contains(QStringLiteral("failed to create root object")));
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
