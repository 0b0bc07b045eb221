// What the operator is told about takes, with the built-in devices and real files: REC ALL
// refused on a nearly full disk (in both languages), a take on a small file system that stops
// by itself with every file and both timelines whole, the finished take's summary, a benchmark
// that gives way to a take, honest frame-rate readings and the verdicts every read-out shows.
#include "app/ApplicationManager.h"
#include "app/DiskSpace.h"
#include "app/HealthVerdicts.h"
#include "capture/AudioCapture.h"

#include "BuiltInDevices.h"
#include "ManagerTestCase.h"
#include "MediaReadback.h"
#include "XmemlReader.h"

#include <QDir>
#include <QDirIterator>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <SDL.h>

#if defined(Q_OS_LINUX)
#include <sys/mount.h>
#include <unistd.h>
#endif

namespace {

constexpr qint64 kMiB = qint64(1) << 20;

qint64 bytesUnder(const QString &folder)
{
    qint64 total = 0;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        total += it.nextFileInfo().size();
    return total;
}

// A small file system for the take: a real tmpfs where this process may mount one, else a
// disk of `capacity` bytes simulated over the folder (its free space is what the take left).
class SmallDisk
{
public:
    SmallDisk(const QString &folder, qint64 capacity)
        : m_folder(folder), m_capacity(capacity)
    {
        QDir().mkpath(folder);
#if defined(Q_OS_LINUX)
        const QByteArray options = "size=" + QByteArray::number(capacity);
        m_mounted = geteuid() == 0 && ::mount("tmpfs", folder.toLocal8Bit().constData(), "tmpfs", 0, options.constData()) == 0;
#endif
    }
    ~SmallDisk()
    {
#if defined(Q_OS_LINUX)
        if (m_mounted)
            ::umount2(m_folder.toLocal8Bit().constData(), MNT_DETACH);
#endif
    }
    bool isReal() const { return m_mounted; }
    ApplicationManager::FreeSpaceProbe probe() const
    {
        if (m_mounted)
            return [](const QString &path) { return freeBytesOf(path); };
        return [folder = m_folder, capacity = m_capacity](const QString &) { return capacity - bytesUnder(folder); };
    }

private:
    QString m_folder;
    qint64 m_capacity;
    bool m_mounted = false;
};

} // namespace

class TestTakeNotices : public ManagerTestCase
{
    Q_OBJECT

public:
    TestTakeNotices() : ManagerTestCase(QStringLiteral("Notices")) {}

private slots:

    void timeLeftAndItsLimits();
    void nearlyFullDiskRefusesTheTakeInBothLanguages();
    void takeOnASmallDiskStopsByItselfWithEveryFileWhole();
    void takeWinsOverTheBenchmark();
    void idleRateCountsEachCameraOnce();
    void healthVerdicts_data();
    void healthVerdicts();

private:
};

void TestTakeNotices::timeLeftAndItsLimits()
{
    const DiskSpaceLimits limits;
    // The reserve is not recording time; under it nothing is left.
    QCOMPARE(secondsLeft(100 * kMiB + 64 * kMiB, 64 * kMiB, double(kMiB)), qint64(100));
    QCOMPARE(secondsLeft(10 * kMiB, 64 * kMiB, double(kMiB)), qint64(0));
    QCOMPARE(secondsLeft(-1, 64 * kMiB, double(kMiB)), qint64(-1));
    QCOMPARE(secondsLeft(kMiB, 0, 0.0), qint64(-1));

    QCOMPARE(startRefusal(limits.minFreeToStartBytes - 1, 3600, limits), StartRefusal::TooLittleSpace);
    QCOMPARE(startRefusal(100 * limits.minFreeToStartBytes, 119, limits), StartRefusal::TooLittleTime);
    QCOMPARE(startRefusal(100 * limits.minFreeToStartBytes, 120, limits), StartRefusal::None);
    QCOMPARE(startRefusal(-1, -1, limits), StartRefusal::None); // an unknown disk never blocks a take

    // Amber under 15 minutes, red under 5; idle, a disk REC ALL would refuse is red at once.
    const qint64 plenty = 100 * limits.minFreeToStartBytes;
    QCOMPARE(diskSpaceLevel(plenty, 15 * 60, true, limits), DiskSpaceLevel::Ok);
    QCOMPARE(diskSpaceLevel(plenty, 15 * 60 - 1, true, limits), DiskSpaceLevel::Low);
    QCOMPARE(diskSpaceLevel(plenty, 5 * 60 - 1, true, limits), DiskSpaceLevel::Critical);
    QCOMPARE(diskSpaceLevel(limits.minFreeToStartBytes - 1, 3600, false, limits), DiskSpaceLevel::Critical);
    QCOMPARE(diskSpaceLevel(limits.minFreeToStartBytes - 1, 3600, true, limits), DiskSpaceLevel::Ok);
    QCOMPARE(diskSpaceLevel(-1, -1, false, limits), DiskSpaceLevel::Unknown);

    // The measured rate: nothing until two seconds lie behind it, then the last ten seconds.
    WriteRateMeter meter;
    meter.add(0, 0);
    meter.add(1'000'000'000, 5'000'000);
    QCOMPARE(meter.bytesPerSecond(), -1.0);
    for (int s = 2; s <= 30; ++s)
        meter.add(qint64(s) * 1'000'000'000, s <= 20 ? qint64(s) * 5'000'000 : 100'000'000 + qint64(s - 20) * 1'000'000);
    QVERIFY2(qAbs(meter.bytesPerSecond() - 1e6) < 1e3, qPrintable(QString::number(meter.bytesPerSecond())));
}

void TestTakeNotices::nearlyFullDiskRefusesTheTakeInBothLanguages()
{
    for (int channel = 1; channel <= 2; ++channel)
        m_manager->setCameraForChannel(channel, testPatternKey(channel), 640, 480, 30.0f);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Recording not started")));
    m_manager->setFreeSpaceProbe([](const QString &) { return 500 * kMiB; });
    m_manager->startRecording();
    QVERIFY(!m_manager->isRecording());
    QVERIFY2(m_manager->lastRecordingError().contains(QStringLiteral("only 524 MB is free")), qPrintable(m_manager->lastRecordingError()));
    QVERIFY(m_manager->lastRecordingError().contains(QDir::toNativeSeparators(outputPath())));
    QCOMPARE(m_manager->diskSpaceLevelName(), QStringLiteral("critical"));
    QCOMPARE(QDir(outputPath()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList()); // nothing made

    // Enough bytes but not two minutes at the settings' rate (two cameras at 16 Mb/s).
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Recording not started")));
    m_manager->setFreeSpaceProbe([](const QString &) { return 64 * kMiB + 400'000'000; });
    DiskSpaceLimits limits;
    limits.minFreeToStartBytes = 100 * kMiB;
    m_manager->setDiskSpaceLimits(limits);
    m_manager->startRecording();
    QVERIFY(!m_manager->isRecording());
    QVERIFY2(m_manager->lastRecordingError().contains(QStringLiteral("last only about 1 min")), qPrintable(m_manager->lastRecordingError()));
    QCOMPARE(m_manager->diskSecondsLeft(), qint64(400'000'000 / (2 * 2'000'000 + 192'000)));

    // The banner's text follows the language; the log and the command line keep English.
    QSignalSpy changed(m_manager, &ApplicationManager::lastRecordingErrorChanged);
    m_manager->setCurrentLanguage(QStringLiteral("SR"));
    QCOMPARE(changed.count(), 1);
    QVERIFY(m_manager->recordingErrorText().startsWith(QStringLiteral("Snimanje nije počelo")));
    QVERIFY(m_manager->lastRecordingError().startsWith(QStringLiteral("The take did not start")));
    m_manager->dismissRecordingError();
    QCOMPARE(m_manager->recordingErrorText(), QString());

    // With room again the take starts and says nothing.
    m_manager->setFreeSpaceProbe([](const QString &) { return qint64(500) << 30; });
    m_manager->startRecording();
    QVERIFY(m_manager->isRecording());
    QCOMPARE(m_manager->lastRecordingError(), QString());
    m_manager->stopRecording();
}

void TestTakeNotices::takeOnASmallDiskStopsByItselfWithEveryFileWhole()
{
    const QString folder = QDir(outputPath()).filePath(QStringLiteral("small"));
    SmallDisk disk(folder, 26 * kMiB);
    qInfo() << "Small disk:" << (disk.isReal() ? "a real tmpfs" : "simulated over the folder");
    m_manager->setRecordingPath(folder);
    m_manager->setFreeSpaceProbe(disk.probe());
    // A small disk's limits: it may start, and the reserve still holds the encoders' queues,
    // the files' endings and both timelines.
    DiskSpaceLimits limits;
    limits.minFreeToStartBytes = 8 * kMiB;
    limits.minSecondsToStart = 1;
    limits.reserveBytes = 16 * kMiB;
    m_manager->setDiskSpaceLimits(limits);
    for (int channel = 1; channel <= 2; ++channel) {
        m_manager->setCameraForChannel(channel, testPatternKey(channel), 1280, 720, 30.0f);
        m_manager->setAudioInputForChannel(channel, AudioCapture::testToneName());
        m_manager->setChannelSeparateAudioEnabled(channel, true);
    }
    QTest::qWait(200);

    QSignalSpy warnings(m_manager, &ApplicationManager::recordingWarningChanged);
    QSignalSpy finished(m_manager, &ApplicationManager::takeFinished);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Disk almost full")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Recording stopped: the disk is almost full")));
    m_manager->startRecording();
    QVERIFY(m_manager->isRecording());
    m_manager->limitTakeLength(120000); // a safety net: the disk must end it long before
    QVERIFY(finished.wait(120000));
    QVERIFY(!warnings.isEmpty()); // little time was left from the start
    QVERIFY2(m_manager->lastRecordingError().contains(QStringLiteral("almost full")), qPrintable(m_manager->lastRecordingError()));
    QVERIFY(!m_manager->lastRecordingError().contains(QStringLiteral("Timeline not written")));
    QCOMPARE(m_manager->recordingWarningText(), QString()); // the warning was about the running take

    // Every file finished and playable, both timelines whole and naming what is on disk.
    const QString take = finished.first().first().toString();
    for (int channel = 1; channel <= 2; ++channel) {
        const Readback video = readBack(take + QStringLiteral("/Camera_%1.mp4").arg(channel, 2, 10, QLatin1Char('0')));
        QVERIFY2(video.error.isEmpty() && video.pts.size() > 30, qPrintable(video.error));
        QVERIFY(readWav(take + QStringLiteral("/Channel_%1_Audio.wav").arg(channel, 2, 10, QLatin1Char('0'))).headerValid);
    }
    QVERIFY(readWav(take + QStringLiteral("/Master_Audio_Output.wav")).headerValid);
    for (const QString &name : {QStringLiteral("/Notices_Take_01.xml"), QStringLiteral("/Notices_Take_01_AllAngles.xml")}) {
        const XmemlTimeline timeline = readXmemlFile(take + name);
        const QStringList faults = timeline.faults + checkXmemlMedia(timeline);
        QVERIFY2(faults.isEmpty(), qPrintable(name + QStringLiteral(": ") + faults.join(QStringLiteral("; "))));
    }

    // The notice after the take names it and counts what is on disk.
    const QVariantMap summary = m_manager->lastTakeSummary();
    QCOMPARE(summary.value(QStringLiteral("name")).toString(), QStringLiteral("Take_01"));
    QCOMPARE(summary.value(QStringLiteral("cameras")).toInt(), 2);
    QCOMPARE(summary.value(QStringLiteral("wavFiles")).toInt(), 3);
    QCOMPARE(summary.value(QStringLiteral("timeline")).toBool(), true);

    // The disk is now under what a take needs: the next REC ALL is refused, not started.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Recording not started")));
    limits.minFreeToStartBytes = 24 * kMiB;
    m_manager->setDiskSpaceLimits(limits);
    m_manager->startRecording();
    QVERIFY(!m_manager->isRecording());
}

void TestTakeNotices::takeWinsOverTheBenchmark()
{
    m_manager->setCameraForChannel(1, testPatternKey(1), 640, 480, 30.0f);
    m_manager->runHardwareBenchmark();
    QVERIFY(m_manager->isBenchmarking());
    QTest::qWait(300);
    m_manager->startRecording();
    QVERIFY(m_manager->isRecording());
    QVERIFY(!m_manager->isBenchmarking());
    QCOMPARE(m_manager->benchmarkSummary(), QString()); // a cancelled run recommends nothing

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("does not run while recording")));
    m_manager->runHardwareBenchmark();
    QVERIFY(!m_manager->isBenchmarking());
    m_manager->stopRecording();
}

void TestTakeNotices::idleRateCountsEachCameraOnce()
{
    m_manager->updateMetrics();
    QCOMPARE(m_manager->measuredCameraCount(), 0); // no camera: no reading, not "0 fps"
    for (int channel = 1; channel <= 4; ++channel)
        m_manager->setCameraForChannel(channel, testPatternKey(channel), 640, 480, 30.0f);
    QTest::qWait(1500);
    m_manager->updateMetrics();
    QCOMPARE(m_manager->measuredCameraCount(), 4);
    // Four 30 fps cameras read as 30 (a loaded machine may deliver fewer, never more).
    QVERIFY2(m_manager->currentFps() > 10.0 && m_manager->currentFps() < 33.0, qPrintable(QString::number(m_manager->currentFps())));
    const double tileFps = m_model->getSourceHealth(3).value(QStringLiteral("fps")).toDouble();
    QVERIFY2(tileFps > 10.0 && tileFps < 33.0, qPrintable(QString::number(tileFps)));
    // The tile and the phone say the same of the camera, in the interface language.
    m_manager->setCurrentLanguage(QStringLiteral("SR"));
    const QString trouble = m_manager->getCameraHealthForChannel(3).value(QStringLiteral("trouble")).toString();
    QCOMPARE(m_model->getSourceHealth(3).value(QStringLiteral("trouble")).toString(), trouble);
    QVERIFY(!trouble.contains(QLatin1String("dropped")) && !trouble.contains(QLatin1String("repeated")));
    m_manager->setCurrentLanguage(QStringLiteral("EN"));
}

void TestTakeNotices::healthVerdicts_data()
{
    QTest::addColumn<double>("fps");
    QTest::addColumn<double>("target");
    QTest::addColumn<int>("cameras");
    QTest::addColumn<qint64>("dropped");
    QTest::addColumn<qint64>("repeated");
    QTest::addColumn<QString>("rateLevel");
    QTest::addColumn<QString>("troubleEn");
    QTest::addColumn<QString>("troubleSr");
    QTest::addColumn<QString>("syncLevel");
    // A healthy 30 fps camera is green and says nothing.
    QTest::newRow("30 of 30") << 30.0 << 30.0 << 2 << qint64(0) << qint64(0) << "good" << "" << "" << "clean";
    QTest::newRow("28.5 of 30 is 95 %") << 28.5 << 30.0 << 2 << qint64(0) << qint64(0) << "good" << "" << "" << "clean";
    QTest::newRow("28.4 of 30") << 28.4 << 30.0 << 2 << qint64(0) << qint64(0) << "ok" << "28.4 fps" << "28.4 fps" << "clean";
    QTest::newRow("24 of 30 is 80 %") << 24.0 << 30.0 << 1 << qint64(0) << qint64(0) << "ok" << "24.0 fps" << "24.0 fps" << "clean";
    QTest::newRow("23.9 of 30") << 23.9 << 30.0 << 1 << qint64(0) << qint64(0) << "low" << "23.9 fps" << "23.9 fps" << "clean";
    QTest::newRow("50 of 60") << 50.0 << 60.0 << 4 << qint64(0) << qint64(0) << "ok" << "50.0 fps" << "50.0 fps" << "clean";
    // No camera to measure: no verdict, not a red 0.
    QTest::newRow("no camera") << 0.0 << 30.0 << 0 << qint64(0) << qint64(0) << "none" << "0.0 fps" << "0.0 fps" << "clean";
    QTest::newRow("no reading yet") << -1.0 << 30.0 << 1 << qint64(0) << qint64(0) << "low" << "" << "" << "clean";
    QTest::newRow("repeated only") << 30.0 << 30.0 << 1 << qint64(0) << qint64(7) << "good" << "7 repeated"
                                   << "7 ponovljeno" << "repeated";
    QTest::newRow("everything wrong") << 24.26 << 30.0 << 1 << qint64(12) << qint64(3) << "ok"
                                      << "24.3 fps · 12 dropped · 3 repeated" << "24.3 fps · 12 izgubljeno · 3 ponovljeno"
                                      << "dropped";
}

void TestTakeNotices::healthVerdicts()
{
    QFETCH(double, fps);
    QFETCH(double, target);
    QFETCH(int, cameras);
    QFETCH(qint64, dropped);
    QFETCH(qint64, repeated);
    QFETCH(QString, rateLevel);
    QFETCH(QString, troubleEn);
    QFETCH(QString, troubleSr);
    QFETCH(QString, syncLevel);
    QCOMPARE(HealthVerdicts::rateLevel(fps, target, cameras), rateLevel);
    const LocalisedText trouble = HealthVerdicts::cameraTrouble(fps, target, dropped, repeated);
    QCOMPARE(trouble.en, troubleEn);
    QCOMPARE(trouble.sr, troubleSr);
    QCOMPARE(HealthVerdicts::frameSyncLevel(dropped, repeated), syncLevel);
}

QTEST_MAIN(TestTakeNotices)
#include "tst_takenotices.moc"
