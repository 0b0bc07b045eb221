// The sample grabber and null renderer of DirectShow's editing services (qedit.dll). Current
// Windows SDKs no longer ship qedit.h, and some toolchains' copies lack these declarations,
// so they are declared here under their published identifiers and slot order.
#pragma once

#include <dshow.h>

namespace dshow {

// {C1F400A0-3F08-11D3-9F0B-006008039E37}
inline constexpr GUID CLSID_SampleGrabber = {
    0xC1F400A0, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
// {C1F400A4-3F08-11D3-9F0B-006008039E37}
inline constexpr GUID CLSID_NullRenderer = {
    0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
// {6B652FFF-11FE-4FCE-92AD-0266B5D7C78F}
inline constexpr GUID IID_ISampleGrabber = {
    0x6B652FFF, 0x11FE, 0x4FCE, {0x92, 0xAD, 0x02, 0x66, 0xB5, 0xD7, 0xC7, 0x8F}};
// {0579154A-2B53-4994-B0D0-E773148EFF85}
inline constexpr GUID IID_ISampleGrabberCB = {
    0x0579154A, 0x2B53, 0x4994, {0xB0, 0xD0, 0xE7, 0x73, 0x14, 0x8E, 0xFF, 0x85}};

// SetCallback's second argument: which of the two methods the grabber calls.
inline constexpr long CallSampleCB = 0;
inline constexpr long CallBufferCB = 1;

struct ISampleGrabberCB : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE SampleCB(double sampleTime, IMediaSample *sample) = 0;
    virtual HRESULT STDMETHODCALLTYPE BufferCB(double sampleTime, BYTE *buffer, long length) = 0;
};

struct ISampleGrabber : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE SetOneShot(BOOL oneShot) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMediaType(const AM_MEDIA_TYPE *type) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetConnectedMediaType(AM_MEDIA_TYPE *type) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetBufferSamples(BOOL bufferThem) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentBuffer(long *bufferSize, long *buffer) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentSample(IMediaSample **sample) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCallback(ISampleGrabberCB *callback, long whichMethod) = 0;
};

} // namespace dshow
