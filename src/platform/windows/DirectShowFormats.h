// DirectShowFormats: what a camera's capability structures and media types say, read without
// touching a device. The device layer (DirectShowDevices, DirectShowCapture) feeds them what
// IAMStreamConfig and the sample grabber hand out; tests feed them hand-built structures.
// Plain C++ over the DirectShow headers; pure functions except the freeing ones.
#pragma once

#include <dshow.h>

#include <optional>
#include <string>
#include <vector>

struct DirectShowFormat
{
    // Index of the capability on the device's output pin (the argument of GetStreamCaps).
    int capsIndex = 0;
    int width = 0;
    // Always positive: the absolute value of the bitmap height.
    int height = 0;
    // Frame rate = fpsNumerator / fpsDenominator: 10 000 000 over the average time per frame
    // in 100-ns units.
    int fpsNumerator = 10000000;
    int fpsDenominator = 1;
    GUID subtype = GUID_NULL;
    // "RGB24", "YUY2", "MJPEG", "H264" or "Unknown".
    std::string subtypeName;
};

// The picture layouts the camera layer hands on as they come (the camera's own YUV or its
// compressed pictures); any other is converted to RGB24 by DirectShow on the way.
enum class DirectShowLayout { Rgb24, Yuy2, Nv12, I420, Mjpeg, H264, Other };
DirectShowLayout directShowLayoutOf(const GUID &subtype);
// What the sample grabber is asked for when the camera runs `cameraSubtype`: that subtype
// itself when it is one of the layouts above, so no picture is converted before the program
// sees it; RGB24 otherwise.
GUID grabberSubtypeFor(const GUID &cameraSubtype);
// The bytes a buffer of that layout needs at least (0 for compressed pictures: any length).
long long minimumBufferLength(DirectShowLayout layout, int width, int height);

// The picture the sample grabber will deliver, as its connected media type describes it.
struct DirectShowPicture
{
    int width = 0;
    int height = 0;
    // A negative bitmap height: rows arrive top row first. YUV layouts always do.
    bool topDown = false;
    DirectShowLayout layout = DirectShowLayout::Rgb24;
};

// RGB24 → "RGB24", YUY2 → "YUY2", MJPG → "MJPEG", H264 → "H264", anything else → "Unknown".
std::string directShowSubtypeName(const GUID &subtype);

// The format record of one capability: video media types whose format block is a
// VIDEOINFOHEADER (at least 88 bytes) or VIDEOINFOHEADER2 (at least 112 bytes) and whose
// width is positive. An average time per frame of 0 or less becomes a denominator of 1.
std::optional<DirectShowFormat> directShowFormatFrom(const AM_MEDIA_TYPE &type, int capsIndex);

// Size, layout and row order from the grabber's connected type; only a VIDEOINFOHEADER of at
// least 88 bytes tells (the sample grabber connects with nothing else).
std::optional<DirectShowPicture> directShowPictureFrom(const AM_MEDIA_TYPE &type);

// Every format one output pin offers, in capability order. Nothing unless the pin's
// capability structures are VIDEO_STREAM_CONFIG_CAPS (128 bytes); capabilities that cannot
// be read or are not video are skipped. Every media type obtained is freed.
std::vector<DirectShowFormat> directShowFormatsOf(IAMStreamConfig *config);

// Frees what a media type points to (its format block and its pUnk) and clears those fields.
void freeMediaTypeContents(AM_MEDIA_TYPE &type);
// The same, then the structure itself (for media types DirectShow allocated).
void deleteMediaType(AM_MEDIA_TYPE *type);
