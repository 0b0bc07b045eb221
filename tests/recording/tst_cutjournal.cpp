// The cut journal of a take and the takes rebuilt from it: every event read back as it was
// written, a journal cut short anywhere read to its last whole line, and a take without
// timelines rebuilt from its journal and its files as they are on disk (files shorter than
// the journal says, a WAV track in parts), every timeline then read by its strict reader with
// every file opened.
#include "capture/VideoFrame.h"
#include "recording/CutJournal.h"
#include "recording/CutJournalReader.h"
#include "recording/FfmpegEncoder.h"
#include "recording/TakeRecovery.h"
#include "recording/TimelineMarker.h"
#include "recording/TimelineExport.h"
#include "recording/WavWriter.h"

#include "FcpxmlReader.h"
#include "OtioReader.h"
#include "XmemlReader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <thread>
#include <vector>

namespace {

CutJournalTake sampleTake()
{
    CutJournalTake take;
    take.sessionName = QStringLiteral("Tom & \"Jerry\" Čačak");
    take.startTimecode = QStringLiteral("10:00:00:00");
    take.rate = FrameRate{30, 1};
    take.width = 320;
    take.height = 180;
    take.cameraFiles = {{1, QStringLiteral("Camera_01.mp4")}, {2, QStringLiteral("Camera_02.mp4")}};
    take.masterFile = QStringLiteral("Master_Audio_Output.wav");
    take.channelAudioFiles = {{2, QStringLiteral("Channel_02_Audio.wav")}};
    take.cameraLinks = {{2, 2}};
    return take;
}

// Writes a journal of sampleTake(): the events below, and a stop when asked.
QByteArray writeJournal(const QString &folder, bool stopped)
{
    CutJournal journal;
    if (!journal.open(folder, sampleTake()))
        return {};
    journal.noteSwitch(0, 1);
    journal.noteSwitch(1000, 2);
    journal.noteMarker(1200, 1, QStringLiteral("good take\nfrom \"here\""));
    journal.noteSwitch(2500, 1);
    journal.noteCameraJoined(2600, 3, QStringLiteral("Camera_03.mp4"), 78);
    journal.noteMarker(3723456, 2, QStringLiteral("cough at 12:03"));
    if (stopped)
        journal.noteStop(3800000);
    journal.close();
    QFile file(cutJournalPath(folder));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeVideo(const QString &path, int frames)
{
    FfmpegEncoder encoder;
    EncoderConfig config;
    config.outputPath = path;
    config.width = 320;
    config.height = 180;
    config.targetBitrateKbps = 500;
    config.startTimecode = QStringLiteral("10:00:00:00");
    QVERIFY2(encoder.open(config), qPrintable(encoder.lastError()));
    const QByteArray picture(320 * 180 * 4, char(90));
    for (int i = 0; i < frames; ++i) {
        VideoFrame frame;
        frame.pixels = picture;
        frame.width = 320;
        frame.height = 180;
        frame.frameIndex = i;
        encoder.writeFrame(frame);
        while (i - encoder.framesEncoded() - encoder.droppedFrames() > 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    QVERIFY(encoder.stop());
}

void writeWav(const QString &path, double seconds)
{
    WavWriter wav;
    QVERIFY(wav.open(path, 48000, 2));
    wav.writeSamples(std::vector<float>(size_t(seconds * 48000) * 2, 0.1f));
    wav.close();
}

} // namespace

class TestCutJournal : public QObject
{
    Q_OBJECT

private slots:
    void journalReadsBackWhatWasWritten();
    void journalCutAnywhereReadsItsWholeLines();
    void takeWithoutTimelinesIsRebuiltFromItsFiles();
    void markerName_data();
    void markerName();
};

void TestCutJournal::journalReadsBackWhatWasWritten()
{
    QTemporaryDir dir;
    const QByteArray bytes = writeJournal(dir.path(), true);
    // A person reads it: the take time of each event, then what happened.
    QVERIFY2(bytes.contains("\n00:00:01.000 switch 2\n"), bytes.constData());
    QVERIFY(bytes.contains("\n01:02:03.456 marker 2 \"cough at 12:03\"\n"));
    QVERIFY(bytes.contains("\n00:00:00.000 audio 2 \"Channel_02_Audio.wav\" link 2\n"));

    const CutJournalContents read = parseCutJournal(bytes);
    QVERIFY(read.hasTake);
    QCOMPARE(read.unreadable, QStringList());
    QVERIFY(!read.endsMidLine);
    const CutJournalTake expected = sampleTake();
    QCOMPARE(read.take.sessionName, expected.sessionName);
    QCOMPARE(read.take.startTimecode, expected.startTimecode);
    QCOMPARE(read.take.rate, expected.rate);
    std::map<int, QString> cameras = expected.cameraFiles;
    cameras[3] = QStringLiteral("Camera_03.mp4"); // joined the take at frame 78
    QCOMPARE(read.take.cameraFiles, cameras);
    QCOMPARE(read.take.cameraStartFrames, (std::map<int, qint64>{{3, 78}}));
    QCOMPARE(read.take.masterFile, expected.masterFile);
    QCOMPARE(read.take.channelAudioFiles, expected.channelAudioFiles);
    QCOMPARE(read.take.cameraLinks, expected.cameraLinks);
    QCOMPARE(read.cuts.size(), 3);
    QCOMPARE(read.cuts.at(1).channelId, 2);
    QCOMPARE(read.cuts.at(1).timeMs, qint64(1000));
    QCOMPARE(read.markers.size(), 2);
    QCOMPARE(read.markers.at(0).name, QStringLiteral("good take\nfrom \"here\""));
    QCOMPARE(read.markers.at(1).timeMs, qint64(3723456));
    QCOMPARE(read.stopMs, std::optional<qint64>(3800000));
}

void TestCutJournal::journalCutAnywhereReadsItsWholeLines()
{
    QTemporaryDir dir;
    const QByteArray bytes = writeJournal(dir.path(), true);
    const CutJournalContents whole = parseCutJournal(bytes);
    // Cut after every byte: whatever a crash left, the events read are the first ones written,
    // and only a line cut short is left out.
    for (qsizetype length = 0; length <= bytes.size(); ++length) {
        const CutJournalContents cut = parseCutJournal(bytes.left(length));
        const bool atLineEnd = length == 0 || bytes.at(length - 1) == '\n';
        QVERIFY2(cut.endsMidLine == !atLineEnd, qPrintable(QString::number(length)));
        QVERIFY2(cut.unreadable.isEmpty(), qPrintable(QString::number(length)));
        QVERIFY(cut.cuts.size() <= whole.cuts.size() && cut.markers.size() <= whole.markers.size());
        for (qsizetype i = 0; i < cut.cuts.size(); ++i)
            QCOMPARE(cut.cuts.at(i).timeMs, whole.cuts.at(i).timeMs);
        for (qsizetype i = 0; i < cut.markers.size(); ++i)
            QCOMPARE(cut.markers.at(i).name, whole.markers.at(i).name);
    }
    // A damaged line in the middle costs that line only.
    static const char garbage[] = "00:00:01.000 swi\xff\0tch\n00:00:01.5 switch 3\n00:00:01.600 marker 3 \"open\n";
    QByteArray damaged = bytes;
    damaged.replace("00:00:01.000 switch 2\n", QByteArray(garbage, sizeof garbage - 1));
    const CutJournalContents read = parseCutJournal(damaged);
    QCOMPARE(read.unreadable.size(), 3);
    QCOMPARE(read.cuts.size(), 2);
    QCOMPARE(read.markers.size(), 2);
    QVERIFY(read.stopMs.has_value());
}

void TestCutJournal::takeWithoutTimelinesIsRebuiltFromItsFiles()
{
    QTemporaryDir root;
    const QString take = root.filePath(QStringLiteral("Show/Take_03"));
    QVERIFY(QDir().mkpath(take));
    // The journal goes on past the files' end (the cameras stopped writing before the crash);
    // the master went on in a second part.
    writeJournal(take, false);
    writeVideo(take + QStringLiteral("/Camera_01.mp4"), 90);
    writeVideo(take + QStringLiteral("/Camera_02.mp4"), 60);
    writeWav(take + QStringLiteral("/Master_Audio_Output.wav"), 1.5);
    writeWav(take + QStringLiteral("/Master_Audio_Output_002.wav"), 1.5);
    writeWav(take + QStringLiteral("/Channel_02_Audio.wav"), 2.5);
    // Beside it: a take that stopped normally, and a folder without a journal.
    const QString finished = root.filePath(QStringLiteral("Show/Take_02"));
    QVERIFY(QDir().mkpath(finished));
    writeJournal(finished, true);
    QFile(finished + QStringLiteral("/Tom & _Jerry_ Čačak_Take_02.xml")).open(QIODevice::WriteOnly);
    QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("Show/Take_01"))));

    QCOMPARE(takesNeedingRecovery(root.path()), QStringList{take});
    const TakeRecoveryResult rebuilt = rebuildTakeFromJournal(take);
    QCOMPARE(rebuilt.error, QString());
    QVERIFY2(rebuilt.found.join('|').contains(QStringLiteral("Master: Master_Audio_Output.wav, 3.0 s in 2 parts")),
             qPrintable(rebuilt.found.join('|')));
    QList<TimelineFileWrite> results;
    QVERIFY(writeTimeline(rebuilt.input, &results));
    QCOMPARE(results.size(), 6);
    QCOMPARE(takesNeedingRecovery(root.path()), QStringList());

    // No stop in the journal: the take lasts to its last event (the marker at 1:02:03.456).
    const qint64 frames = 3723456 * 30 / 1000 + 1;
    for (const TimelineFileWrite &result : results) {
        QStringList faults;
        QStringList markers;
        if (result.format == TimelineFormat::Xmeml) {
            const XmemlTimeline t = readXmemlFile(result.path, frames);
            faults = t.faults + checkXmemlMedia(t);
            for (const XmemlMarker &m : t.markers)
                markers << QString::number(m.in);
        } else if (result.format == TimelineFormat::Fcpxml) {
            const FcpxmlTimeline t = readFcpxmlFile(result.path, frames);
            faults = t.faults + checkFcpxmlMedia(t);
            for (const FcpxmlMarker &m : t.markers)
                markers << QString::number(m.frame);
        } else {
            const OtioTimeline t = readOtioFile(result.path, frames);
            faults = t.faults + checkOtioMedia(t);
            for (const OtioMarker &m : t.markers)
                markers << QString::number(m.frame);
            // The programme: camera 1, camera 2 until its file ends (2 s), nothing, camera 1.
            if (result.layout == TimelineLayout::ProgrammeCut) {
                QStringList programme;
                for (const OtioClip &clip : t.tracks.first().items)
                    programme << (clip.isGap() ? QStringLiteral("gap") : QFileInfo(clip.path).fileName())
                                     + QStringLiteral(" %1").arg(clip.duration);
                QCOMPARE(programme.mid(0, 4), (QStringList{"Camera_01.mp4 30", "Camera_02.mp4 30", "gap 15", "Camera_01.mp4 15"}));
            }
        }
        QVERIFY2(faults.isEmpty(), qPrintable(result.path + ": " + faults.join("; ")));
        QCOMPARE(markers, (QStringList{"36", QString::number(frames - 1)}));
    }
}

void TestCutJournal::markerName_data()
{
    QTest::addColumn<QString>("requested");
    QTest::addColumn<QString>("expected");
    QTest::newRow("none: numbered") << "" << "Marker 3";
    QTest::newRow("blanks only") << " \t\n " << "Marker 3";
    QTest::newRow("line breaks and blanks") << "  cough\r\nat 12:03 \u0007" << "cough at 12:03";
    QTest::newRow("markup and non-ASCII kept") << "Tom & <Jerry> \"Čačak\"" << "Tom & <Jerry> \"Čačak\"";
    QTest::newRow("too long") << QString(200, 'x') << QString(120, 'x');
    // 🎬 is two UTF-16 units: the cut never leaves half of it.
    QTest::newRow("too long, whole characters") << QString(119, 'x') + QStringLiteral("🎬") << QString(119, 'x');
}

void TestCutJournal::markerName()
{
    QFETCH(QString, requested);
    QFETCH(QString, expected);
    QCOMPARE(timelineMarkerName(requested, 3), expected);
}

QTEST_GUILESS_MAIN(TestCutJournal)
#include "tst_cutjournal.moc"
