// ICaptureDevice: one opened camera of a device layer (V4L2, the built-in test patterns),
// owned by the CameraCapture that runs it.
//
// open(), start() and stop() run on the thread that owns the CameraCapture (the GUI thread).
// Between start() and stop() the device calls the delivery function on a thread of its own,
// once per picture, with 24-bit BGR rows laid out as geometry() says; the data is valid only
// during the call. stop() returns only after the last delivery has returned, never waits for a
// device that has gone quiet, may be called more than once and releases the device.
#pragma once

#include "capture/CameraFormat.h"

#include <QString>
#include <QtGlobal>

#include <functional>

struct CaptureGeometry
{
    int width = 0;
    int height = 0;
    // Bytes from one row to the next; 0 when only the sample length tells (length / height).
    qsizetype rowStride = 0;
    // True when the first delivered row is the top row.
    bool topDown = true;
};

class ICaptureDevice
{
public:
    // captureNs: when the picture was taken, on the monotonic clock (monotonicNowNs()).
    using DeliverFunction = std::function<void(const uchar *bgr, qsizetype length, qint64 captureNs)>;

    virtual ~ICaptureDevice() = default;

    // Opens the device and negotiates the format; geometry() is valid afterwards. Returns
    // false (lastError() says why) when the device is missing or refuses.
    virtual bool open(const CameraFormat &format) = 0;
    virtual CaptureGeometry geometry() const = 0;
    // Starts delivering. Returns false (lastError() says why) when streaming cannot start.
    virtual bool start(DeliverFunction deliver) = 0;
    virtual void stop() = 0;
    // Thread-safe: the device thread sets it when the device fails while running.
    virtual QString lastError() const = 0;
    // Opens the device's own settings dialog, where the platform has one (DirectShow), and
    // returns when the user closes it. Nothing by default.
    virtual void showPropertyPage() {}
};
