// What the recording settings make of a take, judged by reading the files back: the take's
// rate in the files, their flashes and their timelines; the master resolution, the rate
// control, the profile and the colour as the streams declare them; a camera that joins a
// running take, from its first picture, at its place in both timelines.
#include "app/ApplicationManager.h"
#include "recording/TakeRecovery.h"
#include "recording/Timecode.h"
#include "recording/TimelineExport.h"

#include "BuiltInDevices.h"
#include "FcpxmlReader.h"
#include "ManagerTestCase.h"
#include "MediaReadback.h"
#include "SyncMarks.h" // flashFrames
#include "XmemlReader.h"

#include <QDir>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <cmath>

class TestTakeSettings : public ManagerTestCase
{
    Q_OBJECT

public:
    TestTakeSettings() : ManagerTestCase(QStringLiteral("Settings")) {}

private slots:
    void takeRecordsAtItsRate_data();
    void takeRecordsAtItsRate();
    void settingsReachTheFile_data();
    void settingsReachTheFile();
    void cameraJoiningATakeIsRecordedFromItsPlace();

private:
    // Both timelines of a take, with what an editor finds wrong in them and their files.
    QList<XmemlTimeline> timelines(const QString &take, QStringList *faults) const;
};

QList<XmemlTimeline> TestTakeSettings::timelines(const QString &take, QStringList *faults) const
{
    QList<XmemlTimeline> result;
    const QString stem = take + QStringLiteral("/Settings_") + QDir(take).dirName();
    for (const QString &path : {stem + QStringLiteral(".xml"), stem + QStringLiteral("_AllAngles.xml")}) {
        result.append(readXmemlFile(path));
        *faults += result.last().faults + checkXmemlMedia(result.last());
    }
    return result;
}

void TestTakeSettings::takeRecordsAtItsRate_data()
{
    QTest::addColumn<int>("framerateIndex"); // in the settings window's list
    QTest::addColumn<int>("numerator");
    QTest::addColumn<int>("denominator");
    QTest::addColumn<int>("timebase");
    QTest::addColumn<bool>("ntsc");
    QTest::newRow("25") << 2 << 25 << 1 << 25 << false;
    QTest::newRow("29.97, drop-frame") << 3 << 30000 << 1001 << 30 << true;
    QTest::newRow("60") << 8 << 60 << 1 << 60 << false;
}

void TestTakeSettings::takeRecordsAtItsRate()
{
    QFETCH(int, framerateIndex);
    QFETCH(int, numerator);
    QFETCH(int, denominator);
    QFETCH(int, timebase);
    QFETCH(bool, ntsc);
    const double fps = double(numerator) / denominator;
    m_manager->setRecordingFramerateIndex(framerateIndex);
    // The built-in camera at the take's rate, as a demo run opens it.
    m_manager->setCameraForChannel(1, testPatternKey(1), 640, 480, float(m_manager->timelineFps()));
    QTest::qWait(200);
    const QString take = record(2600);
    QVERIFY(!take.isEmpty());
    QVERIFY(m_manager->lastRecordingError().isEmpty());

    const WavReadback master = readWav(take + QStringLiteral("/Master_Audio_Output.wav"));
    const double seconds = double(master.frames()) / 48000.0;
    const Readback video = readBack(take + QStringLiteral("/Camera_01.mp4"), true);
    QVERIFY2(video.error.isEmpty(), qPrintable(video.error));
    QCOMPARE(video.frameRate.num, numerator);
    QCOMPARE(video.frameRate.den, denominator);
    // Duration × rate frames, within one.
    QVERIFY2(std::abs(video.pts.size() - qRound(seconds * fps)) <= 1,
             qPrintable(QStringLiteral("%1 frames for %2 s").arg(video.pts.size()).arg(seconds)));
    // One flash a second of the clock, each in a frame of its own: 25, 29.97 or 60 frames apart.
    const QList<int> flashes = flashFrames(video);
    QVERIFY2(flashes.size() >= 2, qPrintable(QString::number(flashes.size())));
    for (qsizetype i = 1; i < flashes.size(); ++i)
        QVERIFY2(std::abs((flashes[i] - flashes[i - 1]) / fps - 1.0) <= 1.5 / fps, qPrintable(QString::number(flashes[i])));
    // The file's timecode is the take's, drop-frame at 29.97.
    QCOMPARE(video.videoTimecode, m_manager->startTimecode());
    QCOMPARE(Timecode::isDropFrame(video.videoTimecode), ntsc);

    QStringList faults;
    for (const XmemlTimeline &timeline : timelines(take, &faults)) {
        QCOMPARE(timeline.timebase, timebase);
        QCOMPARE(timeline.ntsc, ntsc);
        QVERIFY(timeline.timecode);
        QCOMPARE(timeline.timecode->displayFormat, QString(ntsc ? "DF" : "NDF"));
    }
    QCOMPARE(faults, QStringList());
}

void TestTakeSettings::settingsReachTheFile_data()
{
    QTest::addColumn<int>("resolutionIndex");
    QTest::addColumn<QString>("rateControl"); // empty: Advanced off
    QTest::addColumn<int>("target");
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QString>("colorSpace");
    QTest::addColumn<QString>("colorRange");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QStringList>("options"); // as x264 says it encoded
    QTest::addColumn<int>("streamProfile");
    QTest::addColumn<int>("matrix");
    QTest::addColumn<int>("range");
    // A first start: the preset's 16 Mbit/s, High profile, Rec.709 limited.
    QTest::newRow("1080p camera at 720p, the preset")
        << 3 << QString() << 0 << QString() << QString() << QString() << QSize(1280, 720)
        << QStringList{"rc=cbr", "bitrate=16000"} << int(FF_PROFILE_H264_HIGH) << int(AVCOL_SPC_BT709)
        << int(AVCOL_RANGE_MPEG);
    QTest::newRow("CBR") << 2 << "CBR" << 6000 << "High" << "Rec.709" << "Limited (16-235)" << QSize(1920, 1080)
                         << QStringList{"rc=cbr", "bitrate=6000", "vbv_maxrate=6000"} << int(FF_PROFILE_H264_HIGH)
                         << int(AVCOL_SPC_BT709) << int(AVCOL_RANGE_MPEG);
    QTest::newRow("VBR, Main, Rec.601 full") << 2 << "VBR" << 6000 << "Main" << "Rec.601" << "Full (0-255)"
                                            << QSize(1920, 1080) << QStringList{"rc=abr", "bitrate=6000", "vbv_maxrate=9000"}
                                            << int(FF_PROFILE_H264_MAIN) << int(AVCOL_SPC_SMPTE170M)
                                            << int(AVCOL_RANGE_JPEG);
    QTest::newRow("CQP, Baseline, Rec.2020") << 4 << "CQP" << 26 << "Baseline" << "Rec.2020" << "Limited (16-235)"
                                            << QSize(640, 360) << QStringList{"rc=cqp", "qp=26", "bframes=0"}
                                            << int(FF_PROFILE_H264_CONSTRAINED_BASELINE) << int(AVCOL_SPC_BT2020_NCL)
                                            << int(AVCOL_RANGE_MPEG);
}

void TestTakeSettings::settingsReachTheFile()
{
    QFETCH(int, resolutionIndex);
    QFETCH(QString, rateControl);
    QFETCH(int, target);
    QFETCH(QString, profile);
    QFETCH(QString, colorSpace);
    QFETCH(QString, colorRange);
    QFETCH(QSize, size);
    QFETCH(QStringList, options);
    QFETCH(int, streamProfile);
    QFETCH(int, matrix);
    QFETCH(int, range);
    m_manager->setRecordingResolutionIndex(resolutionIndex);
    if (!rateControl.isEmpty()) {
        m_manager->setAdvancedQualityEnabled(true);
        m_manager->setRateControlMode(rateControl);
        m_manager->setTargetBitrateKbps(target);
        m_manager->setMaxBitrateKbps(9000);
        m_manager->setEncoderProfile(profile);
        m_manager->setColorSpace(colorSpace);
        m_manager->setColorRange(colorRange);
    }
    m_manager->setCameraForChannel(1, testPatternKey(1), 1920, 1080, 30.0f);
    QTest::qWait(200);
    // The log names what the file is written with.
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral(
        R"(Started Video Encoder for channel 1 at .* with libx264 \(libx264, profile \S+.*, 30 fps \(30/1\), %1x%2, )")
        .arg(size.width()).arg(size.height())));
    const QString take = record(700);
    QVERIFY(!take.isEmpty());
    const Readback video = readBack(take + QStringLiteral("/Camera_01.mp4"));
    QVERIFY2(video.error.isEmpty(), qPrintable(video.error));
    QCOMPARE(QSize(video.width, video.height), size);
    QCOMPARE(video.profile, streamProfile);
    QCOMPARE(int(video.matrix), matrix);
    QCOMPARE(int(video.range), range);
    for (const QString &option : options) {
        const QStringList pair = option.split(u'=');
        QVERIFY2(video.encoderOption(pair.first()) == pair.last(), qPrintable(option + " in " + video.encoderInfo));
    }
    // The sequence has the size of its files.
    QStringList faults;
    QCOMPARE(timelines(take, &faults).first().videoTracks.isEmpty(), false);
    QCOMPARE(faults, QStringList());
}

void TestTakeSettings::cameraJoiningATakeIsRecordedFromItsPlace()
{
    m_manager->setCameraForChannel(1, testPatternKey(1), 1280, 720, 30.0f);
    QTest::qWait(200);
    QSignalSpy finished(m_manager, &ApplicationManager::takeFinished);
    m_manager->startRecording();
    QVERIFY(m_manager->isRecording());
    QVERIFY(!m_model->isChannelRecording(2));
    QTest::qWait(1000);
    // The camera comes on during the take: it joins it, and its tile says so. It is smaller
    // than the sequence, so it is recorded at its own size.
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral(R"(=== CAMERA JOINED === channel 2 at take frame \d+)")));
    m_manager->setCameraForChannel(2, testPatternKey(2), 640, 480, 30.0f);
    QVERIFY(m_model->isChannelRecording(2));
    QTest::qWait(1500);
    m_manager->stopRecording();
    QVERIFY(!finished.isEmpty());
    const QString take = m_manager->currentTakeFolder();

    const Readback first = readBack(take + QStringLiteral("/Camera_01.mp4"));
    const Readback joined = readBack(take + QStringLiteral("/Camera_02.mp4"));
    QVERIFY2(joined.error.isEmpty(), qPrintable(joined.error));
    // Both timelines hold it at its place, a second into the take (the readers also check each
    // file's timecode against its place, and its length and picture size against the file).
    QStringList faults;
    const QList<XmemlTimeline> both = timelines(take, &faults);
    QCOMPARE(faults, QStringList());
    QCOMPARE(QSize(joined.width, joined.height), QSize(640, 480));
    const FcpxmlTimeline fcpxml = readFcpxmlFile(take + QStringLiteral("/Settings_") + QDir(take).dirName() + QStringLiteral(".fcpxml"));
    QCOMPARE(fcpxml.faults + checkFcpxmlMedia(fcpxml), QStringList());
    QCOMPARE(QSize(fcpxml.width, fcpxml.height), QSize(1280, 720));
    const QList<XmemlClip> &angle = both.last().videoTracks.at(1);
    QCOMPARE(angle.size(), 1);
    const qint64 place = angle.first().start;
    QVERIFY2(place >= 25 && place <= 40, qPrintable(QString::number(place)));
    QCOMPARE(angle.first().in, 0);
    // Its file: from the frame it joined at to the end, with that frame's timecode.
    QVERIFY2(std::abs(first.pts.size() - joined.pts.size() - place) <= 1,
             qPrintable(QStringLiteral("%1 and %2 frames").arg(first.pts.size()).arg(joined.pts.size())));
    const qint64 takeStart = Timecode::frameCount(m_manager->startTimecode(), 30, false).value();
    QCOMPARE(Timecode::frameCount(joined.videoTimecode, 30, false).value(), takeStart + place);

    // Rebuilt from its journal after a crash (no timelines left), it keeps the same place.
    for (const QString &xml : QDir(take).entryList({QStringLiteral("*.xml")}, QDir::Files))
        QVERIFY(QFile::remove(QDir(take).filePath(xml)));
    const TakeRecoveryResult rebuilt = rebuildTakeFromJournal(take);
    QCOMPARE(rebuilt.error, QString());
    QList<TimelineFileWrite> written;
    QVERIFY(writeTimeline(rebuilt.input, &written));
    const QList<XmemlTimeline> again = timelines(take, &faults);
    QCOMPARE(faults, QStringList());
    QCOMPARE(again.last().videoTracks.at(1).size(), 1);
    QCOMPARE(again.last().videoTracks.at(1).first().start, place);
}

QTEST_GUILESS_MAIN(TestTakeSettings)
#include "tst_takesettings.moc"
