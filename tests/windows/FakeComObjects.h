// COM objects the checks hand to the Windows layers in place of a driver's: an IUnknown that
// only counts references (to see that every reference handed out comes back) and a pin's
// IAMStreamConfig offering hand-built capabilities. They live on the stack of a check; Release
// never deletes.
#pragma once

#include <dshow.h>
#include <dvdmedia.h>

#include <atomic>
#include <cstring>
#include <vector>

class CountingUnknown : public IUnknown
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override
    {
        if (!object)
            return E_POINTER;
        if (!IsEqualIID(iid, IID_IUnknown)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_references; }
    ULONG references() const { return m_references; }

private:
    std::atomic<ULONG> m_references{1};
};

// A format block: a VIDEOINFOHEADER or VIDEOINFOHEADER2 with the given picture and frame time.
inline std::vector<BYTE> videoInfoBlock(LONG width, LONG height, REFERENCE_TIME timePerFrame)
{
    VIDEOINFOHEADER header{};
    header.AvgTimePerFrame = timePerFrame;
    header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    header.bmiHeader.biWidth = width;
    header.bmiHeader.biHeight = height;
    header.bmiHeader.biBitCount = 24;
    std::vector<BYTE> block(sizeof header);
    std::memcpy(block.data(), &header, sizeof header);
    return block;
}

inline std::vector<BYTE> videoInfo2Block(LONG width, LONG height, REFERENCE_TIME timePerFrame)
{
    VIDEOINFOHEADER2 header{};
    header.AvgTimePerFrame = timePerFrame;
    header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    header.bmiHeader.biWidth = width;
    header.bmiHeader.biHeight = height;
    std::vector<BYTE> block(sizeof header);
    std::memcpy(block.data(), &header, sizeof header);
    return block;
}

// A media type that points into `block` (which must outlive it).
inline AM_MEDIA_TYPE mediaTypeOf(const GUID &major, const GUID &subtype, const GUID &formatType,
                                 std::vector<BYTE> &block)
{
    AM_MEDIA_TYPE type{};
    type.majortype = major;
    type.subtype = subtype;
    type.formattype = formatType;
    type.cbFormat = ULONG(block.size());
    type.pbFormat = block.empty() ? nullptr : block.data();
    return type;
}

class FakeStreamConfig : public IAMStreamConfig
{
public:
    struct Capability
    {
        GUID major = MEDIATYPE_Video;
        GUID subtype = MEDIASUBTYPE_YUY2;
        GUID formatType = FORMAT_VideoInfo;
        std::vector<BYTE> block;
        // What GetStreamCaps returns; the media type is handed out even with a failure code,
        // as some drivers do.
        HRESULT result = S_OK;
    };

    std::vector<Capability> capabilities;
    int capsSize = int(sizeof(VIDEO_STREAM_CONFIG_CAPS));
    // Every media type handed out carries a reference to this.
    CountingUnknown mediaTypeOwner;
    int mediaTypesHandedOut = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override
    {
        if (!object)
            return E_POINTER;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IAMStreamConfig)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IAMStreamConfig *>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_references; }

    HRESULT STDMETHODCALLTYPE SetFormat(AM_MEDIA_TYPE *) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetFormat(AM_MEDIA_TYPE **) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNumberOfCapabilities(int *count, int *size) override
    {
        *count = int(capabilities.size());
        *size = capsSize;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStreamCaps(int index, AM_MEDIA_TYPE **type, BYTE *caps) override
    {
        if (index < 0 || size_t(index) >= capabilities.size())
            return E_INVALIDARG;
        const Capability &capability = capabilities[size_t(index)];
        auto *copy = static_cast<AM_MEDIA_TYPE *>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
        *copy = AM_MEDIA_TYPE{};
        copy->majortype = capability.major;
        copy->subtype = capability.subtype;
        copy->formattype = capability.formatType;
        copy->cbFormat = ULONG(capability.block.size());
        if (!capability.block.empty()) {
            copy->pbFormat = static_cast<BYTE *>(CoTaskMemAlloc(capability.block.size()));
            std::memcpy(copy->pbFormat, capability.block.data(), capability.block.size());
        }
        copy->pUnk = &mediaTypeOwner;
        mediaTypeOwner.AddRef();
        ++mediaTypesHandedOut;
        std::memset(caps, 0, sizeof(VIDEO_STREAM_CONFIG_CAPS));
        *type = copy;
        return capability.result;
    }

private:
    std::atomic<ULONG> m_references{1};
};
