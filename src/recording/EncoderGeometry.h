// EncoderGeometry: where a picture lands in the encoded frame. Pure functions; the encoder's
// worker and the tests call them.
//
// A camera can deliver a size other than the one its encoder was opened with (the manager
// falls back to the timeline size when a camera has not reported one yet). The picture is
// then scaled by nearest neighbour, keeping its aspect ratio, and centred on black bars.
#pragma once

#include <QRect>
#include <QSize>

// The rectangle, inside an encoded frame of `encoded` size, that a picture of `picture` size
// fills: scale = min(W / w, H / h) in single precision, the scaled size truncated, centred with
// integer division. 640x480 into 1920x1080 gives 1440x1080 at x = 240; 1280x720 fills it.
// An empty rectangle when either size is empty or the picture would shrink below one pixel.
QRect letterboxRect(QSize picture, QSize encoded);

// The same rectangle moved so that its left and top edges fall on even pixels and its size is
// even: 4:2:0 pictures share one chroma sample per 2x2 pixels, so an odd edge would smear the
// picture's colour into the bar. Moves each edge by at most one pixel.
QRect chromaAlignedRect(QRect rect);

// 4:2:0 encoders need even dimensions: odd ones are rounded down (at least 2).
QSize evenEncodedSize(QSize requested);
