// The BGR24 -> RGBA conversion every picture passes through: row order and flip, padded
// rows, samples that are too short, and the fast path against the plain byte loop.
#include "capture/FrameConversion.h"

#include <QByteArray>
#include <QTest>

#include <random>

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (int value : values)
        result.append(char(value));
    return result;
}

} // namespace

class TestFrameConversion : public QObject
{
    Q_OBJECT

private slots:
    void convertsLayouts_data();
    void convertsLayouts();
    void rejectsSamplesThatCannotHoldThePicture_data();
    void rejectsSamplesThatCannotHoldThePicture();
    void fastRowMatchesPlainRow_data();
    void fastRowMatchesPlainRow();
    void rowStrideFromLength_data();
    void rowStrideFromLength();
};

void TestFrameConversion::convertsLayouts_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<qsizetype>("stride"); // 0: from the sample's length
    QTest::addColumn<bool>("topDown");
    QTest::addColumn<bool>("flip");
    QTest::addColumn<QByteArray>("sample");
    QTest::addColumn<QByteArray>("expected");

    // Two rows of two pixels, each row padded to 8 bytes as in a bitmap.
    const QByteArray padded2x2 = bytes({1, 2, 3, 4, 5, 6, 0xEE, 0xEE, 7, 8, 9, 10, 11, 12, 0xEE, 0xEE});
    const QByteArray firstRowFirst = bytes({3, 2, 1, 255, 6, 5, 4, 255, 9, 8, 7, 255, 12, 11, 10, 255});
    const QByteArray lastRowFirst = bytes({9, 8, 7, 255, 12, 11, 10, 255, 3, 2, 1, 255, 6, 5, 4, 255});

    QTest::newRow("bottom-up padded 2x2 comes out top row first")
        << 2 << 2 << qsizetype(0) << false << false << padded2x2 << lastRowFirst;
    QTest::newRow("bottom-up padded 2x2 flipped")
        << 2 << 2 << qsizetype(0) << false << true << padded2x2 << firstRowFirst;
    QTest::newRow("top-down padded 2x2")
        << 2 << 2 << qsizetype(0) << true << false << padded2x2 << firstRowFirst;
    QTest::newRow("top-down padded 2x2 flipped")
        << 2 << 2 << qsizetype(0) << true << true << padded2x2 << lastRowFirst;
    QTest::newRow("explicit stride, last row without padding")
        << 2 << 2 << qsizetype(8) << true << false << padded2x2.left(14) << firstRowFirst;
    QTest::newRow("trailing bytes beyond the picture are ignored")
        << 2 << 2 << qsizetype(8) << false << false << padded2x2 + QByteArray(5, 'x') << lastRowFirst;
    QTest::newRow("single pixel")
        << 1 << 1 << qsizetype(0) << true << false << bytes({10, 20, 30}) << bytes({30, 20, 10, 255});
    QTest::newRow("one row of five, tight")
        << 5 << 1 << qsizetype(0) << false << false
        << bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15})
        << bytes({3, 2, 1, 255, 6, 5, 4, 255, 9, 8, 7, 255, 12, 11, 10, 255, 15, 14, 13, 255});
}

void TestFrameConversion::convertsLayouts()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(qsizetype, stride);
    QFETCH(bool, topDown);
    QFETCH(bool, flip);
    QFETCH(QByteArray, sample);
    QFETCH(QByteArray, expected);

    const qsizetype rowStride = stride > 0 ? stride : bgr24RowStride(sample.size(), width, height);
    QByteArray picture(qsizetype(width) * height * 4, char(0x5A));
    QVERIFY(convertBgr24ToRgba(reinterpret_cast<const uchar *>(sample.constData()), sample.size(),
                               rowStride, width, height, topDown, flip,
                               reinterpret_cast<uchar *>(picture.data())));
    QCOMPARE(picture, expected);
}

void TestFrameConversion::rejectsSamplesThatCannotHoldThePicture_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<qsizetype>("stride");
    QTest::addColumn<qsizetype>("length");

    QTest::newRow("one byte short of 2x2x3") << 2 << 2 << qsizetype(0) << qsizetype(11);
    QTest::newRow("empty sample") << 2 << 2 << qsizetype(0) << qsizetype(0);
    QTest::newRow("padded stride, last row cut") << 2 << 2 << qsizetype(8) << qsizetype(13);
    QTest::newRow("stride shorter than a row") << 2 << 2 << qsizetype(5) << qsizetype(100);
    QTest::newRow("zero width") << 0 << 2 << qsizetype(0) << qsizetype(100);
    QTest::newRow("negative height") << 2 << -1 << qsizetype(0) << qsizetype(100);
}

void TestFrameConversion::rejectsSamplesThatCannotHoldThePicture()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(qsizetype, stride);
    QFETCH(qsizetype, length);

    const QByteArray sample(100, char(7));
    const qsizetype rowStride = stride > 0 ? stride : bgr24RowStride(length, width, height);
    QByteArray picture(64, char(0x5A));
    const QByteArray before = picture;
    QVERIFY(!convertBgr24ToRgba(reinterpret_cast<const uchar *>(sample.constData()), length,
                                rowStride, width, height, false, false,
                                reinterpret_cast<uchar *>(picture.data())));
    QCOMPARE(picture, before);
}

void TestFrameConversion::fastRowMatchesPlainRow_data()
{
    QTest::addColumn<int>("width");
    // Widths around the 4- and 16-pixel steps of the fast path, and real picture widths.
    for (int width : {1, 3, 4, 5, 15, 16, 17, 31, 32, 33, 47, 640, 1279, 1920})
        QTest::addRow("%d pixels", width) << width;
}

void TestFrameConversion::fastRowMatchesPlainRow()
{
    QFETCH(int, width);
    std::mt19937 random(static_cast<quint32>(width));
    QByteArray row(qsizetype(width) * 3, Qt::Uninitialized);
    for (char &byte : row)
        byte = char(random());
    // Guard bytes after the row catch a path that writes past its end.
    const QByteArray blank(qsizetype(width) * 4 + 16, char(0x33));
    QByteArray plain = blank;
    QByteArray words = blank;
    QByteArray fastest = blank;
    const uchar *src = reinterpret_cast<const uchar *>(row.constData());
    convertBgr24RowToRgbaPlain(src, reinterpret_cast<uchar *>(plain.data()), width);
    convertBgr24RowToRgbaWords(src, reinterpret_cast<uchar *>(words.data()), width);
    convertBgr24RowToRgba(src, reinterpret_cast<uchar *>(fastest.data()), width);
    QCOMPARE(plain.right(16), blank.right(16));
    QCOMPARE(words, plain);
    QCOMPARE(fastest, plain);
}

void TestFrameConversion::rowStrideFromLength_data()
{
    QTest::addColumn<qsizetype>("length");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<qsizetype>("stride");

    QTest::newRow("tight 1080p") << qsizetype(1920 * 1080 * 3) << 1920 << 1080 << qsizetype(5760);
    QTest::newRow("bitmap rows padded to 4") << qsizetype(12 * 3) << 3 << 3 << qsizetype(12);
    QTest::newRow("short sample keeps the row size") << qsizetype(5) << 2 << 2 << qsizetype(6);
    QTest::newRow("no picture") << qsizetype(100) << 0 << 0 << qsizetype(0);
}

void TestFrameConversion::rowStrideFromLength()
{
    QFETCH(qsizetype, length);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(qsizetype, stride);
    QCOMPARE(bgr24RowStride(length, width, height), stride);
}

QTEST_GUILESS_MAIN(TestFrameConversion)
#include "tst_frameconversion.moc"
