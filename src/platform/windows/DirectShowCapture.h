// DirectShowCapture: runs one camera through a DirectShow graph (device → sample grabber →
// null renderer), the grabber asked for the camera's own layout (YUY2, NV12, I420, MJPEG,
// H.264; 24-bit RGB for any other, converted by DirectShow), and hands every picture's bytes
// (as picture() describes them) to a function.
//
// Threads: open(), run(), stop() and showPropertyPage() run on one thread, which open() puts
// in a COM apartment (multithreaded, or whatever apartment the thread is already in). The
// sample function runs on the graph's streaming thread; stop() clears the running flag first
// and returns only after the graph has stopped, so no call comes after it. Plain C++ over the
// DirectShow headers.
#pragma once

#include "platform/windows/ComPtr.h"
#include "platform/windows/DirectShowFormats.h"
#include "platform/windows/SampleGrabberApi.h"

#include <atomic>
#include <functional>
#include <string>

class SampleGrabberCallback;

class DirectShowCapture
{
public:
    using SampleFunction = std::function<void(const BYTE *data, long length)>;

    DirectShowCapture() = default;
    DirectShowCapture(const DirectShowCapture &) = delete;
    DirectShowCapture &operator=(const DirectShowCapture &) = delete;
    ~DirectShowCapture();

    // Builds the graph for the device with this key and applies the capability at capsIndex
    // (a device that refuses it keeps its current format). picture() is valid afterwards;
    // the requested size stands in when the connected type tells none. Returns false (with
    // lastError()) and leaves everything released when the device is missing or the graph
    // cannot be built. Stops first if something runs.
    bool open(const std::wstring &deviceKey, int capsIndex, int requestedWidth, int requestedHeight);
    DirectShowPicture picture() const { return m_picture; }

    // Starts the graph; each whole picture (at least what its layout needs) goes to
    // onSample. Returns false (with lastError()) and stops when the graph will not run.
    bool run(SampleFunction onSample);
    bool isRunning() const { return m_running.load(std::memory_order_acquire); }

    // Idempotent. Releases the graph and every interface.
    void stop();

    // Opens the device's own settings dialog, owned by the active window, and returns when the
    // user closes it. False when nothing is open or the device has no dialog.
    bool showPropertyPage();

    const std::string &lastError() const { return m_lastError; }

private:
    bool fail(const std::string &text);
    void onBuffer(const BYTE *buffer, long length);
    // Sets the capability and returns its subtype (GUID_NULL when none was set).
    GUID applyFormat(int capsIndex);
    bool build(int capsIndex, int requestedWidth, int requestedHeight, bool forceRgb);

    std::wstring m_deviceKey;
    std::string m_lastError;
    DirectShowPicture m_picture;

    ComPtr<IGraphBuilder> m_graph;
    ComPtr<ICaptureGraphBuilder2> m_captureBuilder;
    ComPtr<IMediaControl> m_mediaControl;
    ComPtr<dshow::ISampleGrabber> m_grabber;
    ComPtr<IBaseFilter> m_sourceFilter;
    // Owns one reference while the graph runs.
    SampleGrabberCallback *m_callback = nullptr;

    // Set on this thread before the graph starts, read by the streaming thread.
    SampleFunction m_onSample;
    std::atomic<bool> m_running{false};
};
