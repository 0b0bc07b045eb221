// Whole takes with the built-in devices and the real encoders, judged by reading the files
// back: every file there, every length matching the take, every timeline (xmeml, FCPXML and
// OTIO, both layouts) read as an editor reads them (the strict readers, every file they name
// opened and measured, Broadcast WAV files placed where their time reference says) with the
// take's switches and markers, naming the files as recorded (in each container), the cameras'
// white flashes in step with the test tone's beeps in the master WAV, the cut journal written
// as the take runs, and a timeline that cannot be written reported as a failure.
#include "app/ApplicationManager.h"
#include "capture/AudioCapture.h"
#include "capture/AudioDeviceRegistry.h"
#include "capture/CameraCapture.h"

#include "BuiltInDevices.h"
#include "FcpxmlReader.h"
#include "OtioReader.h"
#include "XmemlReader.h"

#include "MediaReadback.h"
#include "SyncMarks.h"
#include "ToneAnalysis.h"
#include "ManagerTestCase.h"

#include <QDir>
#include <QRegularExpression>
#include <QFile>
#include <QKeyEvent>
#include <QTimer>
#include <QFileInfo>
#include <QThread>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <SDL.h>

#include <cmath>
#if defined(Q_OS_LINUX)
#include <csignal>
#include <sys/resource.h>
#endif

namespace {


bool xmlIsWellFormed(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    QXmlStreamReader reader(&file);
    while (!reader.atEnd())
        reader.readNext();
    *error = reader.errorString();
    return !reader.hasError();
}

// Every timeline of a take (each format, both layouts), read as an editor's import reads it,
// and the files it names as the editor finds them on disk. With takeFrames, each sequence must
// be exactly that long. The frames of the markers each timeline carries go to *markers, one
// "<frame> <frame> ..." entry per timeline.
QStringList timelineFaults(const QString &take, const QString &session, std::optional<qint64> takeFrames,
                           QStringList *markers = nullptr)
{
    QStringList faults;
    const QString stem = take + QLatin1Char('/') + session + QLatin1Char('_') + QDir(take).dirName();
    for (const QString &layout : {QString(), QStringLiteral("_AllAngles")}) {
        QStringList found, frames;
        const XmemlTimeline xmeml = readXmemlFile(stem + layout + QStringLiteral(".xml"), takeFrames);
        found << xmeml.faults + checkXmemlMedia(xmeml);
        for (const XmemlMarker &m : xmeml.markers)
            frames << QString::number(m.in);
        const FcpxmlTimeline fcpxml = readFcpxmlFile(stem + layout + QStringLiteral(".fcpxml"), takeFrames);
        found << fcpxml.faults + checkFcpxmlMedia(fcpxml);
        for (const FcpxmlMarker &m : fcpxml.markers)
            frames << QString::number(m.frame);
        const OtioTimeline otio = readOtioFile(stem + layout + QStringLiteral(".otio"), takeFrames);
        found << otio.faults + checkOtioMedia(otio);
        for (const OtioMarker &m : otio.markers)
            frames << QString::number(m.frame);
        for (const QString &fault : found)
            faults.append(QFileInfo(stem + layout).fileName() + QStringLiteral(": ") + fault);
        if (markers)
            markers->append(frames.join(QLatin1Char(' ')));
    }
    return faults;
}

// "HH:MM:SS:FF" at 30 fps as seconds since midnight.
double timecodeSeconds(const QString &timecode)
{
    const QStringList parts = timecode.split(QLatin1Char(':'));
    return parts.size() == 4 ? parts[0].toInt() * 3600 + parts[1].toInt() * 60 + parts[2].toInt() + parts[3].toInt() / 30.0 : -1;
}

} // namespace

class TestRecording : public ManagerTestCase
{
    Q_OBJECT

public:
    TestRecording() : ManagerTestCase(QStringLiteral("Test Session")) {}

private slots:

    void takeIsCompleteAndInSync();
    void takesAreNumbered();
    void startAndStopAreIgnoredWhenTheyDoNothing();
    void switchesDuringATakeBecomeCuts();
    void stopRightAfterStartExportsOneSecond();
    void cameraStoppedMidTakeKeepsItsFileFullLength();
    void takeWithoutAudioInputsHasSilentMasterOfFullLength();
    void microphoneLostAndBackMidTake();
    void limitedTakeKeepsItsLengthWhenTheLoopIsLate();
    void unwritableRecordingPathDoesNotStart();
    void takeIsRecordedInTheChosenContainer_data();
    void takeIsRecordedInTheChosenContainer();
    void formatChangedDuringATakeAppliesToTheNext();
    void encoderEntryPastTheListRecordsWithTheLast();
    void longTakeGoesOnInPartsOnOneTrack();
    void timelineThatCannotBeWrittenIsAFailure();
    void takeLeftWithoutTimelinesIsRebuiltAndAnnounced();
};

void TestRecording::takeIsCompleteAndInSync()
{
    // One tone only: two tones in the master would add up with whatever phase their
    // inputs' blocks give them and blur the beeps.
    for (int channel = 1; channel <= 2; ++channel)
        m_manager->setCameraForChannel(channel, testPatternKey(channel), 640, 480, 30.0f);
    m_manager->setAudioInputForChannel(1, AudioCapture::testToneName());
    m_manager->setChannelSeparateAudioEnabled(1, true);
    m_manager->setChannelSeparateAudioEnabled(2, true); // no input: no file
    m_manager->setChannelCameraLink(1, 1);
    QTest::qWait(200); // the cameras deliver their first pictures

    // Switches and three markers during the take: named through the command, from the key M
    // (no name) and after the last switch.
    QTimer::singleShot(700, m_manager, [this] { m_manager->setActiveSourceId(2); });
    QTimer::singleShot(1100, m_manager, [this] { m_manager->dropMarker(QStringLiteral("Tom & <Jerry> \"Čačak\"")); });
    QTimer::singleShot(1600, m_manager, [this] {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_M, Qt::NoModifier, QStringLiteral("m"));
        QVERIFY(m_manager->eventFilter(nullptr, &press));
    });
    QTimer::singleShot(2200, m_manager, [this] { m_manager->setActiveSourceId(1); });
    QTimer::singleShot(2600, m_manager, [this] { m_manager->dropMarker(); });
    const QString take = record(3300);
    QVERIFY(!take.isEmpty());
    QCOMPARE(take, QDir(outputPath()).filePath(QStringLiteral("Test Session/Take_01")));
    QVERIFY(m_manager->lastRecordingError().isEmpty());
    QVERIFY(!m_model->isChannelRecording(1));

    const WavReadback master = readWav(take + QStringLiteral("/Master_Audio_Output.wav"));
    QVERIFY(master.headerValid);
    QCOMPARE(master.channels, 2);
    QCOMPARE(master.sampleRate, 48000);
    const double seconds = double(master.frames()) / 48000.0;
    QVERIFY2(seconds > 3.2 && seconds < 3.6, qPrintable(QString::number(seconds)));

    const WavReadback iso = readWav(take + QStringLiteral("/Channel_01_Audio.wav"));
    QVERIFY(iso.headerValid);
    QCOMPARE(iso.frames(), master.frames());
    QVERIFY(!QFile::exists(take + QStringLiteral("/Channel_02_Audio.wav")));

    const QList<qint64> beeps = beepOnsets(master);
    QVERIFY2(beeps.size() >= 2, qPrintable(QString::number(beeps.size())));

    for (int channel = 1; channel <= 2; ++channel) {
        const QString path = take + QStringLiteral("/Camera_0%1.mp4").arg(channel);
        const Readback video = readBack(path, true);
        QVERIFY2(video.error.isEmpty(), qPrintable(video.error));
        QCOMPARE(video.width, 640);
        // One frame per 30th of a second of the take, as long as the audio.
        QVERIFY2(std::abs(video.pts.size() - qRound(seconds * 30.0)) <= 1,
                 qPrintable(QStringLiteral("%1 frames for %2 s").arg(video.pts.size()).arg(seconds)));
        QCOMPARE(video.decodeErrors, 0);
        QVERIFY(topLevelBoxes(path).contains(QStringLiteral("moof")));
        QCOMPARE(video.videoTimecode, m_manager->startTimecode());

        // Every flash lies within one frame of a beep, and every beep has its flash.
        const QString problems = syncProblems(flashFrames(video), beeps, seconds);
        QVERIFY2(problems.isEmpty(), qPrintable(QStringLiteral("camera %1: %2").arg(channel).arg(problems)));
    }

    const QString timeline = take + QStringLiteral("/Test Session_Take_01.xml");
    QString xmlError;
    QVERIFY2(xmlIsWellFormed(timeline, &xmlError), qPrintable(xmlError));
    // 3.3 s at 30 fps: every sequence 99 frames, every file as long as they say, and every
    // timeline with the three markers at their frames.
    QStringList markers;
    const QStringList faults = timelineFaults(take, QStringLiteral("Test Session"), 99, &markers);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
    QCOMPARE(m_manager->timelineCuts().size(), 3);
    QCOMPARE(m_manager->takeMarkers().size(), 3);
    QCOMPARE(m_manager->takeMarkers().at(0).name, QStringLiteral("Tom & <Jerry> \"Čačak\""));
    QCOMPARE(m_manager->takeMarkers().at(1).name, QStringLiteral("Marker 2"));
    QStringList frames;
    for (const TimelineMarker &marker : m_manager->takeMarkers())
        frames << QString::number(marker.timeMs * 30 / 1000);
    const QString perFormat = QStringList{frames.join(' '), frames.join(' '), frames.join(' ')}.join(' ');
    QCOMPARE(markers, (QStringList{perFormat, perFormat}));
}

void TestRecording::takesAreNumbered()
{
    QVERIFY(QDir().mkpath(QDir(outputPath()).filePath(QStringLiteral("Test Session/Take_07"))));
    QVERIFY(QDir().mkpath(QDir(outputPath()).filePath(QStringLiteral("Test Session/Take_x"))));
    QVERIFY(record(100).endsWith(QStringLiteral("/Take_08")));
    QVERIFY(record(100).endsWith(QStringLiteral("/Take_09")));
}

void TestRecording::startAndStopAreIgnoredWhenTheyDoNothing()
{
    QSignalSpy changed(m_manager, &ApplicationManager::isRecordingChanged);
    m_manager->stopRecording();
    QCOMPARE(changed.count(), 0);
    m_manager->startRecording();
    const QString take = m_manager->currentTakeFolder();
    m_manager->startRecording();
    QCOMPARE(m_manager->currentTakeFolder(), take);
    QCOMPARE(changed.count(), 1);
    m_manager->stopRecording();
    m_manager->stopRecording();
    QCOMPARE(changed.count(), 2);
}

void TestRecording::switchesDuringATakeBecomeCuts()
{
    m_manager->setActiveSourceId(2);
    m_manager->startRecording();
    QCOMPARE(m_manager->timelineCuts().size(), 1);
    QCOMPARE(m_manager->timelineCuts().first().channelId, 2);
    QCOMPARE(m_manager->timelineCuts().first().timeMs, 0);
    QTest::qWait(120);
    m_manager->setActiveSourceId(3);
    m_manager->setActiveSourceId(3);
    m_manager->stopRecording();
    QCOMPARE(m_manager->timelineCuts().size(), 2);
    QCOMPARE(m_manager->timelineCuts().at(1).channelId, 3);
    QVERIFY(m_manager->timelineCuts().at(1).timeMs >= 100);
    // Each switch went to the take's journal as it happened, readable by a person.
    QFile journal(m_manager->currentTakeFolder() + QStringLiteral("/Cut_Journal.txt"));
    QVERIFY(journal.open(QIODevice::ReadOnly));
    const QByteArray lines = journal.readAll();
    QVERIFY2(lines.contains("\n00:00:00.000 switch 2\n") && lines.contains(" switch 3\n") && lines.contains(" stop\n"),
             lines.constData());
    // Switching after the take changes the source but logs nothing; nor is a marker dropped,
    // and the marker key is then an ordinary key.
    m_manager->setActiveSourceId(1);
    QCOMPARE(m_manager->timelineCuts().size(), 2);
    QCOMPARE(m_manager->dropMarker().value(QStringLiteral("ok")).toBool(), false);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_M, Qt::NoModifier, QStringLiteral("m"));
    QVERIFY(!m_manager->eventFilter(nullptr, &press));
    QCOMPARE(m_manager->takeMarkers().size(), 0);
}

void TestRecording::stopRightAfterStartExportsOneSecond()
{
    m_manager->startRecording();
    m_manager->stopRecording();
    QFile timeline(m_manager->currentTakeFolder() + QStringLiteral("/Test Session_Take_01.xml"));
    QVERIFY(timeline.open(QIODevice::ReadOnly));
    const QByteArray xml = timeline.readAll();
    // Under a millisecond counts as a take of one second: 30 frames.
    QVERIFY(xml.contains("<duration>30</duration>"));
}

void TestRecording::cameraStoppedMidTakeKeepsItsFileFullLength()
{
    m_manager->setCameraForChannel(2, testPatternKey(2), 640, 480, 30.0f);
    QTest::qWait(150);
    m_manager->startRecording();
    QTest::qWait(700);
    m_manager->removeCameraFromChannel(2);
    QTest::qWait(800);
    m_manager->stopRecording();

    const WavReadback master = readWav(m_manager->masterWavPath());
    const double seconds = double(master.frames()) / 48000.0;
    const Readback video = readBack(m_manager->videoPaths().at(2));
    QVERIFY2(std::abs(video.pts.size() - qRound(seconds * 30.0)) <= 1,
             qPrintable(QStringLiteral("%1 frames for %2 s").arg(video.pts.size()).arg(seconds)));
}

void TestRecording::takeWithoutAudioInputsHasSilentMasterOfFullLength()
{
    m_manager->setCameraForChannel(1, testPatternKey(1), 640, 480, 30.0f);
    QTest::qWait(150);
    const QString take = record(1000);
    const WavReadback master = readWav(take + QStringLiteral("/Master_Audio_Output.wav"));
    QVERIFY(master.headerValid);
    const double seconds = double(master.frames()) / 48000.0;
    QVERIFY2(seconds > 0.95 && seconds < 1.2, qPrintable(QString::number(seconds)));
    QVERIFY(std::all_of(master.samples.begin(), master.samples.end(), [](qint16 s) { return s == 0; }));
    const Readback video = readBack(take + QStringLiteral("/Camera_01.mp4"));
    QVERIFY(std::abs(video.pts.size() - qRound(seconds * 30.0)) <= 1);
}

// Two microphones of one interface, not plugged in when chosen and then unplugged for two seconds mid-take: the take goes on,
// the log and the strips say so with the take time, the banner warns; back, they are reopened
// by themselves. Every file is exactly as long as the take, the gap is silence counted in the
// take's summary, and the beeps after it lie where the clock puts them.
void TestRecording::microphoneLostAndBackMidTake()
{
    // Not plugged in when chosen (a saved set-up at start): the channels wait for it and open
    // it by themselves once it is there.
    const QString device = AudioCapture::testInterfaceName();
    AudioDeviceRegistry::shared().setUnplugged(device, true);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Failed to start audio input for channel 2 .*it opens when it appears")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Failed to start audio input for channel 3 .*it opens when it appears")));
    for (int channel : {2, 3}) {
        m_manager->setAudioInputForChannel(channel, AudioInputChoice{device, channel, 1}.text());
        m_manager->setChannelSeparateAudioEnabled(channel, true);
        QCOMPARE(m_manager->getChannelAudioStateForChannel(channel), QStringLiteral("waiting"));
    }
    AudioDeviceRegistry::shared().setUnplugged(device, false);
    QTRY_COMPARE_WITH_TIMEOUT(m_manager->getChannelAudioStateForChannel(2), QStringLiteral("live"), 2500);
    QCOMPARE(m_manager->getChannelAudioStateForChannel(3), QStringLiteral("live"));
    QTest::qWait(150);
    QSignalSpy finished(m_manager, &ApplicationManager::takeFinished);
    m_manager->startRecording();
    QVERIFY(m_manager->isRecording());
    m_manager->limitTakeLength(5000);
    QTest::qWait(1200);

    for (int channel : {2, 3})
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(
            "^\\[AudioInputWatch\\] === AUDIO INPUT LOST === channel %1 at take time \\d\\d:\\d\\d:0[01]:\\d\\d - ").arg(channel)));
    AudioDeviceRegistry::shared().setUnplugged(device, true);
    QTRY_COMPARE_WITH_TIMEOUT(m_manager->getChannelAudioStateForChannel(2), QStringLiteral("lost"), 1000);
    QCOMPARE(m_manager->getChannelAudioStateForChannel(3), QStringLiteral("lost"));
    QVERIFY2(m_manager->recordingWarningText().startsWith(QStringLiteral("Microphones lost on channels 2, 3:")),
             qPrintable(m_manager->recordingWarningText()));
    QVERIFY(m_manager->isRecording());

    QTest::qWait(2000);
    AudioDeviceRegistry::shared().setUnplugged(device, false);
    QTRY_COMPARE_WITH_TIMEOUT(m_manager->getChannelAudioStateForChannel(2), QStringLiteral("live"), 2000);
    QVERIFY(m_manager->recordingWarningText().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 10000);

    const QVariantMap silence = m_manager->lastTakeSummary().value(QStringLiteral("audioSilence")).toMap();
    for (int channel : {2, 3}) {
        const WavReadback wav = readWav(m_manager->isoAudioPaths().at(channel));
        QCOMPARE(wav.frames(), qint64(5 * 48000));
        const double gapSeconds = silence.value(QString::number(channel)).toDouble();
        QVERIFY2(gapSeconds > 1.8 && gapSeconds < 2.8, qPrintable(QString::number(gapSeconds)));
        // Whole beeps before and after the gap, each as far from the next as the clock says. In
        // real time the returning device is placed by when its first blocks arrive, which a busy
        // machine delays by milliseconds (the drift compensation works that off over the next
        // seconds); the exact placement is checked in simulated time (tst_audiodevices).
        std::vector<qint64> onsets;
        QStringList found;
        for (const Beep &beep : findBeeps(wav.samples, 2, 0, 48000, 2.0)) {
            found << QStringLiteral("%1+%2").arg(beep.firstFrame).arg(beep.frames());
            if (std::abs(beep.frames() - 4800) <= 2)
                onsets.push_back(beep.firstFrame);
        }
        QVERIFY2(onsets.size() >= 2, qPrintable(found.join(' ')));
        // One before the microphone is lost (at 1.2 s) and one after it is back: the gap is
        // silence for at least 1.8 s from then, so a whole beep after 2 s follows it. (The beeps'
        // phase is the tone's own: the one nearest the end may be cut off by the take's end.)
        QVERIFY2(onsets.front() < 48000 && onsets.back() > 2 * 48000, qPrintable(found.join(' ')));
        for (size_t i = 1; i < onsets.size(); ++i) {
            const qint64 apart = (onsets[i] - onsets[i - 1]) % 48000;
            QVERIFY2(std::min(apart, 48000 - apart) <= 960, qPrintable(QString::number(onsets[i] - onsets[i - 1])));
        }
    }
    QCOMPARE(readWav(m_manager->masterWavPath()).frames(), qint64(5 * 48000));
}

// The command line's --record: a busy event loop must not make the files longer.
void TestRecording::limitedTakeKeepsItsLengthWhenTheLoopIsLate()
{
    m_manager->setCameraForChannel(1, testPatternKey(1), 640, 480, 30.0f);
    m_manager->setAudioInputForChannel(1, AudioCapture::testToneName());
    m_manager->setChannelSeparateAudioEnabled(1, true);
    QTest::qWait(150);
    QSignalSpy finished(m_manager, &ApplicationManager::takeFinished);
    m_manager->startRecording();
    QVERIFY(m_manager->isRecording());
    m_manager->limitTakeLength(600);
    QThread::msleep(1100); // the loop is late by half a second
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 10000);

    const QString take = finished.first().first().toString();
    const WavReadback master = readWav(take + QStringLiteral("/Master_Audio_Output.wav"));
    QCOMPARE(master.frames(), qint64(28800));
    QCOMPARE(readWav(take + QStringLiteral("/Channel_01_Audio.wav")).frames(), qint64(28800));
    const Readback video = readBack(take + QStringLiteral("/Camera_01.mp4"));
    QVERIFY2(std::abs(video.pts.size() - 18) <= 1, qPrintable(QString::number(video.pts.size())));
}

void TestRecording::unwritableRecordingPathDoesNotStart()
{
    // A regular file where the recording folder should be: nothing can be created under it.
    const QString blocker = QDir(outputPath()).filePath(QStringLiteral("not-a-folder"));
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    m_manager->setRecordingPath(blocker);
    m_manager->setCameraForChannel(1, testPatternKey(1), 640, 480, 30.0f);

    QSignalSpy errors(m_manager, &ApplicationManager::lastRecordingErrorChanged);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(".*")));
    m_manager->startRecording();
    QVERIFY(!m_manager->isRecording());
    QCOMPARE(errors.count(), 1);
    QVERIFY(!m_manager->lastRecordingError().isEmpty());
    QVERIFY(!m_model->isChannelRecording(1));
}

void TestRecording::takeIsRecordedInTheChosenContainer_data()
{
    QTest::addColumn<int>("formatIndex");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("demuxer");
    QTest::addColumn<bool>("hasTimecode");
    QTest::newRow("MKV") << 1 << ".mkv" << "matroska,webm" << true;
    QTest::newRow("MOV") << 2 << ".mov" << "mov,mp4,m4a,3gp,3g2,mj2" << true;
    QTest::newRow("TS") << 3 << ".ts" << "mpegts" << false;
}

void TestRecording::takeIsRecordedInTheChosenContainer()
{
    QFETCH(int, formatIndex);
    QFETCH(QString, extension);
    QFETCH(QString, demuxer);
    QFETCH(bool, hasTimecode);
    m_manager->setRecordingFormatIndex(formatIndex);
    QCOMPARE(m_manager->recordingFormatIndex(), formatIndex);
    for (int channel = 1; channel <= 2; ++channel)
        m_manager->setCameraForChannel(channel, testPatternKey(channel), 640, 480, 30.0f);
    m_manager->setActiveSourceId(1);
    QTest::qWait(150);
    QSignalSpy finished(m_manager, &ApplicationManager::takeFinished);
    m_manager->startRecording();
    QTest::qWait(800);
    m_manager->setActiveSourceId(2); // camera 2 gets a cut clip on its own track
    QTest::qWait(800);
    m_manager->stopRecording();
    QCOMPARE(finished.count(), 1);
    const QString take = m_manager->currentTakeFolder();

    const WavReadback master = readWav(take + QStringLiteral("/Master_Audio_Output.wav"));
    const double seconds = double(master.frames()) / 48000.0;
    QStringList names;
    for (int channel = 1; channel <= 2; ++channel) {
        const QString name = QStringLiteral("Camera_0%1").arg(channel) + extension;
        names.append(name);
        const QString path = take + QLatin1Char('/') + name;
        QCOMPARE(m_manager->videoPaths().at(channel), path);
        AVFormatContext *format = nullptr;
        QVERIFY2(avformat_open_input(&format, path.toUtf8().constData(), nullptr, nullptr) >= 0, qPrintable(path));
        const QString opened = QString::fromLatin1(format->iformat->name);
        avformat_close_input(&format);
        QCOMPARE(opened, demuxer);
        const Readback video = readBack(path, true);
        QVERIFY2(video.error.isEmpty(), qPrintable(video.error));
        QCOMPARE(video.width, 640);
        QCOMPARE(video.decodeErrors, 0);
        QVERIFY2(std::abs(video.pts.size() - qRound(seconds * 30.0)) <= 1,
                 qPrintable(QStringLiteral("%1 frames for %2 s").arg(video.pts.size()).arg(seconds)));
        QCOMPARE(video.videoTimecode, hasTimecode ? m_manager->startTimecode() : QString());
    }
    QCOMPARE(QDir(take).entryList({QStringLiteral("*.mp4")}, QDir::Files), QStringList());

    // The timelines name the files as recorded, in the file elements and the cut clip.
    const QStringList faults = timelineFaults(take, QStringLiteral("Test Session"), std::nullopt);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
    const XmemlTimeline timeline = readXmemlFile(take + QStringLiteral("/Test Session_Take_01.xml"));
    QStringList fileNames, urls;
    for (const XmemlFile &file : timeline.files.mid(0, 2)) {
        fileNames.append(file.name);
        urls.append(file.pathUrl);
    }
    QCOMPARE(fileNames, names);
    QCOMPARE(urls, (QStringList{QStringLiteral("file://localhost") + take + QLatin1Char('/') + names.at(0),
                                QStringLiteral("file://localhost") + take + QLatin1Char('/') + names.at(1)}));
    QCOMPARE(timeline.videoTracks.at(1).value(0).name, QStringLiteral("Cut 2 - ") + names.at(1));
}

void TestRecording::formatChangedDuringATakeAppliesToTheNext()
{
    m_manager->setCameraForChannel(1, testPatternKey(1), 640, 480, 30.0f);
    QTest::qWait(150);
    m_manager->setRecordingFormatIndex(1);
    m_manager->startRecording();
    QTest::qWait(300);
    m_manager->setRecordingFormatIndex(2);
    QCOMPARE(m_manager->recordingFormatIndex(), 2);
    QTest::qWait(300);
    m_manager->stopRecording();
    const QString first = m_manager->currentTakeFolder();
    QCOMPARE(QDir(first).entryList({QStringLiteral("Camera_*")}, QDir::Files), QStringList{QStringLiteral("Camera_01.mkv")});
    QVERIFY(readBack(first + QStringLiteral("/Camera_01.mkv")).error.isEmpty());
    // The timeline written again after the change still describes the take as it was.
    m_manager->generateTimeline();
    QFile timeline(first + QStringLiteral("/Test Session_Take_01.xml"));
    QVERIFY(timeline.open(QIODevice::ReadOnly));
    const QByteArray xml = timeline.readAll();
    QVERIFY(xml.contains("<name>Camera_01.mkv</name>"));
    QVERIFY(!xml.contains(".mov"));

    const QString second = record(300);
    QCOMPARE(QDir(second).entryList({QStringLiteral("Camera_*")}, QDir::Files), QStringList{QStringLiteral("Camera_01.mov")});
}

void TestRecording::encoderEntryPastTheListRecordsWithTheLast()
{
    // A position stored on a machine with more encoders: recorded with what the settings
    // window shows, the last entry of this machine's list.
    const QVariantList entries = m_manager->encoderCapabilities();
    m_manager->setRecordingEncoderIndex(int(entries.size()) + 3);
    m_manager->setCameraForChannel(1, testPatternKey(1), 640, 480, 30.0f);
    QTest::qWait(150);
    const QVariantMap last = entries.last().toMap();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Encoder entry \\d+ does not exist here; recording with \"%1\"")
                                                              .arg(QRegularExpression::escape(last.value("name").toString()))));
    const QString take = record(500);
    QVERIFY(!take.isEmpty());
    QVERIFY(m_manager->lastRecordingError().isEmpty());
    const Readback video = readBack(take + QStringLiteral("/Camera_01.mp4"));
    QVERIFY2(video.error.isEmpty(), qPrintable(video.error));
    QCOMPARE(int(video.codec), last.value("codec").toString() == QLatin1String("hevc") ? int(AV_CODEC_ID_HEVC) : int(AV_CODEC_ID_H264));
}

void TestRecording::longTakeGoesOnInPartsOnOneTrack()
{
    // Parts of one second: a take of 2.5 s fills three files per track, and the timeline lays
    // them one after another on the track of the first. As Broadcast WAV files, each part
    // carries the time reference of its own first sample.
    m_manager->setBroadcastWavEnabled(true);
    m_manager->setAudioPartLimitBytes(48000 * 4);
    m_manager->setCameraForChannel(1, testPatternKey(1), 640, 480, 30.0f);
    m_manager->setAudioInputForChannel(1, AudioCapture::testToneName());
    m_manager->setChannelSeparateAudioEnabled(1, true);
    m_manager->setChannelCameraLink(1, 1);
    QTest::qWait(150);
    const QString take = record(2500);
    QVERIFY(!take.isEmpty());
    QVERIFY(m_manager->lastRecordingError().isEmpty());

    // The MP4's timecode track and the WAV files' time reference name the same instant.
    const double start = timecodeSeconds(readBack(take + QStringLiteral("/Camera_01.mp4")).videoTimecode);
    QCOMPARE(start, timecodeSeconds(m_manager->startTimecode()));
    for (const QString &name : {QStringLiteral("Master_Audio_Output"), QStringLiteral("Channel_01_Audio")}) {
        const QStringList parts = {take + "/" + name + ".wav", take + "/" + name + "_002.wav", take + "/" + name + "_003.wav"};
        qint64 frames = 0;
        for (const QString &part : parts) {
            const WavReadback wav = readWav(part);
            QVERIFY2(wav.headerValid, qPrintable(part));
            QVERIFY(part == parts.last() || wav.frames() == 48000);
            QVERIFY(wav.bext);
            QCOMPARE(wav.bext->timeReference, quint64(std::llround(start * 48000)) + quint64(frames));
            frames += wav.frames();
        }
        QVERIFY(!QFile::exists(take + "/" + name + "_004.wav"));
        QCOMPARE(frames, qint64(120000));
    }

    // Both timelines as an editor reads them; the reader also opens every part and checks it
    // sits on the sequence where its time reference says.
    QCOMPARE(timelineFaults(take, QStringLiteral("Test Session"), 75), QStringList());
    const XmemlTimeline timeline = readXmemlFile(take + QStringLiteral("/Test Session_Take_01_AllAngles.xml"));
    QStringList placed;
    for (const QList<XmemlClip> &track : timeline.audioTracks) {
        for (const XmemlClip &clip : track)
            placed.append(QStringLiteral("%1 %2-%3").arg(clip.id).arg(clip.start).arg(clip.end));
    }
    QCOMPARE(placed, (QStringList{"master-audio-1 0-30", "master-audio-1-part2 30-60", "master-audio-1-part3 60-75",
                                  "channel-audio-1 0-30", "channel-audio-1-part2 30-60", "channel-audio-1-part3 60-75"}));
    QVERIFY(timeline.file(QStringLiteral("file-master-audio-part3"))->pathUrl.endsWith(QStringLiteral("Master_Audio_Output_003.wav")));
}

void TestRecording::timelineThatCannotBeWrittenIsAFailure()
{
#if defined(Q_OS_LINUX)
    const QString take = record(300);
    QVERIFY(!take.isEmpty());
    QVERIFY(m_manager->lastRecordingError().isEmpty());
    const QString timeline = take + QStringLiteral("/Test Session_Take_01.xml");
    QFile written(timeline);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray before = written.readAll();
    written.close();

    // Written again on a disk that is full (a file size limit for this process): both files
    // fail, the log says so and never claims success, and the earlier files stay whole.
    QStringList log;
    static QStringList *captured = nullptr;
    captured = &log;
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &text) {
        captured->append(text);
    });
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 1000;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    m_manager->generateTimeline();
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, previousHandler);
    qInstallMessageHandler(previous);

    QVERIFY2(m_manager->lastRecordingError().startsWith(QStringLiteral("Timeline not written: Test Session_Take_01.xml: ")),
             qPrintable(m_manager->lastRecordingError()));
    QVERIFY(m_manager->lastRecordingError().contains(QStringLiteral("Test Session_Take_01_AllAngles.xml: ")));
    QCOMPARE(log.filter(QStringLiteral("Failed to export XML to:")).size(), 2);
    QCOMPARE(log.filter(QStringLiteral("Successfully exported")), QStringList());
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), before);
    QCOMPARE(QDir(take).entryList({QStringLiteral("*.xml*")}, QDir::Files | QDir::Hidden).size(), 2); // no temporary file

    // Once it can be written again, the error about it is gone.
    m_manager->generateTimeline();
    QCOMPARE(m_manager->lastRecordingError(), QString());
#else
    QSKIP("needs RLIMIT_FSIZE to fill the disk");
#endif
}

void TestRecording::takeLeftWithoutTimelinesIsRebuiltAndAnnounced()
{
    m_manager->setCameraForChannel(1, testPatternKey(1), 640, 480, 30.0f);
    QTest::qWait(150);
    QTimer::singleShot(400, m_manager, [this] { m_manager->dropMarker(QStringLiteral("here")); });
    const QString take = record(1200);
    QVERIFY(!take.isEmpty());
    // As a crash leaves it: the journal without its stop, no timeline.
    for (const QString &name : QDir(take).entryList({QStringLiteral("*.xml"), QStringLiteral("*.fcpxml"), QStringLiteral("*.otio")}))
        QVERIFY(QFile::remove(take + QLatin1Char('/') + name));
    QFile journal(take + QStringLiteral("/Cut_Journal.txt"));
    QVERIFY(journal.open(QIODevice::ReadOnly));
    QByteArray lines = journal.readAll();
    journal.close();
    lines.truncate(lines.lastIndexOf(" stop\n") - 12);
    QVERIFY(journal.open(QIODevice::WriteOnly | QIODevice::Truncate) && journal.write(lines + "00:00:01.1") > 0);
    journal.close();

    QSignalSpy announced(m_manager, &ApplicationManager::takeRecoveryChanged);
    m_manager->recoverInterruptedTakes();
    m_manager->waitForTakeRecovery();
    QCOMPARE(announced.count(), 1);
    QCOMPARE(m_manager->takeRecoveryText(), QStringLiteral("Take_01 recovered \u2014 timelines rebuilt"));
    m_manager->setCurrentLanguage(QStringLiteral("SR"));
    QCOMPARE(m_manager->takeRecoveryText(), QStringLiteral("Take_01 vra\u0107en \u2014 vremenske linije ponovo napravljene"));
    m_manager->setCurrentLanguage(QStringLiteral("EN"));
    QStringList markers;
    QVERIFY2(timelineFaults(take, QStringLiteral("Test Session"), std::nullopt, &markers).isEmpty(), "rebuilt timelines");
    QCOMPARE(markers.first().split(' ').size(), 3); // the marker in each format
    m_manager->dismissTakeRecovery();
    QCOMPARE(m_manager->takeRecoveryText(), QString());
    // Found once: a take with its timelines back is left alone.
    announced.clear();
    m_manager->recoverInterruptedTakes();
    m_manager->waitForTakeRecovery();
    QCOMPARE(announced.count(), 0);
    QCOMPARE(m_manager->takeRecoveryText(), QString());
}

QTEST_MAIN(TestRecording)
#include "tst_recording.moc"
