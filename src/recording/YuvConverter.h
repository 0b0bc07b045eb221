// YuvConverter: a YUV picture (4:2:0, NV12, 4:2:2, YUYV) into 4:2:0 or NV12 of the same size,
// with its matrix and range changed to the destination's in the same pass: one read of the
// picture, one write of the encoder's frame. libswscale changes layouts and ranges between YUV
// formats but never the matrix (it would leave a BT.601 webcam's colours labelled BT.709, a
// visible shift of reds and greens); this does both, in fixed point.
//
// The arithmetic: a picture's code values are made normalised YUV (range), taken to RGB and
// back to YUV with the destination's matrix (one 3x3 matrix, since grey stays grey: chroma
// depends on chroma alone, luma on luma and, for a matrix change, a little on chroma), and
// made code values again. Chroma going from 4:2:2 to 4:2:0 is the mean of the two rows.
// Luma takes the chroma of its pixel pair (its own sample for 4:2:x sources). The per-pixel
// loops run in 16-bit fixed point the compiler vectorises (the file is built with -O3): about
// half a millisecond for a 1080p picture.
//
// Not thread-safe: one per encoder, used on its worker thread.
#pragma once

#include "capture/Picture.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <vector>

class YuvConverter
{
public:
    YuvConverter() = default;

    // The colour the encoder's frames are labelled with.
    void setTarget(PictureColour to) { m_target = to; }
    // The colours to convert between; cheap when they do not change (convert() calls it with
    // each picture's colour).
    void configure(PictureColour from, PictureColour to);
    // Nothing to do for the colour: source and destination are the same.
    bool isIdentity() const { return m_isIdentity; }

    // Converts `source` (Yuv420p, Nv12, Yuv422p or Yuyv, of the target's size) into `target`
    // (AV_PIX_FMT_YUV420P or AV_PIX_FMT_NV12, writable). False for any other pairing.
    bool convert(const Picture &source, AVFrame *target);

    static bool canConvert(PixelFormat source);

private:
    void convertLumaRow(const uchar *luma, int lumaStep, const uchar *u, const uchar *v, int chromaStep,
                        uchar *out, int width);
    void convertChromaRow(const uchar *u0, const uchar *v0, const uchar *u1, const uchar *v1, int step,
                          uchar *outU, uchar *outV, int outStep, int chromaWidth);

    PictureColour m_target;
    PictureColour m_from;
    PictureColour m_to;
    bool m_isConfigured = false;
    bool m_isIdentity = true;
    // Fixed point, 7 fractional bits, in 16-bit lanes:
    // Y' = (ly * Y + lu * (U - 128) + lv * (V - 128) + lo) >> 7 (lo with a bias of 64 codes);
    // U' = (uu * (U - 128) + uv * (V - 128)) >> 7 + 128; V' likewise.
    int m_ly = 0, m_lu = 0, m_lv = 0, m_lo = 0;
    int m_uu = 0, m_uv = 0, m_vu = 0, m_vv = 0;
    std::vector<quint16> m_pixelShare; // per pixel of a row: the chroma share of its luma
    std::vector<uchar> m_rowU, m_rowV; // one row of 4:2:0 chroma before conversion
};
