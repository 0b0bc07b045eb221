#include "common/AppPaths.h"
#include "app/ApplicationManager.h"
#include "app/LogHandler.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

// Set before the application object exists (see main below).
QByteArray g_logBeforeApplication;

} // namespace

class TestLogsAndManuals : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void handlerBeforeApplicationWritesToWorkingDirectory();
    void handlerAppendsBesideTheExecutable();
    void recentLogsKeepTheLastFifty_data();
    void recentLogsKeepTheLastFifty();
    void recentLogsOfMissingFileIsEmpty();
    void logLineKinds_data();
    void logLineKinds();
    void clearLeavesAnEmptyLog();
    void manualLanguageChoice_data();
    void manualLanguageChoice();
    void missingManualGivesEmptyContent();

private:
    QTemporaryDir m_settingsDir;
    QString m_logPath;
    ApplicationManager *m_manager = nullptr;
};

void TestLogsAndManuals::initTestCase()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
    m_logPath = AppPaths::logFilePath();
    QCOMPARE(m_logPath, QCoreApplication::applicationDirPath() + QStringLiteral("/qt_log.txt"));
    QFile::remove(m_logPath);
    m_manager = new ApplicationManager;
}

void TestLogsAndManuals::cleanupTestCase()
{
    qInstallMessageHandler(nullptr);
    delete m_manager;
    QFile::remove(m_logPath);
    const QString dir = QCoreApplication::applicationDirPath();
    QFile::remove(dir + QStringLiteral("/GETTING_STARTED_EN.md"));
    QFile::remove(dir + QStringLiteral("/GETTING_STARTED_SR.md"));
}

void TestLogsAndManuals::handlerBeforeApplicationWritesToWorkingDirectory()
{
    QCOMPARE(g_logBeforeApplication, QByteArray("[Vireon] before the application\n"));
}

void TestLogsAndManuals::handlerAppendsBesideTheExecutable()
{
    LogHandler::install();
    qDebug() << "[Test] first" << QStringLiteral("quoted");
    qWarning() << "[Test] second";
    qInstallMessageHandler(nullptr);
    QCOMPARE(readAll(m_logPath), QByteArray("[Test] first \"quoted\"\n[Test] second\n"));
}

void TestLogsAndManuals::recentLogsKeepTheLastFifty_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("firstKept");
    QTest::newRow("0 lines") << 0 << 0;
    QTest::newRow("50 lines") << 50 << 1;
    QTest::newRow("51 lines") << 51 << 2;
    QTest::newRow("120 lines") << 120 << 71;
}

void TestLogsAndManuals::recentLogsKeepTheLastFifty()
{
    QFETCH(int, lines);
    QFETCH(int, firstKept);
    QByteArray content;
    for (int i = 1; i <= lines; ++i)
        content += "line " + QByteArray::number(i) + "\n";
    writeFile(m_logPath, content);

    const QStringList recent = m_manager->getRecentLogs();
    QCOMPARE(recent.size(), qMin(lines, 50));
    if (lines > 0) {
        QCOMPARE(recent.first(), QStringLiteral("line %1").arg(firstKept));
        QCOMPARE(recent.last(), QStringLiteral("line %1").arg(lines));
    }
}

void TestLogsAndManuals::recentLogsOfMissingFileIsEmpty()
{
    QFile::remove(m_logPath);
    QVERIFY(m_manager->getRecentLogs().isEmpty());
}

void TestLogsAndManuals::logLineKinds_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("kind");
    QTest::newRow("take started") << "[ApplicationManager] === RECORDING STARTED === 4 camera(s) at 30 fps" << "started";
    QTest::newRow("take stopped, nothing lost") << "[ApplicationManager] === RECORDING STOPPED === 5 s, DROPS: 0, REPEATED: 3"
                                                << "stopped";
    QTest::newRow("stopped wins over drops") << "DROPS: 7 RECORDING STOPPED" << "stopped";
    QTest::newRow("started wins over drops") << "RECORDING STARTED DROPS: 3" << "started";
    QTest::newRow("frames lost") << "[ApplicationManager] Frames lost during the take (encoders behind), DROPS: 4" << "drops";
    QTest::newRow("no space before the count") << "DROPS:12" << "drops";
    QTest::newRow("no frame lost") << "cam 2 DROPS: 0" << "plain";
    QTest::newRow("ten lost is not zero") << "DROPS: 10" << "drops";
    QTest::newRow("camera lost") << "[CameraWatch] === CAMERA LOST === channel 2 at take time 00:00:03:00 - gone" << "lost";
    QTest::newRow("case matters") << "recording started" << "plain";
    QTest::newRow("ordinary") << "[ApplicationManager] startRecording() triggered." << "plain";
    QTest::newRow("empty") << "" << "plain";
}

// Read back from the log file as the performance monitor reads it.
void TestLogsAndManuals::logLineKinds()
{
    QFETCH(QString, line);
    QFETCH(QString, kind);
    writeFile(m_logPath, "[Test] before\n" + line.toUtf8() + "\n");
    const QVariantList entries = m_manager->getRecentLogEntries();
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries.at(0).toMap().value(QStringLiteral("kind")).toString(), QStringLiteral("plain"));
    QCOMPARE(entries.at(1).toMap().value(QStringLiteral("text")).toString(), line);
    QCOMPARE(entries.at(1).toMap().value(QStringLiteral("kind")).toString(), kind);
}

void TestLogsAndManuals::clearLeavesAnEmptyLog()
{
    writeFile(m_logPath, "a\nb\n");
    m_manager->clearLogFile();
    QVERIFY(QFile::exists(m_logPath));
    QVERIFY(m_manager->getRecentLogs().isEmpty());

    LogHandler::install();
    qDebug() << "[Test] after clear";
    qInstallMessageHandler(nullptr);
    QCOMPARE(m_manager->getRecentLogs(), QStringList{QStringLiteral("[Test] after clear")});
}

void TestLogsAndManuals::manualLanguageChoice_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("empty") << "" << "GETTING_STARTED_EN.md";
    QTest::newRow("EN") << "EN" << "GETTING_STARTED_EN.md";
    QTest::newRow("sr lower") << "sr" << "GETTING_STARTED_SR.md";
    QTest::newRow("Sr mixed") << "Sr" << "GETTING_STARTED_SR.md";
    QTest::newRow("de falls back") << "de" << "GETTING_STARTED_EN.md";
}

void TestLogsAndManuals::manualLanguageChoice()
{
    QFETCH(QString, lang);
    QFETCH(QString, fileName);
    const QString dir = QCoreApplication::applicationDirPath();
    writeFile(dir + QStringLiteral("/GETTING_STARTED_EN.md"), "## Quick start\nEnglish\n");
    writeFile(dir + QStringLiteral("/GETTING_STARTED_SR.md"), "## Brzi početak\nSrpski\n");

    QCOMPARE(m_manager->manualFilePath(lang), dir + QLatin1Char('/') + fileName);
    const QString content = m_manager->getManualContent(lang);
    QCOMPARE(content, fileName.contains("SR") ? QStringLiteral("## Brzi početak\nSrpski\n")
                                              : QStringLiteral("## Quick start\nEnglish\n"));
}

void TestLogsAndManuals::missingManualGivesEmptyContent()
{
    QFile::remove(QCoreApplication::applicationDirPath() + QStringLiteral("/GETTING_STARTED_EN.md"));
    QCOMPARE(m_manager->getManualContent(), QString());
    QCOMPARE(m_manager->getManualContent("xx"), QString());
}

int main(int argc, char **argv)
{
    // The handler must cope with messages that arrive before the application object:
    // they go to "qt_log.txt" in the working directory.
    {
        QTemporaryDir workDir;
        const QString previous = QDir::currentPath();
        QDir::setCurrent(workDir.path());
        LogHandler::handleMessage(QtDebugMsg, QMessageLogContext(), QStringLiteral("[Vireon] before the application"));
        g_logBeforeApplication = readAll(workDir.filePath(QStringLiteral("qt_log.txt")));
        QDir::setCurrent(previous);
    }

    QGuiApplication app(argc, argv);
    TestLogsAndManuals test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_logsandmanuals.moc"
