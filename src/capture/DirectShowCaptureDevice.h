// DirectShowCaptureDevice: the camera layer of the Windows build. Lists the DirectShow video
// capture devices and their formats as the shared device and format records, and runs one
// camera as an ICaptureDevice on top of DirectShowCapture (src/platform/windows).
//
// open(), start(), stop() and showPropertyPage() run on the GUI thread, which the layer puts in
// a COM apartment. The graph's streaming thread calls the delivery function with the grabber's
// buffers in the camera's own layout (YUY2, NV12, I420, MJPEG, H.264; RGB24 rows, bottom row
// first unless the connected type says otherwise, for any other), the only cross-thread call;
// stop() returns after the graph has stopped.
#pragma once

#include "capture/CameraFormat.h"
#include "capture/ICaptureDevice.h"
#include "platform/windows/DirectShowCapture.h"

#include <QList>
#include <QString>

// The system's video capture devices in enumeration order; key = "DevicePath" (or the friendly
// name of a device without one). Empty, with a warning in the log, when they cannot be listed.
QList<DeviceInfo> listDirectShowCameras();
// A device's formats in its own order (not yet de-duplicated or sorted); empty for an unknown
// key or a device without formats.
QList<CameraFormat> listDirectShowCameraFormats(const QString &deviceKey);

class DirectShowCaptureDevice : public ICaptureDevice
{
public:
    explicit DirectShowCaptureDevice(const QString &deviceKey);
    ~DirectShowCaptureDevice() override;

    // Builds the graph with the format's capability (capsIndex); the device keeps its current
    // format when it refuses that one.
    bool open(const CameraFormat &format) override;
    CaptureGeometry geometry() const override;
    bool start(DeliverFunction deliver) override;
    void stop() override;
    // Written only on the GUI thread: DirectShow does not report a device that goes away
    // while running (the pictures simply stop).
    QString lastError() const override;
    void showPropertyPage() override;

private:
    const QString m_deviceKey;
    DirectShowCapture m_capture;
};
