#include "capture/TestPatternDevices.h"

#include "capture/TestPatternRenderer.h"
#include "common/MonotonicClock.h"
#include "common/ThreadName.h"

#include <QRegularExpression>


#include <chrono>
#include <cmath>

namespace {

const QString KeyPrefix = QStringLiteral("vireon:testpattern:");
constexpr qint64 NsPerSecond = 1'000'000'000;

// Frame slot n of a clip starting at startNs, for a rate in thousandths of a frame per second;
// 128-bit so that days of frames cannot overflow.
qint64 slotTimeNs(qint64 startNs, qint64 slot, qint64 rateMilli)
{
    return startNs + qint64((__int128)slot * NsPerSecond * 1000 / rateMilli);
}

// The slot whose time is the last at or before nowNs.
qint64 slotAt(qint64 startNs, qint64 nowNs, qint64 rateMilli)
{
    if (nowNs <= startNs)
        return 0;
    return qint64((__int128)(nowNs - startNs) * rateMilli / (NsPerSecond * 1000));
}

} // namespace

QList<DeviceInfo> listTestPatternDevices()
{
    QList<DeviceInfo> devices;
    for (int number = 1; number <= TestPatternDeviceCount; ++number)
        devices.append({QStringLiteral("Test Pattern %1").arg(number), KeyPrefix + QString::number(number), QString()});
    return devices;
}

QList<CameraFormat> testPatternFormats()
{
    static const int sizes[][2] = {{1920, 1080}, {1280, 720}, {640, 480}};
    // Every rate a take can record at, so a demo take runs its cameras at the take's rate.
    static const double rates[] = {60, 60000.0 / 1001, 50, 30, 30000.0 / 1001, 25, 24, 24000.0 / 1001};
    QList<CameraFormat> formats;
    for (const auto &size : sizes) {
        for (double rate : rates) {
            CameraFormat format;
            format.capsIndex = int(formats.size());
            format.width = size[0];
            format.height = size[1];
            format.fpsNumerator = 10'000'000;
            format.fpsDenominator = qRound(10'000'000.0 / rate);
            format.subtypeName = QStringLiteral("I420");
            formats.append(format);
        }
    }
    return formats;
}

bool isTestPatternKey(const QString &key)
{
    return testPatternNumber(key) != 0;
}

int testPatternNumber(const QString &key)
{
    static const QRegularExpression pattern(QStringLiteral("^vireon:testpattern:([1-9][0-9]?)$"));
    const QRegularExpressionMatch match = pattern.match(key);
    if (!match.hasMatch())
        return 0;
    const int number = match.captured(1).toInt();
    return number <= TestPatternDeviceCount ? number : 0;
}

TestPatternDevice::TestPatternDevice(const QString &deviceKey)
    : m_number(testPatternNumber(deviceKey))
{
}

TestPatternDevice::~TestPatternDevice()
{
    stop();
}

bool TestPatternDevice::open(const CameraFormat &format)
{
    stop();
    if (m_number == 0) {
        m_lastError = QStringLiteral("Unknown test pattern device");
        return false;
    }
    if (format.width < 160 || format.height < 120 || format.width > 7680 || format.height > 4320) {
        m_lastError = QStringLiteral("Test pattern size %1x%2 is outside 160x120 .. 7680x4320")
                          .arg(format.width)
                          .arg(format.height);
        return false;
    }
    const double rate = format.fpsDenominator > 0 ? double(format.fpsNumerator) / format.fpsDenominator : 0.0;
    // The listed formats carry 10 000 000 / round(10 000 000 / fps); rounding to a thousandth
    // brings 30 fps back to exactly 30 instead of 30.000003.
    m_rateMilli = (rate >= 1.0 && rate <= 240.0) ? std::llround(rate * 1000.0) : 30'000;

    m_geometry = CaptureGeometry{};
    m_geometry.width = format.width;
    m_geometry.height = format.height;
    m_geometry.rowStride = format.width;
    m_geometry.pixelFormat = CapturePixelFormat::Yu12;
    m_geometry.yuvBt709 = TestPatternRenderer::colour().matrix == ColourMatrix::Bt709;
    m_geometry.yuvFullRange = TestPatternRenderer::colour().isFullRange;
    m_renderer = std::make_unique<TestPatternRenderer>(m_number, format.width, format.height);
    m_frame.resize(m_renderer->frameBytes());
    m_lastError.clear();
    return true;
}

CaptureGeometry TestPatternDevice::geometry() const
{
    return m_geometry;
}

bool TestPatternDevice::start(DeliverFunction deliver)
{
    if (!m_renderer || m_thread.joinable()) {
        m_lastError = QStringLiteral("Test pattern device is not open");
        return false;
    }
    {
        std::lock_guard lock(m_wakeMutex);
        m_quit = false;
    }
    m_thread = std::thread([this, deliver = std::move(deliver)] { run(deliver); });
    return true;
}

void TestPatternDevice::stop()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard lock(m_wakeMutex);
        m_quit = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

QString TestPatternDevice::lastError() const
{
    return m_lastError;
}

void TestPatternDevice::run(DeliverFunction deliver)
{
    nameCurrentThread(QStringLiteral("testpattern %1").arg(m_number));

    uchar *frame = reinterpret_cast<uchar *>(m_frame.data());
    const qint64 startNs = monotonicNowNs();
    qint64 slot = 0;
    qint64 previousCaptureNs = slotTimeNs(startNs, -1, m_rateMilli);

    std::unique_lock lock(m_wakeMutex);
    while (!m_quit) {
        const qint64 dueNs = slotTimeNs(startNs, slot, m_rateMilli);
        // steady_clock is the clock monotonicNowNs() reads.
        const std::chrono::steady_clock::time_point due{std::chrono::nanoseconds(dueNs)};
        if (m_wake.wait_until(lock, due, [this] { return m_quit; }))
            break;
        lock.unlock();

        const qint64 captureNs = dueNs;
        const bool flash = TestPatternRenderer::crossesWholeSecond(previousCaptureNs, captureNs);
        m_renderer->render(frame, slot, captureNs, flash);
        deliver(CapturedSample{frame, m_frame.size(), captureNs, false});
        previousCaptureNs = captureNs;

        // Behind by a whole frame or more (an overloaded machine): go on with the current slot.
        slot = std::max(slot + 1, slotAt(startNs, monotonicNowNs(), m_rateMilli));
        lock.lock();
    }
}
