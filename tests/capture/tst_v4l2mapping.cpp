// How V4L2's answers become device and format records, and which keys the V4L2 layer will
// open at all. No camera is needed: these are the pure parts of the layer, plus the refusals
// that happen before any device is touched.
#include "capture/CameraCapture.h"
#include "capture/V4l2Mapping.h"
#include "common/MonotonicClock.h"

#include <QTest>

#include <linux/videodev2.h>

#include <cerrno>
#include <ctime>
#include <sys/time.h>

Q_DECLARE_METATYPE(V4l2Fraction)

using LinkMap = QMap<QString, QString>;

namespace {

QStringList describe(const QList<V4l2Fraction> &intervals)
{
    QStringList result;
    for (const V4l2Fraction &interval : intervals)
        result.append(QStringLiteral("%1/%2").arg(interval.numerator).arg(interval.denominator));
    return result;
}

QStringList describe(const QList<QSize> &sizes)
{
    QStringList result;
    for (const QSize &size : sizes)
        result.append(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()));
    return result;
}

} // namespace

class TestV4l2Mapping : public QObject
{
    Q_OBJECT

private slots:
    void subtypeNames_data();
    void subtypeNames();
    void intervalToRate_data();
    void intervalToRate();
    void rateToInterval_data();
    void rateToInterval();
    void rangeSizes_data();
    void rangeSizes();
    void rangeIntervals_data();
    void rangeIntervals();
    void deviceKey_data();
    void deviceKey();
    void acceptedKeys_data();
    void acceptedKeys();
    void refusedKeysOpenNothing_data();
    void refusedKeysOpenNothing();
    void bufferTimes_data();
    void bufferTimes();
    void errorReasons();
};

void TestV4l2Mapping::subtypeNames_data()
{
    QTest::addColumn<quint32>("pixelFormat");
    QTest::addColumn<QString>("name");
    QTest::newRow("YUYV") << quint32(V4L2_PIX_FMT_YUYV) << "YUY2";
    QTest::newRow("MJPG") << quint32(V4L2_PIX_FMT_MJPEG) << "MJPEG";
    QTest::newRow("RGB3") << quint32(V4L2_PIX_FMT_RGB24) << "RGB24";
    QTest::newRow("BGR3") << quint32(V4L2_PIX_FMT_BGR24) << "RGB24";
    QTest::newRow("NV12") << quint32(V4L2_PIX_FMT_NV12) << "Unknown";
    QTest::newRow("H264") << quint32(V4L2_PIX_FMT_H264) << "H264";
    QTest::newRow("zero") << quint32(0) << "Unknown";
}

void TestV4l2Mapping::subtypeNames()
{
    QFETCH(quint32, pixelFormat);
    QFETCH(QString, name);
    QCOMPARE(v4l2SubtypeName(pixelFormat), name);
}

void TestV4l2Mapping::intervalToRate_data()
{
    QTest::addColumn<quint32>("numerator");
    QTest::addColumn<quint32>("denominator");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<qint32>("fpsDenominator");

    QTest::newRow("1/30 s") << 1u << 30u << true << 333'333;
    QTest::newRow("1/60 s rounds to nearest") << 1u << 60u << true << 166'667;
    QTest::newRow("1001/30000 s (29.97)") << 1001u << 30000u << true << 333'667;
    QTest::newRow("1/25 s") << 1u << 25u << true << 400'000;
    QTest::newRow("2 s per frame") << 2u << 1u << true << 20'000'000;
    QTest::newRow("faster than 100 ns keeps 1") << 1u << 100'000'000u << true << 1;
    QTest::newRow("huge interval is capped, not wrapped") << 4'000'000'000u << 1u << true << INT32_MAX;
    QTest::newRow("zero interval") << 0u << 30u << false << 0;
    QTest::newRow("zero denominator") << 1u << 0u << false << 0;
}

void TestV4l2Mapping::intervalToRate()
{
    QFETCH(quint32, numerator);
    QFETCH(quint32, denominator);
    QFETCH(bool, valid);
    QFETCH(qint32, fpsDenominator);

    qint32 outNumerator = -1;
    qint32 outDenominator = -1;
    QCOMPARE(v4l2IntervalToRate({numerator, denominator}, &outNumerator, &outDenominator), valid);
    if (!valid)
        return;
    QCOMPARE(outNumerator, 10'000'000);
    QCOMPARE(outDenominator, fpsDenominator);
}

void TestV4l2Mapping::rateToInterval_data()
{
    QTest::addColumn<qint32>("fpsNumerator");
    QTest::addColumn<qint32>("fpsDenominator");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("interval");

    QTest::newRow("listed 30 fps") << 10'000'000 << 333'333 << true << "333333/10000000";
    QTest::newRow("listed 25 fps reduces") << 10'000'000 << 400'000 << true << "1/25";
    QTest::newRow("requested 29.97") << 29'970 << 1000 << true << "100/2997";
    QTest::newRow("zero rate") << 0 << 1000 << false << "";
    QTest::newRow("negative denominator") << 10'000'000 << -1 << false << "";
}

void TestV4l2Mapping::rateToInterval()
{
    QFETCH(qint32, fpsNumerator);
    QFETCH(qint32, fpsDenominator);
    QFETCH(bool, valid);
    QFETCH(QString, interval);

    V4l2Fraction result;
    QCOMPARE(rateToV4l2Interval(fpsNumerator, fpsDenominator, &result), valid);
    if (valid)
        QCOMPARE(describe(QList<V4l2Fraction>{result}).first(), interval);
}

void TestV4l2Mapping::rangeSizes_data()
{
    QTest::addColumn<QList<int>>("range"); // min w, max w, step w, min h, max h, step h
    QTest::addColumn<QStringList>("sizes");

    QTest::newRow("continuous up to 1080p")
        << QList<int>{16, 1920, 1, 16, 1080, 1}
        << QStringList{"320x240", "640x360", "640x480", "800x600", "1024x768", "1280x720",
                       "1280x960", "1920x1080"};
    QTest::newRow("step 16 grid drops 1080 rows, keeps the largest")
        << QList<int>{16, 1920, 16, 16, 1088, 16}
        << QStringList{"320x240", "640x480", "1024x768", "1280x720", "1280x960", "1920x1088"};
    QTest::newRow("small sensor offers its own size")
        << QList<int>{100, 400, 100, 100, 300, 100} << QStringList{"400x300"};
    QTest::newRow("empty range") << QList<int>{640, 320, 1, 480, 240, 1} << QStringList{};
}

void TestV4l2Mapping::rangeSizes()
{
    QFETCH(QList<int>, range);
    QFETCH(QStringList, sizes);
    QCOMPARE(describe(v4l2RangeFrameSizes(range[0], range[1], range[2], range[3], range[4], range[5])), sizes);
}

void TestV4l2Mapping::rangeIntervals_data()
{
    QTest::addColumn<V4l2Fraction>("minimum");
    QTest::addColumn<V4l2Fraction>("maximum");
    QTest::addColumn<V4l2Fraction>("step");
    QTest::addColumn<bool>("continuous");
    QTest::addColumn<QStringList>("intervals");

    QTest::newRow("continuous 1/30 .. 1 s")
        << V4l2Fraction{1, 30} << V4l2Fraction{1, 1} << V4l2Fraction{1, 1} << true
        << QStringList{"1/30", "1/25", "1/24", "1/20", "1/15", "1/10", "1/5"};
    QTest::newRow("continuous 1/60 .. 1/25")
        << V4l2Fraction{1, 60} << V4l2Fraction{1, 25} << V4l2Fraction{1, 1} << true
        << QStringList{"1/60", "1/50", "1/30", "1/25"};
    QTest::newRow("stepwise 1/60 in steps of 1/60 s")
        << V4l2Fraction{1, 60} << V4l2Fraction{1, 5} << V4l2Fraction{1, 60} << false
        << QStringList{"1/60", "1/30", "1/20", "1/15", "1/10", "1/5"};
    QTest::newRow("odd minimum is still offered")
        << V4l2Fraction{1, 90} << V4l2Fraction{1, 70} << V4l2Fraction{1, 1} << true
        << QStringList{"1/90"};
    QTest::newRow("zero minimum is no range")
        << V4l2Fraction{0, 1} << V4l2Fraction{1, 1} << V4l2Fraction{1, 1} << true << QStringList{};
}

void TestV4l2Mapping::rangeIntervals()
{
    QFETCH(V4l2Fraction, minimum);
    QFETCH(V4l2Fraction, maximum);
    QFETCH(V4l2Fraction, step);
    QFETCH(bool, continuous);
    QFETCH(QStringList, intervals);
    QCOMPARE(describe(v4l2RangeFrameIntervals(minimum, maximum, step, continuous)), intervals);
}

void TestV4l2Mapping::deviceKey_data()
{
    QTest::addColumn<QString>("node");
    QTest::addColumn<LinkMap>("links");
    QTest::addColumn<QString>("key");

    const QMap<QString, QString> links{
        {"/dev/v4l/by-id/usb-Logi_C920_AB12-video-index0", "/dev/video2"},
        {"/dev/v4l/by-id/usb-Logi_C920_AB12-video-index1", "/dev/video3"},
        {"/dev/v4l/by-id/usb-Acme_Cam-video-index0", "/dev/video0"},
        {"/dev/v4l/by-id/usb-Acme_Cam_alias-video-index0", "/dev/video0"},
    };
    QTest::newRow("link of the node") << "/dev/video2" << links << "/dev/v4l/by-id/usb-Logi_C920_AB12-video-index0";
    QTest::newRow("two links: the first by name") << "/dev/video0" << links << "/dev/v4l/by-id/usb-Acme_Cam-video-index0";
    QTest::newRow("no link: the node") << "/dev/video7" << links << "/dev/video7";
    QTest::newRow("no links at all") << "/dev/video0" << QMap<QString, QString>{} << "/dev/video0";
    QTest::newRow("video1 is not video10")
        << "/dev/video1" << QMap<QString, QString>{{"/dev/v4l/by-id/x", "/dev/video10"}} << "/dev/video1";
}

void TestV4l2Mapping::deviceKey()
{
    QFETCH(QString, node);
    QFETCH(LinkMap, links);
    QFETCH(QString, key);
    QCOMPARE(v4l2DeviceKey(node, links), key);
}

void TestV4l2Mapping::acceptedKeys_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("node") << "/dev/video0" << true;
    QTest::newRow("node 12") << "/dev/video12" << true;
    QTest::newRow("by-id link") << "/dev/v4l/by-id/usb-Logi_C920-video-index0" << true;
    QTest::newRow("by-path link") << "/dev/v4l/by-path/pci-0000:00:14.0-usb-0:1:1.0-video-index0" << true;
    QTest::newRow("escaping the folder") << "/dev/v4l/by-id/../../etc" << false;
    QTest::newRow("parent of the folder") << "/dev/v4l/by-id/.." << false;
    QTest::newRow("another device") << "/dev/sda" << false;
    QTest::newRow("a file") << "/etc/passwd" << false;
    QTest::newRow("node with suffix") << "/dev/video0x" << false;
    QTest::newRow("relative node") << "video0" << false;
    QTest::newRow("test pattern") << "vireon:testpattern:1" << false;
    QTest::newRow("empty") << "" << false;
}

void TestV4l2Mapping::acceptedKeys()
{
    QFETCH(QString, key);
    QFETCH(bool, accepted);
    QCOMPARE(isV4l2DeviceKey(key), accepted);
}

void TestV4l2Mapping::refusedKeysOpenNothing_data()
{
    QTest::addColumn<QString>("key");
    QTest::newRow("a regular file") << "/etc/passwd";
    QTest::newRow("a link that does not exist") << "/dev/v4l/by-id/no-such-camera";
    QTest::newRow("a node that does not exist") << "/dev/video999";
    QTest::newRow("unknown test pattern") << "vireon:testpattern:5";
    QTest::newRow("empty") << "";
}

void TestV4l2Mapping::refusedKeysOpenNothing()
{
    QFETCH(QString, key);
    QVERIFY(CameraCapture::listFormats(key).isEmpty());
    CameraCapture camera;
    QVERIFY(!camera.start(key, CameraFormat{}));
    QVERIFY(!camera.isRunning());
    QVERIFY(!camera.lastError().isEmpty());
}

void TestV4l2Mapping::bufferTimes_data()
{
    QTest::addColumn<qint64>("stampNs");
    QTest::addColumn<quint32>("flags");
    QTest::addColumn<bool>("stampUsed");

    const quint32 monotonic = V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC;
    QTest::newRow("monotonic, 20 ms before the dequeue") << qint64(-20'000'000) << monotonic << true;
    QTest::newRow("monotonic, taken as it was dequeued") << qint64(0) << monotonic << true;
    QTest::newRow("no clock named") << qint64(-20'000'000) << quint32(V4L2_BUF_FLAG_TIMESTAMP_UNKNOWN) << false;
    QTest::newRow("copied from the source's clock") << qint64(-20'000'000) << quint32(V4L2_BUF_FLAG_TIMESTAMP_COPY) << false;
    QTest::newRow("after the dequeue: impossible") << qint64(5'000'000) << monotonic << false;
    QTest::newRow("three seconds old: implausible") << qint64(-3'000'000'000) << monotonic << false;
}

void TestV4l2Mapping::bufferTimes()
{
    QFETCH(qint64, stampNs);
    QFETCH(quint32, flags);
    QFETCH(bool, stampUsed);

    // The driver's CLOCK_MONOTONIC is the clock the program's times are read on.
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const qint64 kernelNs = qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
    QVERIFY(std::llabs(monotonicNowNs() - kernelNs) < 1'000'000);

    const qint64 dequeueNs = 1'000'000'000'000;
    const qint64 takenNs = dequeueNs + stampNs;
    const timeval stamp{time_t(takenNs / 1'000'000'000), suseconds_t(takenNs % 1'000'000'000 / 1000)};
    QCOMPARE(v4l2BufferTimeNs(stamp, flags | V4L2_BUF_FLAG_MAPPED, dequeueNs), stampUsed ? takenNs : dequeueNs);
}

void TestV4l2Mapping::errorReasons()
{
    QCOMPARE(v4l2ErrorReason(EACCES), QStringLiteral("permission denied \u2014 add your user to the 'video' group"));
    QCOMPARE(v4l2ErrorReason(EPERM), v4l2ErrorReason(EACCES));
    QCOMPARE(v4l2ErrorReason(EBUSY), QStringLiteral("in use by another program"));
    QCOMPARE(v4l2ErrorReason(ENODEV), QStringLiteral("not connected"));
    QVERIFY(!v4l2ErrorReason(EIO).isEmpty());
}

QTEST_GUILESS_MAIN(TestV4l2Mapping)
#include "tst_v4l2mapping.moc"
