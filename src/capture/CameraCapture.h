// CameraCapture: the video source of one channel. It lists the cameras of the machine (V4L2
// or DirectShow devices first, then the built-in test patterns) and their formats, runs one of
// them, makes every delivered picture (MJPEG, H.264, YUV or 24-bit RGB, as the device sends
// it) the picture readers take, in the camera's own format (CameraPictureConverter), and
// watches the device: one that fails or goes quiet is marked lost and restarted in the same
// format once it is back. While its channel records the camera's stream, MJPEG and H.264
// pictures stay compressed; previews then get them decoded at the size they show
// (previewPicture(): MJPEG at reduced size when asked, H.264 on the device thread while a
// preview has asked within the last second).
//
// Threads: the application manager creates, starts, supervises and stops it on the GUI thread
// and keeps it in a shared pointer. The running device calls deliver() on its own thread; that
// is the only cross-thread entry. deliver() makes each picture once, into a buffer of its
// PicturePool (or the decoder's frame) that no reader holds, and swaps it in under
// m_frameMutex; readers share the picture (a reference count, no copy). A preview's decoding
// runs on the reader's thread under m_previewMutex, never under m_frameMutex. stop() joins the
// device thread before returning, and never waits for a device that has gone quiet.
#pragma once

#include "capture/CameraFormat.h"
#include "capture/ICaptureDevice.h"
#include "capture/ISource.h"
#include "capture/PicturePool.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>

#include <atomic>
#include <optional>
#include <memory>
#include <vector>

class CameraPictureConverter;
class PictureDecoder;

class CameraCapture : public ISource
{
public:
    // A device that delivers nothing for this long while running counts as lost.
    static constexpr qint64 StallTimeoutNs = 2'000'000'000;
    // A lost device is looked for again this often.
    static constexpr qint64 RetryIntervalNs = 2'000'000'000;

    CameraCapture();
    ~CameraCapture() override;

    unsigned int textureId() const override;
    int width() const override;
    int height() const override;
    void updateTexture() override;
    void latestFrame(Picture &out) override;
    void picturesAfter(quint64 sequence, std::vector<TimedPicture> &out) override;
    void previewPicture(int maxWidth, int maxHeight, Picture &out) override;
    quint64 picturesDelivered() const override { return m_picturesDelivered.load(std::memory_order_relaxed); }
    qint64 streamBytesPerSecond() const override { return m_streamBytesPerSecond.load(std::memory_order_relaxed); }
    QString name() const override;
    void setName(const QString &name) override;
    void toggleFlip() override;
    // The running device's own settings dialog (DirectShow cameras have one; V4L2 devices and
    // the test patterns do not). Nothing when stopped.
    void showPropertyPage() override;
    SourceState state() const override;

    // The system's cameras (V4L2 devices in node order, or DirectShow devices in enumeration
    // order on Windows), then "Test Pattern 1" .. "Test Pattern 4".
    static QList<DeviceInfo> listDevices();
    // The formats of one device, de-duplicated and sorted; empty for an unknown key.
    static QList<CameraFormat> listFormats(const QString &deviceKey);
    // The device layer that owns the key, not yet opened; null when no layer knows the key.
    static std::unique_ptr<ICaptureDevice> createDevice(const QString &deviceKey);
    // Whether a device with that key is there to be opened now (cheap: no device is opened).
    static bool isDevicePresent(const QString &deviceKey);

    // Stops whatever runs, then opens and starts the device. On failure the source stays
    // stopped, width() and height() keep their previous values and lastError() says why.
    bool start(const QString &deviceKey, const CameraFormat &format);
    // The same with a device made elsewhere (createDevice(), or a test's own device).
    bool start(std::unique_ptr<ICaptureDevice> device, const QString &deviceKey,
               const CameraFormat &format);
    void stop();

    // Called every few hundred milliseconds on the GUI thread while running: marks the device
    // lost when it failed or delivered nothing for StallTimeoutNs, and every RetryIntervalNs
    // restarts a lost one that is present again, in the format it had. True when state()
    // changed.
    bool supervise(qint64 nowNs);

    QString deviceKey() const;
    // Why the last start failed, or why the running device stopped delivering; empty if neither.
    QString lastError() const;
    // The format the device runs in, as it granted it (size, rate, pixel format); the request
    // when the device layer cannot tell. Valid after a successful start.
    CameraFormat grantedFormat() const { return m_grantedFormat; }
    // Pictures the device sent that could not be shown (damaged, cut off, flagged by the
    // driver); dropped, never handed to a reader.
    quint64 corruptPictures() const { return m_corruptPictures.load(std::memory_order_relaxed); }

    // Whether MJPEG and H.264 pictures stay as the camera sent them (the channel records the
    // camera's stream) instead of being decoded; takes effect from the next picture. Any thread.
    void setKeepsCompressedPictures(bool keep) { m_keepsCompressed.store(keep, std::memory_order_relaxed); }
    bool keepsCompressedPictures() const { return m_keepsCompressed.load(std::memory_order_relaxed); }
    // True when the running device sends compressed pictures (MJPEG, H.264).
    bool sendsCompressedPictures() const;
    // Their format (Mjpeg or H264); none for a raw camera.
    std::optional<PixelFormat> compressedFormat() const;
    // The format readers get: the compressed one while kept, else the decoded YUV (known after
    // the first decoded picture) or the raw layout.
    PixelFormat pictureFormat() const;
    // Time from a picture's own time stamp to its hand-over, of the newest picture.
    qint64 lastHandOverLatencyNs() const { return m_lastLatencyNs.load(std::memory_order_relaxed); }

    // The device thread's entry: converts one picture and makes it the newest. A sample that
    // cannot be a whole picture is counted and dropped, leaving the current picture as it was.
    void deliver(const CapturedSample &sample);

private:
    bool startDevice(std::unique_ptr<ICaptureDevice> device, const CameraFormat &format);
    void releaseDevice();
    void markLost(qint64 nowNs, const QString &why);
    void restartIfPresent(qint64 nowNs);
    void dropCorrupt(const QString &why);
    void noteStreamSize(qsizetype bytes, qint64 takenNs); // device thread

    // GUI thread only.
    std::unique_ptr<ICaptureDevice> m_device;
    QString m_deviceKey;
    QString m_name;
    QString m_lastError;
    CameraFormat m_grantedFormat;
    SourceState m_state = SourceState::Off;
    qint64 m_deviceStartNs = 0;      // when the current device started
    quint64 m_picturesAtStart = 0;   // picturesDelivered() then
    qint64 m_nextRetryNs = 0;        // while lost: when to look for the device again

    std::atomic<int> m_width{0};
    std::atomic<int> m_height{0};
    std::atomic<bool> m_flip{false};

    // Written on the GUI thread while no device thread runs, then used by the device thread.
    CaptureGeometry m_geometry;
    std::unique_ptr<CameraPictureConverter> m_converter;
    std::atomic<bool> m_keepsCompressed{false};
    std::atomic<PixelFormat> m_pictureFormat{PixelFormat::Rgba};

    mutable QMutex m_frameMutex;
    // Guarded by m_frameMutex: the newest whole picture, shared with readers.
    Picture m_picture;
    // Guarded by m_frameMutex: the last pictures with their times, oldest first, sharing their
    // bytes with m_picture and the readers. Enough for a recording tick that comes a few
    // hundred milliseconds late at 60 fps; the frame pump takes what it needs at every tick.
    static constexpr size_t PictureHistory = 12;
    // Buffers let go of by every reader wait in m_pool for the next picture. The history, the
    // frame pump, an encoder's queue and the preview hold the rest; idle ones beyond this many
    // (readers that held unusually many at once) are freed.
    static constexpr size_t IdleBuffers = 6;
    std::vector<TimedPicture> m_history;

    // Previews of compressed pictures. Guarded by m_previewMutex.
    struct PreviewCache;
    QMutex m_previewMutex;
    std::unique_ptr<PreviewCache> m_preview;
    // When a preview last asked (monotonic ns): an H.264 stream is decoded for previews only
    // while one is watching.
    std::atomic<qint64> m_previewWantedNs{0};
    void decodeStreamPreview(const Picture &compressed);
    std::unique_ptr<PictureDecoder> m_streamPreviewDecoder; // Device thread only.
    // Set by the device thread under m_frameMutex; cleared by the first reader.
    std::atomic<bool> m_newPicture{false};
    // Written by the device thread, read on the GUI thread (metrics, supervision).
    std::atomic<quint64> m_picturesDelivered{0};
    std::atomic<qint64> m_lastPictureArrivalNs{0};
    std::atomic<quint64> m_corruptPictures{0};
    std::atomic<qint64> m_lastLatencyNs{0};
    std::atomic<qint64> m_streamBytesPerSecond{0};
    double m_streamBytesAverage = 0; // device thread: bytes per compressed picture, smoothed
    qint64 m_previousTakenNs = 0;     // device thread
    double m_intervalAverageNs = 0;   // device thread: time between pictures, smoothed
    // The first damaged picture of a run is logged with its reason; the rest are counted.
    std::atomic<bool> m_isCorruptLogged{false};

    // Acquired from on the device thread; buffers return from whichever thread lets go last.
    PicturePool m_pool{IdleBuffers};
};
