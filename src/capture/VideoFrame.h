// VideoFrame: one picture on its way from a source to an encoder.
// Owned by value; copying it shares the picture (see Picture), so a frame queued into an
// encoder costs a reference count, not a copy of the pixels.
#pragma once

#include "capture/Picture.h"

#include <QtGlobal>

struct VideoFrame
{
    // The picture in its camera's format (Picture.h).
    Picture pixels;
    // The picture's size; also the size of RGBA bytes that carry none of their own.
    int width = 0;
    int height = 0;
    // Running number of this frame within the take for one encoder: 0, 1, 2, ... without gaps
    // or repeats, because the encoder derives the sample time from it alone.
    qint64 frameIndex = 0;

    // The picture with its size, whichever of the two carries it.
    Picture picture() const { return pixels.withSize(width, height); }
};

// Black in limited-range 4:2:0 (what every encoder takes as it is), what a channel records
// before its camera's first picture; empty for a size below 1 x 1.
Picture blackPicture(int width, int height);
// Opaque black RGBA bytes (alpha 255) of that size.
QByteArray opaqueBlackRgba(int width, int height);
