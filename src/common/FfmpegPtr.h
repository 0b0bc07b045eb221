// FfmpegPtr: owners for the FFmpeg objects of the encoder, so no raw FFmpeg pointer owns
// anything. Each deleter is the library's own free function.
//
// An output file is different: closing it can fail, and that failure must reach the caller.
// The encoder closes it explicitly (av_write_trailer, avio_flush, avio_closep) and checks each
// step; OutputContextDeleter only cleans up after a path that has already failed.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/buffer.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <memory>

struct CodecContextDeleter
{
    void operator()(AVCodecContext *context) const { avcodec_free_context(&context); }
};

struct FrameDeleter
{
    void operator()(AVFrame *frame) const { av_frame_free(&frame); }
};

struct PacketDeleter
{
    void operator()(AVPacket *packet) const { av_packet_free(&packet); }
};

struct SwsContextDeleter
{
    void operator()(SwsContext *context) const { sws_freeContext(context); }
};

struct BufferRefDeleter
{
    void operator()(AVBufferRef *buffer) const { av_buffer_unref(&buffer); }
};

struct OutputContextDeleter
{
    void operator()(AVFormatContext *context) const
    {
        if (context->pb && !(context->oformat->flags & AVFMT_NOFILE))
            avio_closep(&context->pb);
        avformat_free_context(context);
    }
};

// A file opened for reading (avformat_open_input).
struct InputContextDeleter
{
    void operator()(AVFormatContext *context) const { avformat_close_input(&context); }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextDeleter>;
using BufferRefPtr = std::unique_ptr<AVBufferRef, BufferRefDeleter>;
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextDeleter>;
using InputContextPtr = std::unique_ptr<AVFormatContext, InputContextDeleter>;

// Options handed to avcodec_open2 / avformat_write_header; frees what the call left over.
class FfmpegOptions
{
public:
    FfmpegOptions() = default;
    ~FfmpegOptions() { av_dict_free(&m_dictionary); }
    FfmpegOptions(const FfmpegOptions &) = delete;
    FfmpegOptions &operator=(const FfmpegOptions &) = delete;

    void set(const char *key, const char *value) { av_dict_set(&m_dictionary, key, value, 0); }
    void set(const char *key, long long value) { av_dict_set_int(&m_dictionary, key, value, 0); }
    // For the FFmpeg call that consumes recognised entries and leaves the rest.
    AVDictionary **address() { return &m_dictionary; }
    // The first entry no one recognised, or nullptr.
    const AVDictionaryEntry *first() const
    {
        return av_dict_get(m_dictionary, "", nullptr, AV_DICT_IGNORE_SUFFIX);
    }

private:
    AVDictionary *m_dictionary = nullptr;
};
