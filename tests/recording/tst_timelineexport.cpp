// Timeline export: whole documents against reviewed files in data/; every document read back
// with an XML parser (well-formed, ids unique, each link names the clip at the track and
// position it gives); frame arithmetic at the edges; URLs, file names and failed writes.
#include "recording/TimelineExport.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <functional>
#include <optional>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif

namespace {

struct Node
{
    QString name;
    QXmlStreamAttributes attributes;
    QString text;
    QList<Node> children;

    QList<const Node *> all(QStringView childName) const
    {
        QList<const Node *> found;
        for (const Node &c : children) {
            if (c.name == childName)
                found.append(&c);
        }
        return found;
    }
    const Node *child(QStringView childName) const { return all(childName).value(0); }
    QString textOf(QStringView childName) const
    {
        return child(childName) ? child(childName)->text : QString();
    }
    QString id() const { return attributes.value(QLatin1String("id")).toString(); }
    void visit(const std::function<void(const Node &)> &f) const
    {
        f(*this);
        for (const Node &c : children)
            c.visit(f);
    }
};

std::optional<Node> parseXml(const QByteArray &document, QString *error)
{
    QXmlStreamReader reader(document);
    QList<Node> stack;
    std::optional<Node> root;
    while (reader.readNext() != QXmlStreamReader::Invalid && !reader.atEnd()) {
        if (reader.isStartElement())
            stack.append(Node{reader.name().toString(), reader.attributes(), {}, {}});
        else if (reader.isCharacters() && !stack.isEmpty())
            stack.last().text += reader.text();
        else if (reader.isEndElement() && stack.size() == 1)
            root = stack.takeLast();
        else if (reader.isEndElement())
            stack[stack.size() - 2].children.append(stack.takeLast());
    }
    *error = reader.hasError()
        ? QStringLiteral("line %1: %2").arg(reader.lineNumber()).arg(reader.errorString())
        : QString();
    return reader.hasError() ? std::nullopt : root;
}

const Node *sequenceOf(const Node &root)
{
    const Node *project = root.child(u"project");
    const Node *children = project ? project->child(u"children") : nullptr;
    return children ? children->child(u"sequence") : nullptr;
}

QList<const Node *> tracksOf(const Node &sequence, QStringView kind)
{
    const Node *section
        = sequence.child(u"media") ? sequence.child(u"media")->child(kind) : nullptr;
    return section ? section->all(u"track") : QList<const Node *>();
}

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

} // namespace

Q_DECLARE_METATYPE(TimelineCut)
Q_DECLARE_METATYPE(TimelineExportInput)

class TestTimelineExport : public QObject
{
    Q_OBJECT

private slots:
    void documentMatchesReviewedFile_data();
    void documentMatchesReviewedFile();
    void documentIsConsistent_data();
    void documentIsConsistent();
    void textIsEscaped_data();
    void textIsEscaped();
    void frameArithmetic_data();
    void frameArithmetic();
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
    for (const auto &[name, input] : reviewedTakes())
        QTest::newRow(qPrintable(name)) << name << input;
}

void TestTimelineExport::documentMatchesReviewedFile()
{
    QFETCH(QString, name);
    QFETCH(TimelineExportInput, input);
    const QByteArray actual = buildXmemlDocument(input);
    QFile golden(QStringLiteral(VIREON_TIMELINE_DATA_DIR "/") + name);
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

void TestTimelineExport::documentIsConsistent_data()
{
    QTest::addColumn<TimelineExportInput>("input");
    for (const auto &[name, input] : reviewedTakes())
        QTest::newRow(qPrintable(name)) << input;
    const QList<TimelineCut> busyCuts = {{2, 0},    {3, 1000}, {4, 1010}, {2, 2000}, {1, 3000},
                                         {3, 4000}, {4, 5000}, {3, 6000}, {4, 59990}};
    QTest::newRow("four cameras, four ISO tracks, one linked nowhere") << takeInput(
        "/rec/Busy/Take_09", {1, 2, 3, 4}, 60000, busyCuts, {{1, 4}, {2, 1}, {3, 3}, {4, 9}});
    QTest::newRow("no files, no cuts") << TimelineExportInput();
}

void TestTimelineExport::documentIsConsistent()
{
    QFETCH(TimelineExportInput, input);
    QString error;
    const std::optional<Node> root = parseXml(buildXmemlDocument(input), &error);
    QVERIFY2(root, qPrintable(error));
    const Node *sequence = sequenceOf(*root);
    QVERIFY(sequence);
    const qint64 duration = sequence->textOf(u"duration").toLongLong();
    QVERIFY(duration > 0);

    // Ids are unique; a one-line file reference follows the full element of its id.
    QSet<QString> ids, files;
    QStringList faults;
    root->visit([&](const Node &node) {
        const QString id = node.id();
        if (node.name == QLatin1String("file") && node.children.isEmpty()) {
            if (!files.contains(id))
                faults << "dangling file reference " + id;
            return;
        }
        if (id.isEmpty())
            return;
        if (ids.contains(id))
            faults << "duplicate id " + id;
        ids.insert(id);
        if (node.name == QLatin1String("file"))
            files.insert(id);
    });
    QCOMPARE(faults, QStringList());

    const QList<const Node *> video = tracksOf(*sequence, u"video"),
                              audio = tracksOf(*sequence, u"audio");
    QVERIFY(!video.isEmpty());
    QCOMPARE(audio.size(), qsizetype(input.isoAudioPaths.size() + 1));
    for (const Node *track : video + audio) {
        for (const Node *clip : track->all(u"clipitem")) {
            const qint64 start = clip->textOf(u"start").toLongLong(),
                         end = clip->textOf(u"end").toLongLong();
            QVERIFY2(start >= 0 && start < end && end <= duration, qPrintable(clip->id()));
            QCOMPARE(clip->textOf(u"in").toLongLong(), start);
            QCOMPARE(clip->textOf(u"out").toLongLong(), end);
            for (const Node *link : clip->all(u"link")) {
                const QList<const Node *> &tracks
                    = link->textOf(u"mediatype") == QLatin1String("video") ? video : audio;
                const int trackIndex = link->textOf(u"trackindex").toInt(),
                          clipIndex = link->textOf(u"clipindex").toInt();
                QVERIFY2(trackIndex >= 1 && trackIndex <= tracks.size(), qPrintable(clip->id()));
                const QList<const Node *> items = tracks.at(trackIndex - 1)->all(u"clipitem");
                QVERIFY2(clipIndex >= 1 && clipIndex <= items.size(), qPrintable(clip->id()));
                QCOMPARE(items.at(clipIndex - 1)->id(), link->textOf(u"linkclipref"));
            }
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

    QString error;
    const std::optional<Node> root = parseXml(buildXmemlDocument(input), &error);
    QVERIFY2(root, qPrintable(error));
    QCOMPARE(root->child(u"project")->textOf(u"name"), expectedProject);
    QCOMPARE(sequenceOf(*root)->textOf(u"name"), expectedProject + " Take_01");
    QStringList urls, timecodes;
    root->visit([&](const Node &node) {
        if (node.name == QLatin1String("pathurl"))
            urls << node.text;
        if (node.name == QLatin1String("timecode"))
            timecodes << node.textOf(u"string");
    });
    const QString url = "file://localhost" + folder + "/Take_01/";
    QCOMPARE(urls,
             QStringList({url + "Camera_01.mp4", url + "Camera_02.mp4",
                          url + "Master_Audio_Output.wav", url + "Channel_02_Audio.wav"}));
    // Text that is no timecode cannot agree with a frame number: the documents start at zero.
    QCOMPARE(timecodes, QStringList(3, QStringLiteral("00:00:00:00")));
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
    row("0 frames: one second", 30.0, 10, {{2, 0}}, "30 FALSE 30 |");
    row("negative duration: one second", 30.0, -5000, {{2, 0}}, "30 FALSE 30 |");
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
    input.frameRate = fps;
    QString error;
    const std::optional<Node> root = parseXml(buildXmemlDocument(input), &error);
    QVERIFY2(root, qPrintable(error));
    const Node *sequence = sequenceOf(*root);
    const QList<const Node *> video = tracksOf(*sequence, u"video");
    QStringList clips;
    for (const Node *track : video.mid(1)) {
        for (const Node *clip : track->all(u"clipitem"))
            clips << clip->id().mid(9) + ' ' + clip->textOf(u"start") + ' ' + clip->textOf(u"end");
    }
    const Node *rate = sequence->child(u"rate");
    QCOMPARE(QStringLiteral("%1 %2 %3 | %4")
                 .arg(rate->textOf(u"timebase"), rate->textOf(u"ntsc"),
                      sequence->textOf(u"duration"), clips.join(", "))
                 .trimmed(),
             expected);
    // The base track spans the whole sequence.
    QCOMPARE(video.at(0)->child(u"clipitem")->textOf(u"end"), sequence->textOf(u"duration"));
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

    QString error;
    const std::optional<Node> root = parseXml(buildXmemlDocument(input), &error);
    QVERIFY2(root, qPrintable(error));
    const QList<const Node *> tracks = tracksOf(*sequenceOf(*root), u"video");
    QCOMPARE(tracks.size(), 2);
    QStringList fileNames, urls, clipNames;
    for (const Node *track : tracks) {
        for (const Node *clip : track->all(u"clipitem")) {
            clipNames << clip->textOf(u"name");
            if (const Node *file = clip->child(u"file"); file && file->child(u"name")) {
                fileNames << file->textOf(u"name");
                urls << file->textOf(u"pathurl");
            }
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
    QTest::addColumn<QString>("expectedUrl");
    const auto row = [](const char *name, const QString &path, const QString &url) {
        QTest::newRow(name) << path << url;
    };
    row("Linux", "/home/ana/Videos/Vireon/Show/Take_01/Camera_01.mp4",
        "file://localhost/home/ana/Videos/Vireon/Show/Take_01/Camera_01.mp4");
    row("Linux, not percent-encoded", "/media/Rec 2/100% live/#1.wav",
        "file://localhost/media/Rec 2/100% live/#1.wav");
    row("Windows drive, space", "C:/Rec/A B/Camera_1.mp4",
        "file://localhost/C:/Rec/A B/Camera_1.mp4");
    row("Windows backslashes", "D:\\Video\\Take_01\\Camera_02.mp4",
        "file://localhost/D:/Video/Take_01/Camera_02.mp4");
    row("Windows network share", "\\\\nas\\share\\Camera_01.mp4", "file://nas/share/Camera_01.mp4");
    row("relative", "Take_01/Camera_01.mp4",
        "file://localhost" + QDir::currentPath() + "/Take_01/Camera_01.mp4");
#if !defined(Q_OS_WIN)
    row("Linux double slash", "//home/ana/x.mp4", "file://localhost/home/ana/x.mp4");
#endif
}

void TestTimelineExport::fileUrl()
{
    QFETCH(QString, path);
    QFETCH(QString, expectedUrl);
    QCOMPARE(timelineFileUrl(timelineAbsolutePath(path)), expectedUrl);
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
        "/r/S/Take_01/" + QString(243, 'x') + "_Take_01.xml");
    // 🎬 is four bytes of UTF-8 and two UTF-16 units: never cut in half.
    row("too long, whole characters", QString("🎬").repeated(100), "/r/S/Take_01", "",
        "/r/S/Take_01/" + QString("🎬").repeated(60) + "_Take_01.xml");
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
    QVERIFY(QFileInfo(expected).fileName().toUtf8().size() <= 255);
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
    QCOMPARE(results.size(), 2);
    QCOMPARE(results.at(0).path, takeFolder + QStringLiteral("/Tom & Jerry_Take_01.xml"));
    QCOMPARE(results.at(1).path, takeFolder + QStringLiteral("/Tom & Jerry_Take_01_AllAngles.xml"));

    // Written again with another duration: the files are replaced and nothing else is left.
    input.durationMs = 10000;
    results.clear();
    QVERIFY(writeTimeline(input, &results));
    QCOMPARE(QDir(takeFolder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             (QStringList{QStringLiteral("Tom & Jerry_Take_01.xml"), QStringLiteral("Tom & Jerry_Take_01_AllAngles.xml")}));
    QString error;
    QFile file(results.at(0).path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
#if defined(Q_OS_WIN)
    QCOMPARE(bytes, buildXmemlDocument(input).replace("\n", "\r\n"));
#else
    QCOMPARE(bytes, buildXmemlDocument(input));
#endif
    const std::optional<Node> root = parseXml(bytes, &error);
    QVERIFY2(root, qPrintable(error));
    QCOMPARE(sequenceOf(*root)->textOf(u"duration"), QStringLiteral("300"));
}

void TestTimelineExport::failedWriteLeavesNoFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("expectedLeft"); // what the session folder holds afterwards
    QTest::newRow("take folder missing") << "missing" << QStringList();
    QTest::newRow("take folder is a file") << "file" << QStringList{"Take_01"};
    QTest::newRow("target is a folder") // the all-angles file is still written
        << "target folder" << QStringList{"Take_01", "Take_01/Show_Take_01.xml", "Take_01/Show_Take_01_AllAngles.xml"};
    QTest::newRow("read-only folder keeps the earlier file")
        << "read-only" << QStringList{"Take_01", "Take_01/Show_Take_01.xml"};
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

    QList<TimelineFileWrite> results;
    const bool ok = writeTimeline(takeInput(take, {1}, 5000, {{1, 0}}), &results);
    QFile::setPermissions(take, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(!ok);
    QCOMPARE(results.size(), 2);
    QVERIFY(!results.at(0).error.isEmpty());
    QCOMPARE(results.at(0).path, target);
    QDirIterator it(session, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    QStringList left;
    while (it.hasNext())
        left << QDir(session).relativeFilePath(it.next());
    left.sort();
    QCOMPARE(left, expectedLeft); // no half document, no temporary file
    if (kind == QLatin1String("read-only")) {
        QFile earlier(target);
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        QCOMPARE(earlier.readAll(), QByteArray("earlier"));
    }
}

QTEST_GUILESS_MAIN(TestTimelineExport)
#include "tst_timelineexport.moc"
