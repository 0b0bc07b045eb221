#include "capture/PictureDecoder.h"

#include "capture/PictureFrames.h"

#include <algorithm>
#include <cstring>

namespace {

// The decoder's complaints about a damaged picture would fill the log at the camera's frame
// rate; the callers report each refusal themselves, so they go to debug level.
constexpr int kQuietDecoderLogOffset = AV_LOG_DEBUG - AV_LOG_ERROR;

// libswscale reads the YUVJ formats as full range and would squeeze them; the plain format
// keeps the values as they are (the range travels with the picture).
AVPixelFormat plainLayout(AVPixelFormat format)
{
    switch (format) {
    case AV_PIX_FMT_YUVJ444P: return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P: return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P: return AV_PIX_FMT_YUV411P;
    default: return format;
    }
}

} // namespace

bool isH264KeyFrame(const uchar *data, qsizetype length)
{
    for (qsizetype i = 0; i + 3 < length; ++i) {
        if (data[i] != 0 || data[i + 1] != 0)
            continue;
        qsizetype header = -1;
        if (data[i + 2] == 1)
            header = i + 3;
        else if (data[i + 2] == 0 && i + 4 < length && data[i + 3] == 1)
            header = i + 4;
        if (header < 0 || header >= length)
            continue;
        const int type = data[header] & 0x1F;
        if (type == 5 || type == 7)
            return true;
        if (type == 1)
            return false; // a coded slice of a predicted picture comes before anything else
        i = header;
    }
    return false;
}

PictureDecoder::PictureDecoder(PixelFormat codec, int lowres)
    : m_codec(codec)
    , m_lowres(codec == PixelFormat::Mjpeg ? std::clamp(lowres, 0, MaxLowres) : 0)
{
}

PictureDecoder::~PictureDecoder() = default;

int PictureDecoder::lowresFor(PixelFormat codec, int sourceWidth, int sourceHeight, int wantedWidth,
                              int wantedHeight)
{
    if (codec != PixelFormat::Mjpeg)
        return 0;
    int level = 0;
    while (level < MaxLowres && (sourceWidth >> (level + 1)) >= wantedWidth && (sourceHeight >> (level + 1)) >= wantedHeight)
        ++level;
    return level;
}

bool PictureDecoder::openCodec()
{
    if (m_context)
        return true;
    if (m_isOpenFailed)
        return false;
    const AVCodec *codec = avcodec_find_decoder(m_codec == PixelFormat::H264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_MJPEG);
    m_context.reset(codec ? avcodec_alloc_context3(codec) : nullptr);
    m_packet.reset(av_packet_alloc());
    if (!m_context || !m_packet) {
        m_isOpenFailed = true;
        m_context.reset();
        return false;
    }
    // One thread: a camera's pictures are decoded one after another on its own thread, and
    // frame threads would hold each H.264 picture back by a frame per thread.
    m_context->thread_count = 1;
    m_context->log_level_offset = kQuietDecoderLogOffset;
    m_context->lowres = m_lowres;
    m_context->flags |= AV_CODEC_FLAG_LOW_DELAY;
    if (avcodec_open2(m_context.get(), codec, nullptr) < 0) {
        m_isOpenFailed = true;
        m_context.reset();
        return false;
    }
    return true;
}

void PictureDecoder::reset()
{
    if (m_context)
        avcodec_flush_buffers(m_context.get());
}

Picture PictureDecoder::fail(const QString &why)
{
    m_problem = why;
    return {};
}

Picture PictureDecoder::decode(const uchar *data, qsizetype length)
{
    m_problem.clear();
    if (!data || length < 4)
        return fail(QStringLiteral("no picture in the buffer"));
    if (!openCodec())
        return fail(m_codec == PixelFormat::H264 ? QStringLiteral("no H.264 decoder") : QStringLiteral("no MJPEG decoder"));

    m_padded.resize(size_t(length) + AV_INPUT_BUFFER_PADDING_SIZE);
    std::memcpy(m_padded.data(), data, size_t(length));
    std::memset(m_padded.data() + length, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    m_packet->data = m_padded.data();
    m_packet->size = int(length);

    FramePtr frame(av_frame_alloc());
    if (!frame)
        return fail(QStringLiteral("out of memory"));
    int result = avcodec_send_packet(m_context.get(), m_packet.get());
    if (result >= 0)
        result = avcodec_receive_frame(m_context.get(), frame.get());
    if (result == AVERROR(EAGAIN))
        return fail(QStringLiteral("the decoder waits for a key frame"));
    if (result < 0) {
        // A decoder that choked may hold state from the broken picture; start the next clean.
        avcodec_flush_buffers(m_context.get());
        return fail(QStringLiteral("the picture does not decode"));
    }
    const bool damaged = frame->decode_error_flags != 0 || (frame->flags & AV_FRAME_FLAG_CORRUPT) != 0;
    if (damaged || frame->width < 1 || frame->height < 1)
        return fail(QStringLiteral("the picture is damaged"));

    bool isFullRange = false;
    const std::optional<PixelFormat> format = pixelFormatOf(AVPixelFormat(frame->format), &isFullRange);
    PictureColour colour;
    colour.matrix = colourMatrixOf(frame->colorspace);
    colour.isFullRange = isFullRange || frame->color_range == AVCOL_RANGE_JPEG;
    if (format && *format != PixelFormat::Rgba)
        return pictureFromFrame(std::move(frame), colour);

    // 4:4:4, 4:4:0, 4:1:1 or grey JPEG pictures (rare in cameras): made 4:2:2, their matrix
    // and range kept (libswscale converts layouts between YUV formats, not colours).
    const int width = frame->width;
    const int height = frame->height;
    m_unusualLayout.reset(sws_getCachedContext(m_unusualLayout.release(), width, height, plainLayout(AVPixelFormat(frame->format)),
                                               width, height, AV_PIX_FMT_YUV422P, SWS_POINT, nullptr, nullptr, nullptr));
    if (!m_unusualLayout)
        return fail(QStringLiteral("no conversion from the decoded layout"));
    QByteArray bytes(Picture::tightSize(PixelFormat::Yuv422p, width, height), Qt::Uninitialized);
    const Picture::Planes planes = Picture::tightLayout(PixelFormat::Yuv422p, width, height,
                                                        reinterpret_cast<const uchar *>(bytes.constData()));
    uint8_t *target[4] = {const_cast<uint8_t *>(planes.data[0]), const_cast<uint8_t *>(planes.data[1]),
                          const_cast<uint8_t *>(planes.data[2]), nullptr};
    const int strides[4] = {planes.strides[0], planes.strides[1], planes.strides[2], 0};
    if (sws_scale(m_unusualLayout.get(), frame->data, frame->linesize, 0, height, target, strides) <= 0)
        return fail(QStringLiteral("no conversion from the decoded layout"));
    return Picture::fromBytes(std::move(bytes), PixelFormat::Yuv422p, width, height, colour);
}
