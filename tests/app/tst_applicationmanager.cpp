#include "app/ApplicationManager.h"
#include "common/AppPaths.h"

#include <QDate>
#include <QKeyEvent>
#include <QMetaProperty>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

// Stand-ins for the interface's text fields: the key filter recognises them by class name.
class FakeTextField : public QObject
{
    Q_OBJECT
};

class WindowWithFocus : public QWindow
{
public:
    QObject *focused = nullptr;
    QObject *focusObject() const override { return focused ? focused : const_cast<WindowWithFocus *>(this); }
};

class TestApplicationManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void propertyDefaultsAndSignals_data();
    void propertyDefaultsAndSignals();
    void hardwareIsDetectedAtConstruction();
    void genericSetterEmitsOnceForAChange_data();
    void genericSetterEmitsOnceForAChange();
    void sessionNameStartsWithTodaysDate();
    void settingPersistsAcrossManagers_data();
    void settingPersistsAcrossManagers();
    void recordingFormatTakesOnlyWhatCanBeRecorded_data();
    void recordingFormatTakesOnlyWhatCanBeRecorded();
    void storedRecordingConfigIsApplied_data();
    void storedRecordingConfigIsApplied();
    void equalLanguageWritesNothing();
    void activeSourceAcceptsOnlyChannelsOneToFour_data();
    void activeSourceAcceptsOnlyChannelsOneToFour();
    void keyToString_data();
    void keyToString();
    void sourceKeysAreBoundCheckedAndAnnounced();
    void keyFilterSwitchesSources();
    void keyFilterLeavesTextEntryAlone();
    void keyFilterFollowsRebinding();
    void recordingTablesNameTheirIndices_data();
    void recordingTablesNameTheirIndices();
    void runInitializationSignalsDoneOnce();
    void metricsMeasureThisProcess();
    void audioDeviceListsStartWithTheDefaults();

private:
    QTemporaryDir m_settingsDir;
};

void TestApplicationManager::initTestCase()
{
    QVERIFY(m_settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settingsDir.path());
}

void TestApplicationManager::init()
{
    QSettings("Vireon", "Vireon").clear();
}

void TestApplicationManager::propertyDefaultsAndSignals_data()
{
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QByteArray>("notify");

    auto row = [](const char *name, const QVariant &value, const char *notify) {
        QTest::newRow(name) << QByteArray(name) << value << QByteArray(notify);
    };
    row("isRecording", false, "isRecordingChanged");
    row("isArming", false, "armingStateChanged");
    row("countdownSeconds", 3, "countdownSecondsChanged");
    row("timecode", "00:00:00:00", "timecodeChanged");
    row("masterAudioDevice", "Default system input", "masterAudioDeviceChanged");
    row("activeSourceId", 1, "activeSourceChanged");
    row("splashStatusText", "Initializing...", "splashStatusTextChanged");
    row("masterAudioOutputDevice", "Default system output", "masterAudioOutputDeviceChanged");
    row("masterAudioLevel", 0.0f, "masterAudioLevelChanged");
    row("masterAudioLevelRight", 0.0f, "masterAudioLevelChanged");
    row("liveMonitoringEnabled", false, "liveMonitoringEnabledChanged");
    row("separateAudioRecordingEnabled", false, "separateAudioRecordingEnabledChanged");
    row("currentFps", 0.0, "performanceMetricsChanged"); // no reading before the first measurement
    row("measuredCameraCount", 0, "performanceMetricsChanged");
    row("droppedFrames", 0, "performanceMetricsChanged");
    row("diskWriteSpeedMBs", 0.0, "performanceMetricsChanged");
    row("recordingResolutionIndex", 2, "recordingResolutionIndexChanged");
    row("recordingFramerateIndex", 4, "recordingFramerateIndexChanged");
    row("recordingQualityIndex", 2, "recordingQualityIndexChanged");
    row("recordingEncoderIndex", 0, "recordingEncoderIndexChanged");
    row("recordingFormatIndex", 0, "recordingFormatIndexChanged");
    row("activeResolutionName", "1920x1080 (1080p FHD)", "recordingResolutionIndexChanged");
    row("selectedGlobalFps", 30.0, "recordingRateChanged");
    row("advancedQualityEnabled", false, "advancedQualityEnabledChanged");
    row("rateControlMode", "CBR", "rateControlModeChanged");
    row("targetBitrateKbps", 16000, "targetBitrateKbpsChanged");
    row("maxBitrateKbps", 24000, "maxBitrateKbpsChanged");
    row("keyframeInterval", 2, "keyframeIntervalChanged");
    row("bFrames", 2, "bFramesChanged");
    row("encoderProfile", "High", "encoderProfileChanged");
    row("lookaheadEnabled", false, "lookaheadEnabledChanged");
    row("colorSpace", "Rec.709", "colorSpaceChanged");
    row("colorRange", "Limited (16-235)", "colorRangeChanged");
    row("isBenchmarking", false, "benchmarkStateChanged");
    row("benchmarkSummary", "", "benchmarkStateChanged");
    row("recommendedResolutionIndex", 2, "benchmarkStateChanged");
    row("recommendedFramerateIndex", 8, "benchmarkStateChanged");
    row("recommendedEncoderIndex", 0, "benchmarkStateChanged");
    row("recommendedQualityIndex", 2, "benchmarkStateChanged");
    row("isCapturingKeybind", false, "isCapturingKeybindChanged");
    row("currentLanguage", "EN", "currentLanguageChanged");
    row("broadcastWavEnabled", false, "broadcastWavEnabledChanged");
    row("cpuUsage", "CPU: 0%", "metricsChanged");
    row("ramUsage", "RAM: 0 MB", "metricsChanged");
}

void TestApplicationManager::propertyDefaultsAndSignals()
{
    QFETCH(QByteArray, property);
    QFETCH(QVariant, value);
    QFETCH(QByteArray, notify);

    ApplicationManager manager;
    const QMetaObject *meta = manager.metaObject();
    const int index = meta->indexOfProperty(property.constData());
    QVERIFY2(index >= 0, property.constData());
    const QMetaProperty metaProperty = meta->property(index);
    QVERIFY(metaProperty.hasNotifySignal());
    QCOMPARE(metaProperty.notifySignal().name(), notify);

    const QVariant actual = metaProperty.read(&manager);
    if (value.typeId() == QMetaType::Double)
        QCOMPARE(actual.toDouble(), value.toDouble());
    else
        QCOMPARE(actual.toString(), value.toString());
}

void TestApplicationManager::hardwareIsDetectedAtConstruction()
{
    // The start-up texts are replaced by what detection found before the constructor returns.
    ApplicationManager manager;
    QVERIFY(!manager.hardwareGpuInfo().isEmpty());
    QVERIFY(manager.hardwareGpuInfo() != QStringLiteral("Detecting GPU..."));
    QVERIFY(manager.hardwareCpuInfo().contains(QStringLiteral("threads")));
    QVERIFY(manager.hardwareSummary().startsWith(QStringLiteral("[AVAILABLE]"))
            || manager.hardwareSummary().startsWith(QStringLiteral("[UNAVAILABLE]")));
    const QVariantList encoders = manager.encoderCapabilities();
    QVERIFY(encoders.size() >= 2);
    QCOMPARE(encoders.at(0).toMap().value("name").toString(), QStringLiteral("Software H.264"));
    QCOMPARE(encoders.at(0).toMap().value("note").toString(), QStringLiteral("CPU Encoding"));
    QCOMPARE(encoders.at(1).toMap().value("name").toString(), QStringLiteral("Software HEVC"));
    for (const char *notify : {"hardwareGpuInfo", "hardwareCpuInfo", "hardwareSummary"}) {
        const QMetaProperty property = manager.metaObject()->property(manager.metaObject()->indexOfProperty(notify));
        QCOMPARE(property.notifySignal().name(), QByteArray("hardwareInfoChanged"));
    }
}

void TestApplicationManager::genericSetterEmitsOnceForAChange_data()
{
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("newValue");

    QTest::newRow("activeSessionName") << QByteArray("activeSessionName") << QVariant("Interview");
    QTest::newRow("masterAudioDevice") << QByteArray("masterAudioDevice") << QVariant("USB Mic");
    QTest::newRow("recordingPath") << QByteArray("recordingPath") << QVariant("/tmp/takes");
    QTest::newRow("separateAudioRecordingEnabled") << QByteArray("separateAudioRecordingEnabled") << QVariant(true);
    QTest::newRow("recordingResolutionIndex") << QByteArray("recordingResolutionIndex") << QVariant(17);
    QTest::newRow("recordingFramerateIndex") << QByteArray("recordingFramerateIndex") << QVariant(-3);
    QTest::newRow("recordingQualityIndex") << QByteArray("recordingQualityIndex") << QVariant(0);
    QTest::newRow("recordingEncoderIndex") << QByteArray("recordingEncoderIndex") << QVariant(1);
    QTest::newRow("recordingFormatIndex") << QByteArray("recordingFormatIndex") << QVariant(2);
    QTest::newRow("advancedQualityEnabled") << QByteArray("advancedQualityEnabled") << QVariant(true);
    QTest::newRow("rateControlMode") << QByteArray("rateControlMode") << QVariant("VBR");
    QTest::newRow("targetBitrateKbps") << QByteArray("targetBitrateKbps") << QVariant(8000);
    QTest::newRow("maxBitrateKbps") << QByteArray("maxBitrateKbps") << QVariant(0);
    QTest::newRow("keyframeInterval") << QByteArray("keyframeInterval") << QVariant(1);
    QTest::newRow("bFrames") << QByteArray("bFrames") << QVariant(0);
    QTest::newRow("encoderProfile") << QByteArray("encoderProfile") << QVariant("Main");
    QTest::newRow("lookaheadEnabled") << QByteArray("lookaheadEnabled") << QVariant(true);
    QTest::newRow("colorSpace") << QByteArray("colorSpace") << QVariant("Rec.601");
    QTest::newRow("colorRange") << QByteArray("colorRange") << QVariant("Full (0-255)");
    QTest::newRow("isCapturingKeybind") << QByteArray("isCapturingKeybind") << QVariant(true);
    QTest::newRow("case-sensitive string") << QByteArray("rateControlMode") << QVariant("cbr");
}

void TestApplicationManager::genericSetterEmitsOnceForAChange()
{
    QFETCH(QByteArray, property);
    QFETCH(QVariant, newValue);

    ApplicationManager manager;
    const QMetaProperty metaProperty = manager.metaObject()->property(
        manager.metaObject()->indexOfProperty(property.constData()));
    QVERIFY(metaProperty.isWritable());
    QSignalSpy spy(&manager, metaProperty.notifySignal());

    const QVariant original = metaProperty.read(&manager);
    QVERIFY(metaProperty.write(&manager, original));
    QCOMPARE(spy.count(), 0);

    QVERIFY(metaProperty.write(&manager, newValue));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(metaProperty.read(&manager).toString(), newValue.toString());

    QVERIFY(metaProperty.write(&manager, newValue));
    QCOMPARE(spy.count(), 1);
}

void TestApplicationManager::sessionNameStartsWithTodaysDate()
{
    ApplicationManager manager;
    QCOMPARE(manager.activeSessionName(),
             QStringLiteral("Session_") + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
}

void TestApplicationManager::settingPersistsAcrossManagers_data()
{
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("defaultValue");
    QTest::addColumn<QVariant>("changed");
    QTest::newRow("interface language") << QByteArray("currentLanguage") << "UI/Language" << QVariant("EN") << QVariant("SR");
    QTest::newRow("Broadcast WAV") << QByteArray("broadcastWavEnabled") << "Recording/BroadcastWav" << QVariant(false)
                                   << QVariant(true);
    // Every recording setting, in the group earlier versions kept the window's lists in.
    QTest::newRow("frame rate") << QByteArray("recordingFramerateIndex") << "RecordingConfig/framerateIndex"
                                << QVariant(4) << QVariant(2);
    QTest::newRow("rate control") << QByteArray("rateControlMode") << "RecordingConfig/rateControlMode"
                                  << QVariant("CBR") << QVariant("VBR");
    QTest::newRow("bitrate") << QByteArray("targetBitrateKbps") << "RecordingConfig/targetBitrateKbps"
                             << QVariant(16000) << QVariant(9000);
    QTest::newRow("colour range") << QByteArray("colorRange") << "RecordingConfig/colorRange"
                                  << QVariant("Limited (16-235)") << QVariant("Full (0-255)");
    QTest::newRow("recording folder") << QByteArray("recordingPath") << "RecordingConfig/outputFolder"
                                      << QVariant(AppPaths::defaultRecordingPath()) << QVariant("/media/ext/Takes");
}

void TestApplicationManager::settingPersistsAcrossManagers()
{
    QFETCH(QByteArray, property);
    QFETCH(QString, key);
    QFETCH(QVariant, defaultValue);
    QFETCH(QVariant, changed);
    {
        // A manager made by a test saves nothing unless asked, as the program asks.
        ApplicationManager unsaved;
        QVERIFY(unsaved.setProperty(property.constData(), changed));
    }
    if (!property.startsWith("currentLanguage"))
        QVERIFY(!QSettings("Vireon", "Vireon").contains(key));
    QSettings("Vireon", "Vireon").clear();
    {
        ApplicationManager manager;
        manager.setSetupSaving(true);
        QCOMPARE(manager.property(property.constData()).toString(), defaultValue.toString());
        QVERIFY(manager.setProperty(property.constData(), changed));
    } // saved at exit at the latest
    QCOMPARE(QSettings("Vireon", "Vireon").value(key).toString(), changed.toString());
    ApplicationManager restarted;
    QCOMPARE(restarted.property(property.constData()).toString(), changed.toString());
}

void TestApplicationManager::recordingFormatTakesOnlyWhatCanBeRecorded_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("available");
    QTest::newRow("MP4") << 0 << true;
    QTest::newRow("MKV") << 1 << true;
    QTest::newRow("MOV") << 2 << true;
    QTest::newRow("TS") << 3 << true;
    QTest::newRow("AVI: a crash would lose the take") << 4 << false;
    QTest::newRow("past the list") << 5 << false;
    QTest::newRow("negative") << -1 << false;
}

void TestApplicationManager::recordingFormatTakesOnlyWhatCanBeRecorded()
{
    QFETCH(int, index);
    QFETCH(bool, available);
    ApplicationManager manager;
    QCOMPARE(manager.isRecordingFormatAvailable(index), available);

    // Written the way QML writes it, from MOV.
    manager.setRecordingFormatIndex(2);
    QSignalSpy spy(&manager, &ApplicationManager::recordingFormatIndexChanged);
    if (!available)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Recording format %1 cannot be recorded").arg(index)));
    QVERIFY(manager.setProperty("recordingFormatIndex", index));
    QCOMPARE(manager.recordingFormatIndex(), available ? index : 2);
    QCOMPARE(spy.count(), available && index != 2 ? 1 : 0);
}

void TestApplicationManager::storedRecordingConfigIsApplied_data()
{
    // Stored under RecordingConfig; expected: resolution, framerate, encoder, format, quality.
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("nothing stored") << QVariantMap() << QList<int>{2, 4, 0, 0, 2};
    QTest::newRow("every list moved")
        << QVariantMap{{"resolutionIndex", 0}, {"framerateIndex", 10}, {"encoderIndex", 1},
                       {"formatIndex", 1}, {"qualityIndex", 4}}
        << QList<int>{0, 10, 1, 1, 4};
    // The frame rate is the window's list position: "30.00 fps", "23.976 fps".
    QTest::newRow("30 fps entry") << QVariantMap{{"framerateIndex", 4}} << QList<int>{2, 4, 0, 0, 2};
    QTest::newRow("23.976 fps entry") << QVariantMap{{"framerateIndex", 0}} << QList<int>{2, 0, 0, 0, 2};
    QTest::newRow("as text, the way an INI store reads back")
        << QVariantMap{{"resolutionIndex", "3"}, {"formatIndex", "3"}} << QList<int>{3, 4, 0, 3, 2};
    // Another machine may list more encoders; the take falls back to the first entry.
    QTest::newRow("encoder past this machine's list is kept")
        << QVariantMap{{"encoderIndex", 9}} << QList<int>{2, 4, 9, 0, 2};
    QTest::newRow("AVI is refused") << QVariantMap{{"formatIndex", 4}} << QList<int>{2, 4, 0, 0, 2};
    QTest::newRow("values outside the lists are ignored")
        << QVariantMap{{"resolutionIndex", 5}, {"framerateIndex", -1}, {"encoderIndex", -2},
                       {"formatIndex", 7}, {"qualityIndex", "high"}}
        << QList<int>{2, 4, 0, 0, 2};
}

void TestApplicationManager::storedRecordingConfigIsApplied()
{
    QFETCH(QVariantMap, stored);
    QFETCH(QList<int>, expected);
    {
        QSettings settings("Vireon", "Vireon");
        settings.beginGroup("RecordingConfig");
        for (auto it = stored.cbegin(); it != stored.cend(); ++it)
            settings.setValue(it.key(), it.value());
    }
    if (QTest::currentDataTag() == QLatin1String("AVI is refused"))
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Recording format 4 cannot be recorded")));
    if (QTest::currentDataTag() == QLatin1String("values outside the lists are ignored"))
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(
            R"(Using the defaults for what could not be read: RecordingConfig/resolutionIndex \("5"\).*qualityIndex \("high"\))")));
    ApplicationManager manager;
    QCOMPARE((QList<int>{manager.recordingResolutionIndex(), manager.recordingFramerateIndex(),
                         manager.recordingEncoderIndex(), manager.recordingFormatIndex(),
                         manager.recordingQualityIndex()}),
             expected);
    // The window's group belongs to the window: reading it changes nothing there.
    QSettings settings("Vireon", "Vireon");
    settings.beginGroup("RecordingConfig");
    QCOMPARE(settings.childKeys().size(), stored.size());
}

void TestApplicationManager::equalLanguageWritesNothing()
{
    ApplicationManager manager;
    manager.setCurrentLanguage(QStringLiteral("SR"));
    // Someone else changes the stored value; setting the same language again must not
    // touch the store.
    QSettings("Vireon", "Vireon").setValue("UI/Language", "XX");
    QSignalSpy spy(&manager, &ApplicationManager::currentLanguageChanged);
    manager.setCurrentLanguage(QStringLiteral("SR"));
    QCOMPARE(spy.count(), 0);
    QCOMPARE(QSettings("Vireon", "Vireon").value("UI/Language").toString(), QStringLiteral("XX"));
}

void TestApplicationManager::activeSourceAcceptsOnlyChannelsOneToFour_data()
{
    QTest::addColumn<int>("requested");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("emitted");
    QTest::newRow("0 ignored") << 0 << 1 << 0;
    QTest::newRow("5 ignored") << 5 << 1 << 0;
    QTest::newRow("same ignored") << 1 << 1 << 0;
    QTest::newRow("4 taken") << 4 << 4 << 1;
}

void TestApplicationManager::activeSourceAcceptsOnlyChannelsOneToFour()
{
    QFETCH(int, requested);
    QFETCH(int, expected);
    QFETCH(int, emitted);
    ApplicationManager manager;
    QSignalSpy spy(&manager, &ApplicationManager::activeSourceChanged);
    manager.setActiveSourceId(requested);
    QCOMPARE(manager.activeSourceId(), expected);
    QCOMPARE(spy.count(), emitted);
    // No take runs, so no cut is logged.
    QVERIFY(manager.timelineCuts().isEmpty());
}

void TestApplicationManager::keyToString_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("text");
    QTest::newRow("none") << 0 << QString();
    QTest::newRow("negative") << -7 << QString();
    QTest::newRow("digit 1") << int(Qt::Key_1) << "1";
    QTest::newRow("digit 0") << int(Qt::Key_0) << "0";
    QTest::newRow("F1") << int(Qt::Key_F1) << "F1";
    QTest::newRow("letter") << int(Qt::Key_A) << "A";
}

void TestApplicationManager::keyToString()
{
    QFETCH(int, key);
    QFETCH(QString, text);
    ApplicationManager manager;
    QCOMPARE(manager.keyToString(key), text);
}

void TestApplicationManager::sourceKeysAreBoundCheckedAndAnnounced()
{
    ApplicationManager manager;
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(manager.getSourceKey(i), Qt::Key_1 + i);
        QCOMPARE(manager.getSourceKeyName(i), QString::number(i + 1));
    }
    QCOMPARE(manager.getSourceKey(-1), 0);
    QCOMPARE(manager.getSourceKey(4), 0);
    QCOMPARE(manager.getSourceKeyName(4), QString());

    QSignalSpy spy(&manager, &ApplicationManager::keybindsChanged);
    manager.setSourceKey(4, Qt::Key_F2);
    manager.setSourceKey(-1, Qt::Key_F2);
    QCOMPARE(spy.count(), 0);

    manager.setSourceKey(2, Qt::Key_F3);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(manager.getSourceKey(2), int(Qt::Key_F3));
    QCOMPARE(manager.getSourceKeyName(2), QStringLiteral("F3"));

    // Duplicates are allowed; the first source with the key wins in the filter.
    manager.setSourceKey(3, Qt::Key_F3);
    QCOMPARE(manager.getSourceKey(3), int(Qt::Key_F3));
}

void TestApplicationManager::keyFilterSwitchesSources()
{
    ApplicationManager manager;
    QObject target;
    QSignalSpy spy(&manager, &ApplicationManager::activeSourceChanged);

    QKeyEvent press2(QEvent::KeyPress, Qt::Key_2, Qt::NoModifier, "2");
    QVERIFY(manager.eventFilter(&target, &press2));
    QCOMPARE(manager.activeSourceId(), 2);
    QCOMPARE(spy.count(), 1);

    // The same key again is consumed but changes nothing.
    QVERIFY(manager.eventFilter(&target, &press2));
    QCOMPARE(spy.count(), 1);

    QKeyEvent release2(QEvent::KeyRelease, Qt::Key_2, Qt::NoModifier, "2");
    QVERIFY(!manager.eventFilter(&target, &release2));

    QKeyEvent press9(QEvent::KeyPress, Qt::Key_9, Qt::NoModifier, "9");
    QVERIFY(!manager.eventFilter(&target, &press9));
    QCOMPARE(manager.activeSourceId(), 2);

    // Keys pressed while a hotkey is being assigned go to the assigning window.
    manager.setIsCapturingKeybind(true);
    QKeyEvent press3(QEvent::KeyPress, Qt::Key_3, Qt::NoModifier, "3");
    QVERIFY(!manager.eventFilter(&target, &press3));
    QCOMPARE(manager.activeSourceId(), 2);
    manager.setIsCapturingKeybind(false);

    // Through the real application filter as well.
    QKeyEvent press4(QEvent::KeyPress, Qt::Key_4, Qt::NoModifier, "4");
    QCoreApplication::sendEvent(&target, &press4);
    QCOMPARE(manager.activeSourceId(), 4);
}

void TestApplicationManager::keyFilterLeavesTextEntryAlone()
{
    ApplicationManager manager;
    QKeyEvent press3(QEvent::KeyPress, Qt::Key_3, Qt::NoModifier, "3");

    FakeTextField field;
    QVERIFY(!manager.eventFilter(&field, &press3));
    QCOMPARE(manager.activeSourceId(), 1);

    // Key presses reach the window first; its focused text field must still get the digit.
    WindowWithFocus window;
    window.focused = &field;
    QVERIFY(!manager.eventFilter(&window, &press3));
    QCOMPARE(manager.activeSourceId(), 1);

    window.focused = nullptr;
    QVERIFY(manager.eventFilter(&window, &press3));
    QCOMPARE(manager.activeSourceId(), 3);
}

void TestApplicationManager::keyFilterFollowsRebinding()
{
    ApplicationManager manager;
    QObject target;
    manager.setSourceKey(1, Qt::Key_F2);
    manager.setSourceKey(0, 0);

    QKeyEvent press1(QEvent::KeyPress, Qt::Key_1, Qt::NoModifier, "1");
    QKeyEvent pressF2(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier);
    QKeyEvent press2(QEvent::KeyPress, Qt::Key_2, Qt::NoModifier, "2");

    QVERIFY(!manager.eventFilter(&target, &press2)); // no longer bound
    QVERIFY(manager.eventFilter(&target, &pressF2));
    QCOMPARE(manager.activeSourceId(), 2);
    QVERIFY(!manager.eventFilter(&target, &press1)); // unbound (0) never matches
}

void TestApplicationManager::recordingTablesNameTheirIndices_data()
{
    // The window's lists: 3840x2160 ... 640x480; 23.976, 24, 25, 29.97, 30, 48, 50, 59.94, 60,
    // 120, Auto. The rates are the exact fractions a take records at.
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("resolution");
    QTest::addColumn<double>("fps");
    QTest::addColumn<QString>("fpsText");
    QTest::newRow("0") << 0 << "3840x2160 (4K UHD)" << 24000.0 / 1001 << "23.976";
    QTest::newRow("1") << 1 << "2560x1440 (2K QHD)" << 24.0 << "24";
    QTest::newRow("3") << 3 << "1280x720 (720p HD)" << 30000.0 / 1001 << "29.97";
    QTest::newRow("4") << 4 << "640x480 (SD)" << 30.0 << "30";
    QTest::newRow("7") << 7 << "1920x1080 (1080p FHD)" << 60000.0 / 1001 << "59.94";
    QTest::newRow("9") << 9 << "1920x1080 (1080p FHD)" << 120.0 << "120";
    QTest::newRow("Auto without cameras") << 10 << "1920x1080 (1080p FHD)" << 30.0 << "30";
    QTest::newRow("-1") << -1 << "1920x1080 (1080p FHD)" << 30.0 << "30";
}

void TestApplicationManager::recordingTablesNameTheirIndices()
{
    QFETCH(int, index);
    QFETCH(QString, resolution);
    QFETCH(double, fps);
    QFETCH(QString, fpsText);
    ApplicationManager manager;
    manager.setRecordingResolutionIndex(index);
    manager.setRecordingFramerateIndex(index);
    QCOMPARE(manager.activeResolutionName(), resolution);
    QCOMPARE(manager.selectedGlobalFps(), fps);
    // What the next take records at, for the status bar and the phone.
    QCOMPARE(manager.timelineFps(), fps);
    QCOMPARE(manager.recordingFpsText(), fpsText);
}

void TestApplicationManager::runInitializationSignalsDoneOnce()
{
    ApplicationManager manager;
    QSignalSpy spy(&manager, &ApplicationManager::splashStatusTextChanged);
    manager.runInitialization();
    manager.runInitialization();
    QTest::qWait(150);
    QCOMPARE(spy.count(), 0); // not before 250 ms
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 2000);
    QCOMPARE(manager.splashStatusText(), QStringLiteral("DONE"));
    QTest::qWait(300);
    QCOMPARE(spy.count(), 1);
}

void TestApplicationManager::metricsMeasureThisProcess()
{
    ApplicationManager manager;
    QSignalSpy spy(&manager, &ApplicationManager::metricsChanged);
    manager.updateMetrics();
    // Burn some CPU so the second sample has something to measure.
    volatile double sink = 0;
    for (int i = 0; i < 20000000; ++i)
        sink = sink + i * 0.5;
    manager.updateMetrics();
    QCOMPARE(spy.count(), 2);

    const QRegularExpression ram(QStringLiteral("^RAM: \\d+\\.\\d MB$"));
    QVERIFY2(ram.match(manager.ramUsage()).hasMatch(), qPrintable(manager.ramUsage()));
    QVERIFY(manager.ramUsage() != QStringLiteral("RAM: 0.0 MB"));
    const QRegularExpression cpu(QStringLiteral("^CPU: (\\d+)%$"));
    const QRegularExpressionMatch match = cpu.match(manager.cpuUsage());
    QVERIFY2(match.hasMatch(), qPrintable(manager.cpuUsage()));
    QVERIFY(match.captured(1).toInt() <= 100);
}

void TestApplicationManager::audioDeviceListsStartWithTheDefaults()
{
    ApplicationManager manager;
    QSignalSpy inputs(&manager, &ApplicationManager::audioInputDevicesChanged);
    // "None" heads the inputs, so a microphone can be taken off a channel.
    QCOMPARE(manager.audioInputDevices().value(0).toString(), QStringLiteral("None"));
    QCOMPARE(manager.audioInputDevices().value(1).toString(), QStringLiteral("Default system input"));
    // The four-input device offers itself, each input, and its second pair.
    const QStringList entries = QVariant(manager.audioInputDevices()).toStringList();
    const qsizetype at = entries.indexOf(QStringLiteral("Test Interface"));
    QVERIFY(at > 0);
    QCOMPARE(entries.mid(at, 6), (QStringList{"Test Interface", "Test Interface \u2014 In 1", "Test Interface \u2014 In 2",
                                              "Test Interface \u2014 In 3", "Test Interface \u2014 In 4", "Test Interface \u2014 In 3+4"}));
    QCOMPARE(manager.audioOutputDevices().value(0).toString(), QStringLiteral("Default system output"));
    manager.refreshAudioInputDevices();
    QCOMPARE(inputs.count(), 1); // announced even when nothing changed
}

QTEST_MAIN(TestApplicationManager)
#include "tst_applicationmanager.moc"
