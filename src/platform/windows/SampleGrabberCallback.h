// SampleGrabberCallback: the COM object the sample grabber calls for every picture. It hands
// the buffer to a function its owner gives it and does nothing else.
//
// Threads: created and released on the thread that runs the graph; BufferCB() runs on the
// graph's streaming thread. The reference count is atomic; the function is set once at
// construction and only read afterwards. The owner releases it only after the graph has
// stopped, so no call arrives once the last reference is gone.
#pragma once

#include "platform/windows/SampleGrabberApi.h"

#include <atomic>
#include <functional>

class SampleGrabberCallback final : public dshow::ISampleGrabberCB
{
public:
    // The sample bytes and their length, valid only during the call.
    using BufferFunction = std::function<void(const BYTE *buffer, long length)>;

    // Starts with one reference, owned by the caller.
    explicit SampleGrabberCallback(BufferFunction onBuffer);

    // IUnknown: answers IUnknown and ISampleGrabberCB (adding a reference), E_NOINTERFACE for
    // anything else, E_POINTER for a null out-pointer. The object deletes itself when the last
    // reference is released.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // Not used: the grabber is told to call BufferCB.
    HRESULT STDMETHODCALLTYPE SampleCB(double sampleTime, IMediaSample *sample) override;
    // Forwards the buffer; the sample time is not used (pictures are timed on arrival).
    HRESULT STDMETHODCALLTYPE BufferCB(double sampleTime, BYTE *buffer, long length) override;

private:
    ~SampleGrabberCallback() = default;

    std::atomic<ULONG> m_references{1};
    const BufferFunction m_onBuffer;
};
