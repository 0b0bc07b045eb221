// CameraCapture: the video source of one channel. It lists the cameras of the machine (V4L2
// or DirectShow devices first, then the built-in test patterns) and their formats, runs one of
// them, and turns every delivered 24-bit BGR picture into the RGBA picture readers take.
//
// Threads: the application manager creates, starts and stops it on the GUI thread and keeps it
// in a shared pointer. The running device calls deliverBgr() on its own thread; that is the
// only cross-thread entry. deliverBgr() converts each picture once, into an array no reader
// holds, and swaps it in under m_frameMutex; readers share the array (a reference count, no
// copy). stop() joins the device thread before returning, and never waits for a device that
// has gone quiet.
#pragma once

#include "capture/CameraFormat.h"
#include "capture/ICaptureDevice.h"
#include "capture/ISource.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>

#include <atomic>
#include <memory>
#include <vector>

class CameraCapture : public ISource
{
public:
    CameraCapture();
    ~CameraCapture() override;

    unsigned int textureId() const override;
    int width() const override;
    int height() const override;
    void updateTexture() override;
    void latestFrame(QByteArray &out) override;
    void pictureAt(qint64 timeNs, QByteArray &out) override;
    quint64 picturesDelivered() const override { return m_picturesDelivered.load(std::memory_order_relaxed); }
    QString name() const override;
    void setName(const QString &name) override;
    void toggleFlip() override;
    // The running device's own settings dialog (DirectShow cameras have one; V4L2 devices and
    // the test patterns do not). Nothing when stopped.
    void showPropertyPage() override;

    // The system's cameras (V4L2 devices in node order, or DirectShow devices in enumeration
    // order on Windows), then "Test Pattern 1" .. "Test Pattern 4".
    static QList<DeviceInfo> listDevices();
    // The formats of one device, de-duplicated and sorted; empty for an unknown key.
    static QList<CameraFormat> listFormats(const QString &deviceKey);
    // The device layer that owns the key, not yet opened; null when no layer knows the key.
    static std::unique_ptr<ICaptureDevice> createDevice(const QString &deviceKey);

    // Stops whatever runs, then opens and starts the device. On failure the source stays
    // stopped, width() and height() keep their previous values and lastError() says why.
    bool start(const QString &deviceKey, const CameraFormat &format);
    // The same with a device made elsewhere (createDevice(), or a test's own device).
    bool start(std::unique_ptr<ICaptureDevice> device, const QString &deviceKey,
               const CameraFormat &format);
    void stop();

    QString deviceKey() const;
    // Why the last start failed, or why the running device stopped delivering; empty if neither.
    QString lastError() const;

    // The device thread's entry: converts one picture and makes it the newest. Samples that
    // cannot hold a whole picture are dropped and leave the current picture as it was.
    // captureNs is when the picture was taken (monotonic clock); below 0 means "now".
    void deliverBgr(const uchar *bgr, qsizetype length, qint64 captureNs = -1);

private:
    QByteArray takeSpareBuffer(qsizetype size);
    void recycleBuffer(QByteArray &&buffer);

    // GUI thread only.
    std::unique_ptr<ICaptureDevice> m_device;
    QString m_deviceKey;
    QString m_name;
    QString m_lastError;

    std::atomic<int> m_width{0};
    std::atomic<int> m_height{0};
    std::atomic<bool> m_flip{false};

    // Written on the GUI thread while no device thread runs, then read by the device thread.
    CaptureGeometry m_geometry;

    mutable QMutex m_frameMutex;
    // Guarded by m_frameMutex: the newest whole picture, shared with readers.
    QByteArray m_picture;
    // Guarded by m_frameMutex: the last few pictures with the time they were taken, oldest first,
    // sharing their arrays with m_picture and the readers.
    struct TimedPicture
    {
        qint64 timeNs = 0;
        QByteArray pixels;
    };
    static constexpr size_t PictureHistory = 4;
    std::vector<TimedPicture> m_history;
    // Set by the device thread under m_frameMutex; cleared by the first reader.
    std::atomic<bool> m_newPicture{false};
    // Written by the device thread, read by the metrics on the GUI thread.
    std::atomic<quint64> m_picturesDelivered{0};

    // Device thread only (and the GUI thread while none runs): pictures swapped out, reused
    // once no reader holds them any more.
    std::vector<QByteArray> m_spareBuffers;
};
