#include "recording/TakeNaming.h"
#include "recording/Timecode.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestTakeNaming : public QObject
{
    Q_OBJECT

private slots:
    void sessionFolderName_data();
    void sessionFolderName();
    void nextTakeNumber_data();
    void nextTakeNumber();
    void filePaths();
    void timecode_data();
    void timecode();
    void dropFrameLabelsRoundTrip();
};

void TestTakeNaming::sessionFolderName_data()
{
    QTest::addColumn<QString>("session");
    QTest::addColumn<QString>("folder");
    QTest::newRow("plain") << "Interview" << "Interview";
    QTest::newRow("trimmed") << "  Pod 7 \t" << "Pod 7";
    QTest::newRow("blanks") << "   " << "Session_2025-01-31_09-05-07";
    QTest::newRow("empty") << "" << "Session_2025-01-31_09-05-07";
    QTest::newRow("placeholder") << "SESSION_001_ACTIVE" << "Session_2025-01-31_09-05-07";
    QTest::newRow("slashes cannot escape") << "../../etc/x" << ".._.._etc_x";
    QTest::newRow("windows-illegal") << "A:B*C?\"D\"<E>|F\\G" << "A_B_C__D__E__F_G";
    QTest::newRow("dots only") << ".." << "_";
    QTest::newRow("control characters") << QStringLiteral("a\nb\x01") << "a_b_";
    QTest::newRow("unicode kept") << "Šišmiš & Jež" << "Šišmiš & Jež";
}

void TestTakeNaming::sessionFolderName()
{
    QFETCH(QString, session);
    QFETCH(QString, folder);
    const QDateTime now(QDate(2025, 1, 31), QTime(9, 5, 7));
    QCOMPARE(TakeNaming::sessionFolderName(session, now), folder);
}

void TestTakeNaming::nextTakeNumber_data()
{
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<int>("next");
    QTest::newRow("empty") << QStringList{} << QStringList{} << 1;
    QTest::newRow("01 and 07 and x") << QStringList{"Take_01", "Take_07", "Take_x"} << QStringList{} << 8;
    QTest::newRow("123") << QStringList{"Take_123"} << QStringList{} << 124;
    QTest::newRow("files do not count") << QStringList{"Take_02"} << QStringList{"Take_09"} << 3;
    QTest::newRow("other folders ignored") << QStringList{"Takes_5", "Take_3"} << QStringList{} << 4;
}

void TestTakeNaming::nextTakeNumber()
{
    QFETCH(QStringList, folders);
    QFETCH(QStringList, files);
    QFETCH(int, next);
    QTemporaryDir dir;
    for (const QString &folder : folders)
        QVERIFY(QDir(dir.path()).mkdir(folder));
    for (const QString &file : files) {
        QFile f(dir.filePath(file));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QCOMPARE(TakeNaming::nextTakeNumber(dir.path()), next);
    QCOMPARE(TakeNaming::nextTakeNumber(dir.filePath("missing")), 1);
}

void TestTakeNaming::filePaths()
{
    QCOMPARE(TakeNaming::takeFolderName(1), QStringLiteral("Take_01"));
    QCOMPARE(TakeNaming::takeFolderName(100), QStringLiteral("Take_100"));
    QCOMPARE(TakeNaming::cameraFilePath("/r/S/Take_01", 1), QStringLiteral("/r/S/Take_01/Camera_01.mp4"));
    QCOMPARE(TakeNaming::cameraFilePath("/r/S/Take_01", 2, RecordingContainer::Mkv), QStringLiteral("/r/S/Take_01/Camera_02.mkv"));
    QCOMPARE(TakeNaming::cameraFilePath("/r/S/Take_01", 3, RecordingContainer::Mov), QStringLiteral("/r/S/Take_01/Camera_03.mov"));
    QCOMPARE(TakeNaming::cameraFilePath("/r/S/Take_01", 4, RecordingContainer::Ts), QStringLiteral("/r/S/Take_01/Camera_04.ts"));
    QCOMPARE(TakeNaming::channelAudioFilePath("/r/S/Take_01", 4), QStringLiteral("/r/S/Take_01/Channel_04_Audio.wav"));
    QCOMPARE(TakeNaming::masterAudioFilePath("/r/S/Take_01"), QStringLiteral("/r/S/Take_01/Master_Audio_Output.wav"));
}

void TestTakeNaming::timecode_data()
{
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<int>("numerator");
    QTest::addColumn<int>("denominator");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("start"); // of a take started at 14:03:09.870
    QTest::newRow("zero") << qint64(0) << 30 << 1 << "00:00:00:00" << "14:03:09:00";
    QTest::newRow("1h 2m 3.5s") << qint64(3723500) << 30 << 1 << "01:02:03:15" << "14:03:09:00";
    QTest::newRow("last frame of a second") << qint64(999) << 30 << 1 << "00:00:00:29" << "14:03:09:00";
    QTest::newRow("a day and more") << qint64(100 * 3600000LL) << 30 << 1 << "100:00:00:00" << "14:03:09:00";
    QTest::newRow("negative clock step") << qint64(-40) << 30 << 1 << "00:00:00:00" << "14:03:09:00";
    QTest::newRow("25 fps counts to 24") << qint64(999) << 25 << 1 << "00:00:00:24" << "14:03:09:00";
    // Drop-frame: the label of the frame nearest 14:03:09 names that time of day.
    QTest::newRow("29.97 drop-frame") << qint64(3723500) << 30000 << 1001 << "01:02:03:15" << "14:03:09;02";
    QTest::newRow("59.94 drop-frame") << qint64(500) << 60000 << 1001 << "00:00:00:30" << "14:03:09;04";
    QTest::newRow("23.976 has none") << qint64(500) << 24000 << 1001 << "00:00:00:12" << "14:03:09:00";
}

void TestTakeNaming::timecode()
{
    QFETCH(qint64, ms);
    QFETCH(int, numerator);
    QFETCH(int, denominator);
    QFETCH(QString, text);
    QFETCH(QString, start);
    const FrameRate rate{numerator, denominator};
    QCOMPARE(TakeNaming::timecodeText(ms, rate), text);
    QCOMPARE(TakeNaming::startTimecodeText(QTime(14, 3, 9, 870), rate), start);
    // The label names the instant: read back, it lies within half a frame of 14:03:09.
    const std::optional<qint64> frames = Timecode::frameCount(start, rate.timebase(), rate.hasDropFrameTimecode());
    QVERIFY(frames);
    if (rate.hasDropFrameTimecode())
        QVERIFY(std::abs(double(*frames) / rate.toDouble() - 50589.0) <= 0.5 / rate.toDouble());
}

void TestTakeNaming::dropFrameLabelsRoundTrip()
{
    // Every frame of the first eleven minutes (two drop-frame cycles' boundaries) and around
    // the end of the day, at both drop-frame rates: label and count agree, and no label that
    // drop-frame skips is ever written.
    for (const int timebase : {30, 60}) {
        const qint64 dayFrames = Timecode::frameCount(QStringLiteral("23:59:59;%1").arg(timebase - 1), timebase, true).value() + 1;
        QList<qint64> frames;
        for (qint64 n = 0; n < qint64(timebase) * 60 * 11; ++n)
            frames.append(n);
        for (qint64 n = dayFrames - 100; n < dayFrames; ++n)
            frames.append(n);
        for (const qint64 n : frames) {
            const QString label = Timecode::text(n, timebase, true);
            const std::optional<qint64> back = Timecode::frameCount(label, timebase, true);
            if (!back || *back != n)
                QFAIL(qPrintable(QStringLiteral("frame %1 at %2: %3 reads back as %4").arg(n).arg(timebase).arg(label).arg(back.value_or(-1))));
        }
        QCOMPARE(Timecode::text(dayFrames, timebase, true), QStringLiteral("00:00:00;00"));
    }
    QCOMPARE(Timecode::text(1800, 30, true), QStringLiteral("00:01:00;02"));
    QCOMPARE(Timecode::text(17982, 30, true), QStringLiteral("00:10:00;00"));
}

QTEST_GUILESS_MAIN(TestTakeNaming)
#include "tst_takenaming.moc"
