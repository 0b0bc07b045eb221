// What a simulated camera sends: pictures in the wire format of a V4L2 mode (MJPEG encoded by
// libavcodec, packed or planar YUV, 24-bit RGB), made from RGB pictures with the textbook
// formulas (JPEG: BT.601 full range; raw YUV: BT.601 limited range), so reading them back
// checks the program's own conversion against an independent one.
//
// Pictures are prepared once per mode and handed out by reference; a simulated camera calls
// picture() under its kernel's lock, so it must not render anything per frame.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QtGlobal>

#include <memory>
#include <mutex>
#include <vector>

// A mode a simulated camera offers: pixel format (V4L2 fourcc) and size.
struct SimulatedMode
{
    quint32 fourcc = 0;
    int width = 0;
    int height = 0;
    bool operator==(const SimulatedMode &other) const = default;
};

// An RGB picture, 3 bytes R, G, B per pixel, rows of width * 3 bytes, top row first.
struct RgbPicture
{
    int width = 0;
    int height = 0;
    QByteArray pixels;
    const uchar *row(int y) const { return reinterpret_cast<const uchar *>(pixels.constData()) + qsizetype(y) * width * 3; }
};

// The known picture the tests compare against: eight colour bars (white, yellow, cyan, green,
// magenta, red, blue, black) over the top half, a grey ramp from black at the left to white at
// the right over the bottom half. Nothing in it is symmetric, so a flipped, mirrored or
// mis-strided picture differs everywhere.
RgbPicture knownPicture(int width, int height);
RgbPicture whitePicture(int width, int height);

// The bytes a V4L2 driver would deliver for `picture` in `fourcc` (YUYV, UYVY, NV12, YU12,
// RGB3, BGR3 at `bytesPerLine`, padding bytes set to 0x55; MJPG as a JPEG of 4:2:2 chroma at
// the given quantiser, 2 = finest; H264 as one key frame with its parameter sets). Empty for
// another fourcc.
QByteArray encodeSimulatedPicture(const RgbPicture &picture, quint32 fourcc, int bytesPerLine, int jpegQuantiser = 3);

// Pictures as a webcam's H.264 encoder sends them (libx264, no B-frames, parameter sets before
// every key frame, a key frame every keyFrameInterval pictures), one access unit each.
std::vector<QByteArray> encodeSimulatedH264(const std::vector<RgbPicture> &pictures, int keyFrameInterval, int kbps);

// The row stride a simulated driver reports for a mode: the tight row plus `padding` bytes
// (0 for MJPEG, which has no rows).
int simulatedBytesPerLine(const SimulatedMode &mode, int padding);
// The buffer size it reports (sizeimage): enough for any picture of the mode.
int simulatedImageSize(const SimulatedMode &mode, int bytesPerLine);

class SimulatedPictures
{
public:
    virtual ~SimulatedPictures() = default;
    // Picture `index` of a stream in `mode`; with flash, the white picture instead.
    virtual const QByteArray &picture(const SimulatedMode &mode, int bytesPerLine, qint64 index, bool flash) = 0;
};

// The known picture in every mode asked for, and the white one for flashes.
class KnownPictures : public SimulatedPictures
{
public:
    const QByteArray &picture(const SimulatedMode &mode, int bytesPerLine, qint64 index, bool flash) override;

private:
    struct Prepared
    {
        QByteArray normal;
        QByteArray white;
    };
    std::mutex m_mutex;
    QHash<QString, std::shared_ptr<Prepared>> m_prepared; // Guarded by m_mutex.
};

// A fixed list of pictures (already in the wire format of one mode), handed out in a cycle
// whatever the mode; flashes are not drawn. For benchmarks with pre-rendered content.
class CycledPictures : public SimulatedPictures
{
public:
    explicit CycledPictures(std::vector<QByteArray> pictures) : m_pictures(std::move(pictures)) {}
    const QByteArray &picture(const SimulatedMode &, int, qint64 index, bool) override
    {
        return m_pictures[size_t(index % qint64(m_pictures.size()))];
    }

private:
    const std::vector<QByteArray> m_pictures;
};
