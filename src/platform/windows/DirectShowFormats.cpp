#include "platform/windows/DirectShowFormats.h"

#include <dvdmedia.h>

#include <climits>
#include <cstdlib>

// The layouts the size checks below rely on (x86-64).
static_assert(sizeof(VIDEOINFOHEADER) == 88, "VIDEOINFOHEADER layout");
static_assert(sizeof(VIDEOINFOHEADER2) == 112, "VIDEOINFOHEADER2 layout");
static_assert(sizeof(VIDEO_STREAM_CONFIG_CAPS) == 128, "VIDEO_STREAM_CONFIG_CAPS layout");

namespace {

// |height| as an int; nothing for a height whose magnitude does not fit (LONG_MIN).
std::optional<int> magnitude(LONG height)
{
    const long long value = std::llabs(static_cast<long long>(height));
    if (value > INT_MAX)
        return std::nullopt;
    return static_cast<int>(value);
}

} // namespace

namespace {

// FOURCC subtypes: the code in the first field, then the fixed tail of every FOURCC GUID.
GUID fourccSubtype(unsigned long fourcc)
{
    return GUID{fourcc, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

const GUID kNv12Subtype = fourccSubtype(0x3231564E); // 'NV12'
const GUID kI420Subtype = fourccSubtype(0x30323449); // 'I420'
const GUID kIyuvSubtype = fourccSubtype(0x56555949); // 'IYUV', the same layout
const GUID kH264Subtype = fourccSubtype(0x34363248); // 'H264'

} // namespace

DirectShowLayout directShowLayoutOf(const GUID &subtype)
{
    if (IsEqualGUID(subtype, MEDIASUBTYPE_RGB24))
        return DirectShowLayout::Rgb24;
    if (IsEqualGUID(subtype, MEDIASUBTYPE_YUY2))
        return DirectShowLayout::Yuy2;
    if (IsEqualGUID(subtype, kNv12Subtype))
        return DirectShowLayout::Nv12;
    if (IsEqualGUID(subtype, kI420Subtype) || IsEqualGUID(subtype, kIyuvSubtype))
        return DirectShowLayout::I420;
    if (IsEqualGUID(subtype, MEDIASUBTYPE_MJPG))
        return DirectShowLayout::Mjpeg;
    if (IsEqualGUID(subtype, kH264Subtype))
        return DirectShowLayout::H264;
    return DirectShowLayout::Other;
}

GUID grabberSubtypeFor(const GUID &cameraSubtype)
{
    return directShowLayoutOf(cameraSubtype) == DirectShowLayout::Other ? MEDIASUBTYPE_RGB24 : cameraSubtype;
}

long long minimumBufferLength(DirectShowLayout layout, int width, int height)
{
    const long long pixels = static_cast<long long>(width) * height;
    switch (layout) {
    case DirectShowLayout::Rgb24: return pixels * 3;
    case DirectShowLayout::Yuy2: return pixels * 2;
    case DirectShowLayout::Nv12:
    case DirectShowLayout::I420: return pixels + 2 * (static_cast<long long>((width + 1) / 2) * ((height + 1) / 2));
    case DirectShowLayout::Mjpeg:
    case DirectShowLayout::H264:
    case DirectShowLayout::Other: break;
    }
    return 0;
}

std::string directShowSubtypeName(const GUID &subtype)
{
    if (IsEqualGUID(subtype, MEDIASUBTYPE_RGB24))
        return "RGB24";
    if (IsEqualGUID(subtype, MEDIASUBTYPE_YUY2))
        return "YUY2";
    if (IsEqualGUID(subtype, MEDIASUBTYPE_MJPG))
        return "MJPEG";
    if (IsEqualGUID(subtype, kH264Subtype))
        return "H264";
    return "Unknown";
}

std::optional<DirectShowFormat> directShowFormatFrom(const AM_MEDIA_TYPE &type, int capsIndex)
{
    if (!IsEqualGUID(type.majortype, MEDIATYPE_Video) || !type.pbFormat)
        return std::nullopt;

    const BITMAPINFOHEADER *bitmap = nullptr;
    REFERENCE_TIME timePerFrame = 0;
    if (IsEqualGUID(type.formattype, FORMAT_VideoInfo) && type.cbFormat >= sizeof(VIDEOINFOHEADER)) {
        const auto *header = reinterpret_cast<const VIDEOINFOHEADER *>(type.pbFormat);
        bitmap = &header->bmiHeader;
        timePerFrame = header->AvgTimePerFrame;
    } else if (IsEqualGUID(type.formattype, FORMAT_VideoInfo2) && type.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
        const auto *header = reinterpret_cast<const VIDEOINFOHEADER2 *>(type.pbFormat);
        bitmap = &header->bmiHeader;
        timePerFrame = header->AvgTimePerFrame;
    } else {
        return std::nullopt;
    }

    const std::optional<int> height = magnitude(bitmap->biHeight);
    if (bitmap->biWidth <= 0 || !height)
        return std::nullopt;

    DirectShowFormat format;
    format.capsIndex = capsIndex;
    format.width = static_cast<int>(bitmap->biWidth);
    format.height = *height;
    format.fpsNumerator = 10000000;
    // A frame time beyond what the record holds (over three minutes per frame) is clamped.
    format.fpsDenominator = timePerFrame <= 0 ? 1
                          : timePerFrame > INT_MAX ? INT_MAX
                                                   : static_cast<int>(timePerFrame);
    format.subtype = type.subtype;
    format.subtypeName = directShowSubtypeName(type.subtype);
    return format;
}

std::optional<DirectShowPicture> directShowPictureFrom(const AM_MEDIA_TYPE &type)
{
    if (!IsEqualGUID(type.formattype, FORMAT_VideoInfo) || !type.pbFormat
        || type.cbFormat < sizeof(VIDEOINFOHEADER))
        return std::nullopt;
    const auto *header = reinterpret_cast<const VIDEOINFOHEADER *>(type.pbFormat);
    const std::optional<int> height = magnitude(header->bmiHeader.biHeight);
    if (header->bmiHeader.biWidth < 0 || !height)
        return std::nullopt;
    DirectShowPicture picture;
    picture.width = static_cast<int>(header->bmiHeader.biWidth);
    picture.height = *height;
    picture.layout = directShowLayoutOf(type.subtype);
    // YUV rows always run top first, whatever the sign of the height; RGB ones bottom first
    // unless the height is negative.
    const bool isRgb = picture.layout == DirectShowLayout::Rgb24 || picture.layout == DirectShowLayout::Other;
    picture.topDown = !isRgb || header->bmiHeader.biHeight < 0;
    return picture;
}

std::vector<DirectShowFormat> directShowFormatsOf(IAMStreamConfig *config)
{
    std::vector<DirectShowFormat> formats;
    if (!config)
        return formats;
    int count = 0;
    int capsSize = 0;
    if (FAILED(config->GetNumberOfCapabilities(&count, &capsSize))
        || capsSize != int(sizeof(VIDEO_STREAM_CONFIG_CAPS)))
        return formats;

    for (int i = 0; i < count; ++i) {
        AM_MEDIA_TYPE *type = nullptr;
        VIDEO_STREAM_CONFIG_CAPS caps{};
        const HRESULT result = config->GetStreamCaps(i, &type, reinterpret_cast<BYTE *>(&caps));
        if (SUCCEEDED(result) && type) {
            if (std::optional<DirectShowFormat> format = directShowFormatFrom(*type, i))
                formats.push_back(std::move(*format));
        }
        // A driver may hand out a media type even with a failure code.
        deleteMediaType(type);
    }
    return formats;
}

void freeMediaTypeContents(AM_MEDIA_TYPE &type)
{
    CoTaskMemFree(type.pbFormat);
    type.cbFormat = 0;
    type.pbFormat = nullptr;
    if (type.pUnk) {
        type.pUnk->Release();
        type.pUnk = nullptr;
    }
}

void deleteMediaType(AM_MEDIA_TYPE *type)
{
    if (!type)
        return;
    freeMediaTypeContents(*type);
    CoTaskMemFree(type);
}
