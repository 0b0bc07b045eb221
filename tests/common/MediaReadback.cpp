#include "MediaReadback.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <memory>

namespace {

double meanLumaOf(const AVFrame *picture)
{
    double sum = 0.0;
    for (int y = 0; y < picture->height; ++y) {
        const uint8_t *row = picture->data[0] + qsizetype(y) * picture->linesize[0];
        for (int x = 0; x < picture->width; ++x)
            sum += row[x];
    }
    return picture->width > 0 && picture->height > 0 ? sum / (double(picture->width) * picture->height) : 0.0;
}

// The settings line x264 and x265 write into the stream ("... options: cabac=1 ref=3 ...
// rc=cbr ..."), found in the parameter sets or the first picture.
QString encoderInfoIn(const QByteArray &bytes)
{
    for (const char *marker : {"x264 - core", "x265 (build"}) {
        const qsizetype start = bytes.indexOf(marker);
        if (start < 0)
            continue;
        qsizetype end = start;
        while (end < bytes.size() && bytes.at(end) >= 0x20 && uchar(bytes.at(end)) < 0x7f)
            ++end;
        return QString::fromLatin1(bytes.mid(start, end - start));
    }
    return QString();
}

} // namespace

QString Readback::encoderOption(const QString &name) const
{
    const QString key = QLatin1Char(' ') + name + QLatin1Char('=');
    const qsizetype at = encoderInfo.indexOf(key);
    if (at < 0)
        return QString();
    const qsizetype start = at + key.size();
    const qsizetype end = encoderInfo.indexOf(QLatin1Char(' '), start);
    return encoderInfo.mid(start, end < 0 ? -1 : end - start);
}

Readback readBack(const QString &path, bool decode)
{
    Readback r;
    AVFormatContext *raw = nullptr;
    const QByteArray file = path.toUtf8();
    if (avformat_open_input(&raw, file.constData(), nullptr, nullptr) < 0) {
        r.error = QStringLiteral("cannot open");
        return r;
    }
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext *)> format(raw, [](AVFormatContext *c) {
        avformat_close_input(&c);
    });
    if (avformat_find_stream_info(format.get(), nullptr) < 0) {
        r.error = QStringLiteral("no stream info");
        return r;
    }
    const int videoIndex = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (videoIndex < 0) {
        r.error = QStringLiteral("no video stream");
        return r;
    }
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (format->streams[i]->codecpar->codec_tag == MKTAG('t', 'm', 'c', 'd'))
            r.hasTimecodeTrack = true;
    }
    AVStream *stream = format->streams[videoIndex];
    const AVCodecParameters *par = stream->codecpar;
    r.codec = par->codec_id;
    r.width = par->width;
    r.height = par->height;
    r.timeBase = stream->time_base;
    r.primaries = par->color_primaries;
    r.transfer = par->color_trc;
    r.matrix = par->color_space;
    r.range = par->color_range;
    r.profile = par->profile;
    r.frameRate = stream->avg_frame_rate;
    r.encoderInfo = encoderInfoIn(QByteArray(reinterpret_cast<const char *>(par->extradata), par->extradata_size));
    if (const AVDictionaryEntry *tc = av_dict_get(stream->metadata, "timecode", nullptr, 0))
        r.videoTimecode = QString::fromUtf8(tc->value);

    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext *)> decoder(nullptr, [](AVCodecContext *c) {
        avcodec_free_context(&c);
    });
    if (decode) {
        decoder.reset(avcodec_alloc_context3(avcodec_find_decoder(par->codec_id)));
        avcodec_parameters_to_context(decoder.get(), par);
        decoder->thread_count = 1;
        if (avcodec_open2(decoder.get(), decoder->codec, nullptr) < 0) {
            r.error = QStringLiteral("no decoder");
            return r;
        }
    }
    std::unique_ptr<AVPacket, void (*)(AVPacket *)> packet(av_packet_alloc(), [](AVPacket *p) { av_packet_free(&p); });
    std::unique_ptr<AVFrame, void (*)(AVFrame *)> picture(av_frame_alloc(), [](AVFrame *f) { av_frame_free(&f); });
    QList<std::pair<qint64, char>> types;
    QList<std::pair<qint64, double>> lumaByPts;
    auto drain = [&] {
        while (avcodec_receive_frame(decoder.get(), picture.get()) >= 0) {
            ++r.decodedFrames;
            types.append({picture->pts, av_get_picture_type_char(picture->pict_type)});
            lumaByPts.append({picture->pts, meanLumaOf(picture.get())});
            if (picture->decode_error_flags)
                ++r.decodeErrors;
            r.lastLumaStride = picture->linesize[0];
            r.lastLuma = QByteArray(reinterpret_cast<const char *>(picture->data[0]),
                                    qsizetype(picture->linesize[0]) * picture->height);
        }
    };
    int result = 0;
    while ((result = av_read_frame(format.get(), packet.get())) >= 0) {
        if (packet->stream_index == videoIndex) {
            r.pts.append(packet->pts);
            if (packet->flags & AV_PKT_FLAG_KEY)
                r.keyframePts.append(packet->pts);
            if (r.packetBytes.isEmpty() && r.encoderInfo.isEmpty())
                r.encoderInfo = encoderInfoIn(QByteArray(reinterpret_cast<const char *>(packet->data), packet->size));
            r.packetBytes.append(packet->size);
            r.totalPacketBytes += packet->size;
            if (decode) {
                if (avcodec_send_packet(decoder.get(), packet.get()) < 0)
                    ++r.decodeErrors;
                drain();
            }
        }
        av_packet_unref(packet.get());
    }
    if (decode) {
        avcodec_send_packet(decoder.get(), nullptr);
        drain();
        std::sort(types.begin(), types.end());
        for (const auto &type : types)
            r.pictureTypes.append(type.second);
        std::sort(lumaByPts.begin(), lumaByPts.end());
        for (const auto &luma : lumaByPts)
            r.meanLuma.append(luma.second);
    }
    std::sort(r.pts.begin(), r.pts.end());
    std::sort(r.keyframePts.begin(), r.keyframePts.end());
    return r;
}

QStringList topLevelBoxes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    QStringList boxes;
    qint64 offset = 0;
    while (offset + 8 <= bytes.size()) {
        qint64 size = qFromBigEndian<quint32>(bytes.constData() + offset);
        const QString type = QString::fromLatin1(bytes.mid(offset + 4, 4));
        if (size == 1 && offset + 16 <= bytes.size())
            size = qint64(qFromBigEndian<quint64>(bytes.constData() + offset + 8));
        if (size < 8)
            break;
        boxes.append(type);
        offset += size;
    }
    return boxes;
}


namespace {

QString fixedText(const QByteArray &bytes, qsizetype at, qsizetype size)
{
    const QByteArray field = bytes.mid(at, size);
    return QString::fromLatin1(field.left(field.indexOf('\0') < 0 ? field.size() : field.indexOf('\0')));
}

BextReadback parseBext(const QByteArray &body)
{
    BextReadback bext;
    if (body.size() < 602)
        return bext;
    const char *b = body.constData();
    bext.description = fixedText(body, 0, 256);
    bext.originator = fixedText(body, 256, 32);
    bext.originationDate = fixedText(body, 320, 10);
    bext.originationTime = fixedText(body, 330, 8);
    bext.timeReference = qFromLittleEndian<quint32>(b + 338) | (quint64(qFromLittleEndian<quint32>(b + 342)) << 32);
    bext.version = qFromLittleEndian<quint16>(b + 346);
    bext.codingHistory = fixedText(body, 602, body.size() - 602);
    return bext;
}

} // namespace

WavReadback readWav(const QString &path)
{
    WavReadback wav;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return wav;
    const QByteArray bytes = file.readAll();
    wav.fileSize = bytes.size();
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
        return wav;
    const char *d = bytes.constData();
    wav.riffSize = qFromLittleEndian<quint32>(d + 4);
    bool hasPcmFormat = false;
    qint64 offset = 12;
    while (offset + 8 <= wav.fileSize) {
        const QByteArray id = bytes.mid(offset, 4);
        const quint32 size = qFromLittleEndian<quint32>(d + offset + 4);
        wav.chunks.append(QString::fromLatin1(id));
        const qint64 body = offset + 8;
        if (id == "fmt " && size >= 16 && body + 16 <= wav.fileSize) {
            wav.fmtSize = size;
            wav.formatTag = qFromLittleEndian<quint16>(d + body);
            wav.channels = qFromLittleEndian<quint16>(d + body + 2);
            wav.sampleRate = int(qFromLittleEndian<quint32>(d + body + 4));
            wav.byteRate = qFromLittleEndian<quint32>(d + body + 8);
            wav.blockAlign = qFromLittleEndian<quint16>(d + body + 12);
            wav.bitsPerSample = qFromLittleEndian<quint16>(d + body + 14);
            hasPcmFormat = wav.formatTag == 1 && wav.bitsPerSample == 16;
        } else if (id == "bext") {
            wav.bext = parseBext(bytes.mid(body, size));
        } else if (id == "data") {
            wav.dataOffset = body;
            wav.dataSize = size;
            break; // the samples; nothing of ours follows them
        }
        offset = body + size + (size % 2); // chunks are padded to an even size
    }
    wav.headerValid = hasPcmFormat && wav.dataOffset > 0 && wav.dataSize % 2 == 0
        && qint64(wav.riffSize) == wav.dataOffset - 8 + wav.dataSize && wav.dataOffset + wav.dataSize <= wav.fileSize;
    if (wav.dataOffset == 0)
        return wav;
    const qint64 available = std::min<qint64>(wav.dataSize, wav.fileSize - wav.dataOffset) / 2;
    wav.samples.resize(size_t(available));
    for (qint64 i = 0; i < available; ++i)
        wav.samples[size_t(i)] = qFromLittleEndian<qint16>(d + wav.dataOffset + i * 2);
    return wav;
}

MediaProbe probeMedia(const QString &path)
{
    MediaProbe probe;
    AVFormatContext *raw = nullptr;
    if (avformat_open_input(&raw, path.toUtf8().constData(), nullptr, nullptr) < 0) {
        probe.error = QStringLiteral("cannot open");
        return probe;
    }
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext *)> format(raw, [](AVFormatContext *c) {
        avformat_close_input(&c);
    });
    if (avformat_find_stream_info(format.get(), nullptr) < 0) {
        probe.error = QStringLiteral("no stream info");
        return probe;
    }
    probe.formatName = QString::fromLatin1(format->iformat->name);
    if (format->duration != AV_NOPTS_VALUE)
        probe.durationSeconds = double(format->duration) / AV_TIME_BASE;
    const AVDictionaryEntry *tag = nullptr;
    while ((tag = av_dict_get(format->metadata, "", tag, AV_DICT_IGNORE_SUFFIX)))
        probe.tags.insert(QString::fromUtf8(tag->key), QString::fromUtf8(tag->value));
    const int audio = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (audio >= 0)
        probe.sampleRate = format->streams[audio]->codecpar->sample_rate;
    const int video = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video >= 0) {
        probe.width = format->streams[video]->codecpar->width;
        probe.height = format->streams[video]->codecpar->height;
    }
    const AVDictionary *withTimecode = video >= 0 ? format->streams[video]->metadata : format->metadata;
    if (const AVDictionaryEntry *tc = av_dict_get(withTimecode, "timecode", nullptr, 0))
        probe.timecode = QString::fromUtf8(tc->value);
    return probe;
}
