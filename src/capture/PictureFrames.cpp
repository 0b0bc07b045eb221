#include "capture/PictureFrames.h"

AVPixelFormat avPixelFormatOf(PixelFormat format)
{
    switch (format) {
    case PixelFormat::Rgba: return AV_PIX_FMT_RGBA;
    case PixelFormat::Yuv420p: return AV_PIX_FMT_YUV420P;
    case PixelFormat::Nv12: return AV_PIX_FMT_NV12;
    case PixelFormat::Yuv422p: return AV_PIX_FMT_YUV422P;
    case PixelFormat::Yuyv: return AV_PIX_FMT_YUYV422;
    case PixelFormat::Mjpeg:
    case PixelFormat::H264: break;
    }
    return AV_PIX_FMT_NONE;
}

std::optional<PixelFormat> pixelFormatOf(AVPixelFormat format, bool *isFullRange)
{
    bool full = false;
    std::optional<PixelFormat> result;
    switch (format) {
    case AV_PIX_FMT_YUVJ420P: full = true; [[fallthrough]];
    case AV_PIX_FMT_YUV420P: result = PixelFormat::Yuv420p; break;
    case AV_PIX_FMT_YUVJ422P: full = true; [[fallthrough]];
    case AV_PIX_FMT_YUV422P: result = PixelFormat::Yuv422p; break;
    case AV_PIX_FMT_NV12: result = PixelFormat::Nv12; break;
    case AV_PIX_FMT_YUYV422: result = PixelFormat::Yuyv; break;
    case AV_PIX_FMT_RGBA: result = PixelFormat::Rgba; break;
    default: break;
    }
    if (isFullRange)
        *isFullRange = full;
    return result;
}

AVColorSpace avColourSpaceOf(ColourMatrix matrix)
{
    switch (matrix) {
    case ColourMatrix::Bt709: return AVCOL_SPC_BT709;
    case ColourMatrix::Bt2020: return AVCOL_SPC_BT2020_NCL;
    case ColourMatrix::Bt601: break;
    }
    return AVCOL_SPC_SMPTE170M;
}

ColourMatrix colourMatrixOf(AVColorSpace colourSpace)
{
    switch (colourSpace) {
    case AVCOL_SPC_BT709: return ColourMatrix::Bt709;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL: return ColourMatrix::Bt2020;
    default: return ColourMatrix::Bt601;
    }
}

int swsColourspaceOf(ColourMatrix matrix)
{
    switch (matrix) {
    case ColourMatrix::Bt709: return SWS_CS_ITU709;
    case ColourMatrix::Bt2020: return SWS_CS_BT2020;
    case ColourMatrix::Bt601: break;
    }
    return SWS_CS_ITU601;
}

Picture pictureFromFrame(FramePtr frame, PictureColour colour)
{
    if (!frame || frame->width < 1 || frame->height < 1)
        return {};
    const std::optional<PixelFormat> format = pixelFormatOf(AVPixelFormat(frame->format));
    if (!format)
        return {};
    Picture::Planes planes;
    qsizetype bytes = 0;
    for (int plane = 0; plane < Picture::MaxPlanes; ++plane) {
        if (Picture::rowBytes(*format, frame->width, plane) == 0)
            break;
        planes.data[plane] = frame->data[plane];
        planes.strides[plane] = frame->linesize[plane];
        bytes += qsizetype(std::abs(frame->linesize[plane])) * Picture::planeRows(*format, frame->height, plane);
    }
    const int width = frame->width;
    const int height = frame->height;
    std::shared_ptr<AVFrame> owner(frame.release(), [](AVFrame *f) { av_frame_free(&f); });
    return Picture(std::move(owner), *format, width, height, planes, bytes, colour);
}

FramePtr frameFromPicture(const Picture &picture)
{
    const AVPixelFormat format = avPixelFormatOf(picture.format());
    if (format == AV_PIX_FMT_NONE || !picture.isComplete())
        return nullptr;
    FramePtr frame(av_frame_alloc());
    if (!frame)
        return nullptr;
    // The buffer's opaque value keeps a copy of the picture (a reference, not the pixels); its
    // release runs when the encoder drops its last reference to the frame.
    auto *held = new Picture(picture);
    AVBufferRef *buffer = av_buffer_create(const_cast<uint8_t *>(picture.plane(0)), int(std::min<qsizetype>(picture.size(), INT_MAX)),
                                           [](void *opaque, uint8_t *) { delete static_cast<Picture *>(opaque); },
                                           held, AV_BUFFER_FLAG_READONLY);
    if (!buffer) {
        delete held;
        return nullptr;
    }
    frame->buf[0] = buffer;
    frame->format = format;
    frame->width = picture.width();
    frame->height = picture.height();
    for (int plane = 0; plane < Picture::MaxPlanes; ++plane) {
        frame->data[plane] = const_cast<uint8_t *>(picture.plane(plane));
        frame->linesize[plane] = picture.stride(plane);
    }
    frame->colorspace = avColourSpaceOf(picture.colour().matrix);
    frame->color_range = picture.colour().isFullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    return frame;
}
