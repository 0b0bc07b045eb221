#include "recording/EncoderGeometry.h"

#include <algorithm>

QRect letterboxRect(QSize picture, QSize encoded)
{
    if (picture.isEmpty() || encoded.isEmpty())
        return {};
    const float scale = std::min(float(encoded.width()) / float(picture.width()),
                                 float(encoded.height()) / float(picture.height()));
    const int scaledWidth = std::min(encoded.width(), int(float(picture.width()) * scale));
    const int scaledHeight = std::min(encoded.height(), int(float(picture.height()) * scale));
    if (scaledWidth < 1 || scaledHeight < 1)
        return {};
    return QRect((encoded.width() - scaledWidth) / 2, (encoded.height() - scaledHeight) / 2,
                 scaledWidth, scaledHeight);
}

QRect chromaAlignedRect(QRect rect)
{
    if (rect.isEmpty())
        return {};
    const int left = rect.left() & ~1;
    const int top = rect.top() & ~1;
    // The right and bottom edges stay inside the original extent rounded up to even, which an
    // even-sized frame always contains.
    const int right = (rect.left() + rect.width() + 1) & ~1;
    const int bottom = (rect.top() + rect.height() + 1) & ~1;
    const int width = std::max(2, (right - left) & ~1);
    const int height = std::max(2, (bottom - top) & ~1);
    return QRect(left, top, width, height);
}

QSize evenEncodedSize(QSize requested)
{
    return QSize(std::max(2, requested.width() & ~1), std::max(2, requested.height() & ~1));
}
