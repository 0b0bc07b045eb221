// bench_picturepool: how many picture arrays one camera allocates per 1 000 pictures while a
// take reads it the way the program does, against the reference of one fresh array per
// picture (no recycling at all).
//
//   bench_picturepool [--pictures N] [--encoder-hold K] [--width W] [--height H]
//
// One CameraCapture runs a device of our own that this thread feeds with 24-bit pictures, so
// nothing but the capture's own bookkeeping allocates picture-sized arrays. After every
// picture the frame pump takes the new pictures (picturesAfter, the newest kept as its last),
// the encoder keeps the last K frames it was handed (its queue and the one it encodes), and
// the preview takes the newest picture. Every malloc of at least one RGBA picture is counted
// by interposing malloc, so the figure holds whatever container the capture keeps its
// pictures in. A ratio of 1.0 means no picture was recycled; the lower, the fewer page faults
// while converting.
#include "capture/CameraCapture.h"
#include "capture/VideoFrame.h"
#include "common/MonotonicClock.h"

#include <QCoreApplication>
#include <QStringList>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <deque>

extern "C" void *__libc_malloc(size_t size);

namespace {

std::atomic<size_t> g_countFromBytes{0};
std::atomic<quint64> g_bigAllocations{0};

class FedDevice : public ICaptureDevice
{
public:
    FedDevice(int width, int height)
    {
        m_geometry.width = width;
        m_geometry.height = height;
        m_geometry.pixelFormat = CapturePixelFormat::Bgr24;
    }
    bool open(const CameraFormat &) override { return true; }
    CaptureGeometry geometry() const override { return m_geometry; }
    bool start(DeliverFunction deliver) override
    {
        m_deliver = std::move(deliver);
        return true;
    }
    void stop() override {}
    QString lastError() const override { return {}; }
    void feed(const QByteArray &sample, qint64 captureNs)
    {
        m_deliver(CapturedSample{reinterpret_cast<const uchar *>(sample.constData()), sample.size(), captureNs, false});
    }

private:
    CaptureGeometry m_geometry;
    DeliverFunction m_deliver;
};

int intOption(const QStringList &args, const QString &name, int fallback)
{
    const int at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? std::max(1, args.at(at + 1).toInt()) : fallback;
}

} // namespace

// Counts the picture-sized requests of the whole process (Qt's arrays allocate through malloc
// too) and hands every request to glibc's own allocator.
extern "C" void *malloc(size_t size)
{
    const size_t threshold = g_countFromBytes.load(std::memory_order_relaxed);
    if (threshold > 0 && size >= threshold)
        g_bigAllocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int pictures = intOption(args, QStringLiteral("--pictures"), 1000);
    const int encoderHold = intOption(args, QStringLiteral("--encoder-hold"), 2);
    const int width = intOption(args, QStringLiteral("--width"), 1920);
    const int height = intOption(args, QStringLiteral("--height"), 1080);

    auto device = std::make_unique<FedDevice>(width, height);
    FedDevice *feeder = device.get();
    CameraCapture camera;
    if (!camera.start(std::move(device), QStringLiteral("bench"), CameraFormat{})) {
        std::fprintf(stderr, "camera did not start: %s\n", qPrintable(camera.lastError()));
        return 1;
    }
    const QByteArray sample(qsizetype(width) * height * 3, char(0x40));
    const qint64 frameNs = 1'000'000'000 / 30;
    const qint64 startNs = monotonicNowNs();

    VideoFrame pumpLast;
    std::deque<VideoFrame> encoderHeld;
    decltype(VideoFrame::pixels) preview;
    std::vector<TimedPicture> fresh;
    quint64 lastSequence = 0;
    auto runPictures = [&](int count, int firstIndex) {
        for (int i = 0; i < count; ++i) {
            const qint64 takenNs = startNs + qint64(firstIndex + i) * frameNs;
            feeder->feed(sample, takenNs);
            VideoFrame frame;
            frame.width = width;
            frame.height = height;
            camera.picturesAfter(lastSequence, fresh);
            if (!fresh.empty()) {
                frame.pixels = fresh.back().picture;
                lastSequence = fresh.back().sequence;
            }
            pumpLast = frame;
            encoderHeld.push_back(frame);
            if (int(encoderHeld.size()) > encoderHold)
                encoderHeld.pop_front();
            camera.latestFrame(preview);
        }
    };
    // The first pictures fill the history and the spares; count only the steady state.
    const int warmUp = 50;
    runPictures(warmUp, 0);
    g_countFromBytes.store(size_t(width) * height * 4);
    runPictures(pictures, warmUp);
    g_countFromBytes.store(0);
    camera.stop();

    const quint64 allocated = g_bigAllocations.load();
    const double perThousand = double(allocated) * 1000.0 / pictures;
    std::printf("pictures %d (%dx%d), encoder holding %d frames\n", pictures, width, height, encoderHold);
    std::printf("picture arrays allocated: %llu, %.1f per 1000 pictures\n",
                static_cast<unsigned long long>(allocated), perThousand);
    std::printf("ratio to one array per picture (no recycling): %.3f\n", perThousand / 1000.0);
    return 0;
}
