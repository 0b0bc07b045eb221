// The real V4L2 listing and capture code against simulated cameras at the kernel boundary:
// what the listing shows (and why a node cannot be used), the chosen native format being what
// the device was set to, pictures matching the known picture through MJPEG and padded YUV,
// capture times from the driver's buffers, damaged pictures counted and never shown, a format
// the driver will not set, a camera in use elsewhere, and a camera that vanishes or goes quiet
// being found lost and restarted in the same format.
#include "capture/CameraCapture.h"
#include "capture/CameraPictureConverter.h"
#include "capture/PicturePool.h"
#include "capture/V4l2Capture.h"
#include "capture/V4l2Mapping.h"
#include "common/MonotonicClock.h"

#include "PictureReadback.h"
#include "SimulatedV4l2Kernel.h"
#include "SimulatedWebcam.h"

#include <QMutex>
#include <QTest>

#include <cmath>
#include <cstring>
#include <thread>

namespace {

struct Difference
{
    double mean = 0.0; // mean absolute difference per channel
    int worstBar = 0;  // largest difference of a bar's or ramp sample's centre
};

// How far an RGBA picture is from the known picture (or, for the flash a simulated camera
// sends at every whole second, the white one): over all pixels, and at the centres of the
// eight bars and along the ramp (where JPEG ringing at edges does not count).
Difference differenceFrom(const RgbPicture &known, const QByteArray &rgba, int width, int height)
{
    Difference result;
    if (rgba.size() != qsizetype(width) * height * 4)
        return Difference{255.0, 255};
    const uchar *pixels = reinterpret_cast<const uchar *>(rgba.constData());
    qint64 sum = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c)
                sum += std::abs(int(pixels[(qsizetype(y) * width + x) * 4 + c]) - int(known.row(y)[x * 3 + c]));
        }
    }
    result.mean = double(sum) / (double(width) * height * 3);
    for (int i = 0; i < 16; ++i) {
        const int x = (i % 8) * width / 8 + width / 16;
        const int y = i < 8 ? height / 4 : height * 3 / 4;
        for (int c = 0; c < 3; ++c)
            result.worstBar = std::max(result.worstBar, std::abs(int(pixels[(qsizetype(y) * width + x) * 4 + c]) - int(known.row(y)[x * 3 + c])));
    }
    return result;
}

Difference differenceFromKnown(const QByteArray &rgba, int width, int height)
{
    const Difference fromKnown = differenceFrom(knownPicture(width, height), rgba, width, height);
    if (fromKnown.mean < 4.0)
        return fromKnown;
    const Difference fromWhite = differenceFrom(whitePicture(width, height), rgba, width, height);
    return fromWhite.mean < fromKnown.mean ? fromWhite : fromKnown;
}

// Waits for the camera's next new picture and returns it.
QByteArray nextPicture(CameraCapture &camera, int timeoutMs = 3000)
{
    const quint64 before = camera.picturesDelivered();
    Picture picture;
    for (int waited = 0; waited < timeoutMs && camera.picturesDelivered() == before; waited += 5)
        QTest::qWait(5);
    camera.latestFrame(picture);
    return rgbaBytesOf(picture);
}

// Calls supervise() as the manager's watch does until the state is `wanted`.
bool superviseUntil(CameraCapture &camera, SourceState wanted, int timeoutMs)
{
    for (int waited = 0; waited <= timeoutMs; waited += 50) {
        camera.supervise(monotonicNowNs());
        if (camera.state() == wanted)
            return true;
        QTest::qWait(50);
    }
    return false;
}

CameraFormat formatOf(const QString &key, int width, int height, float fps, const QString &name)
{
    return chooseCameraFormat(CameraCapture::listFormats(key), width, height, fps, name);
}

} // namespace


class TestV4l2Capture : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void everyLayoutBecomesTheKnownPicture_data();
    void everyLayoutBecomesTheKnownPicture();
    void listingShowsUsableCamerasAndWhyOthersAreNot();
    void chosenFormatIsSetAndPicturesMatch_data();
    void chosenFormatIsSetAndPicturesMatch();
    void compressedCameraKeepsItsStreamAndPreviewsDecodeIt_data();
    void compressedCameraKeepsItsStreamAndPreviewsDecodeIt();
    void captureTimesComeFromTheDriver_data();
    void captureTimesComeFromTheDriver();
    void formatTheDriverWillNotSetIsGrantedAndShown();
    void cameraInUseElsewhereSaysSo();
    void damagedPicturesAreCountedNeverShown_data();
    void damagedPicturesAreCountedNeverShown();
    void lostCameraIsRestartedInTheSameFormat_data();
    void lostCameraIsRestartedInTheSameFormat();

private:
    std::shared_ptr<SimulatedV4l2Kernel> m_kernel;
};

void TestV4l2Capture::init()
{
    m_kernel = std::make_shared<SimulatedV4l2Kernel>();
    installV4l2Kernel(m_kernel);
}

void TestV4l2Capture::cleanup()
{
    installV4l2Kernel(nullptr);
    m_kernel.reset();
}

void TestV4l2Capture::everyLayoutBecomesTheKnownPicture_data()
{
    QTest::addColumn<quint32>("fourcc");
    QTest::addColumn<int>("padding");
    QTest::addColumn<bool>("flip");
    QTest::addColumn<QString>("expectedFormat");

    const QList<std::tuple<const char *, quint32, const char *>> layouts = {
        {"MJPEG", V4L2_PIX_FMT_MJPEG, "4:2:2"}, {"YUYV", V4L2_PIX_FMT_YUYV, "YUYV"}, {"UYVY", V4L2_PIX_FMT_UYVY, "YUYV"},
        {"NV12", V4L2_PIX_FMT_NV12, "NV12"},    {"YU12", V4L2_PIX_FMT_YUV420, "I420"}, {"RGB24", V4L2_PIX_FMT_RGB24, "RGBA"},
        {"BGR24", V4L2_PIX_FMT_BGR24, "RGBA"}};
    for (const auto &[name, fourcc, format] : layouts) {
        const int padding = fourcc == V4L2_PIX_FMT_MJPEG ? 0 : 32;
        QTest::addRow("%s", name) << fourcc << padding << false << QString::fromLatin1(format);
        QTest::addRow("%s flipped", name) << fourcc << padding << true << QString::fromLatin1(format);
    }
}

void TestV4l2Capture::everyLayoutBecomesTheKnownPicture()
{
    QFETCH(quint32, fourcc);
    QFETCH(int, padding);
    QFETCH(bool, flip);
    QFETCH(QString, expectedFormat);
    constexpr int Width = 96;
    constexpr int Height = 64;

    const SimulatedMode mode{fourcc, Width, Height};
    const int bytesPerLine = simulatedBytesPerLine(mode, padding);
    const RgbPicture known = knownPicture(Width, Height);
    const QByteArray sample = encodeSimulatedPicture(known, fourcc, bytesPerLine);
    QVERIFY(!sample.isEmpty());

    CaptureGeometry geometry;
    geometry.width = Width;
    geometry.height = Height;
    geometry.rowStride = bytesPerLine;
    geometry.pixelFormat = *capturePixelFormatFor(fourcc);
    PicturePool pool(2);
    CameraPictureConverter converter(geometry, pool);
    Picture picture;
    QVERIFY2(converter.convert(reinterpret_cast<const uchar *>(sample.constData()), sample.size(), flip, false, &picture),
             qPrintable(converter.problem()));
    // Kept in the camera's own format: no conversion to RGB on the way in.
    QCOMPARE(QString::fromLatin1(pixelFormatName(picture.format())), expectedFormat);
    QCOMPARE(picture.width(), Width);
    const QByteArray rgba = rgbaBytesOf(picture);
    for (qsizetype i = 3; i < rgba.size(); i += 4)
        QCOMPARE(uchar(rgba.at(i)), uchar(255));

    RgbPicture expected = known;
    if (flip) {
        for (int y = 0; y < Height; ++y)
            std::memcpy(expected.pixels.data() + qsizetype(y) * Width * 3, known.row(Height - 1 - y), Width * 3);
    }
    const Difference difference = differenceFrom(expected, rgba, Width, Height);
    // Raw RGB is exact; YUV loses a little to rounding and chroma subsampling, JPEG a little more.
    const bool isRgb = fourcc == V4L2_PIX_FMT_RGB24 || fourcc == V4L2_PIX_FMT_BGR24;
    QVERIFY2(isRgb ? difference.mean == 0.0 : difference.mean < 5.0 && difference.worstBar <= 6,
             qPrintable(QStringLiteral("mean %1, worst bar %2").arg(difference.mean).arg(difference.worstBar)));

    // A sample one row short is refused and says why.
    if (fourcc != V4L2_PIX_FMT_MJPEG) {
        const qsizetype shortLength = CameraPictureConverter::minimumSampleLength(geometry) - 1;
        QVERIFY(!converter.convert(reinterpret_cast<const uchar *>(sample.constData()), shortLength, flip, false, &picture));
        QVERIFY(!converter.problem().isEmpty());
    }
}

void TestV4l2Capture::listingShowsUsableCamerasAndWhyOthersAreNot()
{
    m_kernel->addCamera(simulatedWebcam(1));
    m_kernel->addCamera(simulatedMetadataNode(1));
    SimulatedCameraSpec locked = simulatedWebcam(2);
    locked.openError = EACCES;
    m_kernel->addCamera(locked);
    SimulatedCameraSpec lockedMetadata = simulatedMetadataNode(2);
    lockedMetadata.openError = EACCES;
    m_kernel->addCamera(lockedMetadata);

    const QList<DeviceInfo> devices = CameraCapture::listDevices();
    QCOMPARE(devices.size(), 2 + 4); // the two cameras once each, then the test patterns
    QCOMPARE(devices[0].friendlyName, QStringLiteral("Vireon Sim Webcam 1"));
    QCOMPARE(devices[0].devicePath, QStringLiteral("/dev/v4l/by-id/usb-Vireon_Sim_Webcam_1-video-index0"));
    QVERIFY(devices[0].unavailableReason.isEmpty());
    QCOMPARE(devices[1].friendlyName, QStringLiteral("Vireon Sim Webcam 2"));
    QCOMPARE(devices[1].unavailableReason, QStringLiteral("permission denied \u2014 add your user to the 'video' group"));
    QCOMPARE(devices[2].friendlyName, QStringLiteral("Test Pattern 1"));

    QStringList formats;
    for (const CameraFormat &format : CameraCapture::listFormats(devices[0].devicePath))
        formats.append(describeCameraFormat(format));
    QCOMPARE(formats, (QStringList{"1920\u00d71080 MJPEG 60 fps", "1920\u00d71080 MJPEG 30 fps", "1280\u00d7720 MJPEG 30 fps",
                                   "1280\u00d7720 YUY2 10 fps", "640\u00d7480 MJPEG 30 fps", "640\u00d7480 YUY2 30 fps"}));
    QVERIFY(CameraCapture::listFormats(devices[1].devicePath).isEmpty());
}

void TestV4l2Capture::chosenFormatIsSetAndPicturesMatch_data()
{
    QTest::addColumn<quint32>("fourcc");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("rate");
    QTest::addColumn<QString>("name");

    QTest::newRow("MJPEG 1080p30") << quint32(V4L2_PIX_FMT_MJPEG) << 1920 << 1080 << 30 << "MJPEG";
    QTest::newRow("MJPEG 1080p60") << quint32(V4L2_PIX_FMT_MJPEG) << 1920 << 1080 << 60 << "Default";
    QTest::newRow("YUYV 480p30, padded rows") << quint32(V4L2_PIX_FMT_YUYV) << 640 << 480 << 30 << "YUY2";
    QTest::newRow("H.264 1080p30, decoded") << quint32(V4L2_PIX_FMT_H264) << 1920 << 1080 << 30 << "H264";
}

void TestV4l2Capture::chosenFormatIsSetAndPicturesMatch()
{
    QFETCH(quint32, fourcc);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, rate);
    QFETCH(QString, name);

    const int sim = m_kernel->addCamera(fourcc == V4L2_PIX_FMT_H264 ? simulatedH264Webcam(1) : simulatedWebcam(1));
    const QString key = m_kernel->deviceKey(sim);
    const CameraFormat format = formatOf(key, width, height, float(rate), name);
    CameraCapture camera;
    QVERIFY2(camera.start(key, format), qPrintable(camera.lastError()));

    // The device was set to exactly the chosen mode and rate, and says so back.
    QCOMPARE(m_kernel->currentMode(sim), (SimulatedMode{fourcc, width, height}));
    QCOMPARE(m_kernel->currentRate(sim), rate);
    QCOMPARE(qRound(camera.grantedFormat().frameRate()), rate);
    QCOMPARE(camera.grantedFormat().subtype, fourcc);
    QVERIFY(!describeGrantedFormat(camera.grantedFormat(), format).contains(QLatin1String("asked")));
    if (fourcc == V4L2_PIX_FMT_YUYV)
        QCOMPARE(m_kernel->bytesPerLine(sim), width * 2 + 64);

    // Pictures come through as the known picture, within what JPEG and 4:2:2 chroma lose.
    for (int i = 0; i < 3; ++i) {
        const Difference difference = differenceFromKnown(nextPicture(camera), width, height);
        QVERIFY2(difference.mean < 4.0 && difference.worstBar <= 6,
                 qPrintable(QStringLiteral("mean %1, worst bar %2").arg(difference.mean).arg(difference.worstBar)));
    }
    QCOMPARE(camera.corruptPictures(), quint64(0));
    // The stream keeps its rate through decoding (the buffers may hold a few pictures more).
    const quint64 before = camera.picturesDelivered();
    const qint64 startNs = monotonicNowNs();
    QTest::qWait(1000);
    const double expected = double(monotonicNowNs() - startNs) / 1e9 * rate;
    const double delivered = double(camera.picturesDelivered() - before);
    QVERIFY2(delivered >= expected * 0.8 && delivered <= expected + 4, qPrintable(QStringLiteral("%1 of %2").arg(delivered).arg(expected)));
}

void TestV4l2Capture::compressedCameraKeepsItsStreamAndPreviewsDecodeIt_data()
{
    QTest::addColumn<quint32>("fourcc");
    QTest::addColumn<QSize>("previewSize"); // what a 480 x 270 preview gets decoded
    QTest::newRow("MJPEG: previews decode at a quarter of the size") << quint32(V4L2_PIX_FMT_MJPEG) << QSize(480, 270);
    QTest::newRow("H.264: previews decode every picture while watched") << quint32(V4L2_PIX_FMT_H264) << QSize(1920, 1080);
}

void TestV4l2Capture::compressedCameraKeepsItsStreamAndPreviewsDecodeIt()
{
    QFETCH(quint32, fourcc);
    QFETCH(QSize, previewSize);
    const int sim = m_kernel->addCamera(simulatedH264Webcam(1));
    const QString key = m_kernel->deviceKey(sim);
    CameraCapture camera;
    camera.setKeepsCompressedPictures(true);
    QVERIFY(camera.start(key, formatOf(key, 1920, 1080, 30.0f, fourcc == V4L2_PIX_FMT_H264 ? "H264" : "MJPEG")));
    QVERIFY(camera.sendsCompressedPictures());

    // Readers get the camera's own pictures, not decoded.
    const PixelFormat codec = fourcc == V4L2_PIX_FMT_H264 ? PixelFormat::H264 : PixelFormat::Mjpeg;
    Picture picture;
    QTRY_VERIFY_WITH_TIMEOUT((camera.latestFrame(picture), picture.format() == codec), 3000);
    QVERIFY(picture.isKeyFrame()); // the simulated camera sends key frames only
    QCOMPARE(camera.pictureFormat(), codec);
    // What recording it costs: the pictures' bytes at the camera's rate (the flash picture
    // of every second has a size of its own).
    QTRY_VERIFY_WITH_TIMEOUT(camera.streamBytesPerSecond() > 0, 3000);
    QVERIFY2(std::abs(camera.streamBytesPerSecond() - picture.size() * 30) < picture.size() * 10,
             qPrintable(QStringLiteral("%1 for pictures of %2 bytes").arg(camera.streamBytesPerSecond()).arg(picture.size())));

    // A preview gets a decoded picture (H.264 once a preview has asked and a key frame came).
    Picture preview;
    QTRY_VERIFY_WITH_TIMEOUT((camera.previewPicture(480, 270, preview), preview.isComplete()), 3000);
    QVERIFY(!preview.isCompressed());
    QCOMPARE(QSize(preview.width(), preview.height()), previewSize);
    const Difference difference = differenceFromKnown(rgbaBytesOf(preview), preview.width(), preview.height());
    QVERIFY2(difference.mean < 6.0, qPrintable(QString::number(difference.mean)));

    // Decoding again from the next picture on.
    camera.setKeepsCompressedPictures(false);
    QTRY_VERIFY_WITH_TIMEOUT((camera.latestFrame(picture), !picture.isCompressed()), 3000);
    QCOMPARE(QSize(picture.width(), picture.height()), QSize(1920, 1080));
}

void TestV4l2Capture::captureTimesComeFromTheDriver_data()
{
    QTest::addColumn<bool>("monotonicStamps");
    QTest::newRow("monotonic buffer stamps") << true;
    QTest::newRow("stamps of no known clock") << false;
}

void TestV4l2Capture::captureTimesComeFromTheDriver()
{
    QFETCH(bool, monotonicStamps);
    SimulatedCameraSpec spec = simulatedWebcam(1);
    spec.monotonicTimestamps = monotonicStamps;
    spec.deliveryDelayNs = 25'000'000;
    const int sim = m_kernel->addCamera(spec);

    V4l2Capture device(m_kernel->deviceKey(sim), m_kernel);
    CameraFormat format;
    format.subtype = V4L2_PIX_FMT_YUYV;
    format.width = 640;
    format.height = 480;
    format.fpsNumerator = 30;
    QVERIFY2(device.open(format), qPrintable(device.lastError()));
    QCOMPARE(device.geometry().rowStride, qsizetype(640 * 2 + 64));

    QMutex mutex;
    QList<qint64> captured;
    QList<qint64> dequeued;
    QVERIFY(device.start([&](const CapturedSample &sample) {
        const qint64 nowNs = monotonicNowNs();
        QMutexLocker lock(&mutex);
        captured.append(sample.captureNs);
        dequeued.append(nowNs);
    }));
    QTest::qWait(400);
    device.stop();

    QVERIFY(captured.size() >= 6);
    for (int i = 1; i < captured.size(); ++i) {
        const qint64 lateNs = dequeued[i] - captured[i];
        if (monotonicStamps) {
            // Taken whole frame intervals after the previous one (a loaded machine may miss a
            // picture), 25 ms before it could be read.
            const qint64 gapNs = captured[i] - captured[i - 1];
            const qint64 intervals = (gapNs + 16'666'666) / 33'333'333;
            QVERIFY2(intervals >= 1 && std::abs(gapNs - intervals * 33'333'333) < 2000, qPrintable(QString::number(gapNs)));
            QVERIFY2(lateNs >= 25'000'000, qPrintable(QString::number(lateNs)));
        } else {
            QVERIFY2(lateNs >= 0 && lateNs < 5'000'000, qPrintable(QString::number(lateNs)));
        }
    }
}

void TestV4l2Capture::formatTheDriverWillNotSetIsGrantedAndShown()
{
    const int sim = m_kernel->addCamera(simulatedWebcam(1));
    const QString key = m_kernel->deviceKey(sim);
    const CameraFormat asked = formatOf(key, 1280, 720, 30.0f, QStringLiteral("MJPEG"));
    QCOMPARE(asked.subtypeName, QStringLiteral("MJPEG"));

    CameraCapture camera;
    QVERIFY2(camera.start(key, asked), qPrintable(camera.lastError()));
    QCOMPARE(m_kernel->currentMode(sim), (SimulatedMode{V4L2_PIX_FMT_YUYV, 1280, 720}));
    QCOMPARE(describeGrantedFormat(camera.grantedFormat(), asked), QStringLiteral("1280\u00d7720 YUY2 10 fps (asked MJPEG 30 fps)"));
    // What was granted is what runs: YUYV pictures at their padded stride, shown right.
    const Difference difference = differenceFromKnown(nextPicture(camera), 1280, 720);
    QVERIFY2(difference.mean < 4.0, qPrintable(QString::number(difference.mean)));
}

void TestV4l2Capture::cameraInUseElsewhereSaysSo()
{
    SimulatedCameraSpec spec = simulatedWebcam(1);
    spec.busyError = EBUSY;
    const int sim = m_kernel->addCamera(spec);
    CameraCapture camera;
    QVERIFY(!camera.start(m_kernel->deviceKey(sim), formatOf(m_kernel->deviceKey(sim), 1920, 1080, 30.0f, "MJPEG")));
    QVERIFY2(camera.lastError().contains(QLatin1String("in use by another program")), qPrintable(camera.lastError()));
    QVERIFY(!camera.isRunning());
}

void TestV4l2Capture::damagedPicturesAreCountedNeverShown_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QString>("name");
    QTest::newRow("MJPEG") << 1920 << 1080 << "MJPEG";
    QTest::newRow("YUYV") << 640 << 480 << "YUY2";
}

void TestV4l2Capture::damagedPicturesAreCountedNeverShown()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QString, name);

    SimulatedCameraSpec spec = simulatedWebcam(1);
    spec.corruptEvery = 3; // cut off, all zero, flagged by the driver, in turn
    const int sim = m_kernel->addCamera(spec);
    const QString key = m_kernel->deviceKey(sim);
    CameraCapture camera;
    QVERIFY2(camera.start(key, formatOf(key, width, height, 30.0f, name)), qPrintable(camera.lastError()));

    for (int i = 0; i < 12; ++i) {
        const Difference difference = differenceFromKnown(nextPicture(camera), width, height);
        QVERIFY2(difference.mean < 4.0, qPrintable(QStringLiteral("picture %1: mean %2").arg(i).arg(difference.mean)));
    }
    camera.stop();
    const qint64 sent = m_kernel->picturesSent(sim);
    QVERIFY2(std::abs(qint64(camera.corruptPictures()) - sent / 3) <= 1,
             qPrintable(QStringLiteral("%1 damaged of %2").arg(camera.corruptPictures()).arg(sent)));
    QVERIFY2(std::abs(qint64(camera.picturesDelivered()) - (sent - sent / 3)) <= 1,
             qPrintable(QStringLiteral("%1 shown of %2").arg(camera.picturesDelivered()).arg(sent)));
}

void TestV4l2Capture::lostCameraIsRestartedInTheSameFormat_data()
{
    QTest::addColumn<bool>("vanishes");
    QTest::newRow("unplugged and back") << true;
    QTest::newRow("goes quiet") << false;
}

void TestV4l2Capture::lostCameraIsRestartedInTheSameFormat()
{
    QFETCH(bool, vanishes);
    SimulatedCameraSpec spec = simulatedWebcam(1);
    if (vanishes) {
        spec.vanishAfterPictures = 15;
        spec.returnAfterNs = 1'000'000'000;
    } else {
        spec.stallAfterPictures = 15;
    }
    const int sim = m_kernel->addCamera(spec);
    const QString key = m_kernel->deviceKey(sim);
    const QString firstNode = m_kernel->nodePath(sim);
    CameraCapture camera;
    QVERIFY(camera.start(key, formatOf(key, 640, 480, 30.0f, "YUY2")));
    QVERIFY(superviseUntil(camera, SourceState::Live, 100));

    // Unplugged: found at once (ENODEV); quiet: after two seconds without a picture.
    QVERIFY(superviseUntil(camera, SourceState::Lost, vanishes ? 1500 : 3500));
    QVERIFY(camera.isRunning()); // readers keep the last picture
    QVERIFY2(camera.lastError().contains(vanishes ? QLatin1String("not connected") : QLatin1String("no picture")),
             qPrintable(camera.lastError()));
    Picture frozen;
    camera.latestFrame(frozen);
    QVERIFY(differenceFromKnown(rgbaBytesOf(frozen), 640, 480).mean < 4.0);

    // Back (at another node, same key), it is restarted in the mode it had, and delivers.
    QVERIFY(superviseUntil(camera, SourceState::Reconnecting, 4500));
    if (vanishes)
        QVERIFY(m_kernel->nodePath(sim) != firstNode);
    QVERIFY(superviseUntil(camera, SourceState::Live, 2000));
    QCOMPARE(m_kernel->currentMode(sim), (SimulatedMode{V4L2_PIX_FMT_YUYV, 640, 480}));
    QCOMPARE(m_kernel->currentRate(sim), 30);
    QCOMPARE(camera.deviceKey(), key);
    QVERIFY(differenceFromKnown(nextPicture(camera), 640, 480).mean < 4.0);
}

QTEST_GUILESS_MAIN(TestV4l2Capture)
#include "tst_v4l2capture.moc"
