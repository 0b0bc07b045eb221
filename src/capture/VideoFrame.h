// VideoFrame: one picture on its way from a source to an encoder.
// Owned by value; copying it shares the picture (see Picture), so a frame queued into an
// encoder costs a reference count, not a copy of the pixels.
#pragma once

#include "capture/Picture.h"

#include <QByteArray>
#include <QtGlobal>

struct VideoFrame
{
    // RGBA8888, top row first, rows of exactly width * 4 bytes, alpha 255.
    Picture pixels;
    int width = 0;
    int height = 0;
    // Running number of this frame within the take for one encoder: 0, 1, 2, ... without gaps
    // or repeats, because the encoder derives the sample time from it alone.
    qint64 frameIndex = 0;
};

// An opaque black RGBA picture (alpha 255), what a channel shows and records before its camera's
// first picture; empty for a size below 1 x 1.
Picture opaqueBlackPixels(int width, int height);
