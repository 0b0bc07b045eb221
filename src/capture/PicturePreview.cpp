#include "capture/PicturePreview.h"

#include "capture/PictureFrames.h"

#include <algorithm>

namespace {

// Smooth enough for a picture shrunk to a tile, at a fraction of a full-size conversion.
constexpr int kPreviewScaleFlags = SWS_BILINEAR;

} // namespace

QSize PicturePreview::fittedSize(QSize picture, QSize box)
{
    if (picture.isEmpty() || box.isEmpty())
        return {};
    if (picture.width() <= box.width() && picture.height() <= box.height())
        return picture;
    const QSize scaled = picture.scaled(box, Qt::KeepAspectRatio);
    return QSize(std::max(1, scaled.width()), std::max(1, scaled.height()));
}

QImage PicturePreview::render(const Picture &picture, int maxWidth, int maxHeight)
{
    if (!picture.isComplete() || picture.isCompressed())
        return {};
    const QSize size = fittedSize(QSize(picture.width(), picture.height()), QSize(maxWidth, maxHeight));
    if (size.isEmpty())
        return {};
    if (picture.isSharedWith(m_lastPicture) && m_lastImage.size() == size)
        return m_lastImage;

    const AVPixelFormat source = avPixelFormatOf(picture.format());
    m_scaler.reset(sws_getCachedContext(m_scaler.release(), picture.width(), picture.height(), source, size.width(),
                                        size.height(), AV_PIX_FMT_RGBA, kPreviewScaleFlags, nullptr, nullptr, nullptr));
    if (!m_scaler)
        return {};
    const PictureColour colour = picture.colour();
    const int *coefficients = sws_getCoefficients(swsColourspaceOf(colour.matrix));
    const bool isRgb = picture.format() == PixelFormat::Rgba;
    sws_setColorspaceDetails(m_scaler.get(), coefficients, isRgb || colour.isFullRange ? 1 : 0, coefficients, 1, 0,
                             1 << 16, 1 << 16);

    // A new image each time: the previous one may still be painted or encoded by its holder.
    QImage image(size, QImage::Format_RGBA8888);
    if (image.isNull())
        return {};
    const uint8_t *planes[4] = {picture.plane(0), picture.plane(1), picture.plane(2), nullptr};
    const int strides[4] = {picture.stride(0), picture.stride(1), picture.stride(2), 0};
    uint8_t *target[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int targetStrides[4] = {int(image.bytesPerLine()), 0, 0, 0};
    if (sws_scale(m_scaler.get(), planes, strides, 0, picture.height(), target, targetStrides) <= 0)
        return {};
    m_lastPicture = picture;
    m_lastImage = image;
    return image;
}
