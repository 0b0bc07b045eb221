#include "models/VideoStreamItem.h"

#include "capture/ISource.h"

#include <QPainter>
#include <QQuickWindow>

#include <climits>
#include <cmath>

namespace {

VideoStreamItem::SourceLookup &sourceLookup()
{
    static VideoStreamItem::SourceLookup lookup;
    return lookup;
}

} // namespace

void VideoStreamItem::setSourceLookup(SourceLookup lookup)
{
    sourceLookup() = std::move(lookup);
}

VideoStreamItem::VideoStreamItem(QQuickItem *parent)
    : QQuickPaintedItem(parent)
{
    setOpaquePainting(true);
    connect(&m_timer, &QTimer::timeout, this, &VideoStreamItem::onTimeout);
    m_timer.start(33);
}

void VideoStreamItem::setChannelIndex(int channelIndex)
{
    if (m_channelIndex == channelIndex)
        return;
    m_channelIndex = channelIndex;
    emit channelIndexChanged();
    update();
}

void VideoStreamItem::onTimeout()
{
    const SourceLookup &lookup = sourceLookup();
    const std::shared_ptr<ISource> source = lookup ? lookup(m_channelIndex) : nullptr;
    if (!source || !source->isRunning()) {
        if (!m_image.isNull()) {
            m_image = QImage();
            m_pixels = Picture();
            update();
        }
        return;
    }

    const QSize wanted = previewSize();
    Picture pixels;
    source->previewPicture(wanted.width(), wanted.height(), pixels);
    if (!pixels.isComplete())
        return;
    const QSize shown = PicturePreview::fittedSize(QSize(pixels.width(), pixels.height()), wanted);
    if (pixels.isSharedWith(m_pixels) && m_image.size() == shown)
        return; // the same picture as last tick

    const QImage image = m_preview.render(pixels, wanted.width(), wanted.height());
    if (image.isNull())
        return;
    m_pixels = pixels;
    m_image = image;
    update();
}

QSize VideoStreamItem::previewSize() const
{
    const qreal ratio = window() ? window()->effectiveDevicePixelRatio() : 1.0;
    const int w = int(std::ceil(width() * ratio));
    const int h = int(std::ceil(height() * ratio));
    if (w < 1 || h < 1)
        return QSize(INT_MAX, INT_MAX);
    return QSize(w, h);
}

QRectF VideoStreamItem::letterboxRect(const QSizeF &imageSize, const QSizeF &itemSize)
{
    const QSizeF scaled = imageSize.scaled(itemSize, Qt::KeepAspectRatio);
    return QRectF((itemSize.width() - scaled.width()) * 0.5, (itemSize.height() - scaled.height()) * 0.5,
                  scaled.width(), scaled.height());
}

void VideoStreamItem::paint(QPainter *painter)
{
    const QRectF bounds = boundingRect();
    painter->fillRect(bounds, Qt::black);
    if (m_image.isNull())
        return;
    painter->drawImage(letterboxRect(m_image.size(), bounds.size()), m_image);
}
