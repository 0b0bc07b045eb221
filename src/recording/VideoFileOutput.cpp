#include "recording/VideoFileOutput.h"

#include "recording/FfmpegVideoCodec.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

extern "C" {
#include <libavutil/timecode.h>
}

#include <cerrno>
#include <cstring>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// A fragment (MP4, MOV) or cluster (Matroska) ends at the latest after this long, and an
// MPEG-TS file is synced at least this often, so a crash loses at most this much. In
// microseconds, as the mov muxer's frag_duration option wants it.
constexpr int kMaxFragmentMicroseconds = 2'000'000;

// The Matroska muxer holds a cluster in memory until it is complete; at very high bitrates
// this ends it before two seconds are up.
constexpr int kMaxClusterBytes = 8 * 1024 * 1024;

// Muxer options that keep the file playable when the process dies mid-take.
void setCrashSafeOptions(RecordingContainer container, VideoFileOutput::Stream stream, FfmpegOptions &options)
{
    switch (container) {
    case RecordingContainer::Mp4:
    case RecordingContainer::Mov:
        // Fragmented: an empty index up front, then self-contained fragments (moof + mdat) that
        // last at most kMaxFragmentMicroseconds and start at key frames, unless every frame is
        // one (a fragment per frame would cost a disk sync per frame).
        options.set("movflags", stream == VideoFileOutput::Stream::KeyFramesOnly
                                    ? "empty_moov+delay_moov+default_base_moof"
                                    : "frag_keyframe+empty_moov+delay_moov+default_base_moof");
        options.set("frag_duration", kMaxFragmentMicroseconds);
        break;
    case RecordingContainer::Mkv:
        // A cluster goes to the file only once it is complete; the index (cues) and the
        // duration written at the end are optional for players.
        options.set("cluster_time_limit", kMaxFragmentMicroseconds / 1000);
        options.set("cluster_size_limit", kMaxClusterBytes);
        break;
    case RecordingContainer::Ts:
        // 188-byte packets with the stream tables repeated: any prefix of the file plays.
        break;
    }
    // Hand every completed piece to the operating system at once.
    options.set("flush_packets", 1);
}

} // namespace

VideoFileOutput::~VideoFileOutput()
{
#if defined(Q_OS_UNIX)
    if (m_fileDescriptor >= 0)
        ::close(m_fileDescriptor);
#endif
}

bool VideoFileOutput::create(const EncoderConfig &config, QString *error)
{
    m_path = config.outputPath;
    m_container = config.container;
    const QByteArray path = config.outputPath.toUtf8();
    AVFormatContext *format = nullptr;
    const int allocated = avformat_alloc_output_context2(&format, nullptr, containerMuxerName(config.container),
                                                         path.constData());
    m_format.reset(format);
    if (allocated < 0 || !format) {
        *error = QStringLiteral("Could not create the %1 muxer: %2")
                     .arg(QLatin1String(containerDisplayName(config.container)), ffmpegErrorText(allocated));
        return false;
    }
    m_stream = avformat_new_stream(format, nullptr);
    if (!m_stream) {
        *error = QStringLiteral("Out of memory");
        return false;
    }
    return true;
}

bool VideoFileOutput::needsGlobalHeader() const
{
    return m_format && (m_format->oformat->flags & AVFMT_GLOBALHEADER);
}

bool VideoFileOutput::openFile(const EncoderConfig &config, Stream stream, QString *error)
{
    AVFormatContext *format = m_format.get();
    m_streamKind = stream;
    m_syncsOnGrowth = config.container != RecordingContainer::Ts && stream == Stream::Predicted;

    if (!config.startTimecode.isEmpty() && config.container == RecordingContainer::Ts) {
        qDebug() << "[FfmpegEncoder] MPEG-TS has no place for the start timecode; only the timeline carries it -"
                 << m_path;
    } else if (!config.startTimecode.isEmpty()) {
        // The mov muxer turns this tag into a timecode (tmcd) track that refers to the video
        // track; the Matroska muxer writes it as the track's TIMECODE tag.
        AVTimecode timecode;
        const QByteArray text = config.startTimecode.toUtf8();
        const int valid = av_timecode_init_from_string(&timecode, m_stream->avg_frame_rate, text.constData(), nullptr);
        if (valid < 0)
            qWarning() << "[FfmpegEncoder] Ignoring start timecode" << config.startTimecode << "-"
                       << qPrintable(ffmpegErrorText(valid));
        else
            av_dict_set(&m_stream->metadata, "timecode", text.constData(), 0);
    }

    // "file:" keeps FFmpeg from reading a name such as "Take:1/Camera_01.mp4" as a protocol.
    const QByteArray path = config.outputPath.toUtf8();
    const QByteArray url = "file:" + path;
    const int opened = avio_open(&format->pb, url.constData(), AVIO_FLAG_WRITE);
    if (opened < 0) {
        *error = QStringLiteral("Could not create the file: %1").arg(ffmpegErrorText(opened));
        return false;
    }
#if defined(Q_OS_UNIX)
    m_fileDescriptor = ::open(path.constData(), O_WRONLY | O_CLOEXEC);
#endif
    return true;
}

bool VideoFileOutput::writeHeader(QString *error)
{
    AVFormatContext *format = m_format.get();
    if (!format || !format->pb) {
        *error = QStringLiteral("The file is not open");
        return false;
    }
    FfmpegOptions muxerOptions;
    setCrashSafeOptions(m_container, m_streamKind, muxerOptions);
    const int header = avformat_write_header(format, muxerOptions.address());
    if (header < 0) {
        *error = QStringLiteral("Could not write the file header: %1").arg(ffmpegErrorText(header));
        m_format.reset();
        m_stream = nullptr;
        const QFileInfo info(m_path);
        if (info.isFile() && !info.isSymLink())
            QFile::remove(m_path); // a file without a header plays nowhere
        return false;
    }
    if (const AVDictionaryEntry *unused = muxerOptions.first())
        qWarning() << "[FfmpegEncoder] The" << containerDisplayName(m_container) << "muxer ignored option" << unused->key;
    m_goodBytes = avio_tell(format->pb);
    m_isOpen = true;
    return true;
}

bool VideoFileOutput::writePacket(AVPacket *packet, AVRational timeBase, QString *error)
{
    if (!m_isOpen) {
        *error = QStringLiteral("The file is not open");
        return false;
    }
    const qint64 mediaTimeUs = av_rescale_q(packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts, timeBase,
                                            AV_TIME_BASE_Q);
    av_packet_rescale_ts(packet, timeBase, m_stream->time_base);
    packet->stream_index = m_stream->index;
    const int written = av_interleaved_write_frame(m_format.get(), packet);
    if (written < 0) {
        *error = QStringLiteral("Could not write to the file: %1").arg(ffmpegErrorText(written));
        cutBackAfterFailure();
        return false;
    }
    return syncIfGrown(mediaTimeUs, false, error);
}

bool VideoFileOutput::syncIfGrown(qint64 mediaTimeUs, bool isFinal, QString *error)
{
    const qint64 position = avio_tell(m_format->pb);
    // After a failed write the I/O layer still counts what it could not write.
    if (m_format->pb->error < 0)
        return true;
    const bool isSyncDue = isFinal || m_syncsOnGrowth || !m_hasSynced
                           || mediaTimeUs - m_lastSyncMediaUs >= kMaxFragmentMicroseconds;
    // The trailer of a Matroska file rewrites its header in place: the final sync is always.
    if ((position > m_syncedBytes && isSyncDue) || isFinal) {
#if defined(Q_OS_LINUX)
        // Push what went out to the disk so a power cut keeps it.
        if (m_fileDescriptor >= 0 && ::fdatasync(m_fileDescriptor) != 0 && errno != EINVAL) {
            *error = QStringLiteral("Could not sync the file: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
            cutBackAfterFailure();
            return false;
        }
#endif
        m_syncedBytes = position;
        m_lastSyncMediaUs = mediaTimeUs;
        m_hasSynced = true;
    }
    if (position > m_goodBytes)
        m_goodBytes = position;
    return true;
}

void VideoFileOutput::cutBackAfterFailure()
{
    // A full disk takes part of a fragment: cut the file back to its last whole fragment, so
    // it ends cleanly (and the space comes back). The I/O layer refuses writes from now on.
#if defined(Q_OS_UNIX)
    if (m_fileDescriptor >= 0 && ::ftruncate(m_fileDescriptor, m_goodBytes) != 0)
        qWarning() << "[FfmpegEncoder] Could not cut off the incomplete fragment:" << std::strerror(errno);
#endif
}

bool VideoFileOutput::finish(QString *error)
{
    if (!m_isOpen)
        return false;
    m_isOpen = false;
    AVFormatContext *format = m_format.get();
    bool isComplete = true;
    // Writing the trailer completes the last fragment or cluster and adds the index; after a
    // write error the I/O layer refuses further writes, so the file keeps its last good state.
    const int trailer = av_write_trailer(format);
    if (trailer < 0) {
        *error = QStringLiteral("Could not complete the file: %1").arg(ffmpegErrorText(trailer));
        isComplete = false;
    }
    avio_flush(format->pb);
    if (format->pb->error < 0) {
        if (error->isEmpty())
            *error = QStringLiteral("Could not write to the file: %1").arg(ffmpegErrorText(format->pb->error));
        cutBackAfterFailure();
        isComplete = false;
    }
    QString syncError;
    if (!syncIfGrown(0, true, &syncError)) {
        if (error->isEmpty())
            *error = syncError;
        isComplete = false;
    }
    const int closed = avio_closep(&format->pb);
    if (closed < 0) {
        if (error->isEmpty())
            *error = QStringLiteral("Could not close the file: %1").arg(ffmpegErrorText(closed));
        isComplete = false;
    }
    return isComplete;
}
