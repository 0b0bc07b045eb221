#include "models/VideoStreamItem.h"

#include "capture/ISource.h"

#include <QPainter>

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

    Picture pixels;
    source->latestFrame(pixels);
    const int width = source->width();
    const int height = source->height();
    if (width < 1 || height < 1 || pixels.size() < qsizetype(width) * height * 4)
        return;
    if (pixels.constData() == m_pixels.constData() && m_image.width() == width && m_image.height() == height)
        return; // the same picture as last tick

    m_pixels = pixels;
    m_image = QImage(reinterpret_cast<const uchar *>(m_pixels.constData()), width, height,
                     width * 4, QImage::Format_RGBA8888);
    update();
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
