// Timeline export: whole xmeml documents against reviewed files in data/ (both layouts); every
// document of every format, and every reviewed file, read back by the strict readers
// (tests/common) as an editor's import would, the three formats showing the same edit; frame
// and timecode arithmetic at every rate; the all-angles layout; URLs, file names, and writes
// that fail (a full disk among them) leaving no half document.
// Longer than our other files: the three formats are checked side by side on the same takes,
// so an edit that one of them renders differently shows here.
#include "recording/Timecode.h"
#include "recording/TimelineExport.h"
#include "recording/TimelineModelBuilder.h"
#include "recording/TimelinePaths.h"

#include "FcpxmlReader.h"
#include "OtioReader.h"
#include "XmemlReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif
#if defined(Q_OS_LINUX)
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

const QString kDataDir = QStringLiteral(VIREON_TIMELINE_DATA_DIR);

TimelineExportInput takeInput(const QString &takeFolder, const QList<int> &cameras,
                              qint64 durationMs, const QList<TimelineCut> &cuts,
                              const QList<QPair<int, int>> &isoLinks = {})
{
    TimelineExportInput input;
    input.sessionName = QStringLiteral("Show");
    input.takeFolderPath = takeFolder;
    input.startTimecode = QStringLiteral("10:15:30:00");
    input.durationMs = durationMs;
    input.masterWavPath = takeFolder + QStringLiteral("/Master_Audio_Output.wav");
    for (int id : cameras)
        input.videoPaths[id]
            = QStringLiteral("%1/Camera_%2.mp4").arg(takeFolder).arg(id, 2, 10, QLatin1Char('0'));
    for (const auto &[id, camera] : isoLinks) {
        input.isoAudioPaths[id] = QStringLiteral("%1/Channel_%2_Audio.wav")
                                      .arg(takeFolder)
                                      .arg(id, 2, 10, QLatin1Char('0'));
        input.cameraLinks[id] = camera;
    }
    input.cuts = cuts;
    return input;
}

// The takes whose documents were reviewed line by line and kept in data/.
QList<QPair<QString, TimelineExportInput>> reviewedTakes()
{
    TimelineExportInput blank = takeInput(
        QStringLiteral("/rec/Session_2024-05-01_09-00-00/Take_01"), {1}, 5000, {{1, 0}});
    blank.sessionName = QStringLiteral("   ");
    TimelineExportInput windows = takeInput(QStringLiteral("C:/Rec/Tom & Jerry/Take_01"), {1, 2},
                                            3000, {{1, 0}, {2, 1000}}, {{1, 1}});
    windows.sessionName = QStringLiteral("Tom & Jerry");
    return {
        {"three_cuts.xml",
         takeInput("/rec/Show/Take_03", {1, 2}, 12000, {{1, 0}, {2, 4000}, {1, 9000}})},
        {"only_channel_3.xml",
         takeInput("/rec/Show/Take_01", {3}, 8000, {{3, 0}, {1, 2000}, {3, 5000}},
                   {{1, 3}, {2, 0}})},
        {"two_audio_one_camera.xml",
         takeInput("/rec/Show/Take_02", {1, 2}, 10000, {{1, 0}, {2, 3000}, {1, 6000}, {2, 8000}},
                   {{1, 2}, {2, 2}})},
        {"cuts_within_one_frame.xml",
         takeInput("/rec/Show/Take_04", {1, 2, 3}, 12000, {{1, 0}, {2, 4000}, {3, 4010}, {1, 9000}},
                   {{3, 3}})},
        {"blank_session.xml", blank},
        {"audio_only.xml",
         takeInput("/rec/Show/Take_05", {}, 10000, {{2, 0}, {4, 5000}}, {{2, 2}})},
        {"windows_paths.xml", windows},
    };
}

// The reviewed takes and the harder ones beside them.
QList<QPair<QString, TimelineExportInput>> everyTake()
{
    QList<QPair<QString, TimelineExportInput>> takes = reviewedTakes();
    const QList<TimelineCut> busyCuts = {{2, 0},    {3, 1000}, {4, 1010}, {2, 2000}, {1, 3000},
                                         {3, 4000}, {4, 5000}, {3, 6000}, {4, 59990}};
    takes.append({"four cameras, four ISO tracks, one linked nowhere",
                  takeInput("/rec/Busy/Take_09", {1, 2, 3, 4}, 60000, busyCuts, {{1, 4}, {2, 1}, {3, 3}, {4, 9}})});
    TimelineExportInput parts = takeInput("/rec/Long/Take_01", {1, 2}, 12000, {{1, 0}, {2, 5000}}, {{1, 2}});
    parts.audioParts[parts.masterWavPath] = {{parts.masterWavPath, 240000}, {"/rec/Long/Take_01/Master_Audio_Output_002.wav", 336000}};
    takes.append({"master in two parts", parts});
    TimelineExportInput drop = takeInput("/rec/Df/Take_01", {1, 2}, 12000, {{1, 0}, {2, 5000}});
    drop.frameRate = FrameRate{30000, 1001};
    drop.startTimecode = QStringLiteral("09:59:00;02");
    takes.append({"29.97 drop-frame timecode", drop});
    takes.append({"no files, no cuts", TimelineExportInput()});
    return takes;
}

// The reviewed takes whose all-angles documents are kept in data/ too.
bool hasReviewedAllAngles(const QString &name)
{
    static const QStringList names = {"three_cuts.xml", "two_audio_one_camera.xml", "cuts_within_one_frame.xml",
                                      "audio_only.xml"};
    return names.contains(name);
}

QString allAnglesName(const QString &name)
{
    return QString(name).replace(QLatin1String(".xml"), QLatin1String("_AllAngles.xml"));
}

qint64 takeFrames(const TimelineExportInput &input)
{
    const qint64 frames = std::llround(double(input.durationMs) * Timecode::usableFrameRate(input.frameRate.toDouble()) / 1000.0);
    return frames > 0 ? frames : Timecode::timebase(input.frameRate.toDouble());
}

// "<start>-<end>" of every clip of a track, with its file id when asked.
QString placement(const QList<XmemlClip> &track, bool withFile = false)
{
    QStringList clips;
    for (const XmemlClip &c : track)
        clips << (withFile ? c.fileId + QLatin1Char(' ') : QString()) + QStringLiteral("%1-%2").arg(c.start).arg(c.end);
    return clips.join(QLatin1String(", "));
}


// What an editor sees of a take in one format and layout, read back by the format's strict
// reader: the programme as "<file> <start>-<end>" per clip and the markers as "<name>@<frame>".
// (The xmeml programme cut spreads the programme over several tracks; it shows none here.)
struct EditorView
{
    QStringList faults;
    qint64 duration = 0;
    QString programme;
    QString markers;
    int audioTracks = 0;
};

EditorView readAsEditor(const TimelineModel &model, TimelineFormat format, TimelineLayout layout)
{
    const QByteArray document = buildTimelineDocument(model, format, layout);
    EditorView view;
    QStringList programme, markers;
    const auto piece = [&](const QString &file, qint64 start, qint64 length) {
        programme << QStringLiteral("%1 %2-%3").arg(file).arg(start).arg(start + length);
    };
    if (format == TimelineFormat::Xmeml) {
        const XmemlTimeline t = readXmeml(document, model.durationFrames);
        view = {t.faults, t.duration, {}, {}, int(t.audioTracks.size())};
        if (layout == TimelineLayout::AllAngles && !t.videoTracks.isEmpty())
            for (const XmemlClip &c : t.videoTracks.last())
                piece(t.file(c.fileId) ? t.file(c.fileId)->name : c.fileId, c.start, c.end - c.start);
        for (const XmemlMarker &m : t.markers)
            markers << QStringLiteral("%1@%2").arg(m.name).arg(m.in);
    } else if (format == TimelineFormat::Fcpxml) {
        const FcpxmlTimeline t = readFcpxml(document, model.durationFrames);
        view = {t.faults, t.duration, {}, {}, 0};
        const QList<FcpxmlClip> clips = layout == TimelineLayout::AllAngles
            ? (t.lanes.isEmpty() || t.lanes.lastKey() <= 0 ? QList<FcpxmlClip>() : t.lanes.last())
            : t.storyline;
        for (const FcpxmlClip &c : clips) {
            if (!c.assetId.isEmpty())
                piece(t.asset(c.assetId) ? t.asset(c.assetId)->name : c.assetId, c.sequenceStart, c.duration);
        }
        for (auto lane = t.lanes.cbegin(); lane != t.lanes.cend(); ++lane)
            view.audioTracks += lane.key() < 0 ? 1 : 0;
        for (const FcpxmlMarker &m : t.markers)
            markers << QStringLiteral("%1@%2").arg(m.value).arg(m.frame);
    } else {
        const OtioTimeline t = readOtio(document, model.durationFrames);
        view = {t.faults, t.duration, {}, {}, int(t.tracksOfKind(QStringLiteral("Audio")).size())};
        const QList<const OtioTrack *> video = t.tracksOfKind(QStringLiteral("Video"));
        if (!video.isEmpty())
            for (const OtioClip &c : (layout == TimelineLayout::AllAngles ? video.last() : video.first())->items) {
                if (!c.isGap())
                    piece(QFileInfo(c.path).fileName(), c.trackStart, c.duration);
            }
        for (const OtioMarker &m : t.markers)
            markers << QStringLiteral("%1@%2").arg(m.name).arg(m.frame);
    }
    view.programme = programme.join(QLatin1String(", "));
    view.markers = markers.join(QLatin1String(", "));
    return view;
}

} // namespace

Q_DECLARE_METATYPE(TimelineCut)
Q_DECLARE_METATYPE(TimelineExportInput)
Q_DECLARE_METATYPE(TimelineLayout)

class TestTimelineExport : public QObject
{
    Q_OBJECT

private slots:
    void documentMatchesReviewedFile_data();
    void documentMatchesReviewedFile();
    void documentReadsAsAnEditorReadsIt_data();
    void documentReadsAsAnEditorReadsIt();
    void reviewedFilesReadAsAnEditorReadsThem();
    void everyFormatShowsTheSameEdit_data();
    void everyFormatShowsTheSameEdit();
    void everyRateInEveryFormat_data();
    void everyRateInEveryFormat();
    void textIsEscaped_data();
    void textIsEscaped();
    void frameArithmetic_data();
    void frameArithmetic();
    void startTimecode_data();
    void startTimecode();
    void allAnglesLayout_data();
    void allAnglesLayout();
    void videoFilesAreNamedAsRecorded_data();
    void videoFilesAreNamedAsRecorded();
    void fileUrl_data();
    void fileUrl();
    void outputPath_data();
    void outputPath();
    void writesAndReplacesTheFile();
    void failedWriteLeavesNoFile_data();
    void failedWriteLeavesNoFile();
};

void TestTimelineExport::documentMatchesReviewedFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<TimelineExportInput>("input");
    QTest::addColumn<TimelineLayout>("layout");
    for (const auto &[name, input] : reviewedTakes()) {
        QTest::newRow(qPrintable(name)) << name << input << TimelineLayout::ProgrammeCut;
        if (hasReviewedAllAngles(name))
            QTest::newRow(qPrintable(allAnglesName(name))) << allAnglesName(name) << input << TimelineLayout::AllAngles;
    }
}

void TestTimelineExport::documentMatchesReviewedFile()
{
    QFETCH(QString, name);
    QFETCH(TimelineExportInput, input);
    QFETCH(TimelineLayout, layout);
    const QByteArray actual = buildXmemlDocument(input, layout);
    QFile golden(kDataDir + QLatin1Char('/') + name);
    const bool hasGolden = golden.open(QIODevice::ReadOnly);
    const QByteArray expected = golden.readAll();
    if (hasGolden && actual == expected)
        return;

    // The produced document goes beside the test binary for review, never over data/.
    QDir().mkpath(QCoreApplication::applicationDirPath() + QStringLiteral("/timeline-actual"));
    QFile out(QCoreApplication::applicationDirPath() + QStringLiteral("/timeline-actual/") + name);
    if (out.open(QIODevice::WriteOnly))
        out.write(actual);
    QVERIFY2(
        hasGolden,
        qPrintable("missing reviewed file " + golden.fileName() + "; produced " + out.fileName()));
    const QList<QByteArray> a = actual.split('\n'), e = expected.split('\n');
    qsizetype line = 0;
    while (line < a.size() && line < e.size() && a.at(line) == e.at(line))
        ++line;
    QFAIL(
        qPrintable(QStringLiteral("line %1 differs:\n  expected: %2\n  actual:   %3\n(produced %4)")
                       .arg(line + 1)
                       .arg(QString::fromUtf8(e.value(line)), QString::fromUtf8(a.value(line)),
                            out.fileName())));
}

void TestTimelineExport::documentReadsAsAnEditorReadsIt_data()
{
    QTest::addColumn<TimelineExportInput>("input");
    QTest::addColumn<TimelineLayout>("layout");
    for (const auto &[name, input] : everyTake()) {
        QTest::newRow(qPrintable(name)) << input << TimelineLayout::ProgrammeCut;
        QTest::newRow(qPrintable(name + " (all angles)")) << input << TimelineLayout::AllAngles;
    }
}

void TestTimelineExport::documentReadsAsAnEditorReadsIt()
{
    QFETCH(TimelineExportInput, input);
    QFETCH(TimelineLayout, layout);
    const XmemlTimeline timeline = readXmeml(buildXmemlDocument(input, layout), takeFrames(input));
    QCOMPARE(timeline.faults, QStringList());
    QCOMPARE(timeline.audioTracks.size(), qsizetype(input.isoAudioPaths.size() + 1));
    const qsizetype cameras = qsizetype(input.videoPaths.size());
    if (layout == TimelineLayout::AllAngles) {
        // Every recorded camera for the whole take, and the programme cut above them.
        QCOMPARE(timeline.videoTracks.size(), cameras + 1);
        for (qsizetype i = 0; i < cameras; ++i)
            QCOMPARE(placement(timeline.videoTracks.at(i)), QStringLiteral("0-%1").arg(timeline.duration));
        QCOMPARE(timeline.sequenceName, timelineProjectName(input.sessionName) + QLatin1Char(' ')
                                            + QFileInfo(input.takeFolderPath).fileName() + QStringLiteral(" All Angles"));
    } else if (cameras > 0) {
        QCOMPARE(timeline.videoTracks.size(), cameras);
    }
    // The sequence's ruler starts where the files' timecode does.
    for (const XmemlFile &file : timeline.files) {
        if (file.timecode)
            QCOMPARE(file.timecode->frame, timeline.timecode->frame);
    }
}

void TestTimelineExport::reviewedFilesReadAsAnEditorReadsThem()
{
    // The reviewed files themselves, as they stand in data/ (an editor never sees the writer).
    const QStringList names = QDir(kDataDir).entryList({QStringLiteral("*.xml")}, QDir::Files);
    QVERIFY(names.size() >= 11);
    for (const QString &name : names) {
        const XmemlTimeline timeline = readXmemlFile(kDataDir + QLatin1Char('/') + name);
        QVERIFY2(timeline.faults.isEmpty(), qPrintable(name + ": " + timeline.faults.join("; ")));
        QCOMPARE(timeline.timecode->text, QStringLiteral("10:15:30:00"));
        QCOMPARE(timeline.timecode->frame, qint64(1107900)); // ((10 × 60 + 15) × 60 + 30) × 30
    }
}

void TestTimelineExport::everyFormatShowsTheSameEdit_data()
{
    QTest::addColumn<TimelineExportInput>("input");
    QTest::addColumn<QString>("programme"); // "*": as every other format shows it
    QTest::addColumn<QString>("markers");
    for (const auto &[name, input] : everyTake())
        QTest::newRow(qPrintable(name)) << input << "*" << "";

    const QList<TimelineCut> cuts = {{1, 0}, {2, 4000}, {1, 9000}};
    TimelineExportInput marked = takeInput("/rec/Show/Take_03", {1, 2}, 12000, cuts, {{2, 2}});
    marked.markers = {{0, "Start"}, {5000, "cough & <laugh> \"A\""}, {12000, ""}};
    QTest::newRow("three markers, the last at the very end")
        << marked << "Camera_01.mp4 0-120, Camera_02.mp4 120-270, Camera_01.mp4 270-360"
        << "Start@0, cough & <laugh> \"A\"@150, Marker 3@359";

    // A take rebuilt after a crash: every clip ends where its file does, gaps where none is left.
    TimelineExportInput crashed = takeInput("/rec/Show/Take_04", {1, 2}, 12000, cuts, {{2, 2}});
    crashed.measuredFiles[crashed.videoPaths[1]] = {11.0, std::nullopt};
    crashed.measuredFiles[crashed.videoPaths[2]] = {7.5, std::nullopt};
    crashed.measuredFiles[crashed.masterWavPath] = {10.0, std::nullopt};
    crashed.measuredFiles[crashed.isoAudioPaths[2]] = {11.99, qint64(36930) * 48000};
    crashed.markers = {{8000, "after camera 2 stopped"}};
    QTest::newRow("files shorter than the take")
        << crashed << "Camera_01.mp4 0-120, Camera_02.mp4 120-225, Camera_01.mp4 270-330" << "after camera 2 stopped@240";
}

void TestTimelineExport::everyFormatShowsTheSameEdit()
{
    QFETCH(TimelineExportInput, input);
    QFETCH(QString, programme);
    QFETCH(QString, markers);
    const TimelineModel model = buildTimelineModel(input);
    std::optional<QString> shown; // the programme as the first format showed it
    for (const TimelineLayout layout : {TimelineLayout::ProgrammeCut, TimelineLayout::AllAngles}) {
        for (const TimelineFormat format : timelineFormats()) {
            const EditorView view = readAsEditor(model, format, layout);
            const QString where = QStringLiteral("format %1, layout %2").arg(int(format)).arg(int(layout));
            QVERIFY2(view.faults.isEmpty(), qPrintable(where + ": " + view.faults.join("; ")));
            QCOMPARE(view.duration, model.durationFrames);
            QCOMPARE(view.audioTracks, int(input.isoAudioPaths.size() + 1));
            QVERIFY2(view.markers == markers, qPrintable(where + ": " + view.markers));
            if (format == TimelineFormat::Xmeml && layout == TimelineLayout::ProgrammeCut)
                continue;
            if (!shown)
                shown = view.programme;
            QVERIFY2(view.programme == *shown, qPrintable(where + ": " + view.programme + " | " + *shown));
        }
    }
    if (programme != QLatin1String("*"))
        QCOMPARE(*shown, programme);
}

void TestTimelineExport::everyRateInEveryFormat_data()
{
    QTest::addColumn<double>("fps");
    QTest::addColumn<QString>("timecode");
    QTest::addColumn<int>("numerator");   // the exact rate
    QTest::addColumn<int>("denominator");
    QTest::addColumn<qint64>("startFrame"); // of the timecode, counted as editors count it
    QTest::addColumn<qint64>("frames");     // of a 12 s take
    const auto row = [](const char *name, double fps, const char *tc, int n, int d, qint64 start, qint64 frames) {
        QTest::newRow(name) << fps << QString::fromLatin1(tc) << n << d << start << frames;
    };
    // 10:15:30 is 36 930 s of labels; drop-frame skips 2 (4) labels in 554 of its minutes.
    row("23.976", 23.976, "10:15:30:00", 24000, 1001, 36930 * 24, 288);
    row("24", 24.0, "10:15:30:00", 24, 1, 36930 * 24, 288);
    row("25", 25.0, "10:15:30:12", 25, 1, 36930 * 25 + 12, 300);
    row("29.97 drop-frame", 29.97, "10:15:30;00", 30000, 1001, 36930 * 30 - 2 * 554, 360);
    row("29.97 non-drop-frame", 29.97, "10:15:30:00", 30000, 1001, 36930 * 30, 360);
    row("30", 30.0, "10:15:30:00", 30, 1, 36930 * 30, 360);
    row("50", 50.0, "10:15:30:49", 50, 1, 36930 * 50 + 49, 600);
    row("59.94 drop-frame", 59.94, "10:15:30;00", 60000, 1001, 36930 * 60 - 4 * 554, 719);
    row("60", 60.0, "10:15:30:00", 60, 1, 36930 * 60, 720);
}

void TestTimelineExport::everyRateInEveryFormat()
{
    QFETCH(double, fps);
    QFETCH(QString, timecode);
    QFETCH(int, numerator);
    QFETCH(int, denominator);
    QFETCH(qint64, startFrame);
    QFETCH(qint64, frames);
    TimelineExportInput input = takeInput("/rec/S/Take_01", {1, 2}, 12000, {{1, 0}, {2, 4000}}, {{1, 1}});
    input.frameRate = fps > 0.0 ? frameRateFraction(fps) : FrameRate{0, 1};
    input.startTimecode = timecode;
    input.markers = {{6000, "half way"}};
    const TimelineModel model = buildTimelineModel(input);
    const qint64 switchFrame = 4 * qint64(numerator) / denominator; // 4 s, truncated
    const qint64 markerFrame = 6 * qint64(numerator) / denominator;
    for (const TimelineLayout layout : {TimelineLayout::ProgrammeCut, TimelineLayout::AllAngles}) {
        const XmemlTimeline xmeml = readXmeml(buildTimelineDocument(model, TimelineFormat::Xmeml, layout), frames);
        QCOMPARE(xmeml.faults, QStringList());
        QCOMPARE(xmeml.timebase, (numerator + denominator / 2) / denominator);
        QCOMPARE(xmeml.ntsc, denominator == 1001);
        QCOMPARE(xmeml.timecode->frame, startFrame);

        const FcpxmlTimeline fcpxml = readFcpxml(buildTimelineDocument(model, TimelineFormat::Fcpxml, layout), frames);
        QCOMPARE(fcpxml.faults, QStringList()); // every time on this rate's frame grid
        QCOMPARE(fcpxml.rateNumerator, qint64(numerator));
        QCOMPARE(fcpxml.rateDenominator, qint64(denominator));
        QCOMPARE(fcpxml.tcStart, startFrame);
        QCOMPARE(fcpxml.tcFormat, QLatin1String(timecode.contains(';') ? "DF" : "NDF"));
        QCOMPARE(fcpxml.asset(QStringLiteral("r2"))->start, startFrame); // camera 1 starts at the take's timecode
        QCOMPARE(fcpxml.markers.value(0).frame, markerFrame);

        const OtioTimeline otio = readOtio(buildTimelineDocument(model, TimelineFormat::Otio, layout), frames);
        QCOMPARE(otio.faults, QStringList());
        QCOMPARE(otio.rate, double(numerator) / denominator);
        QCOMPARE(otio.globalStart, startFrame);
        QCOMPARE(otio.tracks.first().items.first().availableStart, startFrame);
        QCOMPARE(otio.markers.value(0).frame, markerFrame);
        if (layout == TimelineLayout::ProgrammeCut) {
            QCOMPARE(fcpxml.storyline.value(1).sequenceStart, switchFrame);
            QCOMPARE(otio.tracks.first().items.value(1).trackStart, switchFrame);
        }
    }
}

void TestTimelineExport::textIsEscaped_data()
{
    QTest::addColumn<QString>("session");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("expectedProject"); // as a parser reads it back
    const auto row = [](const char *name, const QString &session, const QString &folder,
                        const QString &expected) {
        QTest::newRow(name) << session << folder << expected;
    };
    row("ampersand", "Tom & Jerry", "/tmp/Tom & Jerry", "Tom & Jerry");
    row("markup and quotes", "<b>Live</b> \"A\" 'B' > C", "/tmp/<b> \"q\" 'a'",
        "<b>Live</b> \"A\" 'B' > C");
    row("entity-like text", "&amp; &#x41;", "/tmp/&lt;", "&amp; &#x41;");
    row("non-ASCII", "Čačak 🎬", "/tmp/Čačak 🎬", "Čačak 🎬");
    row("control character", QStringLiteral("A\u0001B"), "/tmp/s", QStringLiteral("A\uFFFDB"));
}

void TestTimelineExport::textIsEscaped()
{
    QFETCH(QString, session);
    QFETCH(QString, folder);
    QFETCH(QString, expectedProject);
    TimelineExportInput input
        = takeInput(folder + "/Take_01", {1, 2}, 4000, {{1, 0}, {2, 2000}}, {{2, 2}});
    input.sessionName = session;
    input.startTimecode = QStringLiteral("<10:00:00:00&>");
    input.markers = {{1000, session}};
    const TimelineModel model = buildTimelineModel(input);
    const QString take = folder + "/Take_01/";
    const QStringList files = {take + "Camera_01.mp4", take + "Camera_02.mp4", take + "Master_Audio_Output.wav",
                               take + "Channel_02_Audio.wav"};

    for (const TimelineLayout layout : {TimelineLayout::ProgrammeCut, TimelineLayout::AllAngles}) {
        const XmemlTimeline timeline = readXmeml(buildXmemlDocument(input, layout));
        QCOMPARE(timeline.faults, QStringList());
        QCOMPARE(timeline.projectName, expectedProject);
        QVERIFY(timeline.sequenceName.startsWith(expectedProject + " Take_01"));
        QCOMPARE(timeline.markers.value(0).name, expectedProject);
        QStringList urls;
        for (const XmemlFile &file : timeline.files)
            urls << file.pathUrl;
        QStringList expectedUrls;
        for (const QString &file : files)
            expectedUrls << "file://localhost" + file;
        QCOMPARE(urls, expectedUrls);
        // Text that is no timecode cannot agree with a frame number: the documents start at zero.
        QCOMPARE(timeline.timecode->text, QStringLiteral("00:00:00:00"));
        QCOMPARE(timeline.files.first().timecode->frame, qint64(0));

        // The same names, and the same files through their percent-encoded URLs, elsewhere.
        const FcpxmlTimeline fcpxml = readFcpxml(buildTimelineDocument(model, TimelineFormat::Fcpxml, layout));
        QCOMPARE(fcpxml.faults, QStringList());
        QVERIFY(fcpxml.projectName.startsWith(expectedProject + " Take_01"));
        QCOMPARE(fcpxml.markers.value(0).value, expectedProject);
        QStringList fcpxmlFiles;
        for (const FcpxmlAsset &asset : fcpxml.assets)
            fcpxmlFiles << asset.path;
        const OtioTimeline otio = readOtio(buildTimelineDocument(model, TimelineFormat::Otio, layout));
        QCOMPARE(otio.faults, QStringList());
        QVERIFY(otio.name.startsWith(expectedProject + " Take_01"));
        QCOMPARE(otio.markers.value(0).name, expectedProject);
        QStringList otioFiles;
        for (const OtioTrack &track : otio.tracks) {
            for (const OtioClip &clip : track.items) {
                if (!clip.isGap() && !otioFiles.contains(clip.path))
                    otioFiles << clip.path;
            }
        }
        if (layout == TimelineLayout::AllAngles) { // the programme cut names the cameras on air only
            QCOMPARE(fcpxmlFiles, files);
            QCOMPARE(otioFiles, files);
        }
    }
}

void TestTimelineExport::frameArithmetic_data()
{
    QTest::addColumn<double>("fps");
    QTest::addColumn<qint64>("durationMs");
    QTest::addColumn<QList<TimelineCut>>("cuts");
    QTest::addColumn<QString>("expected"); // "<timebase> <ntsc> <frames> | clips of tracks 2, 3"
    const auto row = [](const char *name, double fps, qint64 durationMs,
                        const QList<TimelineCut> &cuts, const char *expected) {
        QTest::newRow(name) << fps << durationMs << cuts << QString::fromUtf8(expected);
    };
    const QList<TimelineCut> three = {{1, 0}, {2, 4000}, {1, 9000}};
    row("30 fps", 30.0, 12000, three, "30 FALSE 360 | v2-0 120 270");
    row("29.97 fps", 29.97, 12000, three, "30 TRUE 360 | v2-0 119 269");
    row("30000/1001 fps", 30000.0 / 1001.0, 12000, three, "30 TRUE 360 | v2-0 119 269");
    row("23.976 fps", 23.976, 12000, three, "24 TRUE 288 | v2-0 95 215");
    row("24 fps", 24.0, 12000, three, "24 FALSE 288 | v2-0 96 216");
    row("59.94 fps", 59.94, 12000, three, "60 TRUE 719 | v2-0 239 539");
    row("60 fps", 60.0, 12000, three, "60 FALSE 720 | v2-0 240 540");
    row("0 fps: 30 throughout", 0.0, 12000, three, "30 FALSE 360 | v2-0 120 270");
    row("NaN fps: 30 throughout", qQNaN(), 12000, three, "30 FALSE 360 | v2-0 120 270");
    row("duration rounds down", 30.0, 12016, three, "30 FALSE 360 | v2-0 120 270");
    row("duration rounds up", 30.0, 12017, three, "30 FALSE 361 | v2-0 120 270");
    // The last switch runs to the end of the sequence, even one stretched to a second.
    row("0 frames: one second", 30.0, 10, {{2, 0}}, "30 FALSE 30 | v2-0 0 30");
    row("negative duration: one second", 30.0, -5000, {{2, 0}}, "30 FALSE 30 | v2-0 0 30");
    row("rounded up: the last switch keeps the last frame", 30.0, 12017, {{1, 0}, {3, 6000}}, "30 FALSE 361 | v3-0 180 361");
    row("first cut above the base", 30.0, 12000, {{2, 0}, {1, 6000}}, "30 FALSE 360 | v2-0 0 180");
    row("last cut runs to the end", 30.0, 12000, {{1, 0}, {3, 6000}},
        "30 FALSE 360 | v3-0 180 360");
    row("cut at the very end", 30.0, 12000, {{1, 0}, {2, 12000}}, "30 FALSE 360 |");
    row("cut in the last frame", 30.0, 12000, {{1, 0}, {2, 11990}}, "30 FALSE 360 | v2-0 359 360");
    row("truncated, not rounded", 30.0, 12000, {{1, 0}, {2, 1066}, {1, 2099}},
        "30 FALSE 360 | v2-0 31 62");
    row("under one frame: no clip, k kept", 30.0, 12000,
        {{1, 0}, {2, 1000}, {3, 1020}, {2, 2000}, {3, 3000}, {1, 4000}},
        "30 FALSE 360 | v2-0 60 90, v3-0 30 60, v3-1 90 120");
    row("repeated cut to one camera", 30.0, 12000, {{1, 0}, {2, 3000}, {2, 6000}, {1, 9000}},
        "30 FALSE 360 | v2-0 90 180, v2-1 180 270");
    row("unsorted: backwards range skipped", 30.0, 12000,
        {{1, 0}, {2, 8000}, {3, 4000}, {1, 10000}}, "30 FALSE 360 | v3-0 120 300");
    row("channels without video", 30.0, 12000, {{1, 0}, {4, 3000}, {0, 6000}, {2, 9000}},
        "30 FALSE 360 | v2-0 270 360");
    row("cuts past a shorter export", 30.0, 10000, {{1, 0}, {2, 8000}, {3, 15000}, {2, 20000}},
        "30 FALSE 300 | v2-0 240 300");
    row("negative time", 30.0, 12000, {{2, -500}, {1, 3000}}, "30 FALSE 360 | v2-0 0 90");
    row("ten hours", 30.0, 36000000, {{1, 0}, {3, 35999999}},
        "30 FALSE 1080000 | v3-0 1079999 1080000");
}

void TestTimelineExport::frameArithmetic()
{
    QFETCH(double, fps);
    QFETCH(qint64, durationMs);
    QFETCH(QList<TimelineCut>, cuts);
    QFETCH(QString, expected);
    TimelineExportInput input = takeInput("/rec/S/Take_01", {1, 2, 3}, durationMs, cuts);
    input.frameRate = fps > 0.0 ? frameRateFraction(fps) : FrameRate{0, 1};
    const XmemlTimeline timeline = readXmeml(buildXmemlDocument(input));
    QCOMPARE(timeline.faults, QStringList());
    QStringList clips;
    for (const QList<XmemlClip> &track : timeline.videoTracks.mid(1)) {
        for (const XmemlClip &clip : track)
            clips << clip.id.mid(9) + ' ' + QString::number(clip.start) + ' ' + QString::number(clip.end);
    }
    QCOMPARE(QStringLiteral("%1 %2 %3 | %4")
                 .arg(timeline.timebase)
                 .arg(timeline.ntsc ? "TRUE" : "FALSE")
                 .arg(timeline.duration)
                 .arg(clips.join(", "))
                 .trimmed(),
             expected);
    // The base track spans the whole sequence.
    QCOMPARE(placement(timeline.videoTracks.at(0)), QStringLiteral("0-%1").arg(timeline.duration));
}

void TestTimelineExport::startTimecode_data()
{
    QTest::addColumn<QString>("timecode");
    QTest::addColumn<double>("fps");
    QTest::addColumn<QString>("expectedText"); // what the documents carry
    QTest::addColumn<qint64>("expectedFrame");
    QTest::addColumn<qint64>("samplesAt48k");  // -1: no instant (not a timecode)
    const auto row = [](const char *name, const char *tc, double fps, const char *text, qint64 frame, qint64 samples) {
        QTest::newRow(name) << QString::fromLatin1(tc) << fps << QString::fromLatin1(text) << frame << samples;
    };
    row("30 fps", "22:57:14:00", 30.0, "22:57:14:00", 2479020, 82634LL * 48000);
    row("25 fps", "22:57:14:12", 25.0, "22:57:14:12", 2065862, 82634LL * 48000 + 12 * 1920);
    row("midnight", "00:00:00:00", 30.0, "00:00:00:00", 0, 0);
    row("last frame of the day", "23:59:59:29", 30.0, "23:59:59:29", 2591999, 86399LL * 48000 + 29 * 1600);
    // NTSC, non-drop-frame: every label counts at the timebase; the real instant is 1.001 × later.
    row("29.97 non-drop-frame", "22:57:14:00", 29.97, "22:57:14:00", 2479020, 3970398432LL);
    row("59.94 non-drop-frame", "01:00:00:00", 59.94, "01:00:00:00", 216000, 172972800);
    // Drop-frame labels skip two (four at 59.94) numbers a minute, but not each tenth minute.
    row("29.97 drop-frame, an hour", "01:00:00;00", 29.97, "01:00:00;00", 107892, 172799827);
    row("29.97 drop-frame, minute 1", "00:01:00;02", 29.97, "00:01:00;02", 1800, 2882880);
    row("59.94 drop-frame, minute 10", "00:10:00;00", 59.94, "00:10:00;00", 35964, 28799971);
    row("a dropped label", "00:01:00;00", 29.97, "00:00:00:00", 0, -1);
    row("drop-frame at a whole rate", "01:00:00;00", 30.0, "00:00:00:00", 0, -1);
    row("frames past the timebase", "10:00:00:30", 30.0, "00:00:00:00", 0, -1);
    row("hour 24", "24:00:00:00", 30.0, "00:00:00:00", 0, -1);
    row("empty", "", 30.0, "00:00:00:00", 0, -1);
}

void TestTimelineExport::startTimecode()
{
    QFETCH(QString, timecode);
    QFETCH(double, fps);
    QFETCH(QString, expectedText);
    QFETCH(qint64, expectedFrame);
    QFETCH(qint64, samplesAt48k);
    TimelineExportInput input = takeInput("/rec/S/Take_01", {1, 2}, 6000, {{1, 0}, {2, 3000}});
    input.frameRate = fps > 0.0 ? frameRateFraction(fps) : FrameRate{0, 1};
    input.startTimecode = timecode;
    for (const TimelineLayout layout : {TimelineLayout::ProgrammeCut, TimelineLayout::AllAngles}) {
        const XmemlTimeline timeline = readXmeml(buildXmemlDocument(input, layout));
        QCOMPARE(timeline.faults, QStringList()); // the reader checks string against frame itself
        QCOMPARE(timeline.timecode->text, expectedText);
        QCOMPARE(timeline.timecode->frame, expectedFrame);
        QCOMPARE(timeline.files.size(), 3); // two cameras and the master
        QCOMPARE(timeline.files.at(1).timecode->frame, expectedFrame);
        // Clips keep their place in the files: in and out count from the file's first frame.
        QCOMPARE(timeline.videoTracks.at(1).first().in, timeline.videoTracks.at(1).first().start);
    }
    // The instant a WAV file's time reference gives for the same timecode.
    const std::optional<qint64> samples = Timecode::samplesSinceMidnight(timecode, fps, 48000);
    QCOMPARE(samples.value_or(-1), samplesAt48k);
}

void TestTimelineExport::allAnglesLayout_data()
{
    QTest::addColumn<QList<int>>("cameras");
    QTest::addColumn<QList<TimelineCut>>("cuts");
    QTest::addColumn<QString>("programme"); // the top track: "<file id> <start>-<end>, ..."
    const auto row = [](const char *name, const QList<int> &cameras, const QList<TimelineCut> &cuts, const char *top) {
        QTest::newRow(name) << cameras << cuts << QString::fromUtf8(top);
    };
    row("no switch", {1, 2}, {{1, 0}}, "file-clip-cam-1 0-360");
    row("switches", {1, 2, 3}, {{1, 0}, {3, 2000}, {2, 4000}, {1, 9000}},
        "file-clip-cam-1 0-60, file-clip-cam-3 60-120, file-clip-cam-2 120-270, file-clip-cam-1 270-360");
    row("a switch under one frame", {1, 2}, {{1, 0}, {2, 4000}, {1, 4010}, {2, 6000}},
        "file-clip-cam-1 0-180, file-clip-cam-2 180-360");
    row("a channel without a file shows the first camera", {2, 3}, {{3, 0}, {4, 2000}, {2, 4000}, {3, 6000}},
        "file-clip-cam-3 0-60, file-clip-cam-2 60-180, file-clip-cam-3 180-360");
    row("pieces of one camera join", {1, 2}, {{2, 0}, {2, 3000}, {1, 6000}, {4, 9000}},
        "file-clip-cam-2 0-180, file-clip-cam-1 180-360");
    row("out of order: no overlap", {1, 2, 3}, {{1, 0}, {2, 8000}, {3, 4000}, {1, 10000}},
        "file-clip-cam-1 0-240, file-clip-cam-3 240-300, file-clip-cam-1 300-360");
    row("no camera: an empty track", {}, {{1, 0}, {2, 6000}}, "");
}

void TestTimelineExport::allAnglesLayout()
{
    QFETCH(QList<int>, cameras);
    QFETCH(QList<TimelineCut>, cuts);
    QFETCH(QString, programme);
    // Channel 1's audio is linked to camera 2: its track links to camera 2's own angle only.
    const TimelineExportInput input = takeInput("/rec/S/Take_01", cameras, 12000, cuts, {{1, 2}});
    const XmemlTimeline timeline = readXmeml(buildXmemlDocument(input, TimelineLayout::AllAngles), 360);
    QCOMPARE(timeline.faults, QStringList());
    QCOMPARE(timeline.videoTracks.size(), cameras.size() + 1);
    for (qsizetype i = 0; i < cameras.size(); ++i)
        QCOMPARE(placement(timeline.videoTracks.at(i), true), QStringLiteral("file-clip-cam-%1 0-360").arg(cameras.at(i)));
    QCOMPARE(placement(timeline.videoTracks.last(), true), programme);

    QStringList audioLinks;
    for (const XmemlLink &link : timeline.audioTracks.at(1).first().links)
        audioLinks << link.clipRef;
    const qsizetype camera2 = cameras.indexOf(2);
    const QStringList expectedLinks = camera2 < 0
        ? QStringList()
        : QStringList{QStringLiteral("clipitem-v%1-angle").arg(camera2 + 1), QStringLiteral("channel-audio-1")};
    QCOMPARE(audioLinks, expectedLinks);
    for (const XmemlClip &clip : timeline.videoTracks.last())
        QVERIFY2(clip.links.isEmpty(), "the programme track mixes cameras: no links");
}

void TestTimelineExport::videoFilesAreNamedAsRecorded_data()
{
    QTest::addColumn<QStringList>("recorded"); // channel 1 and 2 files; empty: none
    QTest::addColumn<QString>("extension");    // the take's container
    QTest::addColumn<QStringList>("names");    // file names of the video file elements
    const QString take = QStringLiteral("/rec/Show/Take_01/");
    QTest::newRow("MKV take") << QStringList{take + "Camera_01.mkv", take + "Camera_02.mkv"} << ".mkv"
                              << QStringList{"Camera_01.mkv", "Camera_02.mkv"};
    QTest::newRow("TS take") << QStringList{take + "Camera_01.ts", take + "Camera_02.ts"} << ".ts"
                             << QStringList{"Camera_01.ts", "Camera_02.ts"};
    QTest::newRow("the recorded path wins over the extension")
        << QStringList{take + "Camera_01.mov", take + "Camera_02.mp4"} << ".mkv"
        << QStringList{"Camera_01.mov", "Camera_02.mp4"};
    // No camera file: the switched-to cameras stand in, named like the take's files.
    QTest::newRow("no file, MKV take") << QStringList() << ".mkv" << QStringList{"Camera_CH1.mkv", "Camera_CH2.mkv"};
    QTest::newRow("no file, no extension known") << QStringList() << "" << QStringList{"Camera_CH1.mp4", "Camera_CH2.mp4"};
}

void TestTimelineExport::videoFilesAreNamedAsRecorded()
{
    QFETCH(QStringList, recorded);
    QFETCH(QString, extension);
    QFETCH(QStringList, names);
    TimelineExportInput input = takeInput(QStringLiteral("/rec/Show/Take_01"), {}, 6000, {{1, 0}, {2, 3000}});
    for (int i = 0; i < recorded.size(); ++i)
        input.videoPaths[i + 1] = recorded.at(i);
    input.videoFileExtension = extension;

    const XmemlTimeline timeline = readXmeml(buildXmemlDocument(input));
    QCOMPARE(timeline.faults, QStringList());
    QCOMPARE(timeline.videoTracks.size(), 2);
    QStringList fileNames, urls, clipNames;
    for (const QList<XmemlClip> &track : timeline.videoTracks) {
        for (const XmemlClip &clip : track) {
            clipNames << clip.name;
            fileNames << timeline.file(clip.fileId)->name;
            urls << timeline.file(clip.fileId)->pathUrl;
        }
    }
    QCOMPARE(fileNames, names);
    QCOMPARE(urls, (QStringList{"file://localhost/rec/Show/Take_01/" + names.at(0),
                                "file://localhost/rec/Show/Take_01/" + names.at(1)}));
    QCOMPARE(clipNames, (QStringList{names.at(0), "Cut 2 - " + names.at(1)}));
}

void TestTimelineExport::fileUrl_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expectedUrl");        // xmeml, as written
    QTest::addColumn<QString>("expectedEncodedUrl"); // FCPXML and OpenTimelineIO
    const auto row = [](const char *name, const QString &path, const QString &url, const QString &encoded) {
        QTest::newRow(name) << path << url << encoded;
    };
    row("Linux", "/home/ana/Videos/Vireon/Show/Take_01/Camera_01.mp4",
        "file://localhost/home/ana/Videos/Vireon/Show/Take_01/Camera_01.mp4",
        "file:///home/ana/Videos/Vireon/Show/Take_01/Camera_01.mp4");
    row("Linux, not percent-encoded", "/media/Rec 2/100% live/#1.wav",
        "file://localhost/media/Rec 2/100% live/#1.wav", "file:///media/Rec%202/100%25%20live/%231.wav");
    row("markup, quotes, non-ASCII", "/r/Tom & Jerry/<\"Čačak\">'.wav", "file://localhost/r/Tom & Jerry/<\"Čačak\">'.wav",
        "file:///r/Tom%20%26%20Jerry/%3C%22%C4%8Ca%C4%8Dak%22%3E%27.wav");
    row("Windows drive, space", "C:/Rec/A B/Camera_1.mp4",
        "file://localhost/C:/Rec/A B/Camera_1.mp4", "file:///C:/Rec/A%20B/Camera_1.mp4");
    row("Windows backslashes", "D:\\Video\\Take_01\\Camera_02.mp4",
        "file://localhost/D:/Video/Take_01/Camera_02.mp4", "file:///D:/Video/Take_01/Camera_02.mp4");
    row("Windows network share", "\\\\nas\\share\\Camera_01.mp4", "file://nas/share/Camera_01.mp4",
        "file://nas/share/Camera_01.mp4");
    row("relative", "Take_01/Camera_01.mp4",
        "file://localhost" + QDir::currentPath() + "/Take_01/Camera_01.mp4",
        "file://" + QDir::currentPath() + "/Take_01/Camera_01.mp4");
#if !defined(Q_OS_WIN)
    row("Linux double slash", "//home/ana/x.mp4", "file://localhost/home/ana/x.mp4", "file:///home/ana/x.mp4");
#endif
}

void TestTimelineExport::fileUrl()
{
    QFETCH(QString, path);
    QFETCH(QString, expectedUrl);
    QFETCH(QString, expectedEncodedUrl);
    QCOMPARE(timelineFileUrl(timelineAbsolutePath(path)), expectedUrl);
    QCOMPARE(timelineEncodedFileUrl(timelineAbsolutePath(path)), expectedEncodedUrl);
    // The strict readers' decoding gives the file back.
    QString fault;
    QCOMPARE(localPathOfEncodedUrl(expectedEncodedUrl, &fault), timelineAbsolutePath(path));
    QCOMPARE(fault, QString());
}

void TestTimelineExport::outputPath_data()
{
    QTest::addColumn<QString>("session");
    QTest::addColumn<QString>("takeFolder");
    QTest::addColumn<QString>("masterWav");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *name, const QString &session, const QString &folder,
                        const QString &master, const QString &expected) {
        QTest::newRow(name) << session << folder << master << expected;
    };
    row("plain", "Show", "/r/Show/Take_07", "", "/r/Show/Take_07/Show_Take_07.xml");
    row("trimmed, trailing slash", "  Show \t", "/r/Show/Take_07/", "",
        "/r/Show/Take_07/Show_Take_07.xml");
    row("folder of the master WAV", "Show", "", "/r/S/Take_3/Master_Audio_Output.wav",
        "/r/S/Take_3/Show_Take_3.xml");
    row("blanks", "   ", "/r/S/Take_12", "", "/r/S/Take_12/Session_Take_12.xml");
    row("ampersand is legal", "Tom & Jerry", "/r/T/Take_01", "",
        "/r/T/Take_01/Tom & Jerry_Take_01.xml");
    row("separators", "a/b\\c", "/r/S/Take_01", "", "/r/S/Take_01/a_b_c_Take_01.xml");
    row("Windows reserved", "<x>:\"y\"|z?*", "/r/S/Take_01", "",
        "/r/S/Take_01/_x___y__z___Take_01.xml");
    row("control characters", "a\tb\nc\x01", "/r/S/Take_01", "", "/r/S/Take_01/a_b_c__Take_01.xml");
    row("Windows folder", "Show", "C:\\Rec\\Show\\Take_02", "",
        "C:/Rec/Show/Take_02/Show_Take_02.xml");
    row("no folder", "Show", "", "", "");
    row("too long", QString(300, 'x'), "/r/S/Take_01", "",
        "/r/S/Take_01/" + QString(236, 'x') + "_Take_01.xml");
    // 🎬 is four bytes of UTF-8 and two UTF-16 units: never cut in half.
    row("too long, whole characters", QString("🎬").repeated(100), "/r/S/Take_01", "",
        "/r/S/Take_01/" + QString("🎬").repeated(59) + "_Take_01.xml");
}

void TestTimelineExport::outputPath()
{
    QFETCH(QString, session);
    QFETCH(QString, takeFolder);
    QFETCH(QString, masterWav);
    QFETCH(QString, expected);
    TimelineExportInput input;
    input.sessionName = session;
    input.takeFolderPath = takeFolder;
    input.masterWavPath = masterWav;
    QCOMPARE(timelineOutputPath(input), expected);
    // Room for the temporary file's ".XXXXXX" within the 255 bytes of a name.
    QVERIFY(QFileInfo(expected).fileName().toUtf8().size() <= 248);
    QVERIFY(QFileInfo(timelineOutputPath(input, TimelineLayout::AllAngles)).fileName().toUtf8().size() <= 248);
}

void TestTimelineExport::writesAndReplacesTheFile()
{
    QTemporaryDir dir;
    const QString takeFolder = dir.filePath(QStringLiteral("Tom & Jerry/Take_01"));
    QVERIFY(QDir().mkpath(takeFolder));
    TimelineExportInput input = takeInput(takeFolder, {1, 2}, 12000, {{1, 0}, {2, 4000}});
    input.sessionName = QStringLiteral("Tom & Jerry");
    QList<TimelineFileWrite> results;
    QVERIFY(writeTimeline(input, &results));
    const QStringList names = {"Tom & Jerry_Take_01.xml", "Tom & Jerry_Take_01_AllAngles.xml",
                               "Tom & Jerry_Take_01.fcpxml", "Tom & Jerry_Take_01_AllAngles.fcpxml",
                               "Tom & Jerry_Take_01.otio", "Tom & Jerry_Take_01_AllAngles.otio"};
    QStringList written;
    for (const TimelineFileWrite &result : results)
        written << QFileInfo(result.path).fileName();
    QCOMPARE(written, names);

    // Written again with another duration: the files are replaced and nothing else is left.
    input.durationMs = 10000;
    results.clear();
    QVERIFY(writeTimeline(input, &results));
    QStringList sortedNames = names;
    sortedNames.sort();
    QCOMPARE(QDir(takeFolder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name), sortedNames);
    QFile file(results.at(0).path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
#if defined(Q_OS_WIN)
    QCOMPARE(bytes, buildXmemlDocument(input).replace("\n", "\r\n"));
#else
    QCOMPARE(bytes, buildXmemlDocument(input));
#endif
    QCOMPARE(readXmeml(bytes, 300).faults, QStringList());

    // The longest session name still fits, with the room a temporary name beside it needs.
    input.sessionName = QString(300, QLatin1Char('x'));
    results.clear();
    QVERIFY2(writeTimeline(input, &results), qPrintable(results.value(0).error + results.value(5).error));
    for (const TimelineFileWrite &result : results)
        QVERIFY(QFile::exists(result.path));
}

void TestTimelineExport::failedWriteLeavesNoFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("expectedLeft"); // what the session folder holds afterwards
    QTest::newRow("take folder missing") << "missing" << QStringList();
    QTest::newRow("take folder is a file") << "file" << QStringList{"Take_01"};
    QTest::newRow("target is a folder") // every other file is still written
        << "target folder"
        << QStringList{"Take_01", "Take_01/Show_Take_01.fcpxml", "Take_01/Show_Take_01.otio", "Take_01/Show_Take_01.xml",
                       "Take_01/Show_Take_01_AllAngles.fcpxml", "Take_01/Show_Take_01_AllAngles.otio",
                       "Take_01/Show_Take_01_AllAngles.xml"};
    QTest::newRow("read-only folder keeps the earlier file")
        << "read-only" << QStringList{"Take_01", "Take_01/Show_Take_01.xml"};
    QTest::newRow("full disk keeps the earlier files")
        << "full disk" << QStringList{"Take_01", "Take_01/Show_Take_01.xml", "Take_01/Show_Take_01_AllAngles.xml"};
}

void TestTimelineExport::failedWriteLeavesNoFile()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, expectedLeft);
    QTemporaryDir dir;
    const QString session = dir.filePath(QStringLiteral("Show")),
                  take = session + QStringLiteral("/Take_01");
    const QString target = take + QStringLiteral("/Show_Take_01.xml");
    QVERIFY(QDir().mkpath(session));
    if (kind == QLatin1String("file")) {
        QFile blocker(take);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    } else if (kind == QLatin1String("target folder")) {
        QVERIFY(QDir().mkpath(target));
    } else if (kind == QLatin1String("read-only")) {
#if defined(Q_OS_UNIX)
        if (geteuid() == 0)
            QSKIP("running as root: folder permissions do not stop writes");
#endif
        QVERIFY(QDir().mkpath(take));
        QFile earlier(target);
        QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier") == 7);
        earlier.close();
        QVERIFY(QFile::setPermissions(take, QFile::ReadOwner | QFile::ExeOwner));
    }
    const bool fullDisk = kind == QLatin1String("full disk");
    if (fullDisk) {
        QVERIFY(QDir().mkpath(take));
        for (const QString &name : {target, take + QStringLiteral("/Show_Take_01_AllAngles.xml")}) {
            QFile earlier(name);
            QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier") == 7);
        }
    }

    QList<TimelineFileWrite> results;
#if defined(Q_OS_LINUX)
    // A file size limit makes the kernel refuse writes past it, as a full disk does, for this
    // process only: the documents are far longer than 1 000 bytes.
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = fullDisk ? 1000 : saved.rlim_cur;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool ok = writeTimeline(takeInput(take, {1}, 5000, {{1, 0}}), &results);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, previousHandler);
#else
    if (fullDisk)
        QSKIP("needs RLIMIT_FSIZE to fill the disk");
    const bool ok = writeTimeline(takeInput(take, {1}, 5000, {{1, 0}}), &results);
#endif
    QFile::setPermissions(take, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(!ok);
    QCOMPARE(results.size(), 6);
    QVERIFY(!results.at(0).error.isEmpty());
    QCOMPARE(results.at(0).path, target);
    QDirIterator it(session, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    QStringList left;
    while (it.hasNext())
        left << QDir(session).relativeFilePath(it.next());
    left.sort();
    QCOMPARE(left, expectedLeft); // no half document, no temporary file
    if (kind == QLatin1String("read-only") || fullDisk) {
        QFile earlier(target);
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        QCOMPARE(earlier.readAll(), QByteArray("earlier"));
    }
    if (fullDisk)
        QVERIFY2(results.at(1).error.contains(QStringLiteral("too large")), qPrintable(results.at(1).error));
}

QTEST_GUILESS_MAIN(TestTimelineExport)
#include "tst_timelineexport.moc"
