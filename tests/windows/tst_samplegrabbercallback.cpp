// The COM object the sample grabber calls: the IUnknown rules DirectShow relies on, and a
// delivered RGB24 buffer reaching the BGR24 → RGBA conversion laid out as the grabber's
// connected media type says (bottom-up or top-down, rows padded to four bytes).
#include "Check.h"
#include "FakeComObjects.h"

#include "capture/FrameConversion.h"
#include "platform/windows/DirectShowFormats.h"
#include "platform/windows/SampleGrabberCallback.h"

#include <memory>

TEST_CASE(callbackAnswersOnlyItsOwnInterfaces)
{
    auto token = std::make_shared<int>(0);
    auto *callback = new SampleGrabberCallback([token](const BYTE *, long) {});
    CHECK_EQ(token.use_count(), 2L);

    void *object = nullptr;
    CHECK_EQ(callback->QueryInterface(IID_IUnknown, &object), S_OK);
    CHECK(object == static_cast<IUnknown *>(callback));
    CHECK_EQ(callback->QueryInterface(dshow::IID_ISampleGrabberCB, &object), S_OK);
    CHECK(object == static_cast<dshow::ISampleGrabberCB *>(callback));

    object = reinterpret_cast<void *>(0x1);
    CHECK_EQ(callback->QueryInterface(IID_IBaseFilter, &object), E_NOINTERFACE);
    CHECK(object == nullptr);
    CHECK_EQ(callback->QueryInterface(dshow::IID_ISampleGrabber, &object), E_NOINTERFACE);
    CHECK_EQ(callback->QueryInterface(IID_IUnknown, nullptr), E_POINTER);

    // One reference from creation, two from the answered queries.
    CHECK_EQ(callback->AddRef(), ULONG(4));
    CHECK_EQ(callback->Release(), ULONG(3));
    CHECK_EQ(callback->Release(), ULONG(2));
    CHECK_EQ(callback->Release(), ULONG(1));
    CHECK_EQ(token.use_count(), 2L);
    // The last release deletes the object, and with it the function and what it holds.
    CHECK_EQ(callback->Release(), ULONG(0));
    CHECK_EQ(token.use_count(), 1L);
}

TEST_CASE(onlyBufferCallbackDelivers)
{
    int calls = 0;
    long lastLength = -1;
    auto *callback = new SampleGrabberCallback([&](const BYTE *, long length) {
        ++calls;
        lastLength = length;
    });
    CHECK_EQ(callback->SampleCB(0.0, nullptr), S_OK);
    CHECK_EQ(calls, 0);
    BYTE bytes[12] = {};
    CHECK_EQ(callback->BufferCB(1.5, bytes, 12), S_OK);
    CHECK_EQ(calls, 1);
    CHECK_EQ(lastLength, 12L);
    callback->Release();
}

namespace {

// What the capture path does with a delivered buffer: lay it out as the connected type says
// and convert it.
struct ConvertingSink
{
    DirectShowPicture picture;
    bool flip = false;
    std::vector<unsigned char> rgba;
    bool converted = false;

    void operator()(const BYTE *buffer, long length)
    {
        rgba.assign(size_t(picture.width) * size_t(picture.height) * 4, 0xEE);
        const long long stride = bgr24RowStride(length, picture.width, picture.height);
        converted = convertBgr24ToRgba(buffer, length, stride, picture.width, picture.height,
                                       picture.topDown, flip, rgba.data());
    }
};

DirectShowPicture connectedPicture(LONG width, LONG height)
{
    std::vector<BYTE> block = videoInfoBlock(width, height, 333333);
    const std::optional<DirectShowPicture> picture =
        directShowPictureFrom(mediaTypeOf(MEDIATYPE_Video, MEDIASUBTYPE_RGB24, FORMAT_VideoInfo, block));
    return picture.value_or(DirectShowPicture{});
}

// 2 × 2 pixels, rows padded to 8 bytes: row 0 holds pixels A, B; row 1 holds C, D (B, G, R).
const BYTE kPaddedSample[16] = {
    1, 2, 3, 4, 5, 6, 0, 0, // row 0: A = (B1 G2 R3), B = (B4 G5 R6)
    7, 8, 9, 10, 11, 12, 0, 0, // row 1: C, D
};

} // namespace

TEST_CASE(bufferCallbackFeedsTheBgr24Conversion)
{
    ConvertingSink sink;
    sink.picture = connectedPicture(2, 2); // positive height: bottom row first
    auto *callback = new SampleGrabberCallback([&sink](const BYTE *buffer, long length) { sink(buffer, length); });

    callback->BufferCB(0.0, const_cast<BYTE *>(kPaddedSample), 16);
    CHECK(sink.converted);
    // The last source row is the top of the picture; R, G, B, 255 per pixel.
    const std::vector<unsigned char> bottomUp = {9, 8, 7, 255, 12, 11, 10, 255, 3, 2, 1, 255, 6, 5, 4, 255};
    CHECK(sink.rgba == bottomUp);

    // Flipped, the first source row comes first.
    sink.flip = true;
    callback->BufferCB(0.0, const_cast<BYTE *>(kPaddedSample), 16);
    const std::vector<unsigned char> firstRowFirst = {3, 2, 1, 255, 6, 5, 4, 255, 9, 8, 7, 255, 12, 11, 10, 255};
    CHECK(sink.converted && sink.rgba == firstRowFirst);

    // A top-down connected type (negative height) is already in picture order.
    sink.flip = false;
    sink.picture = connectedPicture(2, -2);
    callback->BufferCB(0.0, const_cast<BYTE *>(kPaddedSample), 16);
    CHECK(sink.converted && sink.rgba == firstRowFirst);

    // Fewer bytes than width × height × 3: dropped, the picture untouched.
    sink.picture = connectedPicture(2, 2);
    callback->BufferCB(0.0, const_cast<BYTE *>(kPaddedSample), 11);
    CHECK(!sink.converted);
    CHECK(sink.rgba == std::vector<unsigned char>(16, 0xEE));
    callback->BufferCB(0.0, nullptr, 16);
    CHECK(!sink.converted);

    callback->Release();
}
