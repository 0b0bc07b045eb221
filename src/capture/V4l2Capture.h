// V4l2Capture: one V4L2 camera, streaming through libv4l2 on a thread of its own.
//
// open(), start() and stop() run on the GUI thread. The device is asked for
// V4L2_PIX_FMT_BGR24, so libv4lconvert turns whatever the camera sends (YUYV, MJPEG, ...) into
// top-down BGR rows. The capture thread polls the device and a wake-up eventfd; each dequeued
// buffer goes to the delivery function (the only cross-thread call) and is queued again.
// stop() signals the eventfd and joins, so it returns at once even when the camera has gone
// quiet; a device that disappears while streaming ends the thread and leaves lastError() set.
#pragma once

#include "capture/ICaptureDevice.h"

#include <QMutex>
#include <QString>

#include <atomic>
#include <thread>
#include <vector>

class V4l2Capture : public ICaptureDevice
{
public:
    explicit V4l2Capture(const QString &deviceKey);
    ~V4l2Capture() override;

    bool open(const CameraFormat &format) override;
    CaptureGeometry geometry() const override;
    bool start(DeliverFunction deliver) override;
    void stop() override;
    QString lastError() const override;

private:
    struct MappedBuffer
    {
        void *start = nullptr;
        size_t length = 0;
    };

    bool fail(const QString &what); // sets the error from errno, logs, returns false
    void setError(const QString &error);
    bool mapBuffers();
    void releaseDevice();
    void captureLoop(DeliverFunction deliver);

    const QString m_deviceKey;
    // Set on the GUI thread before the capture thread starts; read by it afterwards.
    int m_fd = -1;
    int m_wakeFd = -1;
    CaptureGeometry m_geometry;
    std::vector<MappedBuffer> m_buffers;
    bool m_isStreaming = false;

    std::thread m_thread;
    std::atomic<bool> m_quit{false};

    mutable QMutex m_errorMutex;
    QString m_lastError; // Guarded by m_errorMutex.
};
