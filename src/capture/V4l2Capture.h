// V4l2Capture: one V4L2 camera, streaming through mmap buffers on a thread of its own, with
// every kernel call going through a V4l2Kernel.
//
// open(), start() and stop() run on the GUI thread. open() sets the chosen native format
// (VIDIOC_S_FMT with its fourcc and size, VIDIOC_S_PARM with its frame interval) and reads back
// what the driver granted (G_FMT, G_PARM): grantedFormat() and geometry() describe that, row
// stride (bytesperline) included. The capture thread polls the device and a wake-up eventfd;
// each dequeued buffer goes to the delivery function as it is (MJPEG or raw, converted by the
// receiver), stamped with the driver's monotonic capture time, then is queued again.
// stop() signals the eventfd and joins, so it returns at once even when the camera has gone
// quiet. A device that disappears or fails (ENODEV, EIO, an error on poll) ends the thread:
// hasFailed() turns true and lastError() says why.
#pragma once

#include "capture/ICaptureDevice.h"

#include <QMutex>
#include <QString>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

class V4l2Kernel;

class V4l2Capture : public ICaptureDevice
{
public:
    explicit V4l2Capture(const QString &deviceKey, std::shared_ptr<V4l2Kernel> kernel);
    ~V4l2Capture() override;

    bool open(const CameraFormat &format) override;
    CaptureGeometry geometry() const override;
    std::optional<CameraFormat> grantedFormat() const override;
    bool start(DeliverFunction deliver) override;
    void stop() override;
    QString lastError() const override;
    bool hasFailed() const override { return m_hasFailed.load(); }

private:
    struct MappedBuffer
    {
        void *start = nullptr;
        size_t length = 0;
    };

    bool fail(const QString &what); // sets the error from errno, logs, returns false
    void setError(const QString &error);
    bool negotiateFormat(const CameraFormat &format);
    quint32 pixelFormatToAsk(const CameraFormat &format);
    void negotiateRate(const CameraFormat &format);
    bool mapBuffers();
    void releaseDevice();
    void captureLoop(DeliverFunction deliver);
    // Hands one dequeued buffer over, with its capture time and the driver's damage flag.
    void deliverBuffer(const DeliverFunction &deliver, const struct v4l2_buffer &buffer);

    const QString m_deviceKey;
    const std::shared_ptr<V4l2Kernel> m_kernel;
    // Set on the GUI thread before the capture thread starts; read by it afterwards.
    int m_fd = -1;
    int m_wakeFd = -1;
    CaptureGeometry m_geometry;
    CameraFormat m_granted;
    std::vector<MappedBuffer> m_buffers;
    bool m_isStreaming = false;

    std::thread m_thread;
    std::atomic<bool> m_quit{false};
    std::atomic<bool> m_hasFailed{false};

    mutable QMutex m_errorMutex;
    QString m_lastError; // Guarded by m_errorMutex.
};
