#include "platform/windows/DirectShowCapture.h"

#include "platform/windows/DirectShowDevices.h"
#include "platform/windows/SampleGrabberCallback.h"
#include "platform/windows/WinText.h"

#include <ocidl.h>
#include <olectl.h>

DirectShowCapture::~DirectShowCapture()
{
    stop();
}

bool DirectShowCapture::fail(const std::string &text)
{
    m_lastError = text;
    stop();
    return false;
}

bool DirectShowCapture::open(const std::wstring &deviceKey, int capsIndex, int requestedWidth,
                             int requestedHeight)
{
    m_deviceKey = deviceKey;
    if (build(capsIndex, requestedWidth, requestedHeight, false))
        return true;
    // A camera or driver that will not hand its own layout to the grabber: RGB24 through
    // DirectShow's converters, as before.
    const std::string nativeError = m_lastError;
    if (build(capsIndex, requestedWidth, requestedHeight, true))
        return true;
    m_lastError = nativeError + " (and as RGB24: " + m_lastError + ")";
    return false;
}

bool DirectShowCapture::build(int capsIndex, int requestedWidth, int requestedHeight, bool forceRgb)
{
    stop();
    m_lastError.clear();
    const std::wstring &deviceKey = m_deviceKey;
    // S_FALSE (already initialised) and RPC_E_CHANGED_MODE (a single-threaded apartment, as on
    // a GUI thread) both leave the thread in an apartment the graph works in. The apartment is
    // kept for the thread's life: the device lists run on it too.
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);

    HRESULT result = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IGraphBuilder, m_graph.putVoid());
    if (FAILED(result))
        return fail("Cannot create the filter graph: " + hresultText(result));
    result = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                              IID_ICaptureGraphBuilder2, m_captureBuilder.putVoid());
    if (FAILED(result))
        return fail("Cannot create the capture graph builder: " + hresultText(result));
    result = m_captureBuilder->SetFiltergraph(m_graph.get());
    if (FAILED(result))
        return fail("Cannot attach the capture graph builder: " + hresultText(result));
    m_mediaControl = m_graph.query<IMediaControl>(IID_IMediaControl);
    if (!m_mediaControl)
        return fail("The filter graph has no media control");

    std::string error;
    m_sourceFilter = bindDirectShowDevice(deviceKey, &error);
    if (!m_sourceFilter)
        return fail(error);
    result = m_graph->AddFilter(m_sourceFilter.get(), L"Video Capture");
    if (FAILED(result))
        return fail("Cannot add the camera to the graph: " + hresultText(result));
    const GUID cameraSubtype = applyFormat(capsIndex);

    ComPtr<IBaseFilter> grabberFilter;
    result = CoCreateInstance(dshow::CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IBaseFilter, grabberFilter.putVoid());
    if (FAILED(result))
        return fail("Cannot create the sample grabber: " + hresultText(result));
    result = m_graph->AddFilter(grabberFilter.get(), L"SampleGrabber");
    if (FAILED(result))
        return fail("Cannot add the sample grabber: " + hresultText(result));
    m_grabber = grabberFilter.query<dshow::ISampleGrabber>(dshow::IID_ISampleGrabber);
    if (!m_grabber)
        return fail("The sample grabber lacks ISampleGrabber");
    AM_MEDIA_TYPE wanted{};
    wanted.majortype = MEDIATYPE_Video;
    wanted.subtype = forceRgb ? MEDIASUBTYPE_RGB24 : grabberSubtypeFor(cameraSubtype);
    wanted.formattype = FORMAT_VideoInfo;
    result = m_grabber->SetMediaType(&wanted);
    if (FAILED(result))
        return fail("The sample grabber refuses " + directShowSubtypeName(wanted.subtype) + ": " + hresultText(result));

    ComPtr<IBaseFilter> nullRenderer;
    result = CoCreateInstance(dshow::CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IBaseFilter, nullRenderer.putVoid());
    if (FAILED(result))
        return fail("Cannot create the null renderer: " + hresultText(result));
    result = m_graph->AddFilter(nullRenderer.get(), L"NullRenderer");
    if (FAILED(result))
        return fail("Cannot add the null renderer: " + hresultText(result));

    // Cameras without a capture-category pin (some capture cards) still render without one.
    result = m_captureBuilder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, m_sourceFilter.get(),
                                            grabberFilter.get(), nullRenderer.get());
    if (FAILED(result))
        result = m_captureBuilder->RenderStream(nullptr, &MEDIATYPE_Video, m_sourceFilter.get(),
                                                grabberFilter.get(), nullRenderer.get());
    if (FAILED(result))
        return fail("Cannot connect the camera to the sample grabber: " + hresultText(result));

    // What was asked for, unless the connected type says more.
    DirectShowPicture picture;
    picture.layout = directShowLayoutOf(wanted.subtype);
    picture.topDown = picture.layout != DirectShowLayout::Rgb24;
    AM_MEDIA_TYPE connected{};
    if (SUCCEEDED(m_grabber->GetConnectedMediaType(&connected))) {
        if (const std::optional<DirectShowPicture> described = directShowPictureFrom(connected))
            picture = *described;
        freeMediaTypeContents(connected);
    }
    if (picture.width == 0 || picture.height == 0) {
        picture.width = requestedWidth;
        picture.height = requestedHeight;
    }
    m_picture = picture;
    return true;
}

GUID DirectShowCapture::applyFormat(int capsIndex)
{
    for (const ComPtr<IAMStreamConfig> &config : outputStreamConfigs(m_sourceFilter.get())) {
        int count = 0;
        int capsSize = 0;
        if (FAILED(config->GetNumberOfCapabilities(&count, &capsSize))
            || capsSize != int(sizeof(VIDEO_STREAM_CONFIG_CAPS)))
            continue;
        AM_MEDIA_TYPE *type = nullptr;
        VIDEO_STREAM_CONFIG_CAPS caps{};
        const HRESULT result = config->GetStreamCaps(capsIndex, &type, reinterpret_cast<BYTE *>(&caps));
        const bool found = SUCCEEDED(result) && type;
        GUID subtype = GUID_NULL;
        if (found && SUCCEEDED(config->SetFormat(type)))
            subtype = type->subtype;
        deleteMediaType(type);
        if (found)
            return subtype;
    }
    return GUID_NULL;
}

bool DirectShowCapture::run(SampleFunction onSample)
{
    if (!m_graph || !m_grabber || !m_mediaControl) {
        m_lastError = "Nothing to run: the camera is not open";
        return false;
    }
    m_onSample = std::move(onSample);
    m_callback = new SampleGrabberCallback([this](const BYTE *buffer, long length) { onBuffer(buffer, length); });
    m_grabber->SetBufferSamples(TRUE);
    m_grabber->SetOneShot(FALSE);
    HRESULT result = m_grabber->SetCallback(m_callback, dshow::CallBufferCB);
    if (FAILED(result))
        return fail("Cannot install the picture callback: " + hresultText(result));

    // Running before the first picture can arrive, or it would be dropped.
    m_running.store(true, std::memory_order_release);
    result = m_mediaControl->Run();
    // S_FALSE: the graph is still on its way to running, which counts.
    if (FAILED(result))
        return fail("The camera graph does not run: " + hresultText(result));
    return true;
}

void DirectShowCapture::onBuffer(const BYTE *buffer, long length)
{
    if (!m_running.load(std::memory_order_acquire) || !buffer)
        return;
    if (m_picture.width < 1 || m_picture.height < 1 || length < 1
        || length < minimumBufferLength(m_picture.layout, m_picture.width, m_picture.height))
        return;
    if (m_onSample)
        m_onSample(buffer, length);
}

void DirectShowCapture::stop()
{
    // Cleared first, so a picture arriving during the tear-down is dropped.
    m_running.store(false, std::memory_order_release);
    if (m_mediaControl) {
        // Returns once the streaming thread has left the filters: no callback after this.
        m_mediaControl->Stop();
        m_mediaControl.reset();
    }
    if (m_grabber) {
        m_grabber->SetCallback(nullptr, dshow::CallSampleCB);
        m_grabber.reset();
    }
    if (m_callback) {
        m_callback->Release();
        m_callback = nullptr;
    }
    m_captureBuilder.reset();
    m_graph.reset();
    m_sourceFilter.reset();
    m_onSample = nullptr;
}

bool DirectShowCapture::showPropertyPage()
{
    if (!m_sourceFilter)
        return false;
    const ComPtr<ISpecifyPropertyPages> pages =
        m_sourceFilter.query<ISpecifyPropertyPages>(IID_ISpecifyPropertyPages);
    if (!pages)
        return false;
    CAUUID pageIds{};
    if (FAILED(pages->GetPages(&pageIds)))
        return false;
    IUnknown *object = m_sourceFilter.get();
    const HRESULT result = OleCreatePropertyFrame(GetActiveWindow(), 0, 0, L"Camera Settings", 1, &object,
                                                  pageIds.cElems, pageIds.pElems, 0, 0, nullptr);
    CoTaskMemFree(pageIds.pElems);
    return SUCCEEDED(result);
}
