// ICaptureDevice: one opened camera of a device layer (V4L2, DirectShow, the built-in test
// patterns), owned by the CameraCapture that runs it.
//
// open(), start() and stop() run on the thread that owns the CameraCapture (the GUI thread).
// Between start() and stop() the device calls the delivery function on a thread of its own,
// once per picture, with the picture in the device's native layout as geometry() describes it;
// the data is valid only during the call. The CameraCapture keeps it in that layout (decoding
// MJPEG and H.264 to the YUV they hold, unless the channel records the camera's stream). stop() returns only after the last delivery has returned,
// never waits for a device that has gone quiet, may be called more than once and releases the
// device.
#pragma once

#include "capture/CameraFormat.h"

#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

// The layouts a device may hand over.
enum class CapturePixelFormat {
    Bgr24, // 3 bytes B, G, R per pixel (DirectShow RGB24, the test patterns, V4L2 BGR3)
    Rgb24, // 3 bytes R, G, B per pixel (V4L2 RGB3)
    Yuyv,  // packed 4:2:2, Y0 U Y1 V
    Uyvy,  // packed 4:2:2, U Y0 V Y1
    Nv12,  // Y plane, then one plane of interleaved U, V at half size
    Yu12,  // Y plane, then U and V planes at half size (I420)
    Mjpeg, // one JPEG picture per sample
    H264,  // one H.264 access unit per sample (Annex B start codes), as UVC cameras send it
};

struct CaptureGeometry
{
    int width = 0;
    int height = 0;
    // Bytes from one row to the next (of the Y plane for planar layouts); 0 when only the
    // sample length tells (length / height, 24-bit layouts only). Ignored for MJPEG and H.264.
    qsizetype rowStride = 0;
    // True when the first delivered row is the top row.
    bool topDown = true;
    CapturePixelFormat pixelFormat = CapturePixelFormat::Bgr24;
    // How the YUV layouts encode colour (MJPEG and H.264 say so themselves): the usual camera
    // YUV is BT.601 in limited range.
    bool yuvFullRange = false;
    bool yuvBt709 = false;
};

// One picture as the device hands it over.
struct CapturedSample
{
    const uchar *data = nullptr;
    qsizetype length = 0;
    // When the picture was taken, on the monotonic clock (monotonicNowNs()); below 0: "now".
    qint64 captureNs = -1;
    // The driver marked the buffer as damaged (V4L2_BUF_FLAG_ERROR): count it, show nothing.
    bool isFlaggedCorrupt = false;
};

class ICaptureDevice
{
public:
    using DeliverFunction = std::function<void(const CapturedSample &sample)>;

    virtual ~ICaptureDevice() = default;

    // Opens the device and negotiates the format; geometry() is valid afterwards. Returns
    // false (lastError() says why) when the device is missing or refuses.
    virtual bool open(const CameraFormat &format) = 0;
    virtual CaptureGeometry geometry() const = 0;
    // What the device granted after open(): size, rate and pixel format as it will run, which
    // may differ from the request. None for layers that cannot tell (the request then stands).
    virtual std::optional<CameraFormat> grantedFormat() const { return std::nullopt; }
    // Starts delivering. Returns false (lastError() says why) when streaming cannot start.
    virtual bool start(DeliverFunction deliver) = 0;
    virtual void stop() = 0;
    // Thread-safe: the device thread sets it when the device fails while running.
    virtual QString lastError() const = 0;
    // Thread-safe: true once the device stopped delivering for good while running (unplugged,
    // an I/O error); only a new open can bring it back.
    virtual bool hasFailed() const { return false; }
    // Opens the device's own settings dialog, where the platform has one (DirectShow), and
    // returns when the user closes it. Nothing by default.
    virtual void showPropertyPage() {}
};
