// The built-in virtual cameras: what a picture shows (counter readable after conversion, the
// flash, the moving square), the whole-second rule the flash follows, and a running device:
// paced pictures with a rising counter, one flash per second of the clock, prompt stop.
#include "capture/TestPatternDevices.h"
#include "capture/TestPatternRenderer.h"
#include "common/MonotonicClock.h"

#include "PictureReadback.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QTest>

#include <thread>

namespace {

Picture renderPicture(const TestPatternRenderer &renderer, qint64 counter, qint64 timeNs, bool flash)
{
    QByteArray yuv(renderer.frameBytes(), Qt::Uninitialized);
    renderer.render(reinterpret_cast<uchar *>(yuv.data()), counter, timeNs, flash);
    return Picture::fromBytes(yuv, PixelFormat::Yuv420p, renderer.width(), renderer.height(), TestPatternRenderer::colour());
}

// The picture as a preview shows it.
QByteArray renderRgba(const TestPatternRenderer &renderer, qint64 counter, qint64 timeNs, bool flash)
{
    return rgbaBytesOf(renderPicture(renderer, counter, timeNs, flash));
}

Picture rgbaPicture(const QByteArray &rgba, const TestPatternRenderer &renderer)
{
    return Picture::fromBytes(rgba, PixelFormat::Rgba, renderer.width(), renderer.height());
}

const uchar *pixelAt(const QByteArray &rgba, int width, int x, int y)
{
    return reinterpret_cast<const uchar *>(rgba.constData()) + (qsizetype(y) * width + x) * 4;
}

struct SeenFrame
{
    int counter = -1;
    bool isWhite = false;
};

} // namespace

class TestTestPattern : public QObject
{
    Q_OBJECT

private slots:
    void counterReadsBack_data();
    void counterReadsBack();
    void flashFrameIsWhite();
    void squareMovesWithTheClock_data();
    void squareMovesWithTheClock();
    void wholeSecondCrossing_data();
    void wholeSecondCrossing();
    void openRefusesUnusableRequests_data();
    void openRefusesUnusableRequests();
    void runningDevice();
};

void TestTestPattern::counterReadsBack_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<qint64>("counter");
    QTest::addColumn<bool>("flash");
    QTest::addColumn<int>("expected");

    for (const QSize size : {QSize(1920, 1080), QSize(1280, 720), QSize(640, 480), QSize(160, 120)}) {
        const QByteArray label = QByteArray::number(size.width()) + 'x' + QByteArray::number(size.height());
        QTest::newRow(label + " first frame") << size << qint64(0) << false << 0;
        QTest::newRow(label + " every digit") << size << qint64(12'345'678) << false << 12'345'678;
        QTest::newRow(label + " on a flash") << size << qint64(90'000'009) << true << 90'000'009;
        QTest::newRow(label + " wraps after eight digits") << size << qint64(100'000'042) << false << 42;
    }
}

void TestTestPattern::counterReadsBack()
{
    QFETCH(QSize, size);
    QFETCH(qint64, counter);
    QFETCH(bool, flash);
    QFETCH(int, expected);

    const TestPatternRenderer renderer(2, size.width(), size.height());
    // Read from the pattern's own luma and from the RGBA a preview makes of it.
    QCOMPARE(renderer.readCounter(renderPicture(renderer, counter, 1'234'567'890, flash)), expected);
    const QByteArray rgba = renderRgba(renderer, counter, 1'234'567'890, flash);
    QCOMPARE(renderer.readCounter(rgbaPicture(rgba, renderer)), expected);

    // Upside down the digits are not readable: the reader does not guess.
    QByteArray flipped(rgba.size(), Qt::Uninitialized);
    const qsizetype rowBytes = qsizetype(size.width()) * 4;
    for (int y = 0; y < size.height(); ++y)
        memcpy(flipped.data() + y * rowBytes, rgba.constData() + (size.height() - 1 - y) * rowBytes, size_t(rowBytes));
    QCOMPARE(renderer.readCounter(rgbaPicture(flipped, renderer)), -1);
}

void TestTestPattern::flashFrameIsWhite()
{
    const TestPatternRenderer renderer(1, 1280, 720);
    const QByteArray normal = renderRgba(renderer, 5, 0, false);
    const QByteArray flash = renderRgba(renderer, 5, 0, true);

    qint64 normalSum = 0;
    qint64 flashSum = 0;
    for (qsizetype i = 0; i < normal.size(); i += 4) {
        normalSum += uchar(normal[i]) + uchar(normal[i + 1]) + uchar(normal[i + 2]);
        flashSum += uchar(flash[i]) + uchar(flash[i + 1]) + uchar(flash[i + 2]);
    }
    const qint64 pixels = normal.size() / 4;
    // Mean level over all channels: bars sit well below white, the flash at nearly white
    // (only the figures are dark).
    QVERIFY2(normalSum / (pixels * 3) < 150, qPrintable(QString::number(normalSum / (pixels * 3))));
    QVERIFY2(flashSum / (pixels * 3) > 240, qPrintable(QString::number(flashSum / (pixels * 3))));

    // The colour bars: first white at 75 %, last black; the top corners show them.
    QCOMPARE(pixelAt(normal, 1280, 1279, 0)[0], uchar(16));
    QCOMPARE(pixelAt(flash, 1280, 1279, 0)[0], uchar(255));
}

void TestTestPattern::squareMovesWithTheClock_data()
{
    QTest::addColumn<qint64>("timeNs");
    QTest::addColumn<int>("x");

    // One sweep across and back in four seconds; 1920 wide, the square 135 wide.
    QTest::newRow("start at the left") << qint64(0) << 0;
    QTest::newRow("half way across after 1 s") << qint64(1'000'000'000) << (1920 - 135) / 2;
    QTest::newRow("right edge after 2 s") << qint64(2'000'000'000) << 1920 - 135;
    QTest::newRow("back half way after 3 s") << qint64(3'000'000'000) << (1920 - 135) / 2;
    QTest::newRow("left again after 4 s") << qint64(4'000'000'000) << 0;
    QTest::newRow("the clock's hours do not matter") << qint64(3600'000'000'000 + 2'000'000'000) << 1920 - 135;
}

void TestTestPattern::squareMovesWithTheClock()
{
    QFETCH(qint64, timeNs);
    QFETCH(int, x);

    const TestPatternRenderer renderer(1, 1920, 1080);
    const QRect square = renderer.movingSquareRect(timeNs);
    QCOMPARE(square.x(), x);
    QCOMPARE(square.size(), QSize(135, 135));

    // The square is drawn where it is said to be: white inside, black frame.
    const QByteArray rgba = renderRgba(renderer, 0, timeNs, false);
    const QPoint centre = square.center();
    QCOMPARE(pixelAt(rgba, 1920, centre.x(), centre.y())[1], uchar(255));
    QCOMPARE(pixelAt(rgba, 1920, square.left(), centre.y())[1], uchar(0));
}

void TestTestPattern::wholeSecondCrossing_data()
{
    QTest::addColumn<qint64>("previousNs");
    QTest::addColumn<qint64>("timeNs");
    QTest::addColumn<bool>("crosses");

    constexpr qint64 S = 1'000'000'000;
    QTest::newRow("exactly on the second") << 41 * S - 33'333'333 << 41 * S << true;
    QTest::newRow("just past the second") << 41 * S - 1 << 41 * S + 1 << true;
    QTest::newRow("within one second") << 41 * S << 41 * S + 33'333'333 << false;
    QTest::newRow("just before the second") << 41 * S - 40'000'000 << 41 * S - 6'666'667 << false;
    QTest::newRow("frames skipped over a second") << 41 * S - 10 << 43 * S + 500 << true;
    QTest::newRow("same time") << 41 * S << 41 * S << false;
    QTest::newRow("before the clock's origin") << -S - 5 << -S + 5 << true;
}

void TestTestPattern::wholeSecondCrossing()
{
    QFETCH(qint64, previousNs);
    QFETCH(qint64, timeNs);
    QFETCH(bool, crosses);
    QCOMPARE(TestPatternRenderer::crossesWholeSecond(previousNs, timeNs), crosses);
}

void TestTestPattern::openRefusesUnusableRequests_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("opens");

    QTest::newRow("listed format") << "vireon:testpattern:1" << QSize(1280, 720) << true;
    QTest::newRow("unlisted but drawable size") << "vireon:testpattern:4" << QSize(1024, 576) << true;
    QTest::newRow("too small to draw") << "vireon:testpattern:1" << QSize(32, 32) << false;
    QTest::newRow("absurdly large") << "vireon:testpattern:1" << QSize(100'000, 100'000) << false;
    QTest::newRow("negative") << "vireon:testpattern:1" << QSize(-1920, 1080) << false;
    QTest::newRow("no such pattern") << "vireon:testpattern:9" << QSize(1280, 720) << false;
}

void TestTestPattern::openRefusesUnusableRequests()
{
    QFETCH(QString, key);
    QFETCH(QSize, size);
    QFETCH(bool, opens);

    TestPatternDevice device(key);
    CameraFormat format;
    format.width = size.width();
    format.height = size.height();
    format.fpsNumerator = 30'000;
    format.fpsDenominator = 1000;
    QCOMPARE(device.open(format), opens);
    QCOMPARE(device.lastError().isEmpty(), opens);
    if (opens)
        QCOMPARE(device.geometry().width, size.width());
    else
        QVERIFY(!device.start([](const CapturedSample &) {}));
}

void TestTestPattern::runningDevice()
{
    constexpr int Width = 640;
    constexpr int Height = 480;
    const QList<CameraFormat> formats = testPatternFormats();
    const auto format30 = std::find_if(formats.cbegin(), formats.cend(), [](const CameraFormat &f) {
        return f.width == Width && qRound(f.frameRate()) == 30;
    });
    QVERIFY(format30 != formats.cend());

    TestPatternDevice device(QStringLiteral("vireon:testpattern:1"));
    QVERIFY(device.open(*format30));
    const CaptureGeometry geometry = device.geometry();
    QCOMPARE(geometry.width, Width);
    QVERIFY(geometry.topDown);

    const TestPatternRenderer reader(1, Width, Height);
    QMutex seenMutex;
    QList<SeenFrame> seen;
    QList<std::thread::id> threads;
    QCOMPARE(geometry.pixelFormat, CapturePixelFormat::Yu12);
    QVERIFY(device.start([&](const CapturedSample &sample) {
        const bool isWhole = sample.length >= reader.frameBytes();
        const Picture picture = Picture::fromBytes(QByteArray(reinterpret_cast<const char *>(sample.data), sample.length),
                                                   PixelFormat::Yuv420p, Width, Height, TestPatternRenderer::colour());
        SeenFrame frame;
        frame.counter = isWhole ? reader.readCounter(picture) : -1;
        frame.isWhite = isWhole && uchar(picture.at(Width - 1)) == 235; // limited-range white
        QMutexLocker lock(&seenMutex);
        seen.append(frame);
        threads.append(std::this_thread::get_id());
    }));

    // A little over two seconds of the clock hold at least two whole-second crossings.
    QTest::qWait(2300);
    QElapsedTimer timer;
    timer.start();
    device.stop();
    QVERIFY2(timer.elapsed() < 1000, "stop() waited for the pattern's thread");
    device.stop(); // idempotent

    QMutexLocker lock(&seenMutex);
    const int delivered = int(seen.size());
    QVERIFY2(delivered >= 20, qPrintable(QString::number(delivered))); // ~69 on an idle machine
    QVERIFY(delivered <= 2300 / 33 + 3); // paced, not as fast as possible
    QVERIFY(threads.first() != std::this_thread::get_id());

    QList<int> flashes; // indices into seen
    for (int i = 0; i < delivered; ++i) {
        QVERIFY2(seen[i].counter >= 0, "counter unreadable");
        if (i > 0)
            QVERIFY2(seen[i].counter > seen[i - 1].counter, "counter did not rise");
        if (seen[i].isWhite)
            flashes.append(i);
    }
    QCOMPARE(seen.first().counter, 0);
    // One white frame per whole second: 30 slots apart at 30 fps, unless the thread was held
    // up and skipped the slot that would have flashed (the counter then jumps there).
    QVERIFY2(flashes.size() >= 2 && flashes.size() <= 3, qPrintable(QString::number(flashes.size())));
    for (int i = 1; i < flashes.size(); ++i) {
        const int gap = seen[flashes[i]].counter - seen[flashes[i - 1]].counter;
        const bool skippedIntoFlash = seen[flashes[i]].counter - seen[flashes[i] - 1].counter > 1;
        QVERIFY2(gap == 30 || skippedIntoFlash, qPrintable(QString::number(gap)));
    }

    // A stopped device delivers nothing more.
    const int afterStop = delivered;
    lock.unlock();
    QTest::qWait(100);
    lock.relock();
    QCOMPARE(int(seen.size()), afterStop);
}

QTEST_GUILESS_MAIN(TestTestPattern)
#include "tst_testpattern.moc"
