#include "recording/EncoderPictureConverter.h"

#include "capture/PictureFrames.h"
#include "recording/EncoderGeometry.h"

#include <QRect>

#include <cstring>

namespace {

// libswscale flags. From RGBA at equal sizes only the colour conversion runs, and of the
// unscaled paths "area" with full-resolution chroma input is both the cheapest (the SIMD RGBA
// readers of libswscale serve only full-resolution chroma) and exact: luma untouched, each
// chroma sample the mean of its 2x2 pixels. A picture recorded at another size (the master
// recording resolution, or a camera that changed its size) is scaled bilinearly: nearest
// neighbour would alias every fine edge of a 1080p camera recorded at 720p.
constexpr int kConvertFlags = SWS_AREA | SWS_FULL_CHR_H_INP;
constexpr int kLetterboxFlags = SWS_BILINEAR | SWS_FULL_CHR_H_INP;

ColourMatrix matrixOfSwsColorspace(int swsColorspace)
{
    switch (swsColorspace) {
    case SWS_CS_ITU709: return ColourMatrix::Bt709;
    case SWS_CS_BT2020: return ColourMatrix::Bt2020;
    default: return ColourMatrix::Bt601;
    }
}

void fillRows(uint8_t *data, int linesize, int bytesPerRow, int rows, uint8_t value)
{
    for (int row = 0; row < rows; ++row)
        std::memset(data + qsizetype(row) * linesize, value, size_t(bytesPerRow));
}

} // namespace

void EncoderPictureConverter::setTarget(const PictureDestination &destination)
{
    m_format = destination.format;
    m_size = destination.size;
    m_colour = PictureColour{matrixOfSwsColorspace(destination.swsColorspace), destination.fullRange};
    m_blackLuma = destination.blackLuma;
    m_blackChroma = destination.blackChroma;
    m_yuv.setTarget(m_colour);
    m_scaler.reset();
    m_intermediate.reset();
}

void EncoderPictureConverter::fillBlack(AVFrame *frame) const
{
    const int width = frame->width;
    const int height = frame->height;
    const int chromaRows = (height + 1) / 2;
    fillRows(frame->data[0], frame->linesize[0], width, height, m_blackLuma);
    if (m_format == AV_PIX_FMT_NV12) {
        fillRows(frame->data[1], frame->linesize[1], (width + 1) / 2 * 2, chromaRows, m_blackChroma);
    } else {
        fillRows(frame->data[1], frame->linesize[1], (width + 1) / 2, chromaRows, m_blackChroma);
        fillRows(frame->data[2], frame->linesize[2], (width + 1) / 2, chromaRows, m_blackChroma);
    }
}

int EncoderPictureConverter::prepare(const Picture &picture, AVFrame *frame, FramePtr *wrapped, AVFrame **toSend)
{
    m_lastPath = Path::None;
    if (!picture.isComplete() || picture.isCompressed())
        return AVERROR(EINVAL);
    const QSize pictureSize(picture.width(), picture.height());
    const bool fillsFrame = pictureSize == m_size;

    // Already what the encoder takes: no pixel is touched.
    if (fillsFrame && avPixelFormatOf(picture.format()) == m_format && picture.colour() == m_colour) {
        *wrapped = frameFromPicture(picture);
        if (*wrapped) {
            *toSend = wrapped->get();
            m_lastPath = Path::Wrapped;
            return 0;
        }
    }

    const int writable = av_frame_make_writable(frame);
    if (writable < 0)
        return writable;
    *toSend = frame;
    if (fillsFrame && YuvConverter::canConvert(picture.format())) {
        m_lastPictureSize = pictureSize;
        m_lastPath = Path::Yuv;
        return m_yuv.convert(picture, frame) ? 0 : AVERROR(EINVAL);
    }
    m_lastPath = Path::Scaled;
    return scale(picture, frame);
}

int EncoderPictureConverter::scale(const Picture &original, AVFrame *frame)
{
    Picture picture = original;
    const QSize pictureSize(picture.width(), picture.height());
    const bool fillsFrame = pictureSize == m_size;
    const QRect rect = fillsFrame ? QRect(QPoint(0, 0), m_size) : chromaAlignedRect(letterboxRect(pictureSize, m_size));

    // The bars stay black between frames unless the geometry changed or the encoder kept the
    // old buffer and av_frame_make_writable() handed out a new one.
    const bool hasBars = rect.size() != m_size;
    if (hasBars && (pictureSize != m_lastPictureSize || frame->data[0] != m_lastFrameBuffer))
        fillBlack(frame);
    m_lastPictureSize = pictureSize;
    m_lastFrameBuffer = frame->data[0];
    if (rect.isEmpty())
        return 0; // a picture too small to show: an all-black frame

    // libswscale keeps a YUV picture's matrix: one of another matrix is made the
    // destination's colour first, at its own size, then only scaled.
    const bool isRgb = picture.format() == PixelFormat::Rgba;
    if (!isRgb && picture.colour().matrix != m_colour.matrix && YuvConverter::canConvert(picture.format())) {
        if (!m_intermediate || m_intermediate->width != picture.width() || m_intermediate->height != picture.height()) {
            m_intermediate.reset(av_frame_alloc());
            if (!m_intermediate)
                return AVERROR(ENOMEM);
            m_intermediate->format = m_format;
            m_intermediate->width = picture.width();
            m_intermediate->height = picture.height();
            if (const int allocated = av_frame_get_buffer(m_intermediate.get(), 0); allocated < 0) {
                m_intermediate.reset();
                return allocated;
            }
        }
        if (!m_yuv.convert(picture, m_intermediate.get()))
            return AVERROR(EINVAL);
        Picture::Planes planes;
        for (int plane = 0; plane < 3; ++plane) {
            planes.data[plane] = m_intermediate->data[plane];
            planes.strides[plane] = m_intermediate->linesize[plane];
        }
        const std::optional<PixelFormat> format = pixelFormatOf(m_format);
        // Borrowed planes: the intermediate frame outlives this call.
        picture = Picture(std::shared_ptr<const void>(m_intermediate.get(), [](const void *) {}),
                          format.value_or(PixelFormat::Yuv420p), picture.width(), picture.height(), planes,
                          qsizetype(m_intermediate->linesize[0]) * picture.height(), m_colour);
    }

    const QSize scaledSize = rect.size();
    const ScalerShape shape{pictureSize, picture.format(), scaledSize, fillsFrame};
    const bool isNewScaler = !m_scaler || !(shape == m_scalerShape);
    if (isNewScaler) {
        m_scaler.reset(sws_getContext(picture.width(), picture.height(), avPixelFormatOf(picture.format()),
                                      scaledSize.width(), scaledSize.height(), m_format,
                                      fillsFrame ? kConvertFlags : kLetterboxFlags, nullptr, nullptr, nullptr));
        if (!m_scaler)
            return AVERROR(EINVAL);
        m_scalerShape = shape;
    }
    // RGB in is full range and converted with the destination's matrix; YUV in keeps its
    // matrix (already the destination's) and has its range changed.
    const PictureColour sourceColour = isRgb ? PictureColour{m_colour.matrix, true} : picture.colour();
    if (isNewScaler || sourceColour != m_scalerColour) {
        const int *destination = sws_getCoefficients(swsColourspaceOf(m_colour.matrix));
        const int *source = sws_getCoefficients(swsColourspaceOf(sourceColour.matrix));
        sws_setColorspaceDetails(m_scaler.get(), source, sourceColour.isFullRange ? 1 : 0, destination,
                                 m_colour.isFullRange ? 1 : 0, 0, 1 << 16, 1 << 16);
        m_scalerColour = sourceColour;
    }

    const uint8_t *planes[4] = {picture.plane(0), picture.plane(1), picture.plane(2), nullptr};
    const int strides[4] = {picture.stride(0), picture.stride(1), picture.stride(2), 0};
    uint8_t *target[4] = {};
    const int left = rect.left();
    const int top = rect.top();
    target[0] = frame->data[0] + qsizetype(top) * frame->linesize[0] + left;
    if (m_format == AV_PIX_FMT_NV12) {
        target[1] = frame->data[1] + qsizetype(top / 2) * frame->linesize[1] + left;
    } else {
        target[1] = frame->data[1] + qsizetype(top / 2) * frame->linesize[1] + left / 2;
        target[2] = frame->data[2] + qsizetype(top / 2) * frame->linesize[2] + left / 2;
    }
    const int rows = sws_scale(m_scaler.get(), planes, strides, 0, picture.height(), target, frame->linesize);
    return rows > 0 ? 0 : AVERROR(EINVAL);
}
