// PicturePreview: the RGBA image a preview shows (a live video item, the phone's preview
// stream), made from a picture in whatever format it comes, at the preview's size: the one
// place pictures become RGBA. libswscale scales and converts in one pass, with the matrix and
// range the picture declares.
//
// One per preview, used on its thread (the GUI thread). The last image is kept: the same
// picture asked for at the same size again costs nothing.
#pragma once

#include "capture/Picture.h"
#include "common/FfmpegPtr.h"

#include <QImage>
#include <QSize>

class PicturePreview
{
public:
    PicturePreview() = default;
    PicturePreview(const PicturePreview &) = delete;
    PicturePreview &operator=(const PicturePreview &) = delete;

    // The picture as an RGBA8888 image (alpha 255) of the largest size that fits
    // maxWidth x maxHeight with its aspect kept, never larger than the picture itself. A null
    // image for a compressed or incomplete picture, or a size below 1.
    QImage render(const Picture &picture, int maxWidth, int maxHeight);

    // The size render() makes for a picture of `picture` in a box of `box`.
    static QSize fittedSize(QSize picture, QSize box);

private:
    SwsContextPtr m_scaler;
    Picture m_lastPicture;
    QImage m_lastImage;
};
