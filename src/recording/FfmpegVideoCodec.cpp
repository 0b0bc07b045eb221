#include "recording/FfmpegVideoCodec.h"

#include <QDebug>
#include <QThread>

extern "C" {
#include <libavutil/hwcontext.h>
#include <libavutil/imgutils.h>
}

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

// Pictures the VAAPI surface pool holds: the encoder's references and its B-frame queue.
constexpr int kHardwarePoolFrames = 20;

bool supportsFormat(const AVCodec *codec, AVPixelFormat format)
{
    if (!codec->pix_fmts)
        return format == AV_PIX_FMT_YUV420P;
    for (const AVPixelFormat *f = codec->pix_fmts; *f != AV_PIX_FMT_NONE; ++f) {
        if (*f == format)
            return true;
    }
    return false;
}

} // namespace

SoftwareThreading softwareThreadingFor(int cameras, int cores)
{
    // Frame threads cost a little CPU per frame and a frame of delay each, and pay off only
    // while a file has a core of its own to spare: one camera on two cores. With as many
    // files as cores or more, the files already keep every core busy, and one thread each
    // leaves the fewest threads competing. Slices cost compression as well (bench_cameras).
    const int spare = std::max(1, cores) / std::max(1, cameras);
    return SoftwareThreading{std::clamp(spare, 1, 4), false};
}

QString ffmpegErrorText(int error)
{
    char buffer[AV_ERROR_MAX_STRING_SIZE] = {};
    av_make_error_string(buffer, sizeof buffer, error);
    return QString::fromUtf8(buffer);
}

PictureDestination pictureDestinationFor(const ColorDescription &color, QSize encodedSize, AVPixelFormat format)
{
    PictureDestination destination;
    destination.size = encodedSize;
    destination.format = format;
    destination.swsColorspace = color.swsColorspace;
    destination.fullRange = color.range == AVCOL_RANGE_JPEG;
    destination.blackLuma = destination.fullRange ? 0 : 16;
    destination.blackChroma = 128;
    return destination;
}

bool isHevcEncoderName(const QString &encoderName)
{
    return encoderName == QLatin1String("libx265") || encoderName.startsWith(QLatin1String("hevc_"));
}

bool isHardwareEncoderName(const QString &encoderName)
{
    const EncoderFamily family = encoderFamilyOf(encoderName);
    return family == EncoderFamily::Nvenc || family == EncoderFamily::Vaapi || family == EncoderFamily::Qsv
           || family == EncoderFamily::Amf || family == EncoderFamily::MediaFoundation;
}

QString softwareEncoderFor(const QString &encoderName, bool useHevc)
{
    const bool known = encoderName == QLatin1String("libx264") || isHevcEncoderName(encoderName)
                       || encoderName.startsWith(QLatin1String("h264_"));
    const bool hevc = known ? isHevcEncoderName(encoderName) : useHevc;
    return hevc ? QStringLiteral("libx265") : QStringLiteral("libx264");
}

bool FfmpegVideoCodec::open(const QString &encoderName, const EncoderConfig &config,
                            QSize encodedSize, bool globalHeader, QString *error)
{
    m_name = encoderName;
    const QByteArray name = encoderName.toUtf8();
    const AVCodec *codec = avcodec_find_encoder_by_name(name.constData());
    if (!codec || codec->type != AVMEDIA_TYPE_VIDEO) {
        *error = QStringLiteral("FFmpeg has no video encoder \"%1\"").arg(encoderName);
        return false;
    }
    CodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context) {
        *error = QStringLiteral("Out of memory for encoder %1").arg(encoderName);
        return false;
    }

    // One tick of the time base is one frame, so a frame's pts is its frameIndex and
    // 29.97 (1001/30000 s per tick) stays exact.
    const FrameRate rate = config.frameRate.isValid() ? config.frameRate : FrameRate{};
    m_setup = encoderSetupFor(encoderName, config);
    context->width = encodedSize.width();
    context->height = encodedSize.height();
    context->time_base = AVRational{rate.denominator, rate.numerator};
    context->framerate = AVRational{rate.numerator, rate.denominator};
    context->gop_size = m_setup.gopSize;
    context->max_b_frames = m_setup.maxBFrames;
    context->sample_aspect_ratio = AVRational{1, 1};
    context->bit_rate = m_setup.bitRate;
    context->rc_max_rate = m_setup.maxRate;
    context->rc_buffer_size = m_setup.bufferSize;
    if (m_setup.fixedQuantiser)
        context->flags |= AV_CODEC_FLAG_QSCALE;
    if (m_setup.globalQuality > 0)
        context->global_quality = m_setup.fixedQuantiser ? m_setup.globalQuality * FF_QP2LAMBDA : m_setup.globalQuality;

    const ColorDescription &color = m_setup.color;
    context->color_primaries = color.primaries;
    context->color_trc = color.transfer;
    context->colorspace = color.matrix;
    context->color_range = color.range;

    QList<QPair<QByteArray, QByteArray>> privateOptions = m_setup.options;
    if (encoderFamilyOf(encoderName) == EncoderFamily::X264) {
        const SoftwareThreading threading = config.softwareThreading.value_or(
            softwareThreadingFor(config.camerasInTake, QThread::idealThreadCount()));
        context->thread_count = threading.threads;
        context->thread_type = threading.slices ? FF_THREAD_SLICE : FF_THREAD_FRAME;
        if (threading.slices) {
            // x264's own parameters are one option: slices join what the profile put there.
            auto params = std::find_if(privateOptions.begin(), privateOptions.end(),
                                       [](const auto &option) { return option.first == "x264-params"; });
            if (params == privateOptions.end())
                privateOptions.append({QByteArrayLiteral("x264-params"), QByteArrayLiteral("sliced-threads=1")});
            else
                params->second += QByteArrayLiteral(":sliced-threads=1");
        }
    }
    FfmpegOptions options;
    for (const auto &[key, value] : privateOptions)
        options.set(key.constData(), value.constData());
    m_rateControl = std::clamp(config.rateControl, 0, 3);
    m_maxBitrateKbps = std::max(config.maxBitrateKbps, config.targetBitrateKbps);
    if (globalHeader)
        context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

    if (supportsFormat(codec, AV_PIX_FMT_YUV420P)) {
        m_softwareFormat = AV_PIX_FMT_YUV420P;
        context->pix_fmt = AV_PIX_FMT_YUV420P;
    } else if (supportsFormat(codec, AV_PIX_FMT_NV12)) {
        m_softwareFormat = AV_PIX_FMT_NV12;
        context->pix_fmt = AV_PIX_FMT_NV12;
    } else if (!setUpHardwareFrames(codec, context.get(), error)) {
        return false;
    }

    const int opened = avcodec_open2(context.get(), codec, options.address());
    if (opened < 0) {
        *error = QStringLiteral("Could not open encoder %1: %2").arg(encoderName, ffmpegErrorText(opened));
        return false;
    }
    if (const AVDictionaryEntry *unused = options.first())
        qDebug() << "[FfmpegEncoder]" << encoderName << "ignored option" << unused->key;

    m_frame.reset(av_frame_alloc());
    if (!m_frame) {
        *error = QStringLiteral("Out of memory for a frame");
        return false;
    }
    m_frame->format = m_softwareFormat;
    m_frame->width = context->width;
    m_frame->height = context->height;
    const int allocated = av_frame_get_buffer(m_frame.get(), 0);
    if (allocated < 0) {
        *error = QStringLiteral("Could not allocate a frame: %1").arg(ffmpegErrorText(allocated));
        return false;
    }
    if (m_hardwareFrames)
        m_hardwareFrame.reset(av_frame_alloc());
    m_destination = pictureDestinationFor(color, encodedSize, m_softwareFormat);
    m_converter.setTarget(m_destination);
    m_context = std::move(context);
    return true;
}

bool FfmpegVideoCodec::setUpHardwareFrames(const AVCodec *codec, AVCodecContext *context, QString *error)
{
    const AVCodecHWConfig *chosen = nullptr;
    for (int i = 0; const AVCodecHWConfig *config = avcodec_get_hw_config(codec, i); ++i) {
        if (config->methods & AV_CODEC_HW_CONFIG_METHOD_HW_FRAMES_CTX) {
            chosen = config;
            break;
        }
    }
    if (!chosen) {
        *error = QStringLiteral("Encoder %1 takes no picture format this program produces").arg(m_name);
        return false;
    }
    AVBufferRef *device = nullptr;
    const int created = av_hwdevice_ctx_create(&device, chosen->device_type, nullptr, nullptr, 0);
    m_hardwareDevice.reset(device);
    if (created < 0) {
        *error = QStringLiteral("No %1 device for encoder %2: %3")
                     .arg(QString::fromUtf8(av_hwdevice_get_type_name(chosen->device_type)), m_name,
                          ffmpegErrorText(created));
        return false;
    }
    m_hardwareFrames.reset(av_hwframe_ctx_alloc(m_hardwareDevice.get()));
    if (!m_hardwareFrames) {
        *error = QStringLiteral("Out of memory for GPU frames");
        return false;
    }
    auto *frames = reinterpret_cast<AVHWFramesContext *>(m_hardwareFrames->data);
    frames->format = chosen->pix_fmt;
    frames->sw_format = AV_PIX_FMT_NV12;
    frames->width = context->width;
    frames->height = context->height;
    frames->initial_pool_size = kHardwarePoolFrames;
    const int initialised = av_hwframe_ctx_init(m_hardwareFrames.get());
    if (initialised < 0) {
        *error = QStringLiteral("Could not set up GPU frames for %1: %2").arg(m_name, ffmpegErrorText(initialised));
        return false;
    }
    context->hw_frames_ctx = av_buffer_ref(m_hardwareFrames.get());
    if (!context->hw_frames_ctx) {
        *error = QStringLiteral("Out of memory for GPU frames");
        return false;
    }
    context->pix_fmt = chosen->pix_fmt;
    m_softwareFormat = AV_PIX_FMT_NV12;
    return true;
}

int FfmpegVideoCodec::sendPicture(const VideoFrame &frame)
{
    if (!m_context)
        return AVERROR(EINVAL);
    FramePtr wrapped;
    AVFrame *toSend = nullptr;
    const int converted = m_converter.prepare(frame.picture(), m_frame.get(), &wrapped, &toSend);
    if (converted < 0)
        return converted;
    toSend->pts = frame.frameIndex;
    toSend->color_primaries = m_setup.color.primaries;
    toSend->color_trc = m_setup.color.transfer;
    toSend->colorspace = m_setup.color.matrix;
    toSend->color_range = m_setup.color.range;
    if (m_hardwareFrames) {
        av_frame_unref(m_hardwareFrame.get());
        int result = av_hwframe_get_buffer(m_hardwareFrames.get(), m_hardwareFrame.get(), 0);
        if (result >= 0)
            result = av_hwframe_transfer_data(m_hardwareFrame.get(), toSend, 0);
        if (result >= 0)
            result = av_frame_copy_props(m_hardwareFrame.get(), toSend);
        if (result < 0)
            return result;
        toSend = m_hardwareFrame.get();
    }
    return avcodec_send_frame(m_context.get(), toSend);
}

int FfmpegVideoCodec::sendEndOfStream()
{
    return m_context ? avcodec_send_frame(m_context.get(), nullptr) : AVERROR(EINVAL);
}

int FfmpegVideoCodec::receivePacket(AVPacket *packet)
{
    return m_context ? avcodec_receive_packet(m_context.get(), packet) : AVERROR(EINVAL);
}

void FfmpegVideoCodec::setBitrate(int kbps)
{
    if (!m_context || kbps < 1 || m_rateControl >= EncoderConfig::kConstantQuality)
        return;
    const qint64 targetBps = qint64(kbps) * 1000;
    m_context->bit_rate = targetBps;
    if (m_rateControl == 0) {
        m_context->rc_max_rate = targetBps;
        m_context->rc_buffer_size = int(std::min<qint64>(targetBps, INT_MAX));
    } else {
        const qint64 peakBps = qint64(std::max(kbps, m_maxBitrateKbps)) * 1000;
        m_context->rc_max_rate = peakBps;
        m_context->rc_buffer_size = int(std::min<qint64>(2 * peakBps, INT_MAX));
    }
}
