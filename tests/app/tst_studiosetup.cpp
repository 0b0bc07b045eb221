// The studio set-up kept across restarts: what is saved comes back, a hand-edited value gets
// its default, this run's command-line values and a demo run never reach the store.
#include "app/SetupPersistence.h"
#include "app/StudioSetup.h"
#include "common/AppInfo.h"

#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class TestStudioSetup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void savedSetupComesBack();
    void handEditedValuesGetTheirDefaults();
    void thisRunsOverridesAreNotSaved_data();
    void thisRunsOverridesAreNotSaved();
    void demoRunSavesNothing();

private:
    static QSettings store() { return QSettings(AppInfo::organisationName, AppInfo::applicationName); }
    QTemporaryDir m_settingsDir;
};

void TestStudioSetup::initTestCase()
{
    QVERIFY(m_settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
}

void TestStudioSetup::init()
{
    QSettings settings = store();
    settings.clear();
    settings.sync();
}

void TestStudioSetup::savedSetupComesBack()
{
    StudioSetup setup;
    ChannelSetup &two = setup.channel(2);
    two.cameraKey = QStringLiteral("/dev/v4l/by-id/usb-Logi_C920-video-index0");
    two.cameraName = QStringLiteral("HD Pro Webcam C920");
    two.width = 1280;
    two.height = 720;
    two.fps = 30000.0 / 1001;
    two.formatName = QStringLiteral("MJPEG");
    two.isFlipped = true;
    two.recordingMode = QStringLiteral("camera");
    two.channelName = QStringLiteral("Guest");
    two.audioInput = QStringLiteral("USB Audio");
    two.fader = 0.25f;
    two.isMuted = true;
    two.isSeparateAudio = true;
    two.cameraLink = 2;
    two.trimDb = 6.5f;
    two.isLowCut = true;
    setup.channel(4).isSolo = true;
    setup.sourceKeys = {0x51, 0, 0x33, 0x01000030}; // Q, none, 3, F1
    setup.markerKey = 0x4b; // K
    setup.masterFader = 0.5f;
    {
        QSettings settings = store();
        QVERIFY(!StudioSetupStore::hasSavedSetup(settings));
        QVERIFY(StudioSetupStore::save(settings, setup));
    }
    QSettings settings = store();
    QVERIFY(StudioSetupStore::hasSavedSetup(settings));
    QCOMPARE(StudioSetupStore::load(settings), setup);
}

void TestStudioSetup::handEditedValuesGetTheirDefaults()
{
    {
        QSettings settings = store();
        QVERIFY(StudioSetupStore::save(settings, StudioSetup{}));
        settings.setValue(QStringLiteral("Studio/Channel1/cameraKey"), QStringLiteral("testpattern:1"));
        settings.setValue(QStringLiteral("Studio/Channel1/recordingMode"), QStringLiteral("raw"));
        settings.setValue(QStringLiteral("Studio/Channel1/fader"), QStringLiteral("loud"));
        settings.setValue(QStringLiteral("Studio/Channel3/cameraLink"), 9);
        settings.setValue(QStringLiteral("Studio/Channel3/trimDb"), 45);
        settings.setValue(QStringLiteral("Studio/hotkey2"), QStringLiteral("-5"));
        settings.sync();
    }
    QSettings settings = store();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(
        R"(^\[StudioSetup\] Using the defaults for what could not be read: Studio/Channel1/recordingMode \("raw"\), Studio/Channel1/fader \("loud"\), Studio/Channel3/cameraLink \("9"\), Studio/Channel3/trimDb \("45"\), Studio/hotkey2 \("-5"\)$)")));
    const StudioSetup setup = StudioSetupStore::load(settings);
    QCOMPARE(setup.channel(1).cameraKey, QStringLiteral("testpattern:1")); // its neighbours stay
    QCOMPARE(setup.channel(1).fader, 1.0f);
    QCOMPARE(setup.channel(1).recordingMode, QString()); // the settings' default mode
    QCOMPARE(setup.channel(3).cameraLink, 0);
    QCOMPARE(setup.channel(3).trimDb, 0.0f);
    QCOMPARE(setup.sourceKeys[1], 0x32);
}

void TestStudioSetup::thisRunsOverridesAreNotSaved_data()
{
    QTest::addColumn<bool>("changedInTheWindow");
    QTest::newRow("left as the command line set it") << false;
    QTest::newRow("changed in the window during the run") << true;
}

void TestStudioSetup::thisRunsOverridesAreNotSaved()
{
    QFETCH(bool, changedInTheWindow);
    RecordingSettings saved;
    saved.framerateIndex = 2;        // 25 fps
    saved.outputFolder = QStringLiteral("/media/ext/Takes");
    {
        QSettings settings = store();
        QVERIFY(RecordingSettingsStore::save(settings, saved));
    }
    SetupPersistence persistence;
    persistence.load();
    persistence.setOverrides({8, 3, QStringLiteral("/tmp/script")}); // --fps 60 --size 1280x720 --output
    RecordingSettings current = persistence.startingRecordingSettings();
    QCOMPARE(current.framerateIndex, 8);
    QCOMPARE(current.resolutionIndex, 3);
    QCOMPARE(current.outputFolder, QStringLiteral("/tmp/script"));
    current.bFrames = 0; // the operator's own change
    if (changedInTheWindow)
        current.framerateIndex = 3;
    persistence.setCollect([&](RecordingSettings *recording, StudioSetup *) { *recording = current; });
    QVERIFY(persistence.saveNow());

    QSettings settings = store();
    const RecordingSettings stored = RecordingSettingsStore::load(settings);
    QCOMPARE(stored.bFrames, 0);
    QCOMPARE(stored.framerateIndex, changedInTheWindow ? 3 : 2);
    QCOMPARE(stored.resolutionIndex, 2);
    QCOMPARE(stored.outputFolder, QStringLiteral("/media/ext/Takes"));
}

void TestStudioSetup::demoRunSavesNothing()
{
    SetupPersistence persistence;
    persistence.load();
    persistence.setReadOnly(true);
    persistence.setCollect([](RecordingSettings *recording, StudioSetup *studio) {
        recording->qualityIndex = 0;
        studio->channel(1).cameraKey = QStringLiteral("testpattern:1");
    });
    persistence.changed();
    QTest::qWait(700);
    QVERIFY(persistence.saveNow());
    QSettings settings = store();
    QVERIFY(settings.allKeys().isEmpty());
}

QTEST_GUILESS_MAIN(TestStudioSetup)
#include "tst_studiosetup.moc"
