#include "platform/windows/SampleGrabberCallback.h"

#include <utility>

SampleGrabberCallback::SampleGrabberCallback(BufferFunction onBuffer)
    : m_onBuffer(std::move(onBuffer))
{
}

HRESULT STDMETHODCALLTYPE SampleGrabberCallback::QueryInterface(REFIID iid, void **object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, dshow::IID_ISampleGrabberCB)) {
        *object = static_cast<dshow::ISampleGrabberCB *>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE SampleGrabberCallback::AddRef()
{
    return m_references.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG STDMETHODCALLTYPE SampleGrabberCallback::Release()
{
    const ULONG remaining = m_references.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (remaining == 0)
        delete this;
    return remaining;
}

HRESULT STDMETHODCALLTYPE SampleGrabberCallback::SampleCB(double, IMediaSample *)
{
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SampleGrabberCallback::BufferCB(double, BYTE *buffer, long length)
{
    if (m_onBuffer)
        m_onBuffer(buffer, length);
    return S_OK;
}
