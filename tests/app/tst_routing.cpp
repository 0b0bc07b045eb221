// Routing through the manager with the built-in devices: cameras and audio inputs per
// channel, the model flags, the 25 ms tick and live monitoring.
#include "app/ApplicationManager.h"
#include "app/SourceFormatChoices.h"
#include "capture/AudioCapture.h"
#include "capture/CameraCapture.h"

#include "BuiltInDevices.h"
#include "capture/ISource.h"
#include "common/MonotonicClock.h"
#include "ManagerTestCase.h"

#include <QElapsedTimer>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <SDL.h>

#include <cmath>


class TestRouting : public ManagerTestCase
{
    Q_OBJECT

public:
    TestRouting() : ManagerTestCase() {}

private slots:

    void camerasListTheBuiltInDevices();
    void cameraLifecycle();
    void unknownCameraLeavesChannelEmpty();
    void audioInputLifecycle_data();
    void audioInputLifecycle();
    void failedAudioInputIsNotShownAsActive();
    void channelIdsOutsideOneToFourAreRefused();
    void separateAudioAndCameraLinks();
    void tickDrivesMetersAndModel();
    void mixerOutputKeepsRealTime();
    void liveMonitoringOpensOnce();
    void idleFrameRateIsWhatTheCamerasDeliver();
    void sourceFormatLists_data();
    void sourceFormatLists();

private:
};

void TestRouting::camerasListTheBuiltInDevices()
{
    const QVariantList cameras = m_manager->getAvailableCameras();
    QVERIFY(cameras.size() >= 4);
    // The built-in devices come after the system's own.
    for (int i = 0; i < 4; ++i) {
        const QVariantMap camera = cameras.at(cameras.size() - 4 + i).toMap();
        QCOMPARE(camera.value("name").toString(), QStringLiteral("Test Pattern %1").arg(i + 1));
        QVERIFY(!camera.value("link").toString().isEmpty());
    }
    QVERIFY(m_manager->getCameraFormats(QString()).isEmpty());
    QVERIFY(m_manager->getCameraFormats(QStringLiteral("/dev/nonexistent")).isEmpty());

    const QVariantList formats = m_manager->getCameraFormats(testPatternKey(1));
    QVERIFY(!formats.isEmpty());
    const QVariantMap first = formats.first().toMap();
    QCOMPARE(first.value("width").toUInt(), 1920u);
    QCOMPARE(first.value("height").toUInt(), 1080u);
    QVERIFY(std::fabs(first.value("fps").toDouble() - 60.0) < 0.01);
    QCOMPARE(first.value("formatName").toString(), QStringLiteral("I420"));
}

void TestRouting::cameraLifecycle()
{
    QSignalSpy activeVideo(m_model, &InputChannelsModel::activeVideoCountChanged);
    m_manager->setCameraForChannel(2, testPatternKey(2), 1280, 720, 30.0f, QStringLiteral("Full (0-255 PC)"));
    const std::shared_ptr<ISource> first = m_manager->sourceForChannel(2);
    QVERIFY(first);
    QVERIFY(first->isRunning());
    QCOMPARE(first->width(), 1280);
    QCOMPARE(m_manager->getCameraNameForChannel(2), QStringLiteral("Test Pattern 2"));
    QCOMPARE(m_manager->getCameraLinkForChannel(2), testPatternKey(2));
    QCOMPARE(m_manager->getCameraColorRangeForChannel(2), QStringLiteral("Full (0-255 PC)"));
    QCOMPARE(m_manager->getCameraWidthForChannel(2), 1280);
    QVERIFY(m_model->hasActiveVideo(2));
    QCOMPARE(activeVideo.count(), 1);

    // Replacing stops the old camera; a reader still holding it keeps a valid object.
    m_manager->setCameraForChannel(2, testPatternKey(3), 640, 480, 60.0f);
    QVERIFY(!first->isRunning());
    QCOMPARE(m_manager->sourceForChannel(2)->width(), 640);
    QCOMPARE(m_manager->getCameraNameForChannel(2), QStringLiteral("Test Pattern 3"));
    QCOMPARE(m_manager->getCameraFramerateForChannel(2), 60.0f);

    // An empty link stops the camera but keeps what it was configured with.
    m_manager->setCameraForChannel(2, QString());
    QVERIFY(!m_manager->sourceForChannel(2));
    QCOMPARE(m_manager->getCameraNameForChannel(2), QStringLiteral("Test Pattern 3"));
    QVERIFY(m_model->hasActiveVideo(2));

    m_manager->removeCameraFromChannel(2);
    QCOMPARE(m_manager->getCameraNameForChannel(2), QString());
    QCOMPARE(m_manager->getCameraWidthForChannel(2), 1920);
    QCOMPARE(m_manager->getCameraFramerateForChannel(2), 30.0f);
    QCOMPARE(m_manager->getCameraColorRangeForChannel(2), QStringLiteral("Default"));
    QVERIFY(!m_model->hasActiveVideo(2));
}

void TestRouting::unknownCameraLeavesChannelEmpty()
{
    m_manager->setCameraForChannel(1, QStringLiteral("/dev/v4l/by-id/no-such-camera"));
    QVERIFY(!m_manager->sourceForChannel(1));
    QCOMPARE(m_manager->getCameraNameForChannel(1), QString());
    QVERIFY(!m_model->hasActiveVideo(1));
}

void TestRouting::audioInputLifecycle_data()
{
    QTest::addColumn<QString>("removal");
    QTest::newRow("Off") << "Off";
    QTest::newRow("None") << "None";
    QTest::newRow("empty") << "";
    QTest::newRow("No Audio") << "No Audio";
}

void TestRouting::audioInputLifecycle()
{
    QFETCH(QString, removal);
    m_manager->setAudioInputForChannel(1, AudioCapture::testToneName());
    QVERIFY(m_manager->audioCaptureForChannel(1));
    QVERIFY(m_manager->audioCaptureForChannel(1)->isRunning());
    QCOMPARE(m_manager->getChannelAudioInput(1), AudioCapture::testToneName());
    QVERIFY(m_model->index(0, 0).data(InputChannelsModel::HasActiveAudioRole).toBool());

    m_manager->setAudioInputForChannel(1, removal);
    QVERIFY(!m_manager->audioCaptureForChannel(1));
    QCOMPARE(m_manager->getChannelAudioInput(1), removal);
    QVERIFY(!m_model->index(0, 0).data(InputChannelsModel::HasActiveAudioRole).toBool());
    // The mixer no longer reads the destroyed input.
    m_manager->mixAudio();
    QVERIFY(m_manager->lastMixerOutput().channels.count(1) == 0);
}

void TestRouting::failedAudioInputIsNotShownAsActive()
{
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Failed to open audio device")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Failed to start audio input for channel 3")));
    m_manager->setAudioInputForChannel(3, QStringLiteral("Microphone that is not there"));
    QVERIFY(!m_manager->audioCaptureForChannel(3));
    QCOMPARE(m_manager->getChannelAudioInput(3), QStringLiteral("Microphone that is not there"));
    QVERIFY(!m_model->index(2, 0).data(InputChannelsModel::HasActiveAudioRole).toBool());
}

void TestRouting::channelIdsOutsideOneToFourAreRefused()
{
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("setCameraForChannel ignored: no channel 5")));
    m_manager->setCameraForChannel(5, testPatternKey(1));
    QVERIFY(!m_manager->sourceForChannel(5));

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("setAudioInputForChannel ignored: no channel 0")));
    m_manager->setAudioInputForChannel(0, AudioCapture::testToneName());
    QVERIFY(!m_manager->audioCaptureForChannel(0));

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("setChannelAudioVolume ignored")));
    m_manager->setChannelAudioVolume(-1, 0.1f);
    QCOMPARE(m_manager->getChannelAudioVolume(-1), 0.8f);
    QCOMPARE(m_manager->getChannelAudioFader(9), 0.8f);
    QVERIFY(!m_manager->isChannelAudioMuted(9));
    QVERIFY(!m_manager->isChannelAudioSolo(9));
    QCOMPARE(m_manager->getChannelAudioInput(9), QString());
}

void TestRouting::separateAudioAndCameraLinks()
{
    QSignalSpy separate(m_manager, &ApplicationManager::separateAudioRecordingEnabledChanged);
    QVERIFY(!m_manager->isChannelSeparateAudioEnabled(2));
    m_manager->setChannelSeparateAudioEnabled(2, true);
    m_manager->setChannelSeparateAudioEnabled(2, true);
    QCOMPARE(separate.count(), 2); // announced every time
    QVERIFY(m_manager->isChannelSeparateAudioEnabled(2));

    QCOMPARE(m_manager->getChannelCameraLink(2), 0);
    m_manager->setChannelCameraLink(2, 4);
    QCOMPARE(m_manager->getChannelCameraLink(2), 4);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("no camera channel 7")));
    m_manager->setChannelCameraLink(2, 7);
    QCOMPARE(m_manager->getChannelCameraLink(2), 4);
    m_manager->setChannelCameraLink(2, 0);
    QCOMPARE(m_manager->getChannelCameraLink(2), 0);
}

void TestRouting::tickDrivesMetersAndModel()
{
    m_manager->setAudioInputForChannel(2, AudioCapture::testToneName());
    m_manager->setChannelAudioVolume(2, 1.0f);
    QSignalSpy levels(m_manager, &ApplicationManager::channelAudioLevelChanged);
    QSignalSpy master(m_manager, &ApplicationManager::masterAudioLevelChanged);

    // Tick by hand over a little more than a second: one beep must show on the meters.
    float highest = 0.0f, highestMaster = 0.0f;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 1300) {
        QTest::qWait(25);
        m_manager->mixAudio();
        highest = std::max(highest, m_model->index(1, 0).data(InputChannelsModel::AudioLevelRole).toFloat());
        highestMaster = std::max(highestMaster, m_manager->masterAudioLevel());
    }
    // A -18 dBFS tone at unity gain peaks near 0.126 on its strip.
    QVERIFY2(highest > 0.10f && highest < 0.15f, qPrintable(QString::number(highest)));
    QVERIFY(highestMaster > 0.0f);
    QCOMPARE(levels.count() % 4, 0);
    QVERIFY(levels.count() >= 4 * master.count() - 4 * 60); // the 25 ms timer ticks too
}

void TestRouting::mixerOutputKeepsRealTime()
{
    for (int channel = 1; channel <= 4; ++channel)
        m_manager->setAudioInputForChannel(channel, AudioCapture::testToneName());

    // Collect the master and channel 1 of every tick of the manager's own 25 ms timer, as a
    // take does. (The four tones are summed in the master with whatever phase their inputs'
    // delivery blocks give them, so the beeps are looked for in one channel.)
    std::vector<float> master, channel1;
    QElapsedTimer clock;
    m_manager->mixer().reset();
    clock.start();
    connect(m_manager, &ApplicationManager::masterAudioLevelChanged, this, [&] {
        const MixerOutput &out = m_manager->lastMixerOutput();
        master.insert(master.end(), out.master.begin(), out.master.end());
        if (auto it = out.channels.find(1); it != out.channels.end())
            channel1.insert(channel1.end(), it->second.begin(), it->second.end());
    });
    // VIREON_MIXER_CHECK_MS lengthens the run (for example to 10 000 ms) for a manual check.
    const int runMs = qEnvironmentVariableIntValue("VIREON_MIXER_CHECK_MS") > 0
        ? qEnvironmentVariableIntValue("VIREON_MIXER_CHECK_MS") : 2500;
    QTest::qWait(runMs);
    const qint64 elapsedMs = clock.elapsed();
    disconnect(m_manager, &ApplicationManager::masterAudioLevelChanged, this, nullptr);
    const qint64 frames = qint64(master.size() / 2);
    const qint64 expected = elapsedMs * 48;
    // Within two ticks of real time: nothing dropped, nothing invented.
    QVERIFY2(std::llabs(frames - expected) <= 2 * 1200,
             qPrintable(QStringLiteral("%1 frames for %2 ms").arg(frames).arg(elapsedMs)));

    // The beeps start 48 000 frames apart. An onset is a loud sample after at least 10 ms of
    // quiet, so a beep already under way when the collection began does not count.
    QList<qint64> onsets;
    qint64 quietRun = 0;
    QCOMPARE(channel1.size(), master.size());
    for (qint64 i = 0; i < frames; ++i) {
        const bool loud = std::fabs(channel1[size_t(i) * 2]) > 0.01f;
        if (loud && quietRun >= 480)
            onsets.append(i);
        quietRun = loud ? 0 : quietRun + 1;
    }
    QVERIFY2(onsets.size() >= runMs / 1000 - 1, qPrintable(QStringLiteral("%1 beeps").arg(onsets.size())));
    qInfo() << frames << "frames in" << elapsedMs << "ms," << onsets.size() << "beeps";
    for (int i = 1; i < onsets.size(); ++i)
        QVERIFY2(std::llabs(onsets[i] - onsets[i - 1] - 48000) <= 48,
                 qPrintable(QStringLiteral("beeps %1 frames apart").arg(onsets[i] - onsets[i - 1])));
}

void TestRouting::liveMonitoringOpensOnce()
{
    QSignalSpy spy(m_manager, &ApplicationManager::liveMonitoringEnabledChanged);
    m_manager->setLiveMonitoringEnabled(true);
    QVERIFY(m_manager->liveMonitoringEnabled());
    m_manager->setLiveMonitoringEnabled(true);
    QCOMPARE(spy.count(), 1);

    // Changing the output reopens monitoring on the new device; one that cannot be opened
    // leaves monitoring off instead of pretending.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Failed to open monitoring output")));
    m_manager->setMasterAudioOutputDevice(QStringLiteral("Speakers that are not there"));
    QVERIFY(!m_manager->liveMonitoringEnabled());

    m_manager->setMasterAudioOutputDevice(QStringLiteral("Default system output"));
    m_manager->setLiveMonitoringEnabled(true);
    QVERIFY(m_manager->liveMonitoringEnabled());
    m_manager->setLiveMonitoringEnabled(false);
    QVERIFY(!m_manager->liveMonitoringEnabled());
}

void TestRouting::idleFrameRateIsWhatTheCamerasDeliver()
{
    m_manager->updateMetrics();
    QCOMPARE(m_manager->currentFps(), 0.0); // no camera, nothing previewed

    m_manager->setCameraForChannel(1, testPatternKey(1), 640, 480, 30.0f);
    m_manager->setCameraForChannel(2, testPatternKey(2), 640, 480, 30.0f);
    m_manager->updateMetrics();
    QTest::qWait(1500);
    m_manager->updateMetrics();
    QVERIFY2(m_manager->currentFps() > 25.0 && m_manager->currentFps() < 35.0,
             qPrintable(QString::number(m_manager->currentFps())));
}

namespace {

CameraFormat formatOf(int width, int height, qint32 fpsDenominator, const QString &name)
{
    CameraFormat format;
    format.width = width;
    format.height = height;
    format.fpsNumerator = 10'000'000;
    format.fpsDenominator = fpsDenominator;
    format.subtypeName = name;
    return format;
}

QStringList labelsOf(const QVariantList &entries)
{
    QStringList labels;
    for (const QVariant &entry : entries)
        labels.append(entry.toMap().value(QStringLiteral("label")).toString());
    return labels;
}

} // namespace

void TestRouting::sourceFormatLists_data()
{
    // The lists the source dialog and the phone page both show, and where a running camera
    // sits in them.
    QTest::addColumn<QList<CameraFormat>>("formats");
    QTest::addColumn<QStringList>("resolutions");
    QTest::addColumn<QStringList>("firstSizeRates");
    QTest::addColumn<double>("runningFps");
    QTest::addColumn<QString>("runningFormat");
    QTest::addColumn<int>("ratePosition");
    const qint32 fps30 = 333'333, fps2997 = 333'667, fps5 = 2'000'000;
    QTest::newRow("one size in two encodings")
        << QList<CameraFormat>{formatOf(1920, 1080, fps30, "MJPEG"), formatOf(1920, 1080, fps5, "YUY2"),
                               formatOf(1920, 1080, fps30, "MJPEG"), formatOf(640, 480, fps30, "YUY2")}
        << QStringList{"1920x1080 (1080p FHD)", "640x480 (SD)"} << QStringList{"30.00 fps (MJPEG)", "5.00 fps (YUY2)"}
        << 5.0 << "YUY2" << 1;
    QTest::newRow("29.97 beside 30: the nearest")
        << QList<CameraFormat>{formatOf(800, 600, fps30, "YUY2"), formatOf(800, 600, fps2997, "YUY2")}
        << QStringList{"800x600"} << QStringList{"30.00 fps (YUY2)", "29.97 fps (YUY2)"} << 29.97 << "" << 1;
    QTest::newRow("the pixel format asked for, at one rate")
        << QList<CameraFormat>{formatOf(1280, 720, fps30, "YUY2"), formatOf(1280, 720, fps30, "MJPEG")}
        << QStringList{"1280x720 (720p HD)"} << QStringList{"30.00 fps (YUY2)", "30.00 fps (MJPEG)"} << 30.0 << "MJPEG" << 1;
    QTest::newRow("no formats: the common lists")
        << QList<CameraFormat>{}
        << QStringList{"1920x1080 (1080p FHD)", "3840x2160 (4K UHD)", "2560x1440 (2K QHD)", "1280x720 (720p HD)", "640x480 (SD)"}
        << QStringList{"60.00 fps", "59.94 fps", "50.00 fps", "30.00 fps", "29.97 fps", "25.00 fps", "24.00 fps", "23.976 fps"}
        << 25.0 << "" << 5;
}

void TestRouting::sourceFormatLists()
{
    QFETCH(QList<CameraFormat>, formats);
    QFETCH(QStringList, resolutions);
    QFETCH(QStringList, firstSizeRates);
    QFETCH(double, runningFps);
    QFETCH(QString, runningFormat);
    QFETCH(int, ratePosition);
    const QVariantMap choices = SourceFormatChoices::choicesFor(formats);
    const QVariantList sizes = choices.value(QStringLiteral("resolutions")).toList();
    QCOMPARE(labelsOf(sizes), resolutions);
    QCOMPARE(labelsOf(sizes.first().toMap().value(QStringLiteral("frameRates")).toList()), firstSizeRates);
    QCOMPARE(labelsOf(choices.value(QStringLiteral("colorRanges")).toList()),
             (QStringList{"Default (Auto)", "Full (0-255 PC)", "Partial (16-235 TV)"}));
    const QVariantMap first = sizes.first().toMap();
    const QVariantMap positions = SourceFormatChoices::positionsIn(choices, first.value("width").toInt(),
                                                                   first.value("height").toInt(), runningFps,
                                                                   runningFormat, QStringLiteral("Partial (16-235 TV)"));
    QCOMPARE(positions.value(QStringLiteral("resolution")).toInt(), 0);
    QCOMPARE(positions.value(QStringLiteral("frameRate")).toInt(), ratePosition);
    QCOMPARE(positions.value(QStringLiteral("colorRange")).toInt(), 2);
}

QTEST_MAIN(TestRouting)
#include "tst_routing.moc"
