#include "capture/CameraCapture.h"

#include "common/MonotonicClock.h"

#include "capture/CameraPictureConverter.h"
#include "capture/PictureDecoder.h"
#include "capture/VideoFrame.h"
#include "capture/TestPatternDevices.h"
#ifdef _WIN32
#include "capture/DirectShowCaptureDevice.h"
#else
#include "capture/V4l2Capture.h"
#include "capture/V4l2Devices.h"
#include "capture/V4l2Kernel.h"
#include "capture/V4l2Mapping.h"
#endif

#include <QDebug>
#include <QMutexLocker>

#include <algorithm>

namespace {

// A preview that asked within this long keeps an H.264 stream's preview decoding going.
constexpr qint64 kPreviewInterestNs = 1'000'000'000;
// Weight of the newest picture in the smoothed stream size and picture interval.
constexpr double kSmoothing = 1.0 / 32;

} // namespace

struct CameraCapture::PreviewCache
{
    // One MJPEG decoder per reduced size, so previews of different sizes do not take turns
    // reopening one.
    std::unique_ptr<PictureDecoder> decoders[PictureDecoder::MaxLowres + 1];
    Picture source;  // the compressed picture `decoded` was made from
    Picture decoded; // the newest preview picture
    int lowres = 0;
};

CameraCapture::CameraCapture()
    : m_name(QStringLiteral("Camera"))
    , m_preview(std::make_unique<PreviewCache>())
{
}

CameraCapture::~CameraCapture()
{
    stop();
}

unsigned int CameraCapture::textureId() const
{
    return 0;
}

int CameraCapture::width() const
{
    return m_width.load();
}

int CameraCapture::height() const
{
    return m_height.load();
}

void CameraCapture::updateTexture()
{
    if (!m_newPicture.load(std::memory_order_acquire))
        return;
    QMutexLocker lock(&m_frameMutex);
    m_newPicture.store(false);
}

void CameraCapture::latestFrame(Picture &out)
{
    QMutexLocker lock(&m_frameMutex);
    m_newPicture.store(false);
    out = m_picture;
}

void CameraCapture::picturesAfter(quint64 sequence, std::vector<TimedPicture> &out)
{
    out.clear();
    QMutexLocker lock(&m_frameMutex);
    for (const TimedPicture &picture : m_history) {
        if (picture.sequence > sequence)
            out.push_back(picture);
    }
}

void CameraCapture::previewPicture(int maxWidth, int maxHeight, Picture &out)
{
    Picture newest;
    {
        QMutexLocker lock(&m_frameMutex);
        newest = m_picture;
    }
    if (!newest.isCompressed()) {
        out = newest;
        return;
    }
    m_previewWantedNs.store(monotonicNowNs(), std::memory_order_relaxed);
    QMutexLocker lock(&m_previewMutex);
    PreviewCache &cache = *m_preview;
    if (newest.format() == PixelFormat::H264) {
        out = cache.decoded; // decoded on the device thread as the pictures come
        return;
    }
    const int lowres = PictureDecoder::lowresFor(PixelFormat::Mjpeg, newest.width(), newest.height(), maxWidth, maxHeight);
    // The same picture decoded at this size or larger already: shown as it is.
    if (cache.source.isSharedWith(newest) && cache.lowres <= lowres && !cache.decoded.isEmpty()) {
        out = cache.decoded;
        return;
    }
    std::unique_ptr<PictureDecoder> &decoder = cache.decoders[lowres];
    if (!decoder)
        decoder = std::make_unique<PictureDecoder>(PixelFormat::Mjpeg, lowres);
    Picture decoded = decoder->decode(newest.plane(0), newest.size());
    if (!decoded.isEmpty()) {
        cache.decoded = std::move(decoded);
        cache.source = newest;
        cache.lowres = lowres;
    }
    out = cache.decoded;
}

void CameraCapture::decodeStreamPreview(const Picture &compressed)
{
    const bool isWatched = monotonicNowNs() - m_previewWantedNs.load(std::memory_order_relaxed) < kPreviewInterestNs;
    if (!isWatched) {
        m_streamPreviewDecoder.reset(); // starts again from the next key frame
        return;
    }
    if (!m_streamPreviewDecoder) {
        if (!compressed.isKeyFrame())
            return;
        m_streamPreviewDecoder = std::make_unique<PictureDecoder>(PixelFormat::H264);
    }
    Picture decoded = m_streamPreviewDecoder->decode(compressed.plane(0), compressed.size());
    if (decoded.isEmpty())
        return;
    QMutexLocker lock(&m_previewMutex);
    m_preview->decoded = std::move(decoded);
    m_preview->source = compressed;
}

bool CameraCapture::sendsCompressedPictures() const
{
    return m_geometry.pixelFormat == CapturePixelFormat::Mjpeg || m_geometry.pixelFormat == CapturePixelFormat::H264;
}

std::optional<PixelFormat> CameraCapture::compressedFormat() const
{
    if (m_geometry.pixelFormat == CapturePixelFormat::Mjpeg)
        return PixelFormat::Mjpeg;
    if (m_geometry.pixelFormat == CapturePixelFormat::H264)
        return PixelFormat::H264;
    return std::nullopt;
}

PixelFormat CameraCapture::pictureFormat() const
{
    return m_pictureFormat.load(std::memory_order_relaxed);
}

QString CameraCapture::name() const
{
    return m_name;
}

void CameraCapture::setName(const QString &name)
{
    m_name = name;
}

void CameraCapture::toggleFlip()
{
    m_flip.store(!m_flip.load());
}

void CameraCapture::showPropertyPage()
{
    if (m_device)
        m_device->showPropertyPage();
}

QList<DeviceInfo> CameraCapture::listDevices()
{
#ifdef _WIN32
    return listDirectShowCameras() + listTestPatternDevices();
#else
    return listV4l2Devices(*currentV4l2Kernel()) + listTestPatternDevices();
#endif
}

QList<CameraFormat> CameraCapture::listFormats(const QString &deviceKey)
{
    if (isTestPatternKey(deviceKey))
        return normaliseCameraFormats(testPatternFormats());
#ifdef _WIN32
    // DirectShow keys are device paths or names; the device list is the only judge of them.
    if (!deviceKey.isEmpty())
        return normaliseCameraFormats(listDirectShowCameraFormats(deviceKey));
#else
    if (isV4l2DeviceKey(deviceKey))
        return normaliseCameraFormats(listV4l2Formats(*currentV4l2Kernel(), deviceKey));
#endif
    return {};
}

std::unique_ptr<ICaptureDevice> CameraCapture::createDevice(const QString &deviceKey)
{
    if (isTestPatternKey(deviceKey))
        return std::make_unique<TestPatternDevice>(deviceKey);
#ifdef _WIN32
    if (!deviceKey.isEmpty())
        return std::make_unique<DirectShowCaptureDevice>(deviceKey);
#else
    if (isV4l2DeviceKey(deviceKey))
        return std::make_unique<V4l2Capture>(deviceKey, currentV4l2Kernel());
#endif
    return nullptr;
}

bool CameraCapture::start(const QString &deviceKey, const CameraFormat &format)
{
    std::unique_ptr<ICaptureDevice> device = createDevice(deviceKey);
    if (!device) {
        stop();
        m_lastError = QStringLiteral("Unknown camera device: \"%1\"").arg(deviceKey);
        qWarning() << "[CameraCapture]" << m_lastError;
        return false;
    }
    return start(std::move(device), deviceKey, format);
}

bool CameraCapture::start(std::unique_ptr<ICaptureDevice> device, const QString &deviceKey,
                          const CameraFormat &format)
{
    stop();
    m_lastError.clear();
    if (!device) {
        m_lastError = QStringLiteral("No capture device");
        return false;
    }
    m_deviceKey = deviceKey;
    {
        // A new device starts from black, never from another device's picture.
        QMutexLocker lock(&m_frameMutex);
        m_picture = Picture();
    }
    if (!startDevice(std::move(device), format))
        return false;
    m_state = SourceState::Live;
    return true;
}

bool CameraCapture::startDevice(std::unique_ptr<ICaptureDevice> device, const CameraFormat &format)
{
    if (!device->open(format)) {
        m_lastError = device->lastError();
        device->stop();
        return false;
    }
    const CaptureGeometry geometry = device->geometry();
    if (geometry.width < 1 || geometry.height < 1) {
        m_lastError = QStringLiteral("Device reported an empty picture size");
        device->stop();
        return false;
    }

    // No device thread runs here, so the producer-side state can be set without the lock.
    m_geometry = geometry;
    m_converter = std::make_unique<CameraPictureConverter>(geometry, m_pool);
    m_pictureFormat.store(m_converter->decodedFormat());
    m_streamPreviewDecoder.reset();
    m_previousTakenNs = 0;
    m_intervalAverageNs = 0;
    m_streamBytesAverage = 0;
    m_streamBytesPerSecond.store(0);
    m_pool.clear();
    {
        QMutexLocker lock(&m_frameMutex);
        // A device restarted at its old size keeps showing its last picture until the next.
        if (m_picture.width() != geometry.width || m_picture.height() != geometry.height) {
            m_picture = blackPicture(geometry.width, geometry.height);
            m_history.clear();
        }
        m_newPicture.store(false);
    }
    {
        QMutexLocker lock(&m_previewMutex);
        *m_preview = PreviewCache{};
    }
    m_width.store(geometry.width);
    m_height.store(geometry.height);
    m_grantedFormat = device->grantedFormat().value_or(format);
    m_grantedFormat.width = geometry.width;
    m_grantedFormat.height = geometry.height;
    m_isCorruptLogged.store(false);

    // Running before the first delivery can arrive, or that delivery would be dropped.
    const bool wasRunning = isRunning();
    m_running.store(true, std::memory_order_release);
    if (!device->start([this](const CapturedSample &sample) { deliver(sample); })) {
        m_running.store(wasRunning);
        m_lastError = device->lastError();
        device->stop();
        return false;
    }
    m_device = std::move(device);
    m_deviceStartNs = monotonicNowNs();
    m_picturesAtStart = picturesDelivered();
    return true;
}

void CameraCapture::stop()
{
    // Cleared first, so a picture arriving during the tear-down is dropped.
    m_running.store(false, std::memory_order_release);
    m_state = SourceState::Off;
    releaseDevice();
}

void CameraCapture::releaseDevice()
{
    if (!m_device)
        return;
    m_device->stop();
    // Keep a failure the device reported while it ran; the next start clears it.
    const QString deviceError = m_device->lastError();
    if (!deviceError.isEmpty())
        m_lastError = deviceError;
    m_device.reset();
}

SourceState CameraCapture::state() const
{
    return isRunning() ? m_state : SourceState::Off;
}

bool CameraCapture::isDevicePresent(const QString &deviceKey)
{
    if (isTestPatternKey(deviceKey))
        return true;
#ifdef _WIN32
    const QList<DeviceInfo> devices = listDirectShowCameras();
    return std::any_of(devices.cbegin(), devices.cend(),
                       [&](const DeviceInfo &device) { return device.devicePath == deviceKey; });
#else
    return isV4l2DeviceKey(deviceKey) && isV4l2NodePath(currentV4l2Kernel()->resolveNode(deviceKey));
#endif
}

bool CameraCapture::supervise(qint64 nowNs)
{
    if (!isRunning())
        return false; // state() reads Off
    const SourceState before = m_state;

    if (m_state == SourceState::Lost) {
        if (nowNs >= m_nextRetryNs)
            restartIfPresent(nowNs);
    } else if (!m_device || m_device->hasFailed()) {
        markLost(nowNs, m_device ? m_device->lastError() : QStringLiteral("the device stopped"));
    } else if (nowNs - std::max(m_lastPictureArrivalNs.load(), m_deviceStartNs) > StallTimeoutNs) {
        markLost(nowNs, QStringLiteral("no picture from %1 for %2 s").arg(m_deviceKey).arg(StallTimeoutNs / 1'000'000'000));
    } else if (m_state == SourceState::Reconnecting && picturesDelivered() > m_picturesAtStart) {
        m_state = SourceState::Live;
    }
    return state() != before;
}

void CameraCapture::markLost(qint64 nowNs, const QString &why)
{
    // The device is let go at once, so a node that comes back is free to be opened again.
    releaseDevice();
    m_lastError = why.isEmpty() ? QStringLiteral("the device stopped") : why;
    m_state = SourceState::Lost;
    m_nextRetryNs = nowNs + RetryIntervalNs;
}

void CameraCapture::restartIfPresent(qint64 nowNs)
{
    m_nextRetryNs = nowNs + RetryIntervalNs;
    if (!isDevicePresent(m_deviceKey))
        return;
    std::unique_ptr<ICaptureDevice> device = createDevice(m_deviceKey);
    if (device && startDevice(std::move(device), m_grantedFormat))
        m_state = SourceState::Reconnecting;
}

QString CameraCapture::deviceKey() const
{
    return m_deviceKey;
}

QString CameraCapture::lastError() const
{
    if (m_device) {
        const QString deviceError = m_device->lastError();
        if (!deviceError.isEmpty())
            return deviceError;
    }
    return m_lastError;
}

void CameraCapture::deliver(const CapturedSample &sample)
{
    if (!m_running.load(std::memory_order_acquire))
        return;
    if (sample.isFlaggedCorrupt) {
        dropCorrupt(QStringLiteral("the driver marked the buffer as damaged"));
        return;
    }
    // The picture's own time places it in the recording, even when it reaches us late.
    const qint64 receivedNs = monotonicNowNs();
    const qint64 takenNs = sample.captureNs >= 0 ? sample.captureNs : receivedNs;

    Picture picture;
    if (!m_converter->convert(sample.data, sample.length, m_flip.load(), keepsCompressedPictures(), &picture)) {
        dropCorrupt(m_converter->problem()); // any buffer goes straight back to the pool
        return;
    }
    m_pictureFormat.store(picture.isCompressed() ? picture.format() : m_converter->decodedFormat(),
                          std::memory_order_relaxed);
    noteStreamSize(sample.length, takenNs);
    if (picture.format() == PixelFormat::H264)
        decodeStreamPreview(picture);
    // Handed over now: after decoding, when readers can have it.
    const qint64 arrivalNs = monotonicNowNs();
    const quint64 sequence = m_picturesDelivered.load(std::memory_order_relaxed) + 1;
    {
        QMutexLocker lock(&m_frameMutex);
        std::swap(m_picture, picture);
        if (m_history.size() == PictureHistory)
            m_history.erase(m_history.begin());
        m_history.push_back(TimedPicture{m_picture, takenNs, arrivalNs, sequence});
        m_newPicture.store(true, std::memory_order_release);
    }
    m_picturesDelivered.store(sequence, std::memory_order_relaxed);
    m_lastPictureArrivalNs.store(arrivalNs, std::memory_order_relaxed);
    m_lastLatencyNs.store(arrivalNs - takenNs, std::memory_order_relaxed);
    // `picture` now holds the one swapped out; dropping it outside the lock returns its buffer
    // to the pool unless a reader still holds it.
}

void CameraCapture::noteStreamSize(qsizetype bytes, qint64 takenNs)
{
    if (!sendsCompressedPictures())
        return;
    const qint64 intervalNs = m_previousTakenNs > 0 ? takenNs - m_previousTakenNs : 0;
    m_previousTakenNs = takenNs;
    m_streamBytesAverage = m_streamBytesAverage > 0 ? m_streamBytesAverage + (double(bytes) - m_streamBytesAverage) * kSmoothing
                                                    : double(bytes);
    if (intervalNs > 0)
        m_intervalAverageNs = m_intervalAverageNs > 0 ? m_intervalAverageNs + (double(intervalNs) - m_intervalAverageNs) * kSmoothing
                                                      : double(intervalNs);
    if (m_intervalAverageNs > 0)
        m_streamBytesPerSecond.store(qint64(m_streamBytesAverage * 1e9 / m_intervalAverageNs), std::memory_order_relaxed);
}

void CameraCapture::dropCorrupt(const QString &why)
{
    m_corruptPictures.fetch_add(1, std::memory_order_relaxed);
    if (!m_isCorruptLogged.exchange(true))
        qWarning().noquote() << "[CameraCapture] Dropped a damaged picture from" << m_deviceKey << "-" << why
                             << "(later ones are counted, not logged)";
}
