#include "capture/TestPatternRenderer.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

constexpr int GlyphColumns = 5;
constexpr int GlyphRows = 7;
// A character takes its glyph and one empty column; the text box has one empty cell all round.
constexpr int Advance = GlyphColumns + 1;
constexpr qint64 NsPerSecond = 1'000'000'000;
// One sweep of the square across the picture and back.
constexpr qint64 SweepPeriodNs = 4 * NsPerSecond;

// Rows top to bottom, bit 4 is the leftmost column.
constexpr quint8 DigitGlyphs[10][GlyphRows] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, // 0
    {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}, // 1
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, // 2
    {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}, // 3
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, // 4
    {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}, // 5
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, // 6
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}, // 7
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, // 8
    {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}, // 9
};

// 75 % bars, as B, G, R: white, yellow, cyan, green, magenta, red, blue, black.
constexpr uchar BarColours[8][3] = {
    {191, 191, 191}, {0, 191, 191}, {191, 191, 0}, {0, 191, 0},
    {191, 0, 191},   {0, 0, 191},   {191, 0, 0},   {16, 16, 16},
};

quint64 glyphBits(const quint8 (&glyph)[GlyphRows])
{
    quint64 bits = 0;
    for (int row = 0; row < GlyphRows; ++row)
        bits = (bits << GlyphColumns) | glyph[row];
    return bits;
}

// Limited-range BT.709 of an 8-bit R, G, B colour.
struct Yuv
{
    uchar y, u, v;
};

Yuv bt709Limited(int r, int g, int b)
{
    const double luma = 0.2126 * r + 0.7152 * g + 0.0722 * b;
    const double cb = (b - luma) / 1.8556;
    const double cr = (r - luma) / 1.5748;
    const auto code = [](double value) { return uchar(std::clamp(std::lround(value), 0L, 255L)); };
    return {code(16.0 + luma * 219.0 / 255.0), code(128.0 + cb * 224.0 / 255.0), code(128.0 + cr * 224.0 / 255.0)};
}

uchar greyLuma(uchar level)
{
    return uchar(16 + (level * 219 + 127) / 255);
}

void fillPlane(uchar *plane, int stride, int rows, int x, int y, int w, int h, uchar value)
{
    const int left = std::max(x, 0);
    const int top = std::max(y, 0);
    const int right = std::min(x + w, stride);
    const int bottom = std::min(y + h, rows);
    if (left >= right || top >= bottom)
        return;
    for (int row = top; row < bottom; ++row)
        std::memset(plane + qsizetype(row) * stride + left, value, size_t(right - left));
}

qint64 floorDiv(qint64 value, qint64 divisor)
{
    qint64 quotient = value / divisor;
    if ((value % divisor != 0) && ((value < 0) != (divisor < 0)))
        --quotient;
    return quotient;
}

qint64 floorMod(qint64 value, qint64 divisor)
{
    const qint64 rest = value % divisor;
    return rest < 0 ? rest + divisor : rest;
}

} // namespace

TestPatternRenderer::TestPatternRenderer(int channel, int width, int height)
    : m_channel(channel)
    , m_width(std::max(width, 1))
    , m_height(std::max(height, 1))
{
    m_bars.resize(frameBytes());
    const Picture::Planes planes = Picture::tightLayout(PixelFormat::Yuv420p, m_width, m_height,
                                                        reinterpret_cast<const uchar *>(m_bars.constData()));
    const auto barAt = [this](int x) {
        const uchar *bgr = BarColours[qsizetype(x) * 8 / m_width];
        return bt709Limited(bgr[2], bgr[1], bgr[0]);
    };
    for (int plane = 0; plane < 3; ++plane) {
        uchar *first = const_cast<uchar *>(planes.data[plane]);
        const int columns = planes.strides[plane];
        for (int x = 0; x < columns; ++x) {
            const Yuv colour = barAt(plane == 0 ? x : std::min(2 * x, m_width - 1));
            first[x] = plane == 0 ? colour.y : plane == 1 ? colour.u : colour.v;
        }
        const int rows = Picture::planeRows(PixelFormat::Yuv420p, m_height, plane);
        for (int y = 1; y < rows; ++y)
            std::memcpy(first + qsizetype(y) * columns, first, size_t(columns));
    }

    const int margin = m_height / 27;
    m_channelText = {margin, margin, std::max(2, m_height / 54)};
    const int counterCell = std::max(2, m_height / 108);
    const int counterWidth = (CounterDigits * Advance + 1) * counterCell;
    const int counterHeight = (GlyphRows + 2) * counterCell;
    m_counterText = {(m_width - counterWidth) / 2, m_height - margin - counterHeight, counterCell};
}

QRect TestPatternRenderer::movingSquareRect(qint64 timeNs) const
{
    const int side = std::max(4, m_height / 8);
    const qint64 travel = std::max(0, m_width - side);
    const qint64 phase = floorMod(timeNs, SweepPeriodNs);
    const qint64 half = SweepPeriodNs / 2;
    const qint64 x = phase < half ? travel * phase / half : travel * (SweepPeriodNs - phase) / half;
    return QRect(int(x), (m_height - side) / 2, side, side);
}

void TestPatternRenderer::fillGrey(uchar *dst, int x, int y, int w, int h, uchar level) const
{
    const Picture::Planes planes = Picture::tightLayout(PixelFormat::Yuv420p, m_width, m_height, dst);
    fillPlane(dst, m_width, m_height, x, y, w, h, greyLuma(level));
    // Chroma samples the rectangle touches become neutral; its edges may take a neighbour's.
    const int chromaRows = Picture::planeRows(PixelFormat::Yuv420p, m_height, 1);
    const int left = x >> 1;
    const int top = y >> 1;
    const int right = (x + w + 1) >> 1;
    const int bottom = (y + h + 1) >> 1;
    for (int plane = 1; plane < 3; ++plane)
        fillPlane(const_cast<uchar *>(planes.data[plane]), planes.strides[plane], chromaRows, left, top, right - left,
                  bottom - top, 128);
}

void TestPatternRenderer::render(uchar *dst, qint64 counter, qint64 timeNs, bool flash) const
{
    if (flash) {
        fillGrey(dst, 0, 0, m_width, m_height, 255);
    } else {
        std::memcpy(dst, m_bars.constData(), size_t(frameBytes()));
    }

    const QRect square = movingSquareRect(timeNs);
    const int frame = std::max(1, square.width() / 10);
    fillGrey(dst, square.x(), square.y(), square.width(), square.height(), 0);
    fillGrey(dst, square.x() + frame, square.y() + frame, square.width() - 2 * frame, square.height() - 2 * frame, 255);

    const char channelDigit = char('0' + std::clamp(m_channel, 0, 9));
    drawDigits(dst, m_channelText, &channelDigit, 1, flash);

    char digits[CounterDigits];
    quint64 value = quint64(counter < 0 ? 0 : counter);
    for (int i = CounterDigits - 1; i >= 0; --i, value /= 10)
        digits[i] = char('0' + value % 10);
    drawDigits(dst, m_counterText, digits, CounterDigits, flash);
}

void TestPatternRenderer::drawDigits(uchar *dst, const TextLayout &layout, const char *digits,
                                     int count, bool flash) const
{
    const uchar paper = flash ? 255 : 0;
    const uchar ink = flash ? 0 : 255;
    const int cell = layout.cell;
    fillGrey(dst, layout.x, layout.y, (count * Advance + 1) * cell, (GlyphRows + 2) * cell, paper);
    for (int i = 0; i < count; ++i) {
        const quint8 (&glyph)[GlyphRows] = DigitGlyphs[std::clamp(digits[i] - '0', 0, 9)];
        const int left = layout.x + (1 + i * Advance) * cell;
        for (int row = 0; row < GlyphRows; ++row) {
            for (int column = 0; column < GlyphColumns; ++column) {
                if (glyph[row] & (0x10 >> column))
                    fillGrey(dst, left + column * cell, layout.y + (1 + row) * cell, cell, cell, ink);
            }
        }
    }
}

int TestPatternRenderer::readCounter(const Picture &picture) const
{
    if (!picture.isComplete() || picture.isCompressed() || picture.width() != m_width || picture.height() != m_height)
        return -1;
    const TextLayout &layout = m_counterText;
    const int cell = layout.cell;
    const uchar *first = picture.plane(0);
    const int stride = picture.stride(0);
    const PixelFormat format = picture.format();
    auto luma = [&](int x, int y) -> int {
        if (x < 0 || y < 0 || x >= m_width || y >= m_height)
            return -1;
        const uchar *row = first + qsizetype(y) * stride;
        if (format == PixelFormat::Rgba)
            return (row[x * 4] + row[x * 4 + 1] + row[x * 4 + 2]) / 3;
        if (format == PixelFormat::Yuyv)
            return row[x * 2];
        return row[x];
    };

    // The box's empty top-left cell tells whether the ink is white (normal) or black (flash).
    const int paper = luma(layout.x + cell / 2, layout.y + cell / 2);
    if (paper < 0)
        return -1;
    const bool darkPaper = paper < 128;

    int value = 0;
    for (int i = 0; i < CounterDigits; ++i) {
        const int left = layout.x + (1 + i * Advance) * cell;
        quint64 bits = 0;
        for (int row = 0; row < GlyphRows; ++row) {
            for (int column = 0; column < GlyphColumns; ++column) {
                const int level = luma(left + column * cell + cell / 2, layout.y + (1 + row) * cell + cell / 2);
                if (level < 0)
                    return -1;
                bits = (bits << 1) | ((level >= 128) == darkPaper ? 1u : 0u);
            }
        }
        // Nearest glyph, allowing a couple of cells blurred by compression.
        int best = -1;
        int bestDistance = 3;
        for (int digit = 0; digit < 10; ++digit) {
            const int distance = std::popcount(bits ^ glyphBits(DigitGlyphs[digit]));
            if (distance < bestDistance) {
                best = digit;
                bestDistance = distance;
            }
        }
        if (best < 0)
            return -1;
        value = value * 10 + best;
    }
    return value;
}

bool TestPatternRenderer::crossesWholeSecond(qint64 previousNs, qint64 timeNs)
{
    return floorDiv(timeNs, NsPerSecond) > floorDiv(previousNs, NsPerSecond);
}
