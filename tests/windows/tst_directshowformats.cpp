// Reading camera formats from DirectShow's structures: the picture headers, frame times and
// subtype names of single media types, and the walk over a pin's capabilities (which ones are
// skipped, that every media type handed out is freed).
#include "Check.h"
#include "FakeComObjects.h"

#include "platform/windows/DirectShowFormats.h"

#include <climits>

namespace {

// A subtype no camera layer names (NV12).
const GUID kNv12 = {0x3231564E, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

std::optional<DirectShowFormat> parse(const GUID &subtype, const GUID &formatType, std::vector<BYTE> block,
                                      int capsIndex = 0, const GUID &major = MEDIATYPE_Video)
{
    const AM_MEDIA_TYPE type = mediaTypeOf(major, subtype, formatType, block);
    return directShowFormatFrom(type, capsIndex);
}

} // namespace

TEST_CASE(formatRecordFromVideoInfoHeaders)
{
    const auto yuy2 = parse(MEDIASUBTYPE_YUY2, FORMAT_VideoInfo, videoInfoBlock(1920, 1080, 333333), 7);
    CHECK(yuy2.has_value());
    if (yuy2) {
        CHECK_EQ(yuy2->capsIndex, 7);
        CHECK_EQ(yuy2->width, 1920);
        CHECK_EQ(yuy2->height, 1080);
        CHECK_EQ(yuy2->fpsNumerator, 10000000);
        CHECK_EQ(yuy2->fpsDenominator, 333333);
        CHECK_EQ(yuy2->subtypeName, std::string("YUY2"));
        CHECK(IsEqualGUID(yuy2->subtype, MEDIASUBTYPE_YUY2));
    }

    // VIDEOINFOHEADER2 (interlace and aspect fields before the bitmap header), top-down rows.
    const auto mjpeg = parse(MEDIASUBTYPE_MJPG, FORMAT_VideoInfo2, videoInfo2Block(1280, -720, 166833));
    CHECK(mjpeg.has_value());
    if (mjpeg) {
        CHECK_EQ(mjpeg->width, 1280);
        CHECK_EQ(mjpeg->height, 720);
        CHECK_EQ(mjpeg->fpsDenominator, 166833);
        CHECK_EQ(mjpeg->subtypeName, std::string("MJPEG"));
    }

    const auto rgb = parse(MEDIASUBTYPE_RGB24, FORMAT_VideoInfo, videoInfoBlock(640, -480, 400000));
    CHECK(rgb && rgb->subtypeName == "RGB24" && rgb->height == 480);

    // Unknown subtypes are kept under "Unknown": the grabber converts them to RGB24 anyway.
    const auto nv12 = parse(kNv12, FORMAT_VideoInfo, videoInfoBlock(640, 480, 333333));
    CHECK(nv12 && nv12->subtypeName == "Unknown" && IsEqualGUID(nv12->subtype, kNv12));
}

TEST_CASE(grabberKeepsTheCamerasOwnLayout)
{
    // The camera's YUV and compressed pictures reach the program as they are; anything else
    // comes as RGB24 through DirectShow's converters.
    const GUID h264 = {0x34363248, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
    const GUID uyvy = {0x59565955, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
    CHECK(directShowLayoutOf(MEDIASUBTYPE_YUY2) == DirectShowLayout::Yuy2);
    CHECK(directShowLayoutOf(kNv12) == DirectShowLayout::Nv12);
    CHECK(directShowLayoutOf(MEDIASUBTYPE_MJPG) == DirectShowLayout::Mjpeg);
    CHECK(directShowLayoutOf(h264) == DirectShowLayout::H264);
    CHECK(IsEqualGUID(grabberSubtypeFor(MEDIASUBTYPE_MJPG), MEDIASUBTYPE_MJPG));
    CHECK(IsEqualGUID(grabberSubtypeFor(kNv12), kNv12));
    CHECK(IsEqualGUID(grabberSubtypeFor(uyvy), MEDIASUBTYPE_RGB24));
    CHECK(IsEqualGUID(grabberSubtypeFor(GUID_NULL), MEDIASUBTYPE_RGB24));
    CHECK_EQ(directShowSubtypeName(h264), std::string("H264"));
    CHECK_EQ(minimumBufferLength(DirectShowLayout::Nv12, 4, 2), 12LL);
    CHECK_EQ(minimumBufferLength(DirectShowLayout::Mjpeg, 1920, 1080), 0LL);

    // YUV rows run top first whatever the sign of the bitmap height.
    std::vector<BYTE> positive = videoInfoBlock(1280, 720, 333333);
    const auto yuy2 = directShowPictureFrom(mediaTypeOf(MEDIATYPE_Video, MEDIASUBTYPE_YUY2, FORMAT_VideoInfo, positive));
    CHECK(yuy2 && yuy2->layout == DirectShowLayout::Yuy2 && yuy2->topDown);
}

TEST_CASE(frameTimeOfZeroOrLessBecomesDenominatorOne)
{
    const auto zero = parse(MEDIASUBTYPE_YUY2, FORMAT_VideoInfo, videoInfoBlock(320, 240, 0));
    CHECK(zero && zero->fpsDenominator == 1 && zero->fpsNumerator == 10000000);
    const auto negative = parse(MEDIASUBTYPE_YUY2, FORMAT_VideoInfo2, videoInfo2Block(320, 240, -5));
    CHECK(negative && negative->fpsDenominator == 1);
    // Beyond what the record holds: clamped, never wrapped to a negative rate.
    const auto huge = parse(MEDIASUBTYPE_YUY2, FORMAT_VideoInfo, videoInfoBlock(320, 240, 0x100000000LL));
    CHECK(huge && huge->fpsDenominator == INT_MAX);
}

TEST_CASE(capabilitiesWithoutAUsablePictureHeaderAreSkipped)
{
    // Format blocks one byte short of their header.
    std::vector<BYTE> shortInfo = videoInfoBlock(640, 480, 333333);
    shortInfo.pop_back();
    CHECK(!parse(MEDIASUBTYPE_YUY2, FORMAT_VideoInfo, shortInfo));
    std::vector<BYTE> shortInfo2 = videoInfo2Block(640, 480, 333333);
    shortInfo2.resize(sizeof(VIDEOINFOHEADER)); // long enough for the other header, not this one
    CHECK(!parse(MEDIASUBTYPE_YUY2, FORMAT_VideoInfo2, shortInfo2));

    CHECK(!parse(MEDIASUBTYPE_YUY2, FORMAT_WaveFormatEx, videoInfoBlock(640, 480, 333333)));
    CHECK(!parse(MEDIASUBTYPE_YUY2, FORMAT_VideoInfo, videoInfoBlock(640, 480, 333333), 0, MEDIATYPE_Audio));
    CHECK(!parse(MEDIASUBTYPE_YUY2, FORMAT_VideoInfo, videoInfoBlock(0, 480, 333333)));
    CHECK(!parse(MEDIASUBTYPE_YUY2, FORMAT_VideoInfo, videoInfoBlock(-640, 480, 333333)));
    // A height whose magnitude does not fit an int.
    CHECK(!parse(MEDIASUBTYPE_YUY2, FORMAT_VideoInfo, videoInfoBlock(640, LONG_MIN, 333333)));

    // A size without a block behind it.
    std::vector<BYTE> none;
    AM_MEDIA_TYPE type = mediaTypeOf(MEDIATYPE_Video, MEDIASUBTYPE_YUY2, FORMAT_VideoInfo, none);
    type.cbFormat = sizeof(VIDEOINFOHEADER);
    CHECK(!directShowFormatFrom(type, 0));
}

TEST_CASE(connectedTypeGivesSizeAndRowOrder)
{
    std::vector<BYTE> bottomUp = videoInfoBlock(1920, 1080, 333333);
    auto picture = directShowPictureFrom(mediaTypeOf(MEDIATYPE_Video, MEDIASUBTYPE_RGB24, FORMAT_VideoInfo, bottomUp));
    CHECK(picture && picture->width == 1920 && picture->height == 1080 && !picture->topDown);

    std::vector<BYTE> topDown = videoInfoBlock(640, -480, 333333);
    picture = directShowPictureFrom(mediaTypeOf(MEDIATYPE_Video, MEDIASUBTYPE_RGB24, FORMAT_VideoInfo, topDown));
    CHECK(picture && picture->height == 480 && picture->topDown);

    // Only a VIDEOINFOHEADER tells; the caller then falls back to the requested size.
    std::vector<BYTE> info2 = videoInfo2Block(640, 480, 333333);
    CHECK(!directShowPictureFrom(mediaTypeOf(MEDIATYPE_Video, MEDIASUBTYPE_RGB24, FORMAT_VideoInfo2, info2)));
}

TEST_CASE(pinCapabilitiesAreWalkedAndEveryMediaTypeFreed)
{
    FakeStreamConfig config;
    config.capabilities.push_back({MEDIATYPE_Video, MEDIASUBTYPE_MJPG, FORMAT_VideoInfo, videoInfoBlock(1920, 1080, 333333)});
    config.capabilities.push_back({MEDIATYPE_Audio, MEDIASUBTYPE_YUY2, FORMAT_VideoInfo, videoInfoBlock(640, 480, 333333)});
    FakeStreamConfig::Capability failing{MEDIATYPE_Video, MEDIASUBTYPE_YUY2, FORMAT_VideoInfo, videoInfoBlock(800, 600, 333333)};
    failing.result = E_FAIL;
    config.capabilities.push_back(failing);
    config.capabilities.push_back({MEDIATYPE_Video, kNv12, FORMAT_VideoInfo2, videoInfo2Block(1280, -720, 166833)});
    config.capabilities.push_back({MEDIATYPE_Video, MEDIASUBTYPE_YUY2, FORMAT_VideoInfo, {}});

    const std::vector<DirectShowFormat> formats = directShowFormatsOf(&config);
    CHECK_EQ(formats.size(), size_t(2));
    if (formats.size() == 2) {
        CHECK_EQ(formats[0].capsIndex, 0);
        CHECK_EQ(formats[0].subtypeName, std::string("MJPEG"));
        // The index is the capability's own, not the position among kept records.
        CHECK_EQ(formats[1].capsIndex, 3);
        CHECK_EQ(formats[1].width, 1280);
        CHECK_EQ(formats[1].height, 720);
        CHECK_EQ(formats[1].subtypeName, std::string("Unknown"));
    }
    // Every capability was asked for, and each media type's pUnk reference came back.
    CHECK_EQ(config.mediaTypesHandedOut, 5);
    CHECK_EQ(config.mediaTypeOwner.references(), ULONG(1));
}

TEST_CASE(pinsWithOtherCapabilityStructuresOfferNothing)
{
    FakeStreamConfig audioLike;
    audioLike.capsSize = int(sizeof(AUDIO_STREAM_CONFIG_CAPS));
    audioLike.capabilities.push_back({MEDIATYPE_Video, MEDIASUBTYPE_YUY2, FORMAT_VideoInfo, videoInfoBlock(640, 480, 333333)});
    CHECK(directShowFormatsOf(&audioLike).empty());
    CHECK_EQ(audioLike.mediaTypesHandedOut, 0);

    FakeStreamConfig empty;
    CHECK(directShowFormatsOf(&empty).empty());
    CHECK(directShowFormatsOf(nullptr).empty());
}

TEST_CASE(freeingAMediaTypeReleasesWhatItHolds)
{
    CountingUnknown owner;
    AM_MEDIA_TYPE type{};
    type.cbFormat = 16;
    type.pbFormat = static_cast<BYTE *>(CoTaskMemAlloc(16));
    type.pUnk = &owner;
    owner.AddRef();
    freeMediaTypeContents(type);
    CHECK(type.pbFormat == nullptr && type.cbFormat == 0 && type.pUnk == nullptr);
    CHECK_EQ(owner.references(), ULONG(1));
    // Twice is harmless; so is a null structure.
    freeMediaTypeContents(type);
    deleteMediaType(nullptr);
}
