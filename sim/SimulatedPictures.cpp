#include "SimulatedPictures.h"

#include "common/FfmpegPtr.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr uchar PaddingByte = 0x55;

uchar clampByte(double value)
{
    return uchar(std::clamp(std::lround(value), 0L, 255L));
}

// BT.601, limited range (16..235, 16..240): what a camera's raw YUV carries.
struct LimitedYuv
{
    static uchar y(const uchar *p) { return clampByte(16.0 + (65.481 * p[0] + 128.553 * p[1] + 24.966 * p[2]) / 255.0); }
    static uchar u(const uchar *p) { return clampByte(128.0 + (-37.797 * p[0] - 74.203 * p[1] + 112.0 * p[2]) / 255.0); }
    static uchar v(const uchar *p) { return clampByte(128.0 + (112.0 * p[0] - 93.786 * p[1] - 18.214 * p[2]) / 255.0); }
};

// BT.601, full range: what JPEG (JFIF) carries.
struct FullYuv
{
    static uchar y(const uchar *p) { return clampByte(0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]); }
    static uchar u(const uchar *p) { return clampByte(128.0 - 0.168736 * p[0] - 0.331264 * p[1] + 0.5 * p[2]); }
    static uchar v(const uchar *p) { return clampByte(128.0 + 0.5 * p[0] - 0.418688 * p[1] - 0.081312 * p[2]); }
};

// The mean of the chroma of the pixels a subsampled chroma sample covers.
template <typename Yuv>
void chromaOf(const RgbPicture &picture, int x, int y, int spanX, int spanY, uchar *u, uchar *v)
{
    int sumU = 0, sumV = 0, count = 0;
    for (int dy = 0; dy < spanY && y + dy < picture.height; ++dy) {
        for (int dx = 0; dx < spanX && x + dx < picture.width; ++dx) {
            const uchar *p = picture.row(y + dy) + (x + dx) * 3;
            sumU += Yuv::u(p);
            sumV += Yuv::v(p);
            ++count;
        }
    }
    *u = uchar((sumU + count / 2) / count);
    *v = uchar((sumV + count / 2) / count);
}

QByteArray packedYuv(const RgbPicture &picture, int bytesPerLine, bool yFirst)
{
    QByteArray out(qsizetype(bytesPerLine) * picture.height, char(PaddingByte));
    for (int y = 0; y < picture.height; ++y) {
        uchar *dst = reinterpret_cast<uchar *>(out.data()) + qsizetype(y) * bytesPerLine;
        for (int x = 0; x < picture.width; x += 2, dst += 4) {
            const uchar *p0 = picture.row(y) + x * 3;
            const uchar *p1 = x + 1 < picture.width ? p0 + 3 : p0;
            uchar u, v;
            chromaOf<LimitedYuv>(picture, x, y, 2, 1, &u, &v);
            const uchar bytes[4] = {LimitedYuv::y(p0), u, LimitedYuv::y(p1), v};
            const uchar swapped[4] = {u, bytes[0], v, bytes[2]};
            std::memcpy(dst, yFirst ? bytes : swapped, 4);
        }
    }
    return out;
}

// NV12 (interleaved chroma plane) or YU12 (two chroma planes), chroma stride bytesPerLine or
// half of it, as V4L2 lays them out in one buffer.
QByteArray planarYuv(const RgbPicture &picture, int bytesPerLine, bool interleaved)
{
    const int chromaRows = (picture.height + 1) / 2;
    const int chromaStride = interleaved ? bytesPerLine : bytesPerLine / 2;
    const qsizetype lumaBytes = qsizetype(bytesPerLine) * picture.height;
    const qsizetype chromaPlane = qsizetype(chromaStride) * chromaRows;
    QByteArray out(lumaBytes + (interleaved ? chromaPlane : 2 * chromaPlane), char(PaddingByte));
    uchar *base = reinterpret_cast<uchar *>(out.data());
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x)
            base[qsizetype(y) * bytesPerLine + x] = LimitedYuv::y(picture.row(y) + x * 3);
    }
    for (int cy = 0; cy < chromaRows; ++cy) {
        for (int cx = 0; cx < (picture.width + 1) / 2; ++cx) {
            uchar u, v;
            chromaOf<LimitedYuv>(picture, cx * 2, cy * 2, 2, 2, &u, &v);
            uchar *row = base + lumaBytes + qsizetype(cy) * chromaStride;
            if (interleaved) {
                row[cx * 2] = u;
                row[cx * 2 + 1] = v;
            } else {
                row[cx] = u;
                row[chromaPlane + cx] = v;
            }
        }
    }
    return out;
}

QByteArray packedRgb(const RgbPicture &picture, int bytesPerLine, bool bgr)
{
    QByteArray out(qsizetype(bytesPerLine) * picture.height, char(PaddingByte));
    for (int y = 0; y < picture.height; ++y) {
        uchar *dst = reinterpret_cast<uchar *>(out.data()) + qsizetype(y) * bytesPerLine;
        const uchar *src = picture.row(y);
        for (int x = 0; x < picture.width; ++x, dst += 3, src += 3) {
            dst[0] = bgr ? src[2] : src[0];
            dst[1] = src[1];
            dst[2] = bgr ? src[0] : src[2];
        }
    }
    return out;
}

QByteArray jpeg(const RgbPicture &picture, int quantiser)
{
    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    CodecContextPtr context(codec ? avcodec_alloc_context3(codec) : nullptr);
    FramePtr frame(av_frame_alloc());
    PacketPtr packet(av_packet_alloc());
    if (!context || !frame || !packet)
        return {};
    context->width = picture.width;
    context->height = picture.height;
    context->pix_fmt = AV_PIX_FMT_YUVJ422P;
    context->color_range = AVCOL_RANGE_JPEG;
    context->time_base = AVRational{1, 30};
    context->flags |= AV_CODEC_FLAG_QSCALE;
    context->global_quality = quantiser * FF_QP2LAMBDA;
    if (avcodec_open2(context.get(), codec, nullptr) < 0)
        return {};
    frame->format = context->pix_fmt;
    frame->width = picture.width;
    frame->height = picture.height;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        return {};
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x)
            frame->data[0][qsizetype(y) * frame->linesize[0] + x] = FullYuv::y(picture.row(y) + x * 3);
        for (int cx = 0; cx < (picture.width + 1) / 2; ++cx) {
            uchar u, v;
            chromaOf<FullYuv>(picture, cx * 2, y, 2, 1, &u, &v);
            frame->data[1][qsizetype(y) * frame->linesize[1] + cx] = u;
            frame->data[2][qsizetype(y) * frame->linesize[2] + cx] = v;
        }
    }
    frame->quality = context->global_quality;
    frame->pts = 0;
    if (avcodec_send_frame(context.get(), frame.get()) < 0 || avcodec_receive_packet(context.get(), packet.get()) < 0)
        return {};
    return QByteArray(reinterpret_cast<const char *>(packet->data), packet->size);
}

} // namespace

std::vector<QByteArray> encodeSimulatedH264(const std::vector<RgbPicture> &pictures, int keyFrameInterval, int kbps)
{
    std::vector<QByteArray> packets;
    if (pictures.empty())
        return packets;
    const int width = pictures.front().width;
    const int height = pictures.front().height;
    const AVCodec *codec = avcodec_find_encoder_by_name("libx264");
    CodecContextPtr context(codec ? avcodec_alloc_context3(codec) : nullptr);
    FramePtr frame(av_frame_alloc());
    PacketPtr packet(av_packet_alloc());
    if (!context || !frame || !packet)
        return packets;
    // What a webcam's encoder sends: no B-frames, no delay, the parameter sets before every
    // key frame (no global header), BT.601 limited range.
    context->width = width;
    context->height = height;
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    context->time_base = AVRational{1, 30};
    context->gop_size = std::max(1, keyFrameInterval);
    context->max_b_frames = 0;
    context->bit_rate = qint64(kbps) * 1000;
    context->colorspace = AVCOL_SPC_SMPTE170M;
    context->color_range = AVCOL_RANGE_MPEG;
    context->thread_count = 1;
    AVDictionary *options = nullptr;
    av_dict_set(&options, "preset", "ultrafast", 0);
    av_dict_set(&options, "tune", "zerolatency", 0);
    av_dict_set(&options, "x264-params", "log-level=error:scenecut=0", 0);
    const int opened = avcodec_open2(context.get(), codec, &options);
    av_dict_free(&options);
    if (opened < 0)
        return packets;
    frame->format = context->pix_fmt;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        return packets;
    const auto drain = [&] {
        while (avcodec_receive_packet(context.get(), packet.get()) >= 0) {
            packets.emplace_back(reinterpret_cast<const char *>(packet->data), packet->size);
            av_packet_unref(packet.get());
        }
    };
    for (size_t i = 0; i < pictures.size(); ++i) {
        const RgbPicture &picture = pictures[i];
        if (av_frame_make_writable(frame.get()) < 0)
            return {};
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x)
                frame->data[0][qsizetype(y) * frame->linesize[0] + x] = LimitedYuv::y(picture.row(y) + x * 3);
        }
        for (int cy = 0; cy < (height + 1) / 2; ++cy) {
            for (int cx = 0; cx < (width + 1) / 2; ++cx) {
                uchar u, v;
                chromaOf<LimitedYuv>(picture, cx * 2, cy * 2, 2, 2, &u, &v);
                frame->data[1][qsizetype(cy) * frame->linesize[1] + cx] = u;
                frame->data[2][qsizetype(cy) * frame->linesize[2] + cx] = v;
            }
        }
        frame->pts = qint64(i);
        frame->pict_type = i % size_t(context->gop_size) == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        if (avcodec_send_frame(context.get(), frame.get()) < 0)
            return {};
        drain();
    }
    avcodec_send_frame(context.get(), nullptr);
    drain();
    return packets;
}

RgbPicture knownPicture(int width, int height)
{
    static const uchar bars[8][3] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                                     {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
    RgbPicture picture{width, height, QByteArray(qsizetype(width) * height * 3, Qt::Uninitialized)};
    for (int y = 0; y < height; ++y) {
        uchar *row = reinterpret_cast<uchar *>(picture.pixels.data()) + qsizetype(y) * width * 3;
        for (int x = 0; x < width; ++x) {
            if (y < height / 2) {
                std::memcpy(row + x * 3, bars[std::min(7, x * 8 / width)], 3);
            } else {
                const uchar grey = uchar(width > 1 ? x * 255 / (width - 1) : 0);
                row[x * 3] = row[x * 3 + 1] = row[x * 3 + 2] = grey;
            }
        }
    }
    return picture;
}

RgbPicture whitePicture(int width, int height)
{
    return RgbPicture{width, height, QByteArray(qsizetype(width) * height * 3, char(255))};
}

QByteArray encodeSimulatedPicture(const RgbPicture &picture, quint32 fourcc, int bytesPerLine, int jpegQuantiser)
{
    switch (fourcc) {
    case V4L2_PIX_FMT_MJPEG: return jpeg(picture, jpegQuantiser);
    case V4L2_PIX_FMT_H264: {
        // One key frame: a picture that decodes on its own, as every picture of a cycle must.
        const std::vector<QByteArray> packets = encodeSimulatedH264({picture}, 1, 8000);
        return packets.empty() ? QByteArray() : packets.front();
    }
    case V4L2_PIX_FMT_YUYV: return packedYuv(picture, bytesPerLine, true);
    case V4L2_PIX_FMT_UYVY: return packedYuv(picture, bytesPerLine, false);
    case V4L2_PIX_FMT_NV12: return planarYuv(picture, bytesPerLine, true);
    case V4L2_PIX_FMT_YUV420: return planarYuv(picture, bytesPerLine, false);
    case V4L2_PIX_FMT_RGB24: return packedRgb(picture, bytesPerLine, false);
    case V4L2_PIX_FMT_BGR24: return packedRgb(picture, bytesPerLine, true);
    default: return {};
    }
}

int simulatedBytesPerLine(const SimulatedMode &mode, int padding)
{
    switch (mode.fourcc) {
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_H264: return 0;
    case V4L2_PIX_FMT_YUYV:
    case V4L2_PIX_FMT_UYVY: return mode.width * 2 + padding;
    case V4L2_PIX_FMT_RGB24:
    case V4L2_PIX_FMT_BGR24: return mode.width * 3 + padding;
    default: return mode.width + padding; // planar: the luma row
    }
}

int simulatedImageSize(const SimulatedMode &mode, int bytesPerLine)
{
    switch (mode.fourcc) {
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_H264: return mode.width * mode.height * 2; // room for the worst picture
    case V4L2_PIX_FMT_NV12:
    case V4L2_PIX_FMT_YUV420: return bytesPerLine * mode.height + bytesPerLine * ((mode.height + 1) / 2);
    default: return bytesPerLine * mode.height;
    }
}

const QByteArray &KnownPictures::picture(const SimulatedMode &mode, int bytesPerLine, qint64, bool flash)
{
    const QString key = QStringLiteral("%1/%2x%3/%4").arg(mode.fourcc).arg(mode.width).arg(mode.height).arg(bytesPerLine);
    std::shared_ptr<Prepared> prepared;
    {
        std::lock_guard lock(m_mutex);
        prepared = m_prepared.value(key);
        if (!prepared) {
            prepared = std::make_shared<Prepared>();
            prepared->normal = encodeSimulatedPicture(knownPicture(mode.width, mode.height), mode.fourcc, bytesPerLine);
            prepared->white = encodeSimulatedPicture(whitePicture(mode.width, mode.height), mode.fourcc, bytesPerLine);
            m_prepared.insert(key, prepared);
        }
    }
    // The hash keeps every prepared pair alive as long as this object.
    return flash ? prepared->white : prepared->normal;
}
