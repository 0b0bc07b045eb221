// VideoStreamItem: the QML item that shows one channel's live picture, letterboxed on black.
//
// It polls the channel's source every 33 ms on the GUI thread and never talks to devices. It
// finds the source through the lookup the program gives every item (setSourceLookup, set once
// when the QML types are registered); without one it shows no signal.
// Each new picture becomes RGBA once, at the size the item shows it (PicturePreview; a
// compressed camera picture is decoded at reduced size by the source); a tick that finds the
// same picture as before (no new picture) converts nothing and does not repaint.
#pragma once

#include "capture/Picture.h"
#include "capture/PicturePreview.h"

#include <QImage>
#include <QQuickPaintedItem>
#include <QTimer>

#include <functional>
#include <memory>

class ISource;

class VideoStreamItem : public QQuickPaintedItem
{
    Q_OBJECT
    Q_PROPERTY(int channelIndex READ channelIndex WRITE setChannelIndex NOTIFY channelIndexChanged)

public:
    // The source of a channel, shared for the length of one read; null when it has none.
    using SourceLookup = std::function<std::shared_ptr<ISource>(int channelId)>;
    // For every item, present and future. GUI thread, before the first item polls.
    static void setSourceLookup(SourceLookup lookup);

    explicit VideoStreamItem(QQuickItem *parent = nullptr);

    int channelIndex() const { return m_channelIndex; }
    void setChannelIndex(int channelIndex);

    void paint(QPainter *painter) override;

    // Where a picture of imageSize lands in an item of itemSize: the largest size that fits
    // with the aspect ratio kept, centred.
    static QRectF letterboxRect(const QSizeF &imageSize, const QSizeF &itemSize);

    // The picture shown now; null while the channel has no signal.
    QImage currentImage() const { return m_image; }
    // The size pictures are made for: the item's size in device pixels, or the picture's own
    // size while the item has none.
    QSize previewSize() const;

signals:
    void channelIndexChanged();

public slots:
    void onTimeout();

private:
    int m_channelIndex = 0;
    QTimer m_timer;
    Picture m_pixels; // the picture m_image was made from
    PicturePreview m_preview;
    QImage m_image;
};
