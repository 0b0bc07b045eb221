// PictureDecoder: a camera's compressed pictures (MJPEG or H.264) decoded by libavcodec into
// the YUV they hold, as Pictures that share the decoder's frames (no copy). A JPEG decodes on
// its own; an H.264 picture needs the ones before it, so an H.264 decoder is fed every picture
// from a key frame on.
//
// `lowres` decodes MJPEG at 1/2, 1/4 or 1/8 of its size (libavcodec's lowres: most of the
// inverse transform is skipped), which is all a preview needs. H.264 has no reduced decoding.
//
// Not thread-safe: one decoder per thread that uses it (the camera's delivery thread, or a
// preview under its own lock). MJPEG is decoded on one thread: libavcodec's MJPEG decoder has
// no slice or frame threads.
#pragma once

#include "capture/Picture.h"
#include "common/FfmpegPtr.h"

#include <QString>

#include <vector>

class PictureDecoder
{
public:
    // The largest lowres level libavcodec's MJPEG decoder offers (1/8 of the size).
    static constexpr int MaxLowres = 3;

    explicit PictureDecoder(PixelFormat codec, int lowres = 0);
    ~PictureDecoder();
    PictureDecoder(const PictureDecoder &) = delete;
    PictureDecoder &operator=(const PictureDecoder &) = delete;

    // The decoded picture, or an empty one when the data does not decode cleanly (problem()
    // says why) or, for H.264, before the first key frame.
    Picture decode(const uchar *data, qsizetype length);
    QString problem() const { return m_problem; }
    PixelFormat codec() const { return m_codec; }
    int lowres() const { return m_lowres; }
    // Forgets the pictures before: the next H.264 picture must be a key frame.
    void reset();

    // The lowres level whose picture of `sourceWidth` x `sourceHeight` still covers
    // `wanted` (0 when nothing smaller does, or for codecs without reduced decoding).
    static int lowresFor(PixelFormat codec, int sourceWidth, int sourceHeight, int wantedWidth, int wantedHeight);

private:
    bool openCodec();
    Picture fail(const QString &why);

    const PixelFormat m_codec;
    const int m_lowres;
    CodecContextPtr m_context;
    PacketPtr m_packet;
    // The picture copied with the zeroed padding libavcodec's bit readers may read past the end.
    std::vector<uint8_t> m_padded;
    SwsContextPtr m_unusualLayout; // JPEG layouts pictures do not keep (4:4:4, grey) → 4:2:2
    QString m_problem;
    bool m_isOpenFailed = false;
};

// True when an H.264 access unit (Annex B) holds an IDR picture or a sequence parameter set,
// from which decoding can start.
bool isH264KeyFrame(const uchar *data, qsizetype length);
