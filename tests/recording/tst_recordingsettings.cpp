// The recording settings as a user meets them: what a first start records, what a saved,
// damaged or hand-edited settings file gives, what each setting makes of a camera, and the
// values the command line and the typed fields accept.
#include "recording/RecordingChoices.h"
#include "recording/RecordingSettings.h"
#include "recording/TakeFormat.h"

#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(FrameRate)

class TestRecordingSettings : public QObject
{
    Q_OBJECT

private slots:
    void firstStartRecordsTheDefaults();
    void savedSettingsComeBack();
    void unreadableValuesGetTheirDefaults_data();
    void unreadableValuesGetTheirDefaults();
    void takeRate_data();
    void takeRate();
    void recordedSize_data();
    void recordedSize();
    void encoderConfiguration_data();
    void encoderConfiguration();
    void commandLineValues_data();
    void commandLineValues();
    void typedFields();

private:
    QString iniPath() const { return m_dir.filePath(QStringLiteral("Vireon.conf")); }
    QTemporaryDir m_dir;
};

void TestRecordingSettings::firstStartRecordsTheDefaults()
{
    QFile::remove(iniPath());
    QSettings settings(iniPath(), QSettings::IniFormat);
    const RecordingSettings value = RecordingSettingsStore::load(settings);
    QCOMPARE(value, RecordingSettings{});
    // A first start records 1080p cameras at 30 fps, 16 Mbit/s constant bitrate, High
    // profile, Rec.709 limited range.
    QCOMPARE(TakeFormat::frameRateFor(value, {60.0}), (FrameRate{30, 1}));
    const EncoderConfig config = TakeFormat::encoderConfigFor(value, QSize(1920, 1080), FrameRate{30, 1});
    QCOMPARE(QSize(config.width, config.height), QSize(1920, 1080));
    QCOMPARE(config.rateControl, EncoderConfig::kConstantBitrate);
    QCOMPARE(config.targetBitrateKbps, 16000);
    QCOMPARE(config.profile, QStringLiteral("High"));
    QCOMPARE(config.colorSpace, QStringLiteral("Rec.709"));
    QVERIFY(!config.fullRange);
    QCOMPARE(RecordingChoices::frameRates().at(value.framerateIndex).label, QStringLiteral("30.00 fps (Standard Web/Streaming)"));
}

void TestRecordingSettings::savedSettingsComeBack()
{
    QFile::remove(iniPath());
    RecordingSettings changed;
    changed.outputFolder = QStringLiteral("/media/ext/Takes");
    changed.resolutionIndex = 3;
    changed.framerateIndex = 10;
    changed.encoderIndex = 7; // another machine's hardware entry
    changed.formatIndex = 1;
    changed.qualityIndex = 4;
    changed.advancedQuality = true;
    changed.rateControlMode = QStringLiteral("CQP");
    changed.targetBitrateKbps = 18;
    changed.maxBitrateKbps = 30000;
    changed.keyframeIntervalSeconds = 1;
    changed.bFrames = 0;
    changed.encoderProfile = QStringLiteral("Baseline");
    changed.lookahead = true;
    changed.colorSpace = QStringLiteral("Rec.2020");
    changed.colorRange = QStringLiteral("Full (0-255)");
    changed.broadcastWav = true;
    changed.cameraRecordingMode = QStringLiteral("camera");
    {
        QSettings settings(iniPath(), QSettings::IniFormat);
        QVERIFY(RecordingSettingsStore::save(settings, changed));
    }
    QSettings settings(iniPath(), QSettings::IniFormat);
    QCOMPARE(RecordingSettingsStore::load(settings), changed);
    // The window's own list positions stay where earlier versions kept them.
    QCOMPARE(settings.value(QStringLiteral("RecordingConfig/framerateIndex")).toInt(), 10);
}

void TestRecordingSettings::unreadableValuesGetTheirDefaults_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::newRow("index past its list") << "RecordingConfig/framerateIndex" << "11";
    QTest::newRow("negative index") << "RecordingConfig/resolutionIndex" << "-1";
    QTest::newRow("number that is text") << "RecordingConfig/targetBitrateKbps" << "lots";
    QTest::newRow("zero key-frame interval") << "RecordingConfig/keyframeInterval" << "0";
    QTest::newRow("rate control not offered") << "RecordingConfig/rateControlMode" << "ABR";
    QTest::newRow("colour space in lower case") << "RecordingConfig/colorSpace" << "rec.709";
    QTest::newRow("camera mode not offered") << "RecordingConfig/cameraRecordingMode" << "raw";
    QTest::newRow("flag that is no flag") << "RecordingConfig/lookahead" << "maybe";
    QTest::newRow("empty folder") << "RecordingConfig/outputFolder" << " ";
    QTest::newRow("damaged file") << QString() << QString();
}

void TestRecordingSettings::unreadableValuesGetTheirDefaults()
{
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFile::remove(iniPath());
    if (key.isEmpty()) {
        QFile file(iniPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\x01\xff[[[Recording\nframerateIndex=\"=\n");
    } else {
        QSettings settings(iniPath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("RecordingConfig/bFrames"), 5); // a good neighbour
        settings.setValue(key, stored);
    }
    QSettings settings(iniPath(), QSettings::IniFormat);
    // One line, naming what could not be read.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^\\[RecordingSettings\\] Using the defaults for what could not be read: .*%1")
                                                              .arg(QRegularExpression::escape(key.isEmpty() ? QStringLiteral("damaged") : key))));
    RecordingSettings value = RecordingSettingsStore::load(settings);
    if (!key.isEmpty()) {
        QCOMPARE(value.bFrames, 5);
        value.bFrames = RecordingSettings{}.bFrames;
    }
    QCOMPARE(value, RecordingSettings{});
}

void TestRecordingSettings::takeRate_data()
{
    QTest::addColumn<int>("framerateIndex");
    QTest::addColumn<QList<double>>("cameras");
    QTest::addColumn<FrameRate>("rate");
    QTest::newRow("23.976") << 0 << QList<double>{30.0} << FrameRate{24000, 1001};
    QTest::newRow("25") << 2 << QList<double>{30.0} << FrameRate{25, 1};
    QTest::newRow("29.97") << 3 << QList<double>{} << FrameRate{30000, 1001};
    QTest::newRow("48") << 5 << QList<double>{} << FrameRate{48, 1};
    QTest::newRow("59.94") << 7 << QList<double>{} << FrameRate{60000, 1001};
    QTest::newRow("120") << 9 << QList<double>{} << FrameRate{120, 1};
    QTest::newRow("auto: the fastest camera") << 10 << QList<double>{25.0, 59.94, 30.0} << FrameRate{60000, 1001};
    QTest::newRow("auto: a camera's measured 29.97") << 10 << QList<double>{29.9701} << FrameRate{30000, 1001};
    QTest::newRow("auto without a camera") << 10 << QList<double>{} << FrameRate{30, 1};
    QTest::newRow("no such entry") << 42 << QList<double>{60.0} << FrameRate{30, 1};
}

void TestRecordingSettings::takeRate()
{
    QFETCH(int, framerateIndex);
    QFETCH(QList<double>, cameras);
    QFETCH(FrameRate, rate);
    RecordingSettings settings;
    settings.framerateIndex = framerateIndex;
    QCOMPARE(TakeFormat::frameRateFor(settings, cameras), rate);
}

void TestRecordingSettings::recordedSize_data()
{
    QTest::addColumn<QSize>("camera");
    QTest::addColumn<int>("resolutionIndex");
    QTest::addColumn<QSize>("recorded");
    QTest::newRow("1080p camera at 720p") << QSize(1920, 1080) << 3 << QSize(1280, 720);
    QTest::newRow("1080p camera at 1080p") << QSize(1920, 1080) << 2 << QSize(1920, 1080);
    QTest::newRow("smaller camera keeps its size") << QSize(1280, 720) << 0 << QSize(1280, 720);
    QTest::newRow("4:3 camera within 720p") << QSize(1440, 1080) << 3 << QSize(960, 720);
    QTest::newRow("16:9 camera at 640x480") << QSize(1920, 1080) << 4 << QSize(640, 360);
    QTest::newRow("odd result made even") << QSize(2560, 1081) << 3 << QSize(1280, 540);
    QTest::newRow("size not known yet") << QSize() << 3 << QSize(1280, 720);
}

void TestRecordingSettings::recordedSize()
{
    QFETCH(QSize, camera);
    QFETCH(int, resolutionIndex);
    QFETCH(QSize, recorded);
    RecordingSettings settings;
    settings.resolutionIndex = resolutionIndex;
    const EncoderConfig config = TakeFormat::encoderConfigFor(settings, camera, FrameRate{});
    QCOMPARE(QSize(config.width, config.height), recorded);
}

void TestRecordingSettings::encoderConfiguration_data()
{
    QTest::addColumn<int>("quality");
    QTest::addColumn<bool>("advanced");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("target");
    QTest::addColumn<int>("rateControl");
    QTest::addColumn<int>("bitrate");
    QTest::addColumn<int>("quantiser");
    QTest::addColumn<int>("effort");
    // Without Advanced the preset decides, whatever the grid holds.
    QTest::newRow("Low") << 0 << false << "CQP" << 30 << EncoderConfig::kConstantBitrate << 4000 << 20 << 0;
    QTest::newRow("Ultra") << 3 << false << "VBR" << 9000 << EncoderConfig::kConstantBitrate << 30000 << 20 << 3;
    QTest::newRow("Lossless") << 4 << false << "CBR" << 9000 << EncoderConfig::kLossless << 16000 << 20 << 2;
    // With Advanced the grid decides; the preset still sets the effort.
    QTest::newRow("Advanced VBR") << 0 << true << "VBR" << 9000 << EncoderConfig::kVariableBitrate << 9000 << 20 << 0;
    QTest::newRow("Advanced CQP level") << 2 << true << "CQP" << 18 << EncoderConfig::kConstantQuality << 18 << 18 << 2;
    QTest::newRow("Advanced CQP, a bitrate is no level") << 2 << true << "CQP" << 16000 << EncoderConfig::kConstantQuality << 16000 << 20 << 2;
    QTest::newRow("Advanced over Lossless") << 4 << true << "CBR" << 9000 << EncoderConfig::kConstantBitrate << 9000 << 20 << 2;
}

void TestRecordingSettings::encoderConfiguration()
{
    QFETCH(int, quality);
    QFETCH(bool, advanced);
    QFETCH(QString, mode);
    QFETCH(int, target);
    QFETCH(int, rateControl);
    QFETCH(int, bitrate);
    QFETCH(int, quantiser);
    QFETCH(int, effort);
    RecordingSettings settings;
    settings.qualityIndex = quality;
    settings.advancedQuality = advanced;
    settings.rateControlMode = mode;
    settings.targetBitrateKbps = target;
    settings.maxBitrateKbps = 12000;
    settings.keyframeIntervalSeconds = 5;
    settings.bFrames = 0;
    settings.encoderProfile = QStringLiteral("Main");
    settings.lookahead = true;
    settings.colorSpace = QStringLiteral("Rec.601");
    settings.colorRange = QStringLiteral("Full (0-255)");
    const EncoderConfig config = TakeFormat::encoderConfigFor(settings, QSize(1920, 1080), FrameRate{25, 1});
    QCOMPARE(config.rateControl, rateControl);
    QCOMPARE(config.targetBitrateKbps, bitrate);
    if (rateControl == EncoderConfig::kConstantQuality)
        QCOMPARE(config.quality, quantiser);
    QCOMPARE(config.effort, effort);
    QCOMPARE(config.frameRate, (FrameRate{25, 1}));
    // The grid's other settings only with Advanced on.
    QCOMPARE(config.keyframeIntervalSeconds, advanced ? 5 : 2);
    QCOMPARE(config.bFrames, advanced ? 0 : 2);
    QCOMPARE(config.profile, advanced ? QStringLiteral("Main") : QStringLiteral("High"));
    QCOMPARE(config.lookahead, advanced);
    QCOMPARE(config.colorSpace, advanced ? QStringLiteral("Rec.601") : QStringLiteral("Rec.709"));
    QCOMPARE(config.fullRange, advanced);
    QCOMPARE(config.maxBitrateKbps, advanced ? 12000 : bitrate);
}

void TestRecordingSettings::commandLineValues_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("framerateIndex");
    QTest::addColumn<int>("resolutionIndex");
    QTest::newRow("25") << "25" << 2 << -1;
    QTest::newRow("29.97") << "29.97" << 3 << -1;
    QTest::newRow("25.00") << "25.00" << 2 << -1;
    QTest::newRow("23.976") << "23.976" << 0 << -1;
    QTest::newRow("60") << "60" << 8 << -1;
    QTest::newRow("auto") << "Auto" << 10 << -1;
    QTest::newRow("not offered") << "29.9" << -1 << -1;
    QTest::newRow("720p") << "1280x720" << -1 << 3;
    QTest::newRow("size not offered") << "1280x721" << -1 << -1;
}

void TestRecordingSettings::commandLineValues()
{
    QFETCH(QString, text);
    QFETCH(int, framerateIndex);
    QFETCH(int, resolutionIndex);
    QCOMPARE(RecordingChoices::frameRateIndexForText(text), framerateIndex);
    QCOMPARE(RecordingChoices::resolutionIndexForText(text), resolutionIndex);
    QCOMPARE(RecordingChoices::frameRateValues(), QStringLiteral("23.976, 24, 25, 29.97, 30, 48, 50, 59.94, 60, 120, auto"));
}

void TestRecordingSettings::typedFields()
{
    using namespace RecordingSettingsText;
    QCOMPARE(bFramesFromText(QStringLiteral("0")), 2);
    QCOMPARE(bFramesFromText(QStringLiteral(" 3 ")), 3);
    QCOMPARE(targetFromText(QStringLiteral("abc"), QStringLiteral("CBR")), 16000);
    QCOMPARE(targetFromText(QStringLiteral("abc"), QStringLiteral("CQP")), 20);
    QCOMPARE(targetText(16000, QStringLiteral("CQP")), QStringLiteral("20"));
    QCOMPARE(targetText(18, QStringLiteral("CQP")), QStringLiteral("18"));
    QCOMPARE(maxBitrateFromText(QString()), 24000);
    QCOMPARE(keyframeIntervalFromText(QStringLiteral("-4")), 2);
}

QTEST_GUILESS_MAIN(TestRecordingSettings)
#include "tst_recordingsettings.moc"
