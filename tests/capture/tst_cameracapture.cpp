// CameraCapture as its readers see it: the picture hand-over (no half-written or recycled
// picture ever reaches a reader, no copy per read), the readers' rules, failed starts, and a
// built-in test pattern running through the whole path. A hand-driven device stands in for a
// camera where a test needs to choose each sample.
#include "capture/CameraCapture.h"
#include "capture/FrameConversion.h"
#include "capture/PicturePool.h"
#include "capture/TestPatternDevices.h"
#include "capture/TestPatternRenderer.h"
#include "capture/VideoFrame.h"

#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

// Delivers exactly the samples a test pushes, on the caller's thread.
class ManualDevice : public ICaptureDevice
{
public:
    explicit ManualDevice(CaptureGeometry geometry, bool opens = true)
        : m_geometry(geometry)
        , m_opens(opens)
    {
    }

    bool open(const CameraFormat &) override { return m_opens; }
    CaptureGeometry geometry() const override { return m_geometry; }
    bool start(DeliverFunction deliver) override
    {
        m_deliver = std::move(deliver);
        return true;
    }
    void stop() override { m_isStopped = true; }
    QString lastError() const override { return m_opens ? QString() : QStringLiteral("refused"); }

    // Keeps delivering after stop, as a late driver callback would.
    void push(const QByteArray &sample)
    {
        if (m_deliver)
            m_deliver(CapturedSample{reinterpret_cast<const uchar *>(sample.constData()), sample.size(), -1, false});
    }
    bool isStopped() const { return m_isStopped; }

private:
    CaptureGeometry m_geometry;
    bool m_opens;
    DeliverFunction m_deliver;
    std::atomic<bool> m_isStopped{false};
};

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (int value : values)
        result.append(char(value));
    return result;
}

// A tight BGR picture whose every byte is `value`.
QByteArray uniformSample(int width, int height, int value)
{
    return QByteArray(qsizetype(width) * height * 3, char(value));
}

bool isUniformRgba(const Picture &picture, uchar value)
{
    const uchar *pixels = reinterpret_cast<const uchar *>(picture.constData());
    for (qsizetype i = 0; i < picture.size(); i += 4) {
        if (pixels[i] != value || pixels[i + 1] != value || pixels[i + 2] != value || pixels[i + 3] != 255)
            return false;
    }
    return true;
}

// Starts `camera` on a hand-driven device and returns the device (owned by the camera).
ManualDevice *startManual(CameraCapture &camera, CaptureGeometry geometry)
{
    auto device = std::make_unique<ManualDevice>(geometry);
    ManualDevice *raw = device.get();
    if (!camera.start(std::move(device), QStringLiteral("manual"), CameraFormat{}))
        return nullptr;
    return raw;
}

} // namespace

class TestCameraCapture : public QObject
{
    Q_OBJECT

private slots:
    void paddedBottomUpSampleAndFlip();
    void readersRules();
    void heldPictureIsNeverOverwritten();
    void poolReusesOnlyBuffersEveryoneLetGo();
    void sampleThatCannotHoldThePictureIsDropped_data();
    void sampleThatCannotHoldThePictureIsDropped();
    void stoppedSourceKeepsItsPictureAndTakesNoMore();
    void failedStartKeepsTheSize_data();
    void failedStartKeepsTheSize();
    void readersNeverSeeHalfWrittenPictures();
    void listsBuiltInDevicesLast();
    void testPatternRunsThroughTheSource();
};

void TestCameraCapture::paddedBottomUpSampleAndFlip()
{
    CameraCapture camera;
    ManualDevice *device = startManual(camera, {2, 2, 0, false});
    QVERIFY(device);

    // Rows padded to 8 bytes, bottom row first, as a bitmap delivers them.
    const QByteArray sample = bytes({1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0});
    device->push(sample);
    Picture picture;
    camera.latestFrame(picture);
    QCOMPARE(picture.bytes(), bytes({9, 8, 7, 255, 12, 11, 10, 255, 3, 2, 1, 255, 6, 5, 4, 255}));

    // The flip applies from the next sample on, and survives a restart.
    camera.toggleFlip();
    camera.latestFrame(picture);
    QCOMPARE(picture.bytes(), bytes({9, 8, 7, 255, 12, 11, 10, 255, 3, 2, 1, 255, 6, 5, 4, 255}));
    device->push(sample);
    camera.latestFrame(picture);
    QCOMPARE(picture.bytes(), bytes({3, 2, 1, 255, 6, 5, 4, 255, 9, 8, 7, 255, 12, 11, 10, 255}));

    device = startManual(camera, {2, 2, 0, false});
    QVERIFY(device);
    device->push(sample);
    camera.latestFrame(picture);
    QCOMPARE(picture.bytes(), bytes({3, 2, 1, 255, 6, 5, 4, 255, 9, 8, 7, 255, 12, 11, 10, 255}));
}

void TestCameraCapture::readersRules()
{
    CameraCapture camera;
    QCOMPARE(camera.width(), 0);
    QCOMPARE(camera.height(), 0);
    QVERIFY(!camera.isRunning());
    QCOMPARE(camera.textureId(), 0u);

    ManualDevice *device = startManual(camera, {8, 4, 0, true});
    QVERIFY(device);
    QVERIFY(camera.isRunning());
    QCOMPARE(camera.width(), 8);
    QCOMPARE(camera.height(), 4);

    // Started, nothing delivered yet: a whole picture, black.
    Picture first;
    camera.latestFrame(first);
    QVERIFY(first.isComplete());
    QCOMPARE(first, blackPicture(8, 4));

    device->push(uniformSample(8, 4, 40));
    camera.updateTexture(); // takes the new-picture flag; latestFrame still returns the picture
    Picture a;
    Picture b;
    camera.latestFrame(a);
    camera.latestFrame(b);
    QVERIFY(isUniformRgba(a, 40));
    QCOMPARE(a, b);
    // Handed out by reference count, not copied.
    QVERIFY(a.isSharedWith(b));
}

void TestCameraCapture::heldPictureIsNeverOverwritten()
{
    CameraCapture camera;
    ManualDevice *device = startManual(camera, {16, 8, 0, true});
    QVERIFY(device);

    device->push(uniformSample(16, 8, 10));
    Picture held;
    camera.latestFrame(held);
    const QByteArray snapshot(held.constData(), held.size()); // a deep copy

    // Enough pictures to cycle through every spare buffer the source keeps.
    Picture newest;
    for (int value = 11; value < 30; ++value) {
        device->push(uniformSample(16, 8, value));
        camera.latestFrame(newest);
        QVERIFY(isUniformRgba(newest, uchar(value)));
    }
    QCOMPARE(held.bytes(), snapshot);
}

void TestCameraCapture::poolReusesOnlyBuffersEveryoneLetGo()
{
    auto pool = std::make_unique<PicturePool>(4);
    std::shared_ptr<QByteArray> buffer = pool->acquire(64);
    const char *const sharedBytes = buffer->constData();
    Picture preview(std::move(buffer), PixelFormat::Rgba, 4, 4);
    Picture queued = preview;
    auto acquireHeld = [&](int count) {
        std::vector<std::shared_ptr<QByteArray>> held;
        for (int i = 0; i < count; ++i)
            held.push_back(pool->acquire(64));
        return held;
    };
    auto holds = [](const std::vector<std::shared_ptr<QByteArray>> &held, const char *bytes) {
        return std::any_of(held.begin(), held.end(), [bytes](const auto &b) { return b->constData() == bytes; });
    };

    // Held by two readers, then by one: the camera gets other buffers, reused once released.
    QVERIFY(!holds(acquireHeld(2), sharedBytes));
    preview = Picture();
    QVERIFY(!holds(acquireHeld(2), sharedBytes));
    QCOMPARE(pool->allocations(), quint64(3));
    // The last reader lets go on another thread (an encoder's worker): it comes back, and
    // nothing new is allocated while released buffers of the size wait.
    std::thread([held = std::move(queued)]() mutable { held = Picture(); }).join();
    QVERIFY(holds(acquireHeld(3), sharedBytes));
    QCOMPARE(pool->allocations(), quint64(3));

    // Another picture size cannot reuse them.
    pool->acquire(128);
    QCOMPARE(pool->allocations(), quint64(4));

    // Readers may outlive the camera and its pool.
    Picture late(pool->acquire(64), PixelFormat::Rgba, 4, 4);
    pool.reset();
    late = Picture();
}

void TestCameraCapture::sampleThatCannotHoldThePictureIsDropped_data()
{
    QTest::addColumn<qsizetype>("rowStride");
    QTest::addColumn<qsizetype>("length");

    QTest::newRow("one byte short, stride from length") << qsizetype(0) << qsizetype(4 * 2 * 3 - 1);
    QTest::newRow("empty sample") << qsizetype(0) << qsizetype(0);
    QTest::newRow("padded rows, last row cut") << qsizetype(16) << qsizetype(16 + 11);
}

void TestCameraCapture::sampleThatCannotHoldThePictureIsDropped()
{
    QFETCH(qsizetype, rowStride);
    QFETCH(qsizetype, length);

    CameraCapture camera;
    ManualDevice *device = startManual(camera, {4, 2, rowStride, true});
    QVERIFY(device);
    const qsizetype fullLength = rowStride > 0 ? rowStride * 2 : 4 * 2 * 3;
    device->push(QByteArray(fullLength, char(77)));
    Picture before;
    camera.latestFrame(before);
    QVERIFY(isUniformRgba(before, 77));

    device->push(QByteArray(length, char(99)));
    Picture after;
    camera.latestFrame(after);
    QCOMPARE(after, before);
}

void TestCameraCapture::stoppedSourceKeepsItsPictureAndTakesNoMore()
{
    CameraCapture camera;
    ManualDevice *device = startManual(camera, {4, 4, 0, true});
    QVERIFY(device);
    device->push(uniformSample(4, 4, 50));

    camera.stop();
    QVERIFY(!camera.isRunning());
    camera.stop(); // idempotent
    QCOMPARE(camera.width(), 4);
    Picture picture;
    camera.latestFrame(picture);
    QVERIFY(isUniformRgba(picture, 50));

    // A late delivery after stop (the callback racing the tear-down) changes nothing.
    const QByteArray late = uniformSample(4, 4, 60);
    camera.deliver(CapturedSample{reinterpret_cast<const uchar *>(late.constData()), late.size(), -1, false});
    camera.latestFrame(picture);
    QVERIFY(isUniformRgba(picture, 50));
}

void TestCameraCapture::failedStartKeepsTheSize_data()
{
    QTest::addColumn<QString>("deviceKey");
    QTest::addColumn<bool>("deviceRefuses");

    QTest::newRow("key of no device") << "no such camera" << false;
    QTest::newRow("test pattern out of range") << "vireon:testpattern:0" << false;
    QTest::newRow("video node that does not exist") << "/dev/video987" << false;
    QTest::newRow("device refuses to open") << "" << true;
}

void TestCameraCapture::failedStartKeepsTheSize()
{
    QFETCH(QString, deviceKey);
    QFETCH(bool, deviceRefuses);

    CameraCapture camera;
    QVERIFY(startManual(camera, {6, 2, 0, true}));
    QVERIFY(camera.lastError().isEmpty());

    const CameraFormat hd = chooseCameraFormat({}, 1280, 720, 30.0f, QStringLiteral("Default"));
    const bool started = deviceRefuses
        ? camera.start(std::make_unique<ManualDevice>(CaptureGeometry{1280, 720, 0, true}, false),
                       QStringLiteral("refusing"), hd)
        : camera.start(deviceKey, hd);
    QVERIFY(!started);
    QVERIFY(!camera.isRunning());
    QCOMPARE(camera.width(), 6);
    QCOMPARE(camera.height(), 2);
    QVERIFY(!camera.lastError().isEmpty());
}

void TestCameraCapture::readersNeverSeeHalfWrittenPictures()
{
    constexpr int Width = 320;
    constexpr int Height = 180;
    constexpr int Pictures = 400;

    CameraCapture camera;
    ManualDevice *device = startManual(camera, {Width, Height, 0, true});
    QVERIFY(device);

    std::atomic<bool> producerDone{false};
    std::thread producer([&] {
        for (int i = 0; i < Pictures; ++i)
            device->push(uniformSample(Width, Height, 1 + i % 250));
        producerDone = true;
    });

    // Readers keep a few pictures around, as a preview and an encoder queue do, so the
    // source has to tell held pictures from free ones while it recycles.
    // Whole: one of the pushed pictures, or the black the source starts with.
    const Picture black = blackPicture(Width, Height);
    const auto isWhole = [&](const Picture &picture) {
        if (picture.format() != PixelFormat::Rgba)
            return picture == black;
        return picture.size() == Width * Height * 4 && isUniformRgba(picture, uchar(picture.at(0)));
    };
    QList<Picture> held;
    int reads = 0;
    int torn = 0;
    while (!producerDone || reads < 10) {
        Picture picture;
        camera.latestFrame(picture);
        ++reads;
        if (!isWhole(picture))
            ++torn;
        held.append(picture);
        if (held.size() > 3)
            held.removeFirst();
        for (const Picture &old : std::as_const(held)) {
            if (!isWhole(old))
                ++torn;
        }
    }
    producer.join();
    QCOMPARE(torn, 0);
    QVERIFY(reads >= 10);
}

void TestCameraCapture::listsBuiltInDevicesLast()
{
    const QList<DeviceInfo> devices = CameraCapture::listDevices();
    QVERIFY(devices.size() >= TestPatternDeviceCount);
    const QList<DeviceInfo> builtIn = devices.mid(devices.size() - TestPatternDeviceCount);
    for (int i = 0; i < TestPatternDeviceCount; ++i) {
        QCOMPARE(builtIn[i].friendlyName, QStringLiteral("Test Pattern %1").arg(i + 1));
        QCOMPARE(builtIn[i].devicePath, QStringLiteral("vireon:testpattern:%1").arg(i + 1));
    }
    for (const DeviceInfo &device : devices.first(devices.size() - TestPatternDeviceCount))
        QVERIFY2(device.devicePath.startsWith(QLatin1String("/dev/")), qPrintable(device.devicePath));

    // Each size at every rate a take records at, fastest first.
    QStringList listed;
    for (const CameraFormat &format : CameraCapture::listFormats(QStringLiteral("vireon:testpattern:2")))
        listed.append(QStringLiteral("%1x%2@%3 %4").arg(format.width).arg(format.height)
                          .arg(QString::number(format.frameRate(), 'f', 2)).arg(format.subtypeName));
    QStringList expected;
    for (const char *size : {"1920x1080", "1280x720", "640x480"}) {
        for (const char *rate : {"60.00", "59.94", "50.00", "30.00", "29.97", "25.00", "24.00", "23.98"})
            expected.append(QStringLiteral("%1@%2 I420").arg(QLatin1String(size), QLatin1String(rate)));
    }
    QCOMPARE(listed, expected);
}

void TestCameraCapture::testPatternRunsThroughTheSource()
{
    const QString key = QStringLiteral("vireon:testpattern:3");
    const CameraFormat format = chooseCameraFormat(CameraCapture::listFormats(key), 640, 480, 60.0f,
                                                   QStringLiteral("Default"));
    CameraCapture camera;
    QVERIFY2(camera.start(key, format), qPrintable(camera.lastError()));
    QCOMPARE(camera.deviceKey(), key);
    QCOMPARE(camera.width(), 640);
    QCOMPARE(camera.height(), 480);

    const TestPatternRenderer reader(3, 640, 480);
    auto counterNow = [&] {
        Picture picture;
        camera.latestFrame(picture);
        // The pattern's own YUV, as the encoder takes it.
        if (picture.format() != PixelFormat::Yuv420p)
            return -2;
        return reader.readCounter(picture);
    };
    // The counter of a running pattern keeps rising.
    int first = -1;
    QTRY_VERIFY_WITH_TIMEOUT((first = counterNow()) >= 0, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(counterNow() >= first + 3, 5000);

    // Stopping joins the pattern's thread; it must not wait for anything.
    QElapsedTimer timer;
    timer.start();
    camera.stop();
    QVERIFY2(timer.elapsed() < 2000, "stop() waited for the device thread");
    QVERIFY(!camera.isRunning());

    const int last = counterNow();
    QTest::qWait(100);
    QCOMPARE(counterNow(), last);
}

QTEST_GUILESS_MAIN(TestCameraCapture)
#include "tst_cameracapture.moc"
