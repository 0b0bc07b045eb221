#include "recording/FfmpegEncoder.h"

#include "recording/EncoderGeometry.h"
#include "common/FfmpegPtr.h"
#include "common/ThreadName.h"
#include "recording/FfmpegVideoCodec.h"
#include "recording/FrameRate.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

extern "C" {
#include <libavutil/timecode.h>
}

#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// Frames wait at most this long for the worker; beyond it they are dropped (and counted), so
// an encoder that falls behind cannot take the machine's memory with it.
constexpr double kQueueSeconds = 2.0;

// A fragment (MP4, MOV) or cluster (Matroska) starts at every key frame and at the latest
// after this long, and an MPEG-TS file is synced at least this often, so a crash loses at most
// this much. In microseconds, as the mov muxer's frag_duration option wants it.
constexpr int kMaxFragmentMicroseconds = 2'000'000;

// The Matroska muxer holds a cluster in memory until it is complete; at very high bitrates
// this ends it before two seconds are up.
constexpr int kMaxClusterBytes = 8 * 1024 * 1024;

// Muxer options that keep the file playable when the process dies mid-take.
void setCrashSafeOptions(RecordingContainer container, FfmpegOptions &options)
{
    switch (container) {
    case RecordingContainer::Mp4:
    case RecordingContainer::Mov:
        // Fragmented: an empty index up front, then self-contained fragments (moof + mdat) that
        // start at key frames and last at most kMaxFragmentMicroseconds.
        options.set("movflags", "frag_keyframe+empty_moov+delay_moov+default_base_moof");
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

struct FfmpegEncoder::Output
{
    OutputContextPtr format;
    AVStream *stream = nullptr; // owned by `format`
    std::unique_ptr<FfmpegVideoCodec> codec;
    PacketPtr packet;
    // A second descriptor of the file, to push what was written to the disk (FFmpeg's own I/O
    // does not sync, and syncing applies to the file, whichever descriptor wrote it) and to cut
    // a half-written fragment off after a failed write.
    int fileDescriptor = -1;
    // Size of the file after the last complete write: header and whole fragments, clusters or
    // packets.
    qint64 goodBytes = 0;
    // MP4, MOV and Matroska files grow by whole fragments or clusters, at most one per two
    // seconds: each is synced as it arrives. MPEG-TS grows with every frame: syncing each would
    // cost a disk flush per frame, so it is synced once kMaxFragmentMicroseconds of video have
    // been written since the last sync.
    bool syncsOnGrowth = true;
    qint64 syncedBytes = 0;
    qint64 lastSyncMediaUs = std::numeric_limits<qint64>::min() / 2; // the first write syncs

    ~Output()
    {
#if defined(Q_OS_UNIX)
        if (fileDescriptor >= 0)
            ::close(fileDescriptor);
#endif
    }
};

FfmpegEncoder::FfmpegEncoder() = default;

FfmpegEncoder::~FfmpegEncoder()
{
    stop();
}

int FfmpegEncoder::queueCapacityFor(double fps)
{
    if (!std::isfinite(fps) || fps <= 0.0)
        return 2;
    return std::max(2, int(std::ceil(fps * kQueueSeconds)));
}

bool FfmpegEncoder::open(const EncoderConfig &config)
{
    if (m_isOpen || m_isStopped) {
        setLastError(QStringLiteral("The encoder was already opened once"));
        qWarning() << "[FfmpegEncoder] open() called twice for" << m_path;
        return false;
    }
    m_path = config.outputPath;
    {
        std::lock_guard lock(m_errorMutex);
        m_lastError.clear(); // a failed open may be retried
    }

    auto failOpen = [this](const QString &message) {
        setLastError(message);
        qWarning() << "[FfmpegEncoder]" << qPrintable(message) << "-" << m_path;
        m_output.reset();
        return false;
    };

    if (config.width < 1 || config.height < 1)
        return failOpen(QStringLiteral("Invalid picture size %1x%2").arg(config.width).arg(config.height));
    if (!config.frameRate.isValid())
        return failOpen(QStringLiteral("Invalid frame rate %1/%2").arg(config.frameRate.numerator).arg(config.frameRate.denominator));
    if (config.outputPath.isEmpty())
        return failOpen(QStringLiteral("No output path"));

    const QSize encodedSize = evenEncodedSize(QSize(config.width, config.height));
    if (encodedSize != QSize(config.width, config.height))
        qDebug() << "[FfmpegEncoder] 4:2:0 needs even sizes: encoding"
                 << qPrintable(QStringLiteral("%1x%2 as %3x%4").arg(config.width).arg(config.height)
                                   .arg(encodedSize.width()).arg(encodedSize.height()));
    const FrameRate rate = config.frameRate;

    // The order of FFmpeg's mux example: container, stream, encoder (with the global header
    // flag the container asks for), stream parameters, file, header.
    auto output = std::make_unique<Output>();
    const QByteArray path = config.outputPath.toUtf8();
    AVFormatContext *format = nullptr;
    const char *muxer = containerMuxerName(config.container);
    const int allocated = avformat_alloc_output_context2(&format, nullptr, muxer, path.constData());
    output->format.reset(format);
    if (allocated < 0 || !format)
        return failOpen(QStringLiteral("Could not create the %1 muxer: %2")
                            .arg(QLatin1String(containerDisplayName(config.container)), ffmpegErrorText(allocated)));
    output->syncsOnGrowth = config.container != RecordingContainer::Ts;
    output->stream = avformat_new_stream(format, nullptr);
    output->packet.reset(av_packet_alloc());
    if (!output->stream || !output->packet)
        return failOpen(QStringLiteral("Out of memory"));

    const bool globalHeader = format->oformat->flags & AVFMT_GLOBALHEADER;
    const QString requested = config.encoderName.isEmpty()
                                  ? softwareEncoderFor(QString(), config.useHevc)
                                  : config.encoderName;
    QString codecError;
    output->codec = std::make_unique<FfmpegVideoCodec>();
    if (!output->codec->open(requested, config, encodedSize, globalHeader, &codecError)) {
        const QString software = softwareEncoderFor(requested, config.useHevc);
        if (software == requested)
            return failOpen(codecError);
        // A camera must not be lost because a driver is missing or busy.
        qWarning() << "[FfmpegEncoder]" << qPrintable(codecError) << "- falling back to"
                   << qPrintable(software);
        output->codec = std::make_unique<FfmpegVideoCodec>();
        if (!output->codec->open(software, config, encodedSize, globalHeader, &codecError))
            return failOpen(codecError);
    }
    AVCodecContext *codecContext = output->codec->context();

    AVStream *stream = output->stream;
    stream->time_base = codecContext->time_base; // a hint; the muxer picks its own
    stream->avg_frame_rate = codecContext->framerate;
    const int copied = avcodec_parameters_from_context(stream->codecpar, codecContext);
    if (copied < 0)
        return failOpen(QStringLiteral("Could not set the stream parameters: %1").arg(ffmpegErrorText(copied)));

    if (!config.startTimecode.isEmpty() && config.container == RecordingContainer::Ts) {
        qDebug() << "[FfmpegEncoder] MPEG-TS has no place for the start timecode; only the timeline carries it -"
                 << m_path;
    } else if (!config.startTimecode.isEmpty()) {
        // The mov muxer turns this tag into a timecode (tmcd) track that refers to the video
        // track; the Matroska muxer writes it as the track's TIMECODE tag.
        AVTimecode timecode;
        const QByteArray text = config.startTimecode.toUtf8();
        const int valid = av_timecode_init_from_string(&timecode, codecContext->framerate,
                                                       text.constData(), nullptr);
        if (valid < 0)
            qWarning() << "[FfmpegEncoder] Ignoring start timecode" << config.startTimecode << "-"
                       << qPrintable(ffmpegErrorText(valid));
        else
            av_dict_set(&stream->metadata, "timecode", text.constData(), 0);
    }

    // "file:" keeps FFmpeg from reading a name such as "Take:1/Camera_01.mp4" as a protocol.
    const QByteArray url = "file:" + path;
    const int opened = avio_open(&format->pb, url.constData(), AVIO_FLAG_WRITE);
    if (opened < 0)
        return failOpen(QStringLiteral("Could not create the file: %1").arg(ffmpegErrorText(opened)));

    FfmpegOptions muxerOptions;
    setCrashSafeOptions(config.container, muxerOptions);
    const int header = avformat_write_header(format, muxerOptions.address());
    if (header < 0) {
        const QString message = QStringLiteral("Could not write the file header: %1").arg(ffmpegErrorText(header));
        output.reset();
        const QFileInfo info(config.outputPath);
        if (info.isFile() && !info.isSymLink())
            QFile::remove(config.outputPath); // a file without a header plays nowhere
        return failOpen(message);
    }
    if (const AVDictionaryEntry *unused = muxerOptions.first())
        qWarning() << "[FfmpegEncoder] The" << containerDisplayName(config.container) << "muxer ignored option" << unused->key;

#if defined(Q_OS_UNIX)
    output->fileDescriptor = ::open(path.constData(), O_WRONLY | O_CLOEXEC);
#endif
    output->goodBytes = avio_tell(format->pb);
    m_bytesWritten = output->goodBytes;

    m_encoderName = output->codec->name();
    m_output = std::move(output);
    m_queueCapacity = queueCapacityFor(rate.toDouble());
    m_isOpen = true;
    m_worker = std::thread([this] { run(); });
    const EncoderSetup &setup = m_output->codec->setup();
    m_appliedSettings = QStringLiteral("%1, profile %2, %3, %4 fps (%5/%6), %7x%8, %9")
                            .arg(m_encoderName, setup.profileText, setup.rateControlText, rate.text())
                            .arg(rate.numerator).arg(rate.denominator)
                            .arg(encodedSize.width()).arg(encodedSize.height())
                            .arg(setup.color.text);
    m_settingNotes = setup.notes;
    qDebug().noquote() << "[FfmpegEncoder] Writing" << m_path << "with" << m_appliedSettings << "in"
                       << containerDisplayName(config.container);
    for (const EncoderNote &note : setup.notes)
        qWarning().noquote() << "[FfmpegEncoder]" << QFileInfo(m_path).fileName() << "-" << note.en;
    return true;
}

void FfmpegEncoder::writeFrame(const VideoFrame &frame)
{
    if (!m_isOpen || m_isStopped)
        return;
    if (m_hasFailed) {
        ++m_droppedFrames; // the file no longer grows; the caller ends the take
        return;
    }
    bool overflow = false;
    {
        std::lock_guard lock(m_queueMutex);
        overflow = int(m_queue.size()) >= m_queueCapacity;
        if (overflow) {
            m_refusedLastFrame = frame;
        } else {
            m_queue.push_back(frame);
            m_refusedLastFrame.reset();
        }
    }
    if (overflow) {
        ++m_droppedFrames;
        if (!m_isOverflowReported) {
            m_isOverflowReported = true;
            qWarning() << "[FfmpegEncoder] Encoder falling behind, dropping frames from" << frame.frameIndex
                       << "-" << m_path;
        }
        return;
    }
    m_queueChanged.notify_one();
}

bool FfmpegEncoder::stop()
{
    if (!m_isOpen)
        return false;
    if (!m_isStopped) {
        m_isStopped = true;
        {
            std::lock_guard lock(m_queueMutex);
            // The file ends with the take's last frame even when the queue refused it.
            if (m_refusedLastFrame && !m_hasFailed) {
                m_queue.push_back(std::move(*m_refusedLastFrame));
                --m_droppedFrames;
            }
            m_refusedLastFrame.reset();
            m_stopRequested = true;
        }
        m_queueChanged.notify_one();
        if (m_worker.joinable())
            m_worker.join();
        m_output.reset();
        qDebug() << "[FfmpegEncoder] Finished" << m_path << "-" << m_framesEncoded.load() << "frames,"
                 << m_droppedFrames.load() << "dropped," << m_bytesWritten.load() << "bytes"
                 << (m_fileCompleted ? "" : "(incomplete)");
    }
    return m_fileCompleted;
}

void FfmpegEncoder::setBitrate(int kbps)
{
    if (kbps > 0)
        m_requestedBitrateKbps = kbps;
}

QString FfmpegEncoder::lastError() const
{
    std::lock_guard lock(m_errorMutex);
    return m_lastError;
}

void FfmpegEncoder::setLastError(const QString &message)
{
    std::lock_guard lock(m_errorMutex);
    if (m_lastError.isEmpty())
        m_lastError = message; // the first failure is the cause; later ones follow from it
}

void FfmpegEncoder::recordFailure(const QString &message)
{
    if (m_hasFailed.exchange(true))
        return;
    setLastError(message);
    qWarning() << "[FfmpegEncoder]" << qPrintable(message) << "-" << m_path;
}

void FfmpegEncoder::dropFrame(bool &reported, const char *reason, qint64 frameIndex)
{
    ++m_droppedFrames;
    if (reported)
        return;
    reported = true;
    qWarning() << "[FfmpegEncoder] Dropping frame" << frameIndex << "-" << reason << "-" << m_path;
}

void FfmpegEncoder::run()
{
    nameCurrentThread(QStringLiteral("enc ") + QFileInfo(m_path).completeBaseName());
    for (;;) {
        VideoFrame frame;
        {
            std::unique_lock lock(m_queueMutex);
            m_queueChanged.wait(lock, [this] { return m_stopRequested || !m_queue.empty(); });
            if (m_queue.empty())
                break; // stop requested and everything queued before it is encoded
            frame = std::move(m_queue.front());
            m_queue.pop_front();
        }
        encodeFrame(frame);
    }
    m_fileCompleted = completeFile() && !m_hasFailed;
}

void FfmpegEncoder::encodeFrame(const VideoFrame &frame)
{
    if (m_hasFailed) {
        ++m_droppedFrames;
        return;
    }
    if (frame.width < 1 || frame.height < 1
        || frame.pixels.size() < qsizetype(frame.width) * frame.height * 4) {
        dropFrame(m_isBadPictureReported, "picture smaller than its size says", frame.frameIndex);
        return;
    }
    // The muxer needs rising timestamps; a repeated or earlier index would abort the file.
    if (frame.frameIndex <= m_lastFrameIndex) {
        dropFrame(m_isOrderReported, "frame index does not advance", frame.frameIndex);
        return;
    }
    if (const int kbps = m_requestedBitrateKbps.exchange(0); kbps > 0)
        m_output->codec->setBitrate(kbps);

    const int sent = m_output->codec->sendPicture(frame);
    if (sent < 0) {
        dropFrame(m_isEncodeErrorReported, qPrintable(ffmpegErrorText(sent)), frame.frameIndex);
        return;
    }
    m_lastFrameIndex = frame.frameIndex;
    ++m_framesEncoded;
    writePendingPackets();
}

bool FfmpegEncoder::writePendingPackets()
{
    Output &output = *m_output;
    AVPacket *packet = output.packet.get();
    AVCodecContext *codecContext = output.codec->context();
    for (;;) {
        const int received = output.codec->receivePacket(packet);
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
            return true;
        if (received < 0) {
            recordFailure(QStringLiteral("Encoder %1 failed: %2").arg(output.codec->name(), ffmpegErrorText(received)));
            return false;
        }
        // Every frame lasts one tick of the codec's time base; without it the last frame of
        // each fragment would have no duration.
        if (packet->duration <= 0)
            packet->duration = 1;
        const qint64 mediaTimeUs = av_rescale_q(packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts,
                                                codecContext->time_base, AV_TIME_BASE_Q);
        av_packet_rescale_ts(packet, codecContext->time_base, output.stream->time_base);
        packet->stream_index = output.stream->index;
        const int written = av_interleaved_write_frame(output.format.get(), packet);
        if (written < 0) {
            recordWriteFailure(QStringLiteral("Could not write to the file: %1").arg(ffmpegErrorText(written)));
            return false;
        }
        syncIfGrown(mediaTimeUs);
    }
}

void FfmpegEncoder::syncIfGrown(qint64 mediaTimeUs, bool isFinal)
{
    Output &output = *m_output;
    const qint64 position = avio_tell(output.format->pb);
    // After a failed write the I/O layer still counts what it could not write.
    if (output.format->pb->error < 0)
        return;
    const bool isSyncDue = isFinal || output.syncsOnGrowth
                           || mediaTimeUs - output.lastSyncMediaUs >= kMaxFragmentMicroseconds;
    // The trailer of a Matroska file rewrites its header in place: the final sync is always.
    if ((position > output.syncedBytes && isSyncDue) || isFinal) {
#if defined(Q_OS_LINUX)
        // Push what went out to the disk so a power cut keeps it.
        if (output.fileDescriptor >= 0 && ::fdatasync(output.fileDescriptor) != 0 && errno != EINVAL) {
            recordWriteFailure(QStringLiteral("Could not sync the file: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
            return;
        }
#endif
        output.syncedBytes = position;
        output.lastSyncMediaUs = mediaTimeUs;
    }
    if (position > output.goodBytes) {
        output.goodBytes = position;
        m_bytesWritten = position;
    }
}

void FfmpegEncoder::recordWriteFailure(const QString &message)
{
    recordFailure(message);
    // A full disk takes part of a fragment: cut the file back to its last whole fragment, so
    // it ends cleanly (and the space comes back). The I/O layer refuses writes from now on.
    Output &output = *m_output;
#if defined(Q_OS_UNIX)
    if (output.fileDescriptor >= 0 && ::ftruncate(output.fileDescriptor, output.goodBytes) != 0)
        qWarning() << "[FfmpegEncoder] Could not cut off the incomplete fragment:" << std::strerror(errno);
#endif
    m_bytesWritten = output.goodBytes;
}

bool FfmpegEncoder::completeFile()
{
    Output &output = *m_output;
    AVFormatContext *format = output.format.get();
    bool isComplete = true;

    // The encoder holds B-frames and look-ahead pictures back: drain them into the file.
    if (!m_hasFailed) {
        const int flushed = output.codec->sendEndOfStream();
        if (flushed < 0)
            recordFailure(QStringLiteral("Could not flush encoder %1: %2").arg(output.codec->name(), ffmpegErrorText(flushed)));
        else
            writePendingPackets();
    }

    // Writing the trailer completes the last fragment or cluster and adds the index; after a
    // write error the I/O layer refuses further writes, so the file keeps its last good state.
    const int trailer = av_write_trailer(format);
    if (trailer < 0) {
        recordFailure(QStringLiteral("Could not complete the file: %1").arg(ffmpegErrorText(trailer)));
        isComplete = false;
    }
    avio_flush(format->pb);
    if (format->pb->error < 0) {
        recordWriteFailure(QStringLiteral("Could not write to the file: %1").arg(ffmpegErrorText(format->pb->error)));
        isComplete = false;
    }
    syncIfGrown(0, true);
    const int closed = avio_closep(&format->pb);
    if (closed < 0) {
        recordFailure(QStringLiteral("Could not close the file: %1").arg(ffmpegErrorText(closed)));
        isComplete = false;
    }
    return isComplete;
}

bool FfmpegEncoder::isEncoderUsable(const QString &encoderName)
{
    constexpr int kProbeWidth = 256;
    constexpr int kProbeHeight = 144;
    EncoderConfig config;
    config.width = kProbeWidth;
    config.height = kProbeHeight;
    config.encoderName = encoderName;

    FfmpegVideoCodec codec;
    QString error;
    if (!codec.open(encoderName, config, QSize(kProbeWidth, kProbeHeight), false, &error)) {
        qDebug() << "[FfmpegEncoder]" << encoderName << "is not usable here:" << qPrintable(error);
        return false;
    }
    // Some encoders open and fail on the first picture (a GPU without the codec): encode one.
    VideoFrame black;
    black.width = kProbeWidth;
    black.height = kProbeHeight;
    black.pixels = opaqueBlackPixels(kProbeWidth, kProbeHeight);
    int result = codec.sendPicture(black);
    if (result >= 0)
        result = codec.sendEndOfStream();
    PacketPtr packet(av_packet_alloc());
    bool hasPacket = false;
    while (result >= 0 && packet) {
        result = codec.receivePacket(packet.get());
        if (result >= 0) {
            hasPacket = true;
            av_packet_unref(packet.get());
        }
    }
    if (!hasPacket || result != AVERROR_EOF) {
        qDebug() << "[FfmpegEncoder]" << encoderName << "opens but does not encode here:"
                 << qPrintable(ffmpegErrorText(result));
        return false;
    }
    return true;
}
