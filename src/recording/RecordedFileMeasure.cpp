#include "recording/RecordedFileMeasure.h"

#include "common/FfmpegPtr.h"

#include <algorithm>
#include <limits>

namespace {

QString ffmpegError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromLocal8Bit(text);
}

// The end of the latest picture read from the current position on; min() when none is.
// *first gets the earliest start.
qint64 lastPictureEnd(AVFormatContext *format, int stream, qint64 *first)
{
    PacketPtr packet(av_packet_alloc());
    qint64 end = std::numeric_limits<qint64>::min();
    while (packet && av_read_frame(format, packet.get()) >= 0) {
        if (packet->stream_index == stream && packet->pts != AV_NOPTS_VALUE) {
            if (first)
                *first = std::min<qint64>(*first, packet->pts);
            end = std::max<qint64>(end, packet->pts + std::max<qint64>(packet->duration, 0));
        }
        av_packet_unref(packet.get());
    }
    return end;
}

void keepOnly(AVFormatContext *format, int stream)
{
    for (int i = 0; i < int(format->nb_streams); ++i)
        format->streams[i]->discard = i == stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
}

// The end of the last picture, seeking straight to it: only the headers of the file's
// fragments (or clusters) are read on the way, not its pictures, which matters for an
// hour-long take. min() when the demuxer cannot seek there.
qint64 endBySeeking(AVFormatContext *format, int stream)
{
    if (av_seek_frame(format, stream, std::numeric_limits<qint64>::max() / 4, AVSEEK_FLAG_BACKWARD) < 0)
        return std::numeric_limits<qint64>::min();
    return lastPictureEnd(format, stream, nullptr);
}

} // namespace

RecordedFileMeasure measureRecordedFile(const QString &path)
{
    RecordedFileMeasure measure;
    AVFormatContext *raw = nullptr;
    const int opened = avformat_open_input(&raw, path.toUtf8().constData(), nullptr, nullptr);
    if (opened < 0) {
        measure.error = ffmpegError(opened);
        return measure;
    }
    InputContextPtr format(raw);
    if (const int info = avformat_find_stream_info(format.get(), nullptr); info < 0) {
        measure.error = ffmpegError(info);
        return measure;
    }
    if (const AVDictionaryEntry *reference = av_dict_get(format->metadata, "time_reference", nullptr, 0))
        measure.timeReferenceSamples = QByteArray(reference->value).toLongLong();

    const int video = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video >= 0) {
        measure.hasVideo = true;
        measure.width = format->streams[video]->codecpar->width;
        measure.height = format->streams[video]->codecpar->height;
        const AVDictionaryEntry *tc = av_dict_get(format->streams[video]->metadata, "timecode", nullptr, 0);
        if (!tc)
            tc = av_dict_get(format->metadata, "timecode", nullptr, 0);
        if (tc)
            measure.timecode = QString::fromUtf8(tc->value);
        // A crashed take's file has no index that says how long it is: it lasts to the end of
        // its last picture (pictures dropped on the way leave gaps, not a shorter file). That
        // end is found by seeking there, or else by reading every packet (not decoding) of a
        // fresh opening. A file cut off mid-fragment may hold a last picture whose neighbours
        // before it never arrived; an editor then takes the file for as long as its demuxer
        // says, so the shorter of the two counts.
        const AVStream *st = format->streams[video];
        const AVRational timeBase = st->time_base;
        const bool hasDemuxerLength = format->duration != AV_NOPTS_VALUE && format->duration > 0
            && format->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE;
        const double demuxerSeconds = hasDemuxerLength ? double(format->duration) / AV_TIME_BASE : 0.0;
        keepOnly(format.get(), video);
        qint64 first = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
        qint64 end = endBySeeking(format.get(), video);
        if (end <= first) {
            format.reset();
            raw = nullptr;
            if (avformat_open_input(&raw, path.toUtf8().constData(), nullptr, nullptr) >= 0) {
                format.reset(raw);
                keepOnly(format.get(), video);
                first = std::numeric_limits<qint64>::max();
                end = lastPictureEnd(format.get(), video, &first);
            }
        }
        measure.seconds = end > first ? double(end - first) * av_q2d(timeBase) : 0.0;
        if (hasDemuxerLength)
            measure.seconds = std::min(measure.seconds, demuxerSeconds);
        return measure;
    }
    const int audio = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (audio < 0) {
        measure.error = QStringLiteral("no picture or sound in it");
        return measure;
    }
    // What the WAV header covers: an editor plays exactly that much.
    const AVStream *st = format->streams[audio];
    measure.sampleRate = st->codecpar->sample_rate;
    if (st->duration != AV_NOPTS_VALUE && measure.sampleRate > 0)
        measure.audioFrames = av_rescale_q(st->duration, st->time_base, AVRational{1, measure.sampleRate});
    else if (format->duration != AV_NOPTS_VALUE && measure.sampleRate > 0)
        measure.audioFrames = av_rescale(format->duration, measure.sampleRate, AV_TIME_BASE);
    measure.seconds = measure.sampleRate > 0 ? double(measure.audioFrames) / measure.sampleRate : 0.0;
    return measure;
}
