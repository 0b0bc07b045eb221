// TestPatternRenderer: the picture of a built-in virtual camera, in planar 4:2:0 (I420), BT.709
// limited range, top row first: the YUV a camera hands over, so the encoder takes it as it is.
// Colour bars with the channel number, a square that moves with the clock, a burnt-in frame
// counter and, on request, a white flash frame. The bars are prepared once; each frame copies
// them and draws only the small parts that change, so a 1080p frame costs about a memcpy.
//
// Text uses a built-in 5 x 7 digit font drawn as filled cells: cheap, the same on every
// machine, and readable back from a picture (readCounter), so tests and tools can follow the
// frame counter through conversion, preview and encoding. Not thread-safe; one renderer per
// device thread.
#pragma once

#include "capture/Picture.h"

#include <QByteArray>
#include <QRect>
#include <QtGlobal>

class TestPatternRenderer
{
public:
    static constexpr int CounterDigits = 8;

    TestPatternRenderer(int channel, int width, int height);

    int width() const { return m_width; }
    int height() const { return m_height; }
    qsizetype frameBytes() const { return Picture::tightSize(PixelFormat::Yuv420p, m_width, m_height); }
    // The colour the pictures are drawn in.
    static PictureColour colour() { return {ColourMatrix::Bt709, false}; }

    // Fills dst (frameBytes(): the Y, U and V planes with tight rows). The counter shows
    // `counter` modulo 10^CounterDigits; the square's place follows `timeNs` (one sweep across
    // and back in four seconds); with `flash` the whole picture is white with black figures.
    void render(uchar *dst, qint64 counter, qint64 timeNs, bool flash) const;

    // The square's rectangle for a time, in picture coordinates.
    QRect movingSquareRect(qint64 timeNs) const;

    // Reads the counter back from a picture of this renderer's size in any uncompressed
    // format (its luma); -1 when the digits cannot be read.
    int readCounter(const Picture &picture) const;

    // True when a frame captured at timeNs is the first one in a new whole second of the
    // clock, given the previous frame's capture time.
    static bool crossesWholeSecond(qint64 previousNs, qint64 timeNs);

private:
    struct TextLayout
    {
        int x = 0;
        int y = 0;
        int cell = 1; // pixels per font cell
    };

    void drawDigits(uchar *dst, const TextLayout &layout, const char *digits, int count,
                    bool flash) const;
    // Fills a rectangle, clipped to the picture, with one grey level (0 black .. 255 white).
    void fillGrey(uchar *dst, int x, int y, int w, int h, uchar level) const;

    int m_channel;
    int m_width;
    int m_height;
    QByteArray m_bars; // I420, prepared once
    TextLayout m_channelText;
    TextLayout m_counterText;
};
