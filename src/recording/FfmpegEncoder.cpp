#include "recording/FfmpegEncoder.h"

#include "recording/EncoderGeometry.h"
#include "common/FfmpegPtr.h"
#include "common/ThreadName.h"
#include "recording/FfmpegVideoCodec.h"
#include "recording/FrameRate.h"
#include "recording/CameraStreamPackets.h"
#include "recording/VideoFileOutput.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

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


} // namespace

struct FfmpegEncoder::Output
{
    VideoFileOutput file;
    // One of the two: the encoder, or the camera's own stream written as it comes.
    std::unique_ptr<FfmpegVideoCodec> codec;
    std::unique_ptr<CameraStreamPackets> cameraStream;
    PacketPtr packet;
    // The time base of the packets handed to the file: one frame.
    AVRational timeBase{1, 30};
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
    if (encodedSize != QSize(config.width, config.height) && !config.cameraStream)
        qDebug() << "[FfmpegEncoder] 4:2:0 needs even sizes: encoding"
                 << qPrintable(QStringLiteral("%1x%2 as %3x%4").arg(config.width).arg(config.height)
                                   .arg(encodedSize.width()).arg(encodedSize.height()));
    const FrameRate rate = config.frameRate;

    // The order of FFmpeg's mux example: container, stream, encoder (with the global header
    // flag the container asks for), stream parameters, file, header.
    auto output = std::make_unique<Output>();
    QString error;
    if (!output->file.create(config, &error))
        return failOpen(error);
    output->packet.reset(av_packet_alloc());
    if (!output->packet)
        return failOpen(QStringLiteral("Out of memory"));
    AVStream *stream = output->file.stream();
    const bool isCameraStream = config.cameraStream.has_value();
    QString encoderName;
    if (isCameraStream) {
        if (*config.cameraStream != PixelFormat::Mjpeg && *config.cameraStream != PixelFormat::H264)
            return failOpen(QStringLiteral("A camera stream in %1 cannot be written as it comes")
                                .arg(QLatin1String(pixelFormatName(*config.cameraStream))));
        // The camera's own pictures at their own size: nothing is scaled or made even.
        CameraStreamPackets::describe(stream->codecpar, *config.cameraStream, config.width, config.height);
        output->cameraStream = std::make_unique<CameraStreamPackets>(*config.cameraStream);
        output->timeBase = AVRational{rate.denominator, rate.numerator};
        stream->time_base = output->timeBase; // a hint; the muxer picks its own
        stream->avg_frame_rate = AVRational{rate.numerator, rate.denominator};
        encoderName = QStringLiteral("camera %1 stream").arg(QLatin1String(pixelFormatName(*config.cameraStream)));
    } else {
        const bool globalHeader = output->file.needsGlobalHeader();
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
        output->timeBase = codecContext->time_base;
        stream->time_base = codecContext->time_base; // a hint; the muxer picks its own
        stream->avg_frame_rate = codecContext->framerate;
        const int copied = avcodec_parameters_from_context(stream->codecpar, codecContext);
        if (copied < 0)
            return failOpen(QStringLiteral("Could not set the stream parameters: %1").arg(ffmpegErrorText(copied)));
        encoderName = output->codec->name();
    }

    const VideoFileOutput::Stream kind = isCameraStream && *config.cameraStream == PixelFormat::Mjpeg
                                             ? VideoFileOutput::Stream::KeyFramesOnly
                                             : VideoFileOutput::Stream::Predicted;
    if (!output->file.openFile(config, kind, &error))
        return failOpen(error);
    // A camera's H.264 stream tells its parameter sets with its first key frame; the header
    // waits for it (MPEG-TS carries them in the stream).
    const bool isHeaderDeferred = isCameraStream && *config.cameraStream == PixelFormat::H264
                                  && config.container != RecordingContainer::Ts;
    if (!isHeaderDeferred && !output->file.writeHeader(&error))
        return failOpen(error);
    m_encoderName = encoderName;
    m_bytesWritten = output->file.goodBytes();
    m_needsEveryPicture = isCameraStream && *config.cameraStream == PixelFormat::H264;
    m_output = std::move(output);
    m_queueCapacity = queueCapacityFor(rate.toDouble());
    m_isOpen = true;
    m_worker = std::thread([this] { run(); });
    if (m_output->codec) {
        const EncoderSetup &setup = m_output->codec->setup();
        m_appliedSettings = QStringLiteral("%1, profile %2, %3, %4 fps (%5/%6), %7x%8, %9")
                                .arg(m_encoderName, setup.profileText, setup.rateControlText, rate.text())
                                .arg(rate.numerator).arg(rate.denominator)
                                .arg(encodedSize.width()).arg(encodedSize.height())
                                .arg(setup.color.text);
        m_settingNotes = setup.notes;
    } else {
        // The camera's own pictures: none of the encoder settings apply.
        m_appliedSettings = QStringLiteral("%1 as it comes, %2 fps (%3/%4), %5x%6")
                                .arg(m_encoderName, rate.text()).arg(rate.numerator).arg(rate.denominator)
                                .arg(config.width).arg(config.height);
    }
    qDebug().noquote() << "[FfmpegEncoder] Writing" << m_path << "with" << m_appliedSettings << "in"
                       << containerDisplayName(config.container);
    for (const EncoderNote &note : m_settingNotes)
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
    if (m_output->cameraStream) {
        writeCameraPicture(frame);
        return;
    }
    if (!frame.picture().isComplete() || frame.pixels.isCompressed()) {
        dropFrame(m_isBadPictureReported, "not a whole picture", frame.frameIndex);
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
        if (!writePacket(packet))
            return false;
    }
}

bool FfmpegEncoder::writePacket(AVPacket *packet)
{
    Output &output = *m_output;
    QString error;
    if (!output.file.isOpen()) {
        // A camera's H.264 stream: its first key frame brings the parameter sets the header needs.
        const QByteArray sets = CameraStreamPackets::parameterSets(packet->data, packet->size);
        if (sets.isEmpty()) {
            ++m_droppedFrames; // cannot be decoded without them
            return true;
        }
        AVCodecParameters *parameters = output.file.stream()->codecpar;
        av_freep(&parameters->extradata);
        parameters->extradata = static_cast<uint8_t *>(av_mallocz(size_t(sets.size()) + AV_INPUT_BUFFER_PADDING_SIZE));
        if (parameters->extradata) {
            std::memcpy(parameters->extradata, sets.constData(), size_t(sets.size()));
            parameters->extradata_size = int(sets.size());
        }
        if (!output.file.writeHeader(&error)) {
            recordFailure(error);
            return false;
        }
    }
    if (!output.file.writePacket(packet, output.timeBase, &error)) {
        recordFailure(error);
        m_bytesWritten = output.file.goodBytes();
        return false;
    }
    m_bytesWritten = output.file.goodBytes();
    return true;
}

void FfmpegEncoder::writeCameraPicture(const VideoFrame &frame)
{
    CameraStreamPackets &packets = *m_output->cameraStream;
    if (!frame.pixels.isComplete() || frame.pixels.format() != packets.codec()) {
        dropFrame(m_isBadPictureReported, "not a picture of the camera's stream", frame.frameIndex);
        return;
    }
    if (frame.frameIndex <= m_lastFrameIndex) {
        dropFrame(m_isOrderReported, "frame index does not advance", frame.frameIndex);
        return;
    }
    m_lastFrameIndex = frame.frameIndex;
    ++m_framesEncoded;
    packets.add(frame.pixels, frame.frameIndex, [this](AVPacket *packet) { return writePacket(packet); });
}

bool FfmpegEncoder::completeFile()
{
    Output &output = *m_output;
    if (!m_hasFailed && output.cameraStream) {
        // The last picture of an H.264 stream lasts to the take's end.
        output.cameraStream->finish(m_endFrame.load(), [this](AVPacket *packet) { return writePacket(packet); });
    } else if (!m_hasFailed) {
        // The encoder holds B-frames and look-ahead pictures back: drain them into the file.
        const int flushed = output.codec->sendEndOfStream();
        if (flushed < 0)
            recordFailure(QStringLiteral("Could not flush encoder %1: %2").arg(output.codec->name(), ffmpegErrorText(flushed)));
        else
            writePendingPackets();
    }
    QString error;
    // A stream that never brought a key frame still gets a header: an empty file, not none.
    if (!output.file.isOpen() && !output.file.writeHeader(&error)) {
        recordFailure(error);
        return false;
    }
    const bool isComplete = output.file.finish(&error);
    if (!isComplete)
        recordFailure(error);
    m_bytesWritten = output.file.goodBytes();
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
    black.pixels = blackPicture(kProbeWidth, kProbeHeight);
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
