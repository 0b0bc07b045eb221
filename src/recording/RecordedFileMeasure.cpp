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

// A video stream is as long as its pictures reach: the end of the latest one read. A file cut
// short by a crash has no index to say so, so every packet is read (not decoded).
double videoSeconds(AVFormatContext *format, int stream)
{
    const AVStream *st = format->streams[stream];
    PacketPtr packet(av_packet_alloc());
    qint64 first = std::numeric_limits<qint64>::max();
    qint64 end = std::numeric_limits<qint64>::min();
    for (int i = 0; i < int(format->nb_streams); ++i)
        format->streams[i]->discard = i == stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    while (packet && av_read_frame(format, packet.get()) >= 0) {
        if (packet->stream_index == stream && packet->pts != AV_NOPTS_VALUE) {
            first = std::min<qint64>(first, packet->pts);
            end = std::max<qint64>(end, packet->pts + std::max<qint64>(packet->duration, 0));
        }
        av_packet_unref(packet.get());
    }
    if (end <= first)
        return 0.0;
    return double(end - first) * av_q2d(st->time_base);
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
        const AVDictionaryEntry *tc = av_dict_get(format->streams[video]->metadata, "timecode", nullptr, 0);
        if (!tc)
            tc = av_dict_get(format->metadata, "timecode", nullptr, 0);
        if (tc)
            measure.timecode = QString::fromUtf8(tc->value);
        measure.seconds = videoSeconds(format.get(), video);
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
