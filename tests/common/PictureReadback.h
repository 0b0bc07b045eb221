// Pictures read back as RGBA, the way a preview makes them (PicturePreview at the picture's
// own size), so tests compare any camera format with known RGB content.
#pragma once

#include "capture/Picture.h"
#include "capture/PicturePreview.h"

#include <QByteArray>
#include <QImage>

#include <cstring>

// Tight RGBA rows (width * 4 bytes each) of an uncompressed picture; empty for anything else.
inline QByteArray rgbaBytesOf(const Picture &picture)
{
    if (picture.format() == PixelFormat::Rgba && picture.isComplete() && picture.stride(0) == picture.width() * 4)
        return QByteArray(picture.constData(), qsizetype(picture.width()) * picture.height() * 4);
    PicturePreview preview;
    const QImage image = preview.render(picture, picture.width(), picture.height());
    if (image.isNull())
        return {};
    const qsizetype rowBytes = qsizetype(image.width()) * 4;
    QByteArray bytes(rowBytes * image.height(), Qt::Uninitialized);
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(bytes.data() + y * rowBytes, image.constScanLine(y), size_t(rowBytes));
    return bytes;
}
