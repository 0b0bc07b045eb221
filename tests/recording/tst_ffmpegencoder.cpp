// FfmpegEncoder: the arithmetic a take's timing and framing depend on, and files read back
// with libavformat/libavcodec (never the writer's own word): codec, size, every frame and its
// time, key frames, fragments, timecode, colour, picture placement, rate control, the
// fall-back from hardware encoders, the same take in each container (MP4, MKV, MOV, TS), and
// the failures a take must survive (full disk, overflowing queue, a killed process).
// Longer than our other files: one executable per module, its cases sharing the encode and
// read-back helpers; each group is a data-driven function of its own.
#include "recording/EncoderGeometry.h"
#include "capture/PictureDecoder.h"
#include "recording/EncoderPictureConverter.h"
#include "recording/EncoderSetup.h"
#include "recording/FfmpegVideoCodec.h"
#include "recording/FfmpegEncoder.h"
#include "recording/FrameRate.h"
#include "recording/RecordingContainer.h"

#include "MediaReadback.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <functional>
#include <memory>
#include <numeric>
#include <thread>

#if defined(Q_OS_LINUX)
#include <csignal>
#include <sys/resource.h>
#endif

Q_DECLARE_METATYPE(RecordingContainer)
Q_DECLARE_METATYPE(PixelFormat)
Q_DECLARE_METATYPE(EncoderPictureConverter::Path)

namespace {

using PictureFunction = std::function<void(int x, int y, qint64 frameIndex, uchar *rgba)>;

QByteArray makePicture(int width, int height, qint64 frameIndex, const PictureFunction &pixel)
{
    QByteArray pixels(qsizetype(width) * height * 4, Qt::Uninitialized);
    auto *data = reinterpret_cast<uchar *>(pixels.data());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uchar *p = data + (qsizetype(y) * width + x) * 4;
            pixel(x, y, frameIndex, p);
            p[3] = 255;
        }
    }
    return pixels;
}

void setRgb(uchar *p, uchar r, uchar g, uchar b)
{
    p[0] = r;
    p[1] = g;
    p[2] = b;
}

// A moving gradient with a little texture: something for an encoder to predict.
void movingGradient(int x, int y, qint64 frameIndex, uchar *p)
{
    setRgb(p, uchar((x + 3 * frameIndex) & 0xff), uchar((y * 2 + frameIndex) & 0xff), uchar((x ^ y) & 0xff));
}

// Fresh noise every frame: the worst case for a rate controller.
void noise(int x, int y, qint64 frameIndex, uchar *p)
{
    quint32 s = quint32(x * 73856093) ^ quint32(y * 19349663) ^ quint32(frameIndex * 83492791) ^ 0x9e3779b9u;
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    setRgb(p, uchar(s), uchar(s >> 8), uchar(s >> 16));
}

VideoFrame frameOf(QByteArray pixels, int width, int height, qint64 frameIndex)
{
    VideoFrame frame;
    frame.pixels = std::move(pixels);
    frame.width = width;
    frame.height = height;
    frame.frameIndex = frameIndex;
    return frame;
}

EncoderConfig smallConfig(const QString &path, int width = 320, int height = 180, double fps = 30.0)
{
    EncoderConfig config;
    config.outputPath = path;
    config.width = width;
    config.height = height;
    config.frameRate = fps > 0.0 ? frameRateFraction(fps) : FrameRate{0, 1};
    config.targetBitrateKbps = 2000;
    return config;
}

// The pts each frame index must have in the file's time base.
qint64 expectedPts(qint64 frameIndex, FrameRate rate, AVRational timeBase)
{
    return av_rescale_q(frameIndex, AVRational{rate.denominator, rate.numerator}, timeBase);
}

// Writes `count` frames of `pixel` (fewer distinct pictures, shared like a repeating camera).
void writeFrames(IEncoder &encoder, int width, int height, qint64 first, qint64 count,
                 const PictureFunction &pixel)
{
    for (qint64 i = first; i < first + count; ++i) {
        encoder.writeFrame(frameOf(makePicture(width, height, i, pixel), width, height, i));
        // Keep within the queue: these tests are about content, not overflow.
        while (i - encoder.framesEncoded() - encoder.droppedFrames() > 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

struct Yuv
{
    int y, u, v;
};

// The textbook YUV of an 8-bit RGB colour: an independent check of the program's arithmetic.
Yuv yuvOf(int r, int g, int b, ColourMatrix matrix, bool isFullRange)
{
    const double kr = matrix == ColourMatrix::Bt709 ? 0.2126 : 0.299;
    const double kb = matrix == ColourMatrix::Bt709 ? 0.0722 : 0.114;
    const double y = (kr * r + (1 - kr - kb) * g + kb * b) / 255.0;
    const double cb = (b / 255.0 - y) / (2 * (1 - kb));
    const double cr = (r / 255.0 - y) / (2 * (1 - kr));
    const auto code = [](double value) { return int(std::clamp(std::lround(value), 0L, 255L)); };
    if (isFullRange)
        return {code(255 * y), code(128 + 255 * cb), code(128 + 255 * cr)};
    return {code(16 + 219 * y), code(128 + 224 * cb), code(128 + 224 * cr)};
}

// A picture in `format` whose left half is `left` and right half `right` (YUV code values,
// or for RGBA the colours red and green themselves).
Picture halvesPicture(PixelFormat format, int width, int height, PictureColour colour, Yuv left, Yuv right)
{
    QByteArray bytes(Picture::tightSize(format, width, height), Qt::Uninitialized);
    const Picture::Planes planes = Picture::tightLayout(format, width, height, reinterpret_cast<const uchar *>(bytes.constData()));
    auto *y = const_cast<uchar *>(planes.data[0]);
    for (int row = 0; row < height; ++row) {
        for (int x = 0; x < width; ++x) {
            const Yuv &c = x < width / 2 ? left : right;
            switch (format) {
            case PixelFormat::Rgba: {
                uchar *p = y + qsizetype(row) * planes.strides[0] + x * 4;
                const bool isLeft = x < width / 2;
                p[0] = isLeft ? 255 : 0;
                p[1] = isLeft ? 0 : 255;
                p[2] = 0;
                p[3] = 255;
                break;
            }
            case PixelFormat::Yuyv: {
                uchar *p = y + qsizetype(row) * planes.strides[0] + (x / 2) * 4;
                p[(x % 2) * 2] = uchar(c.y);
                p[1] = uchar(c.u);
                p[3] = uchar(c.v);
                break;
            }
            default:
                y[qsizetype(row) * planes.strides[0] + x] = uchar(c.y);
                const int chromaRow = format == PixelFormat::Yuv422p ? row : row / 2;
                if (format == PixelFormat::Nv12) {
                    uchar *uv = const_cast<uchar *>(planes.data[1]) + qsizetype(chromaRow) * planes.strides[1] + (x / 2) * 2;
                    uv[0] = uchar(c.u);
                    uv[1] = uchar(c.v);
                } else {
                    const_cast<uchar *>(planes.data[1])[qsizetype(chromaRow) * planes.strides[1] + x / 2] = uchar(c.u);
                    const_cast<uchar *>(planes.data[2])[qsizetype(chromaRow) * planes.strides[2] + x / 2] = uchar(c.v);
                }
                break;
            }
        }
    }
    return Picture::fromBytes(bytes, format, width, height, colour);
}

// Compressed pictures as a camera sends them, each of its own grey so a repeat shows: JPEGs,
// or an H.264 stream (Annex B, parameter sets before each key frame, a key frame every
// fourth picture) made by libx264 the way a webcam's encoder does.
std::vector<Picture> cameraStream(PixelFormat codec, int count, int width, int height)
{
    std::vector<Picture> pictures;
    FfmpegVideoCodec encoder;
    if (codec == PixelFormat::H264) {
        EncoderConfig config;
        config.width = width;
        config.height = height;
        config.keyframeIntervalSeconds = 1;
        config.frameRate = FrameRate{4, 1}; // a key frame every fourth picture
        config.bFrames = 0;
        QString error;
        if (!encoder.open(QStringLiteral("libx264"), config, QSize(width, height), false, &error))
            return {};
    }
    PacketPtr packet(av_packet_alloc());
    const auto drain = [&] {
        while (encoder.receivePacket(packet.get()) >= 0) {
            Picture picture = Picture::fromBytes(QByteArray(reinterpret_cast<const char *>(packet->data), packet->size),
                                                 PixelFormat::H264, width, height);
            picture.setKeyFrame(isH264KeyFrame(packet->data, packet->size));
            pictures.push_back(picture);
            av_packet_unref(packet.get());
        }
    };
    for (int i = 0; i < count; ++i) {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(QColor(40 + i * 20, 40 + i * 20, 40 + i * 20));
        if (codec == PixelFormat::Mjpeg) {
            QByteArray jpeg;
            QBuffer buffer(&jpeg);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "JPEG", 90);
            pictures.push_back(Picture::fromBytes(jpeg, PixelFormat::Mjpeg, width, height));
            continue;
        }
        const QByteArray rgba = makePicture(width, height, i, [i](int, int, qint64, uchar *p) { setRgb(p, uchar(40 + i * 20), uchar(40 + i * 20), uchar(40 + i * 20)); });
        encoder.sendPicture(VideoFrame{rgba, width, height, i});
        drain();
    }
    if (codec == PixelFormat::H264) {
        encoder.sendEndOfStream();
        drain();
    }
    return pictures;
}

// Y, U, V of a 4:2:0 or NV12 frame at a pixel.
Yuv yuvAt(const AVFrame *frame, int x, int y)
{
    const uchar *uvRow = frame->data[1] + qsizetype(y / 2) * frame->linesize[1];
    if (frame->format == AV_PIX_FMT_NV12)
        return {frame->data[0][qsizetype(y) * frame->linesize[0] + x], uvRow[(x / 2) * 2], uvRow[(x / 2) * 2 + 1]};
    return {frame->data[0][qsizetype(y) * frame->linesize[0] + x], uvRow[x / 2],
            frame->data[2][qsizetype(y / 2) * frame->linesize[2] + x / 2]};
}

constexpr const char *kCrashChildVariable = "VIREON_ENCODER_CRASH_CHILD";
constexpr const char *kCrashContainerVariable = "VIREON_ENCODER_CRASH_CONTAINER";

// The demuxer libavformat picks for a file, and the brand of an MP4/MOV file ("isom", "qt  ").
struct FileFormat
{
    QString demuxer;
    QString majorBrand;
};

FileFormat fileFormatOf(const QString &path)
{
    FileFormat result;
    AVFormatContext *format = nullptr;
    if (avformat_open_input(&format, path.toUtf8().constData(), nullptr, nullptr) < 0)
        return result;
    result.demuxer = QString::fromLatin1(format->iformat->name);
    if (const AVDictionaryEntry *brand = av_dict_get(format->metadata, "major_brand", nullptr, 0))
        result.majorBrand = QString::fromLatin1(brand->value);
    avformat_close_input(&format);
    return result;
}

// Matroska element ids of the segment's children this test looks for.
constexpr quint32 kMatroskaCluster = 0x1F43B675;
constexpr quint32 kMatroskaCues = 0x1C53BB6B;

// The ids of the top-level elements inside a Matroska file's segment, in file order. A
// segment of unknown size (a file cut off before its end was written) runs to the end of
// the file.
QList<quint32> matroskaSegmentChildren(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    const auto *d = reinterpret_cast<const uchar *>(bytes.constData());
    const qint64 size = bytes.size();
    // EBML variable-length numbers: the position of the first set bit gives the length.
    const auto readId = [&](qint64 &pos, quint32 &id) {
        if (pos >= size || d[pos] == 0)
            return false;
        int length = 1;
        while (!(d[pos] & (0x80 >> (length - 1))))
            ++length;
        if (length > 4 || pos + length > size)
            return false;
        id = 0;
        for (int i = 0; i < length; ++i)
            id = (id << 8) | d[pos + i];
        pos += length;
        return true;
    };
    const auto readSize = [&](qint64 &pos, qint64 &value, bool &unknown) {
        if (pos >= size || d[pos] == 0)
            return false;
        int length = 1;
        while (!(d[pos] & (0x80 >> (length - 1))))
            ++length;
        if (pos + length > size)
            return false;
        quint64 v = d[pos] & (0xFF >> length);
        bool allOnes = v == (0xFFu >> length);
        for (int i = 1; i < length; ++i) {
            v = (v << 8) | d[pos + i];
            allOnes = allOnes && d[pos + i] == 0xFF;
        }
        pos += length;
        unknown = allOnes;
        value = qint64(v);
        return true;
    };

    QList<quint32> children;
    qint64 pos = 0;
    quint32 id = 0;
    qint64 elementSize = 0;
    bool unknown = false;
    // The EBML header, then the segment.
    if (!readId(pos, id) || id != 0x1A45DFA3 || !readSize(pos, elementSize, unknown))
        return {};
    pos += elementSize;
    if (!readId(pos, id) || id != 0x18538067 || !readSize(pos, elementSize, unknown))
        return {};
    const qint64 end = unknown ? size : std::min(size, pos + elementSize);
    while (pos < end && readId(pos, id) && readSize(pos, elementSize, unknown)) {
        children.append(id);
        if (unknown)
            break;
        pos += elementSize;
    }
    return children;
}

QString containerTag(RecordingContainer container)
{
    return containerExtension(container).mid(1);
}

} // namespace

class TestFfmpegEncoder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void frameRateFraction_data();
    void frameRateFraction();
    void gopLength_data();
    void gopLength();
    void letterboxGeometry_data();
    void letterboxGeometry();

    void roundTrip_data();
    void roundTrip();
    void keyFramesBFramesAndFragments_data();
    void keyFramesBFramesAndFragments();
    void colourDescription_data();
    void colourDescription();
    void pictureIsUprightAndLetterboxed_data();
    void pictureIsUprightAndLetterboxed();
    void cameraPicturesAreConvertedAtMostOnce_data();
    void cameraPicturesAreConvertedAtMostOnce();
    void cameraStreamIsWrittenAsItComes_data();
    void cameraStreamIsWrittenAsItComes();
    void rateControl_data();
    void rateControl();
    void settingsReachTheStream_data();
    void settingsReachTheStream();
    void hardwareEncodersAreToldTheSettings_data();
    void hardwareEncodersAreToldTheSettings();
    void setBitrateDuringTake();

    void framesQueuedBeforeStopAreEncoded_data();
    void framesQueuedBeforeStopAreEncoded();
    void unusablePicturesAreDroppedAndCounted();
    void queueOverflowDropsAndCounts();
    void openFailures_data();
    void openFailures();
    void relativePathThatLooksLikeAUrl();
    void fullDiskBecomesState();
    void containerRoundTrip_data();
    void containerRoundTrip();
    void killedProcessLeavesPlayableFile_data();
    void killedProcessLeavesPlayableFile();
    void encoderProbe_data();
    void encoderProbe();

private:
    QTemporaryDir m_dir;
};

void TestFfmpegEncoder::initTestCase()
{
    QVERIFY(m_dir.isValid());
    av_log_set_level(AV_LOG_ERROR);
}

void TestFfmpegEncoder::frameRateFraction_data()
{
    QTest::addColumn<double>("fps");
    QTest::addColumn<int>("numerator");
    QTest::addColumn<int>("denominator");
    QTest::newRow("29.97") << 29.97 << 30000 << 1001;
    QTest::newRow("30") << 30.0 << 30 << 1;
    QTest::newRow("24") << 24.0 << 24 << 1;
    QTest::newRow("23.976") << 23.976 << 24000 << 1001;
    QTest::newRow("59.94") << 59.94 << 60000 << 1001;
    QTest::newRow("100") << 100.0 << 100000 << 1000;
    QTest::newRow("29.97 as computed") << 30000.0 / 1001.0 << 30000 << 1001;
    QTest::newRow("29.99 nearer 30") << 29.99 << 30 << 1;
    QTest::newRow("29.98 nearer 29.97") << 29.98 << 30000 << 1001;
    QTest::newRow("0.05 off is not a match") << 25.05 << 25050 << 1000;
    QTest::newRow("12.5") << 12.5 << 12500 << 1000;
    QTest::newRow("119.99") << 119.99 << 120 << 1;
    QTest::newRow("zero") << 0.0 << 30 << 1;
    QTest::newRow("negative") << -25.0 << 30 << 1;
}

void TestFfmpegEncoder::frameRateFraction()
{
    QFETCH(double, fps);
    QFETCH(int, numerator);
    QFETCH(int, denominator);
    const FrameRate rate = ::frameRateFraction(fps);
    QCOMPARE(rate.numerator, numerator);
    QCOMPARE(rate.denominator, denominator);
}

void TestFfmpegEncoder::gopLength_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<double>("fps");
    QTest::addColumn<int>("frames");
    QTest::newRow("2 s at 30") << 2 << 30.0 << 60;
    QTest::newRow("2 s at 29.97 truncates") << 2 << 29.97 << 59;
    QTest::newRow("1 s at 25") << 1 << 25.0 << 25;
    QTest::newRow("10 s at 59.94") << 10 << 59.94 << 599;
    QTest::newRow("0 s: every frame a key frame") << 0 << 30.0 << 1;
}

void TestFfmpegEncoder::gopLength()
{
    QFETCH(int, seconds);
    QFETCH(double, fps);
    QFETCH(int, frames);
    QCOMPARE(gopLengthFrames(seconds, fps), frames);
}

void TestFfmpegEncoder::letterboxGeometry_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("encoded");
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<QRect>("aligned");
    QTest::newRow("640x480 in 1080p: bars left and right")
        << QSize(640, 480) << QSize(1920, 1080) << QRect(240, 0, 1440, 1080) << QRect(240, 0, 1440, 1080);
    QTest::newRow("720p in 1080p fills it")
        << QSize(1280, 720) << QSize(1920, 1080) << QRect(0, 0, 1920, 1080) << QRect(0, 0, 1920, 1080);
    QTest::newRow("same size")
        << QSize(1920, 1080) << QSize(1920, 1080) << QRect(0, 0, 1920, 1080) << QRect(0, 0, 1920, 1080);
    QTest::newRow("16:10 in 16:9: shrinks, bars left and right")
        << QSize(1920, 1200) << QSize(1920, 1080) << QRect(96, 0, 1728, 1080) << QRect(96, 0, 1728, 1080);
    QTest::newRow("portrait: odd width and offset")
        << QSize(1080, 1920) << QSize(1920, 1080) << QRect(656, 0, 607, 1080) << QRect(656, 0, 608, 1080);
    QTest::newRow("21:9 in 16:9: bars top and bottom, odd offset")
        << QSize(2560, 1080) << QSize(1920, 1080) << QRect(0, 135, 1920, 810) << QRect(0, 134, 1920, 812);
    QTest::newRow("empty picture") << QSize(0, 0) << QSize(1920, 1080) << QRect() << QRect();
    QTest::newRow("a line too thin to show")
        << QSize(4000, 1) << QSize(320, 180) << QRect() << QRect();
}

void TestFfmpegEncoder::letterboxGeometry()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, encoded);
    QFETCH(QRect, rect);
    QFETCH(QRect, aligned);
    const QRect computed = letterboxRect(picture, encoded);
    QCOMPARE(computed, rect);
    const QRect even = chromaAlignedRect(computed);
    QCOMPARE(even, aligned);
    if (!even.isEmpty()) {
        QVERIFY(QRect(QPoint(0, 0), encoded).contains(even));
        QCOMPARE(even.left() % 2 + even.top() % 2 + even.width() % 2 + even.height() % 2, 0);
    }
}

void TestFfmpegEncoder::roundTrip_data()
{
    QTest::addColumn<QString>("encoderName");
    QTest::addColumn<bool>("useHevc");
    QTest::addColumn<double>("fps");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("expectedCodec");
    QTest::addColumn<QString>("expectedEncoder");
    QTest::newRow("H.264 by default") << QString() << false << 30.0 << 90 << int(AV_CODEC_ID_H264) << "libx264";
    QTest::newRow("HEVC by default, 25 fps") << QString() << true << 25.0 << 60 << int(AV_CODEC_ID_HEVC) << "libx265";
    QTest::newRow("libx264 at 29.97") << "libx264" << false << 29.97 << 75 << int(AV_CODEC_ID_H264) << "libx264";
    QTest::newRow("libx265 named, useHevc ignored") << "libx265" << false << 59.94 << 60 << int(AV_CODEC_ID_HEVC) << "libx265";
    // Without the hardware these fall back to software of the same codec.
    QTest::newRow("h264_nvenc") << "h264_nvenc" << false << 30.0 << 30 << int(AV_CODEC_ID_H264) << "libx264";
    QTest::newRow("hevc_vaapi") << "hevc_vaapi" << false << 30.0 << 30 << int(AV_CODEC_ID_HEVC) << "libx265";
    QTest::newRow("h264_qsv") << "h264_qsv" << true << 30.0 << 30 << int(AV_CODEC_ID_H264) << "libx264";
    QTest::newRow("unknown name: useHevc decides") << "no_such_encoder" << true << 30.0 << 30 << int(AV_CODEC_ID_HEVC) << "libx265";
}

void TestFfmpegEncoder::roundTrip()
{
    QFETCH(QString, encoderName);
    QFETCH(bool, useHevc);
    QFETCH(double, fps);
    QFETCH(int, frames);
    QFETCH(int, expectedCodec);
    QFETCH(QString, expectedEncoder);
    if (encoderName.contains('_') && FfmpegEncoder::isEncoderUsable(encoderName))
        expectedEncoder = encoderName; // this machine has the hardware

    const QString path = m_dir.filePath(QStringLiteral("roundtrip_%1.mp4").arg(QTest::currentDataTag()).replace(' ', '_'));
    FfmpegEncoder encoder;
    EncoderConfig config = smallConfig(path, 320, 180, fps);
    config.encoderName = encoderName;
    config.useHevc = useHevc;
    config.startTimecode = QStringLiteral("01:02:03:15");
    QVERIFY2(encoder.open(config), qPrintable(encoder.lastError()));
    QCOMPARE(encoder.encoderName(), expectedEncoder);
    writeFrames(encoder, 320, 180, 0, frames, movingGradient);
    QVERIFY(encoder.stop());
    QCOMPARE(encoder.framesEncoded(), qint64(frames));
    QCOMPARE(encoder.droppedFrames(), qint64(0));
    QCOMPARE(encoder.bytesWritten(), QFileInfo(path).size());
    QCOMPARE(encoder.lastError(), QString());
    QVERIFY(!encoder.hasFailed());

    const Readback r = readBack(path, true);
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QCOMPARE(int(r.codec), expectedCodec);
    QCOMPARE(r.width, 320);
    QCOMPARE(r.height, 180);
    QCOMPARE(r.pts.size(), frames);
    QCOMPARE(r.decodedFrames, frames);
    QCOMPARE(r.decodeErrors, 0);
    // Frame i is shown at exactly i frame durations of the exact rate: the first at 0.
    const FrameRate rate = ::frameRateFraction(fps);
    for (int i = 0; i < frames; ++i)
        QCOMPARE(r.pts.at(i), expectedPts(i, rate, r.timeBase));
    if (fps == 25.0) {
        QCOMPARE(r.pts.at(50) * r.timeBase.num, 2 * qint64(r.timeBase.den)); // frame 50 at 2.0 s
    }
    // The take's timecode, both as the video track's tag and as a timecode track.
    QVERIFY(r.hasTimecodeTrack);
    QCOMPARE(r.videoTimecode, QStringLiteral("01:02:03:15"));
    const QStringList boxes = topLevelBoxes(path);
    QVERIFY2(boxes.contains("moof"), qPrintable(boxes.join(',')));
}

void TestFfmpegEncoder::keyFramesBFramesAndFragments_data()
{
    QTest::addColumn<double>("fps");
    QTest::addColumn<int>("keyframeSeconds");
    QTest::addColumn<int>("bFrames");
    QTest::addColumn<int>("gop");
    QTest::newRow("30 fps, 2 s, 2 B") << 30.0 << 2 << 2 << 60;
    QTest::newRow("29.97, 2 s, no B: 59") << 29.97 << 2 << 0 << 59;
    QTest::newRow("25 fps, 1 s, 3 B") << 25.0 << 1 << 3 << 25;
    QTest::newRow("30 fps, 10 s: fragments still every 2 s") << 30.0 << 10 << 2 << 300;
}

void TestFfmpegEncoder::keyFramesBFramesAndFragments()
{
    QFETCH(double, fps);
    QFETCH(int, keyframeSeconds);
    QFETCH(int, bFrames);
    QFETCH(int, gop);
    const QString path = m_dir.filePath(QStringLiteral("gop_%1.mp4").arg(QTest::currentDataTag()).replace(' ', '_'));
    const int seconds = 7;
    const int frames = int(seconds * fps);
    FfmpegEncoder encoder;
    EncoderConfig config = smallConfig(path, 192, 108, fps);
    config.keyframeIntervalSeconds = keyframeSeconds;
    config.bFrames = bFrames;
    QVERIFY(encoder.open(config));
    writeFrames(encoder, 192, 108, 0, frames, movingGradient);
    QVERIFY(encoder.stop());

    const Readback r = readBack(path, true);
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QCOMPARE(r.pts.size(), frames);
    const FrameRate rate = ::frameRateFraction(fps);
    QList<qint64> expectedKeys;
    for (int i = 0; i < frames; i += gop)
        expectedKeys.append(expectedPts(i, rate, r.timeBase));
    QCOMPARE(r.keyframePts, expectedKeys);
    QCOMPARE(r.pictureTypes.size(), frames);
    QCOMPARE(r.pictureTypes.contains('B'), bFrames > 0);
    // A crash loses at most two seconds: a fragment at least that often, whatever the GOP.
    const QStringList boxes = topLevelBoxes(path);
    QVERIFY2(boxes.count("moof") >= (seconds + 1) / 2, qPrintable(boxes.join(',')));
    QCOMPARE(boxes.first(), QStringLiteral("ftyp"));
    QCOMPARE(boxes.at(1), QStringLiteral("moov"));
}

void TestFfmpegEncoder::colourDescription_data()
{
    QTest::addColumn<QString>("colorSpace");
    QTest::addColumn<bool>("fullRange");
    QTest::addColumn<int>("primaries");
    QTest::addColumn<int>("transfer");
    QTest::addColumn<int>("matrix");
    QTest::addColumn<int>("range");
    // Y of pure red: 16 + 219 × Kr of the matrix the tags name (limited), 255 × Kr (full).
    QTest::addColumn<int>("redLuma");
    QTest::newRow("Rec.709") << "Rec.709 (SDR Standard)" << false << int(AVCOL_PRI_BT709) << int(AVCOL_TRC_BT709)
                             << int(AVCOL_SPC_BT709) << int(AVCOL_RANGE_MPEG) << 63;
    QTest::newRow("Rec.709, full range") << "Rec.709" << true << int(AVCOL_PRI_BT709) << int(AVCOL_TRC_BT709)
                                         << int(AVCOL_SPC_BT709) << int(AVCOL_RANGE_JPEG) << 54;
    QTest::newRow("Rec.601") << "Rec.601" << false << int(AVCOL_PRI_SMPTE170M) << int(AVCOL_TRC_SMPTE170M)
                             << int(AVCOL_SPC_SMPTE170M) << int(AVCOL_RANGE_MPEG) << 81;
    QTest::newRow("Rec.2020") << "Rec.2020 (HDR)" << false << int(AVCOL_PRI_BT2020) << int(AVCOL_TRC_BT2020_10)
                              << int(AVCOL_SPC_BT2020_NCL) << int(AVCOL_RANGE_MPEG) << 74;
    QTest::newRow("Rec.2020, full range") << "Rec.2020" << true << int(AVCOL_PRI_BT2020) << int(AVCOL_TRC_BT2020_10)
                                          << int(AVCOL_SPC_BT2020_NCL) << int(AVCOL_RANGE_JPEG) << 67;
    QTest::newRow("sRGB") << "sRGB" << false << int(AVCOL_PRI_BT709) << int(AVCOL_TRC_IEC61966_2_1)
                          << int(AVCOL_SPC_BT709) << int(AVCOL_RANGE_MPEG) << 63;
    // Unlabelled streams are read as BT.601, so that is what an unknown name gets.
    QTest::newRow("unknown name") << "Rec.1234" << false << int(AVCOL_PRI_UNSPECIFIED) << int(AVCOL_TRC_UNSPECIFIED)
                                  << int(AVCOL_SPC_UNSPECIFIED) << int(AVCOL_RANGE_UNSPECIFIED) << 81;
}

void TestFfmpegEncoder::colourDescription()
{
    QFETCH(QString, colorSpace);
    QFETCH(bool, fullRange);
    QFETCH(int, primaries);
    QFETCH(int, transfer);
    QFETCH(int, matrix);
    QFETCH(int, range);
    QFETCH(int, redLuma);
    const QString path = m_dir.filePath(QStringLiteral("colour_%1.mp4").arg(QTest::currentDataTag()));
    FfmpegEncoder encoder;
    EncoderConfig config = smallConfig(path, 128, 72);
    config.colorSpace = colorSpace;
    config.fullRange = fullRange;
    config.rateControl = 2;
    config.quality = 5;
    QVERIFY(encoder.open(config));
    writeFrames(encoder, 128, 72, 0, 5, [](int, int, qint64, uchar *p) { setRgb(p, 255, 0, 0); });
    QVERIFY(encoder.stop());

    const Readback r = readBack(path, true);
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QCOMPARE(int(r.primaries), primaries);
    QCOMPARE(int(r.transfer), transfer);
    QCOMPARE(int(r.matrix), matrix);
    QCOMPARE(int(r.range), range);
    QVERIFY(!r.lastLuma.isEmpty());
    const int luma = r.lumaAt(64, 36);
    QVERIFY2(qAbs(luma - redLuma) <= 2, qPrintable(QStringLiteral("Y of red %1, expected %2").arg(luma).arg(redLuma)));
}

void TestFfmpegEncoder::pictureIsUprightAndLetterboxed_data()
{
    QTest::addColumn<QSize>("encoded");
    QTest::addColumn<QSize>("picture");
    QTest::newRow("same size") << QSize(320, 180) << QSize(320, 180);
    QTest::newRow("4:3 into 16:9") << QSize(320, 180) << QSize(160, 120);
    QTest::newRow("larger picture, scaled down") << QSize(320, 180) << QSize(640, 360);
    QTest::newRow("portrait") << QSize(320, 180) << QSize(180, 320);
    QTest::newRow("wide: bars top and bottom") << QSize(320, 180) << QSize(640, 200);
    QTest::newRow("odd encoder size is made even") << QSize(321, 181) << QSize(321, 181);
}

void TestFfmpegEncoder::pictureIsUprightAndLetterboxed()
{
    QFETCH(QSize, encoded);
    QFETCH(QSize, picture);
    const QString path = m_dir.filePath(QStringLiteral("picture_%1.mp4").arg(QTest::currentDataTag()).replace(' ', '_'));
    FfmpegEncoder encoder;
    EncoderConfig config = smallConfig(path, encoded.width(), encoded.height());
    config.rateControl = 2;
    config.quality = 5;
    QVERIFY(encoder.open(config));
    // Upper half white, lower half mid grey: a flipped picture swaps them.
    const int half = picture.height() / 2;
    writeFrames(encoder, picture.width(), picture.height(), 0, 5, [half](int, int y, qint64, uchar *p) {
        const uchar v = y < half ? 255 : 128;
        setRgb(p, v, v, v);
    });
    QVERIFY(encoder.stop());

    const Readback r = readBack(path, true);
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    const QSize even = evenEncodedSize(encoded);
    QCOMPARE(QSize(r.width, r.height), even);
    const QRect rect = letterboxRect(picture, even);
    const auto near = [&](int x, int y, int expected) {
        const int luma = r.lumaAt(x, y);
        if (qAbs(luma - expected) <= 4)
            return true;
        qWarning("Y(%d,%d) = %d, expected %d", x, y, luma, expected);
        return false;
    };
    const int cx = rect.center().x();
    QVERIFY(near(cx, rect.top() + rect.height() / 4, 235));       // white, on top
    QVERIFY(near(cx, rect.top() + rect.height() * 3 / 4, 126));   // grey, below
    QVERIFY(near(rect.left() + 2, rect.top() + 4, 235));          // the picture reaches its edges
    QVERIFY(near(rect.right() - 2, rect.bottom() - 4, 126));
    if (rect.left() >= 4) {                                        // black bars
        QVERIFY(near(rect.left() / 2, even.height() / 2, 16));
        QVERIFY(near(rect.right() + (even.width() - rect.right()) / 2, even.height() / 2, 16));
    }
    if (rect.top() >= 4) {
        QVERIFY(near(even.width() / 2, rect.top() / 2, 16));
        QVERIFY(near(even.width() / 2, rect.bottom() + (even.height() - rect.bottom()) / 2, 16));
    }
}

void TestFfmpegEncoder::cameraPicturesAreConvertedAtMostOnce_data()
{
    QTest::addColumn<PixelFormat>("format");
    QTest::addColumn<int>("matrix"); // ColourMatrix
    QTest::addColumn<bool>("isFullRange");
    QTest::addColumn<QSize>("size");  // of the picture; the encoder's frames are 64 x 32
    QTest::addColumn<bool>("isNv12Target");
    QTest::addColumn<EncoderPictureConverter::Path>("path");
    QTest::addColumn<int>("tolerance");

    using Path = EncoderPictureConverter::Path;
    const int bt601 = int(ColourMatrix::Bt601);
    const int bt709 = int(ColourMatrix::Bt709);
    const QSize same(64, 32);
    // Already what the encoder takes: sent as it is.
    QTest::newRow("I420 BT.709: taken as it is") << PixelFormat::Yuv420p << bt709 << false << same << false << Path::Wrapped << 0;
    QTest::newRow("NV12 BT.709 to a GPU upload: as it is") << PixelFormat::Nv12 << bt709 << false << same << true << Path::Wrapped << 0;
    // Another layout, matrix or range: one pass.
    QTest::newRow("I420 BT.601: matrix changed") << PixelFormat::Yuv420p << bt601 << false << same << false << Path::Yuv << 2;
    QTest::newRow("NV12 BT.601") << PixelFormat::Nv12 << bt601 << false << same << false << Path::Yuv << 2;
    QTest::newRow("MJPEG webcam's 4:2:2 BT.601 full range") << PixelFormat::Yuv422p << bt601 << true << same << false << Path::Yuv << 2;
    QTest::newRow("YUYV BT.601") << PixelFormat::Yuyv << bt601 << false << same << false << Path::Yuv << 2;
    QTest::newRow("YUYV BT.709 to NV12") << PixelFormat::Yuyv << bt709 << false << same << true << Path::Yuv << 2;
    // RGB, and pictures of another size: libswscale, once.
    QTest::newRow("RGBA") << PixelFormat::Rgba << bt709 << true << same << false << Path::Scaled << 3;
    QTest::newRow("4:2:2 BT.601 full range at half size") << PixelFormat::Yuv422p << bt601 << true << QSize(32, 16) << false
                                                           << Path::Scaled << 3;
}

void TestFfmpegEncoder::cameraPicturesAreConvertedAtMostOnce()
{
    QFETCH(PixelFormat, format);
    QFETCH(int, matrix);
    QFETCH(bool, isFullRange);
    QFETCH(QSize, size);
    QFETCH(bool, isNv12Target);
    QFETCH(EncoderPictureConverter::Path, path);
    QFETCH(int, tolerance);

    const PictureColour source{ColourMatrix(matrix), isFullRange};
    const Picture picture = halvesPicture(format, size.width(), size.height(), source,
                                          yuvOf(255, 0, 0, source.matrix, isFullRange), yuvOf(0, 255, 0, source.matrix, isFullRange));
    EncoderPictureConverter converter;
    const AVPixelFormat target = isNv12Target ? AV_PIX_FMT_NV12 : AV_PIX_FMT_YUV420P;
    PictureDestination destination;
    destination.size = QSize(64, 32);
    destination.format = target;
    destination.swsColorspace = SWS_CS_ITU709;
    converter.setTarget(destination);
    FramePtr frame(av_frame_alloc());
    frame->format = target;
    frame->width = 64;
    frame->height = 32;
    QCOMPARE(av_frame_get_buffer(frame.get(), 0), 0);
    FramePtr wrapped;
    AVFrame *toSend = nullptr;
    QCOMPARE(converter.prepare(picture, frame.get(), &wrapped, &toSend), 0);
    QCOMPARE(converter.lastPath(), path);
    if (path == EncoderPictureConverter::Path::Wrapped)
        QCOMPARE(toSend->data[0], picture.plane(0)); // not one pixel copied

    // The colours as BT.709 limited range, whatever the camera's own were.
    for (const auto &[x, expected] : {std::pair{16, yuvOf(255, 0, 0, ColourMatrix::Bt709, false)},
                                      std::pair{48, yuvOf(0, 255, 0, ColourMatrix::Bt709, false)}}) {
        const Yuv got = yuvAt(toSend, x, 16);
        QVERIFY2(std::abs(got.y - expected.y) <= tolerance && std::abs(got.u - expected.u) <= tolerance
                     && std::abs(got.v - expected.v) <= tolerance,
                 qPrintable(QStringLiteral("at x %1: %2 %3 %4, expected %5 %6 %7").arg(x).arg(got.y).arg(got.u).arg(got.v)
                                .arg(expected.y).arg(expected.u).arg(expected.v)));
    }

    // Through the encoder into a file labelled BT.709, read back by a decoder.
    if (format != PixelFormat::Yuv422p || size != QSize(64, 32))
        return;
    const QString file = m_dir.filePath(QStringLiteral("webcam_colour.mp4"));
    FfmpegEncoder encoder;
    EncoderConfig config = smallConfig(file, 64, 32);
    config.rateControl = 2;
    config.quality = 5;
    QVERIFY(encoder.open(config));
    for (int i = 0; i < 3; ++i)
        encoder.writeFrame(VideoFrame{picture, 64, 32, i});
    QVERIFY(encoder.stop());
    const Readback r = readBack(file, true);
    QCOMPARE(int(r.matrix), int(AVCOL_SPC_BT709));
    QVERIFY2(std::abs(r.lumaAt(16, 16) - 63) <= 3, qPrintable(QString::number(r.lumaAt(16, 16))));
}

void TestFfmpegEncoder::cameraStreamIsWrittenAsItComes_data()
{
    QTest::addColumn<PixelFormat>("codec");
    QTest::addColumn<RecordingContainer>("container");
    QTest::addColumn<QList<int>>("pictureOfSlot"); // which picture each frame index gets, -1 none
    QTest::addColumn<int>("endFrame");

    // MJPEG: a repeated slot repeats the picture's packet (slots 3 and 4 repeat picture 2).
    const QList<int> mjpegSlots{0, 1, 2, 2, 2, 3, 4, 5};
    QTest::newRow("MJPEG into Matroska") << PixelFormat::Mjpeg << RecordingContainer::Mkv << mjpegSlots << 8;
    QTest::newRow("MJPEG into MOV") << PixelFormat::Mjpeg << RecordingContainer::Mov << mjpegSlots << 8;
    // H.264: every picture once, at its slot; slots 3 and 4 got none (the picture before
    // lasts), and the last one lasts to the take's end.
    const QList<int> h264Slots{0, 1, 2, -1, -1, 3, 4, 5};
    QTest::newRow("H.264 into MP4") << PixelFormat::H264 << RecordingContainer::Mp4 << h264Slots << 10;
    QTest::newRow("H.264 into MPEG-TS") << PixelFormat::H264 << RecordingContainer::Ts << h264Slots << 10;
}

void TestFfmpegEncoder::cameraStreamIsWrittenAsItComes()
{
    QFETCH(PixelFormat, codec);
    QFETCH(RecordingContainer, container);
    QFETCH(QList<int>, pictureOfSlot);
    QFETCH(int, endFrame);

    const std::vector<Picture> pictures = cameraStream(codec, 6, 160, 96);
    QCOMPARE(int(pictures.size()), 6);
    const QString path = m_dir.filePath(QStringLiteral("stream_%1%2").arg(QTest::currentDataTag()).replace(' ', '_')
                                        + containerExtension(container));
    EncoderConfig config = smallConfig(path, 160, 96);
    config.container = container;
    config.cameraStream = codec;
    config.startTimecode = QStringLiteral("10:00:00:00");
    FfmpegEncoder encoder;
    QVERIFY2(encoder.open(config), qPrintable(encoder.lastError()));
    QCOMPARE(encoder.needsEveryPicture(), codec == PixelFormat::H264);
    QList<qint64> sizes; // the packets the file must hold, byte for byte as the camera sent them
    for (int slot = 0; slot < pictureOfSlot.size(); ++slot) {
        if (pictureOfSlot[slot] < 0)
            continue;
        const Picture &picture = pictures[size_t(pictureOfSlot[slot])];
        encoder.writeFrame(VideoFrame{picture, 160, 96, slot});
        sizes.append(picture.size());
    }
    encoder.setEndFrame(endFrame);
    QVERIFY(encoder.stop());
    QCOMPARE(encoder.droppedFrames(), qint64(0));

    const Readback r = readBack(path, true);
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QCOMPARE(r.codec, codec == PixelFormat::H264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_MJPEG);
    QCOMPARE(QSize(r.width, r.height), QSize(160, 96));
    QCOMPARE(r.decodeErrors, 0);
    QCOMPARE(r.decodedFrames, int(sizes.size()));
    // Not decoded, not encoded: the camera's bytes (in MP4 an H.264 picture's start codes
    // become four-byte lengths, a byte more for each three-byte code).
    QCOMPARE(r.packetBytes.size(), sizes.size());
    for (qsizetype i = 0; i < sizes.size() && container != RecordingContainer::Ts; ++i)
        QVERIFY2(r.packetBytes[i] >= sizes[i] && r.packetBytes[i] <= sizes[i] + 4, qPrintable(QString::number(i)));
    QList<qint64> frameSlots;
    for (qint64 pts : r.pts)
        frameSlots.append(av_rescale_q(pts, r.timeBase, AVRational{1, 30}) - av_rescale_q(r.pts.first(), r.timeBase, AVRational{1, 30}));
    QList<qint64> expectedSlots;
    for (int slot = 0; slot < pictureOfSlot.size(); ++slot) {
        if (pictureOfSlot[slot] >= 0)
            expectedSlots.append(slot);
    }
    QCOMPARE(frameSlots, expectedSlots);
    const MediaProbe probe = probeMedia(path);
    // The last H.264 picture lasts to the take's end (MPEG-TS keeps no durations).
    if (codec == PixelFormat::H264 && container != RecordingContainer::Ts)
        QVERIFY2(std::abs(probe.durationSeconds - endFrame / 30.0) < 0.02, qPrintable(QString::number(probe.durationSeconds)));
    if (container != RecordingContainer::Ts)
        QCOMPARE(probe.timecode, QStringLiteral("10:00:00:00"));
}

void TestFfmpegEncoder::rateControl_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("targetKbps");
    QTest::addColumn<int>("maxKbps");
    QTest::addColumn<int>("quality");
    QTest::addColumn<int>("minKbps");
    QTest::addColumn<int>("maxAllowedKbps");
    QTest::newRow("constant bitrate") << 0 << 800 << 12000 << 20 << 600 << 1000;
    QTest::newRow("variable, peak above target") << 1 << 800 << 1200 << 20 << 500 << 1300;
    QTest::newRow("variable, peak below target is raised") << 1 << 800 << 100 << 20 << 500 << 1300;
    QTest::newRow("quality, coarse: no bitrate applies") << 2 << 800 << 1200 << 45 << 0 << 1500;
    QTest::newRow("quality, fine: no bitrate applies") << 2 << 800 << 1200 << 5 << 3000 << 1000000;
}

void TestFfmpegEncoder::rateControl()
{
    QFETCH(int, mode);
    QFETCH(int, targetKbps);
    QFETCH(int, maxKbps);
    QFETCH(int, quality);
    QFETCH(int, minKbps);
    QFETCH(int, maxAllowedKbps);
    const QString path = m_dir.filePath(QStringLiteral("rate_%1.mp4").arg(QTest::currentDataTag()).replace(' ', '_'));
    FfmpegEncoder encoder;
    EncoderConfig config = smallConfig(path, 320, 180);
    config.rateControl = mode;
    config.targetBitrateKbps = targetKbps;
    config.maxBitrateKbps = maxKbps;
    config.quality = quality;
    config.keyframeIntervalSeconds = 1;
    QVERIFY(encoder.open(config));
    const int frames = 120;
    writeFrames(encoder, 320, 180, 0, frames, noise);
    QVERIFY(encoder.stop());

    const Readback r = readBack(path);
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QCOMPARE(r.pts.size(), frames);
    const qint64 kbps = r.totalPacketBytes * 8 * 30 / frames / 1000;
    QVERIFY2(kbps >= minKbps && kbps <= maxAllowedKbps, qPrintable(QStringLiteral("%1 kbit/s").arg(kbps)));
}

void TestFfmpegEncoder::settingsReachTheStream_data()
{
    QTest::addColumn<QString>("encoderName");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("profile");
    QTest::addColumn<bool>("lookahead");
    // What x264/x265 say they encoded with (their settings line in the stream) and the
    // profile the stream declares.
    QTest::addColumn<QStringList>("options"); // "key=value" as the encoder writes them
    QTest::addColumn<int>("streamProfile");
    QTest::addColumn<QString>("note"); // part of the one note expected; empty: none
    QTest::newRow("x264 CBR High") << "libx264" << 0 << "High" << false
                                   << QStringList{"rc=cbr", "bitrate=800", "vbv_maxrate=800", "rc_lookahead=0", "bframes=2"}
                                   << int(FF_PROFILE_H264_HIGH) << QString();
    QTest::newRow("x264 VBR Main, look-ahead") << "libx264" << 1 << "Main" << true
                                               << QStringList{"rc=abr", "bitrate=800", "vbv_maxrate=1200", "rc_lookahead=20"}
                                               << int(FF_PROFILE_H264_MAIN) << QString();
    QTest::newRow("x264 CQP Baseline") << "libx264" << 2 << "Baseline" << false
                                       << QStringList{"rc=cqp", "qp=23", "bframes=0", "cabac=0"}
                                       << int(FF_PROFILE_H264_CONSTRAINED_BASELINE) << "no B-frames";
    QTest::newRow("x264 lossless") << "libx264" << 3 << "High" << false << QStringList{"rc=cqp", "qp=0"}
                                   << int(FF_PROFILE_H264_HIGH_444_PREDICTIVE) << "High 4:4:4 Predictive";
    QTest::newRow("x265 CQP asked High") << "libx265" << 2 << "High" << false << QStringList{"rc=cqp", "qp=23"}
                                         << int(FF_PROFILE_HEVC_MAIN) << "no High profile";
    QTest::newRow("x265 CBR, look-ahead") << "libx265" << 0 << "Main" << true
                                          << QStringList{"rc=cbr", "bitrate=800", "vbv-maxrate=800", "rc-lookahead=20", "strict-cbr"}
                                          << int(FF_PROFILE_HEVC_MAIN) << QString();
    QTest::newRow("x265 lossless") << "libx265" << 3 << "Main" << false << QStringList{"lossless"}
                                   << int(FF_PROFILE_HEVC_MAIN) << QString();
}

void TestFfmpegEncoder::settingsReachTheStream()
{
    QFETCH(QString, encoderName);
    QFETCH(int, mode);
    QFETCH(QString, profile);
    QFETCH(bool, lookahead);
    QFETCH(QStringList, options);
    QFETCH(int, streamProfile);
    QFETCH(QString, note);
    const QString path = m_dir.filePath(QStringLiteral("settings_%1.mp4").arg(QTest::currentDataTag()).replace(' ', '_'));
    FfmpegEncoder encoder;
    EncoderConfig config = smallConfig(path, 192, 108);
    config.encoderName = encoderName;
    config.rateControl = mode;
    config.targetBitrateKbps = 800;
    config.maxBitrateKbps = 1200;
    config.quality = 23;
    config.profile = profile;
    config.lookahead = lookahead;
    QVERIFY(encoder.open(config));
    writeFrames(encoder, 192, 108, 0, 30, movingGradient);
    QVERIFY(encoder.stop());

    const Readback r = readBack(path);
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QCOMPARE(r.profile, streamProfile);
    for (const QString &option : options) {
        const QStringList pair = option.split(u'=');
        const QString value = r.encoderOption(pair.first());
        if (pair.size() == 2)
            QVERIFY2(value == pair.last(), qPrintable(option + " vs " + value + " in " + r.encoderInfo));
        else
            QVERIFY2(r.encoderInfo.contains(QLatin1Char(' ') + option + QLatin1Char(' ')), qPrintable(option + " in " + r.encoderInfo));
    }
    // What was not honoured as asked is said, once.
    const QList<EncoderNote> notes = encoder.settingNotes();
    QCOMPARE(notes.size(), note.isEmpty() ? 0 : 1);
    if (!note.isEmpty())
        QVERIFY2(notes.first().en.contains(note), qPrintable(notes.first().en));
}

// The hardware encoders cannot run on every machine: what each is told is checked as options.
void TestFfmpegEncoder::hardwareEncodersAreToldTheSettings_data()
{
    QTest::addColumn<QString>("encoderName");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("profile");
    QTest::addColumn<bool>("lookahead");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("note");
    QTest::newRow("NVENC VBR look-ahead") << "h264_nvenc" << 1 << "High" << true
                                          << QStringList{"rc=vbr", "profile=high", "rc-lookahead=20", "preset=p4"} << QString();
    QTest::newRow("NVENC lossless") << "hevc_nvenc" << 3 << "Main" << false
                                    << QStringList{"tune=lossless", "rc=constqp", "qp=0", "profile=main"} << QString();
    QTest::newRow("VAAPI CQP Baseline") << "h264_vaapi" << 2 << "Baseline" << false
                                        << QStringList{"rc_mode=CQP", "qp=23", "profile=constrained_baseline"}
                                        << "Constrained Baseline";
    QTest::newRow("VAAPI lossless") << "hevc_vaapi" << 3 << "Main" << false
                                    << QStringList{"rc_mode=CQP", "qp=1"} << "cannot encode losslessly";
    QTest::newRow("VAAPI look-ahead") << "h264_vaapi" << 0 << "High" << true
                                      << QStringList{"rc_mode=CBR", "profile=high"} << "no look-ahead";
    QTest::newRow("QuickSync CBR look-ahead") << "h264_qsv" << 0 << "Main" << true
                                              << QStringList{"profile=main", "preset=fast"} << "only for H.264 in VBR";
    QTest::newRow("QuickSync VBR look-ahead") << "h264_qsv" << 1 << "High" << true
                                              << QStringList{"look_ahead=1", "look_ahead_depth=20"} << QString();
}

void TestFfmpegEncoder::hardwareEncodersAreToldTheSettings()
{
    QFETCH(QString, encoderName);
    QFETCH(int, mode);
    QFETCH(QString, profile);
    QFETCH(bool, lookahead);
    QFETCH(QStringList, options);
    QFETCH(QString, note);
    EncoderConfig config = smallConfig(QString());
    config.rateControl = mode;
    config.quality = 23;
    config.profile = profile;
    config.lookahead = lookahead;
    config.effort = 2;
    const EncoderSetup setup = encoderSetupFor(encoderName, config);
    for (const QString &option : options) {
        const QStringList pair = option.split(u'=');
        QCOMPARE(QString::fromLatin1(setup.option(pair.first().toLatin1())), pair.last());
    }
    QCOMPARE(setup.notes.isEmpty(), note.isEmpty());
    const bool named = std::any_of(setup.notes.begin(), setup.notes.end(), [&](const EncoderNote &n) {
        return n.en.contains(note) && !n.sr.isEmpty();
    });
    QVERIFY2(note.isEmpty() || named, qPrintable(setup.notes.value(0).en));
}

void TestFfmpegEncoder::setBitrateDuringTake()
{
    const QString path = m_dir.filePath(QStringLiteral("setbitrate.mp4"));
    FfmpegEncoder encoder;
    EncoderConfig config = smallConfig(path, 320, 180);
    config.targetBitrateKbps = 3000;
    config.keyframeIntervalSeconds = 1;
    config.bFrames = 0;
    QVERIFY(encoder.open(config));
    writeFrames(encoder, 320, 180, 0, 90, noise);
    QVERIFY(waitFor([&] { return encoder.framesEncoded() == 90; }, 30000));
    encoder.setBitrate(300);
    writeFrames(encoder, 320, 180, 90, 90, noise);
    QVERIFY(encoder.stop());

    const Readback r = readBack(path);
    QCOMPARE(r.packetBytes.size(), 180);
    // Leave the rate controller's buffer a second to adjust.
    const qint64 before = std::accumulate(r.packetBytes.begin() + 30, r.packetBytes.begin() + 90, qint64(0));
    const qint64 after = std::accumulate(r.packetBytes.begin() + 120, r.packetBytes.end(), qint64(0));
    QVERIFY2(after * 4 < before, qPrintable(QStringLiteral("%1 bytes before, %2 after").arg(before).arg(after)));
}

void TestFfmpegEncoder::framesQueuedBeforeStopAreEncoded_data()
{
    QTest::addColumn<bool>("destroyInsteadOfStop");
    QTest::newRow("stop") << false;
    QTest::newRow("destroyed without stop") << true;
}

void TestFfmpegEncoder::framesQueuedBeforeStopAreEncoded()
{
    QFETCH(bool, destroyInsteadOfStop);
    const QString path = m_dir.filePath(QStringLiteral("queued_%1.mp4").arg(destroyInsteadOfStop));
    const int frames = FfmpegEncoder::queueCapacityFor(30.0) - 2;
    QCOMPARE(frames, 58);
    {
        FfmpegEncoder encoder;
        QVERIFY(encoder.open(smallConfig(path, 640, 360)));
        // Two pictures shared by all frames, as a camera that repeats its last picture.
        const QByteArray a = makePicture(640, 360, 0, movingGradient);
        const QByteArray b = makePicture(640, 360, 1, movingGradient);
        for (int i = 0; i < frames; ++i)
            encoder.writeFrame(frameOf(i % 2 ? b : a, 640, 360, i));
        if (!destroyInsteadOfStop) {
            QVERIFY(encoder.stop());
            QCOMPARE(encoder.framesEncoded(), qint64(frames));
            QCOMPARE(encoder.droppedFrames(), qint64(0));
            // Later calls change nothing: the same answer, no frames taken.
            encoder.writeFrame(frameOf(a, 640, 360, frames));
            QVERIFY(encoder.stop());
            QCOMPARE(encoder.framesEncoded(), qint64(frames));
            QCOMPARE(encoder.droppedFrames(), qint64(0));
        }
    }
    const Readback r = readBack(path);
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QCOMPARE(r.pts.size(), frames);
    QVERIFY(topLevelBoxes(path).contains("mfra")); // the trailer was written
}

void TestFfmpegEncoder::unusablePicturesAreDroppedAndCounted()
{
    const QString path = m_dir.filePath(QStringLiteral("unusable.mp4"));
    FfmpegEncoder encoder;
    QVERIFY(encoder.open(smallConfig(path, 160, 90)));
    const QByteArray good = makePicture(160, 90, 0, movingGradient);
    encoder.writeFrame(frameOf(good, 160, 90, 0));
    encoder.writeFrame(frameOf(good.left(good.size() - 1), 160, 90, 1)); // a byte short
    encoder.writeFrame(frameOf(QByteArray(), 0, 0, 2));                  // no picture
    encoder.writeFrame(frameOf(good, 160, 90, 3));
    encoder.writeFrame(frameOf(good, 160, 90, 3)); // repeated index
    encoder.writeFrame(frameOf(good, 160, 90, 2)); // going back
    encoder.writeFrame(frameOf(good, 160, 90, 4));
    QVERIFY(encoder.stop());
    QCOMPARE(encoder.framesEncoded(), qint64(3));
    QCOMPARE(encoder.droppedFrames(), qint64(4));

    const Readback r = readBack(path);
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    const FrameRate rate{30, 1};
    // The file keeps time: the missing frames leave gaps, the others keep their times.
    QCOMPARE(r.pts, (QList<qint64>{expectedPts(0, rate, r.timeBase), expectedPts(3, rate, r.timeBase),
                                  expectedPts(4, rate, r.timeBase)}));
}

void TestFfmpegEncoder::queueOverflowDropsAndCounts()
{
    const QString path = m_dir.filePath(QStringLiteral("overflow.mp4"));
    FfmpegEncoder encoder;
    EncoderConfig config = smallConfig(path, 1920, 1080);
    QVERIFY(encoder.open(config));
    const QByteArray a = makePicture(1920, 1080, 0, noise);
    const QByteArray b = makePicture(1920, 1080, 1, noise);
    const int written = 400; // far faster than any encoder: the queue must overflow
    for (int i = 0; i < written; ++i)
        encoder.writeFrame(frameOf(i % 2 ? b : a, 1920, 1080, i));
    const qint64 droppedAtOnce = encoder.droppedFrames();
    QVERIFY2(droppedAtOnce >= written - FfmpegEncoder::queueCapacityFor(30.0) - 60,
             qPrintable(QString::number(droppedAtOnce)));
    QVERIFY(encoder.stop());
    // The last frame offered is encoded even when the queue refused it (on a busy machine the
    // worker may have made room just before it): the file lasts as long as the frames given
    // to it, with no gap at its end.
    QVERIFY(encoder.droppedFrames() == droppedAtOnce - 1 || encoder.droppedFrames() == droppedAtOnce);
    QCOMPARE(encoder.framesEncoded() + encoder.droppedFrames(), qint64(written));

    const Readback r = readBack(path);
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QCOMPARE(r.pts.size(), encoder.framesEncoded());
    // What was kept keeps its time: every pts is the one of some frame index, rising.
    const FrameRate rate{30, 1};
    for (qint64 pts : r.pts) {
        const qint64 index = av_rescale_q(pts, r.timeBase, AVRational{1, 30});
        QCOMPARE(pts, expectedPts(index, rate, r.timeBase));
    }
    QCOMPARE(r.pts.first(), qint64(0));
    QCOMPARE(av_rescale_q(r.pts.last(), r.timeBase, AVRational{1, 30}), qint64(written - 1));
}

void TestFfmpegEncoder::openFailures_data()
{
    QTest::addColumn<QString>("relativePath");
    QTest::addColumn<int>("width");
    QTest::addColumn<double>("fps");
    QTest::newRow("missing folder") << "missing/folder/x.mp4" << 320 << 30.0;
    QTest::newRow("path is a folder") << "." << 320 << 30.0;
    QTest::newRow("zero width") << "zero.mp4" << 0 << 30.0;
    QTest::newRow("zero fps") << "zerofps.mp4" << 320 << 0.0;
}

void TestFfmpegEncoder::openFailures()
{
    QFETCH(QString, relativePath);
    QFETCH(int, width);
    QFETCH(double, fps);
    const QString path = m_dir.filePath(relativePath);
    const bool existed = QFileInfo::exists(path);
    FfmpegEncoder encoder;
    QVERIFY(!encoder.open(smallConfig(path, width, 180, fps)));
    QVERIFY(!encoder.lastError().isEmpty());
    QCOMPARE(encoder.encoderName(), QString());
    encoder.writeFrame(frameOf(makePicture(320, 180, 0, movingGradient), 320, 180, 0));
    QCOMPARE(encoder.framesEncoded(), qint64(0));
    QCOMPARE(encoder.droppedFrames(), qint64(0));
    QVERIFY(!encoder.stop());
    QCOMPARE(QFileInfo::exists(path), existed);
}

void TestFfmpegEncoder::relativePathThatLooksLikeAUrl()
{
    // "rtmp:" is an FFmpeg protocol; here it is only a folder name.
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("rtmp:take")));
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir.path()));
    FfmpegEncoder encoder;
    const bool opened = encoder.open(smallConfig(QStringLiteral("rtmp:take/Camera_01.mp4"), 160, 90));
    QDir::setCurrent(previous);
    QVERIFY2(opened, qPrintable(encoder.lastError()));
    writeFrames(encoder, 160, 90, 0, 3, movingGradient);
    QVERIFY(encoder.stop());
    QCOMPARE(readBack(m_dir.filePath(QStringLiteral("rtmp:take/Camera_01.mp4"))).pts.size(), 3);
}

void TestFfmpegEncoder::fullDiskBecomesState()
{
#if defined(Q_OS_LINUX)
    const QString path = m_dir.filePath(QStringLiteral("full.mp4"));
    FfmpegEncoder encoder;
    EncoderConfig config = smallConfig(path, 320, 180);
    config.targetBitrateKbps = 4000; // ~500 KB per second of noise
    config.keyframeIntervalSeconds = 1;
    QVERIFY(encoder.open(config));

    // The file may grow to 1.2 MB: about two fragments fit, the third does not.
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 1'200'000;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    qint64 written = 0;
    for (; written < 300 && !encoder.hasFailed(); ++written) {
        encoder.writeFrame(frameOf(makePicture(320, 180, written, noise), 320, 180, written));
        while (written - encoder.framesEncoded() - encoder.droppedFrames() > 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const bool failedDuringTake = waitFor([&] { return encoder.hasFailed(); }, 10000);
    encoder.writeFrame(frameOf(makePicture(320, 180, 0, noise), 320, 180, 1000));
    const bool stopped = encoder.stop();
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY(failedDuringTake);
    QVERIFY(!stopped);
    QVERIFY2(encoder.lastError().contains(QString::fromLocal8Bit(strerror(EFBIG))), qPrintable(encoder.lastError()));
    QVERIFY(written < 300);
    QVERIFY(encoder.droppedFrames() >= 1);
    // The half-written fragment is cut off: the file ends with its last whole fragment.
    QCOMPARE(QFileInfo(path).size(), encoder.bytesWritten());
    QVERIFY(encoder.bytesWritten() <= 1'200'000);

    // What reached the disk before the failure still plays, frame after frame from the start.
    const Readback r = readBack(path, true);
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QVERIFY2(r.pts.size() >= 30, qPrintable(QString::number(r.pts.size())));
    QCOMPARE(r.decodedFrames, r.pts.size());
    QCOMPARE(r.decodeErrors, 0);
    for (int i = 0; i < r.pts.size(); ++i)
        QCOMPARE(r.pts.at(i), expectedPts(i, FrameRate{30, 1}, r.timeBase));
#else
    QSKIP("Needs RLIMIT_FSIZE to simulate a full disk.");
#endif
}

void TestFfmpegEncoder::containerRoundTrip_data()
{
    QTest::addColumn<RecordingContainer>("container");
    QTest::addColumn<QString>("demuxer");
    QTest::addColumn<QString>("majorBrand");
    QTest::addColumn<bool>("hasTimecodeTrack");
    QTest::addColumn<QString>("timecode");
    const QString timecode = QStringLiteral("01:02:03:15");
    QTest::newRow("MP4") << RecordingContainer::Mp4 << "mov,mp4,m4a,3gp,3g2,mj2" << "iso5" << true << timecode;
    QTest::newRow("MKV") << RecordingContainer::Mkv << "matroska,webm" << "" << false << timecode;
    QTest::newRow("MOV") << RecordingContainer::Mov << "mov,mp4,m4a,3gp,3g2,mj2" << "qt  " << true << timecode;
    // The MPEG-TS muxer has no place for a timecode.
    QTest::newRow("TS") << RecordingContainer::Ts << "mpegts" << "" << false << QString();
}

void TestFfmpegEncoder::containerRoundTrip()
{
    QFETCH(RecordingContainer, container);
    QFETCH(QString, demuxer);
    QFETCH(QString, majorBrand);
    QFETCH(bool, hasTimecodeTrack);
    QFETCH(QString, timecode);
    QVERIFY(isContainerAvailable(container));

    // The same take in every container: 29.97 fps, B-frames, key frames every second, a GOP
    // longer than a fragment would be without the two-second limit.
    const QString path = m_dir.filePath(QStringLiteral("container") + containerExtension(container));
    const double fps = 29.97;
    const int seconds = 7;
    const int frames = int(seconds * fps);
    FfmpegEncoder encoder;
    EncoderConfig config = smallConfig(path, 192, 108, fps);
    config.container = container;
    config.keyframeIntervalSeconds = 10;
    config.bFrames = 2;
    config.startTimecode = QStringLiteral("01:02:03:15");
    QVERIFY2(encoder.open(config), qPrintable(encoder.lastError()));
    writeFrames(encoder, 192, 108, 0, frames, movingGradient);
    QVERIFY(encoder.stop());
    QCOMPARE(encoder.framesEncoded(), qint64(frames));
    QCOMPARE(encoder.bytesWritten(), QFileInfo(path).size());

    const FileFormat format = fileFormatOf(path);
    QCOMPARE(format.demuxer, demuxer);
    QCOMPARE(format.majorBrand, majorBrand);

    const Readback r = readBack(path, true);
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QCOMPARE(int(r.codec), int(AV_CODEC_ID_H264));
    QCOMPARE(QSize(r.width, r.height), QSize(192, 108));
    QCOMPARE(r.pts.size(), frames);
    QCOMPARE(r.decodedFrames, frames);
    QCOMPARE(r.decodeErrors, 0);
    QVERIFY(r.pictureTypes.contains('B'));
    // Every frame at its own time (the file's time base may round it, never shift it); the
    // first may start later than 0 in MPEG-TS.
    const FrameRate rate = ::frameRateFraction(fps);
    for (int i = 0; i < frames; ++i)
        QCOMPARE(r.pts.at(i) - r.pts.first(), expectedPts(i, rate, r.timeBase));
    const int gop = gopLengthFrames(10, fps);
    QList<qint64> expectedKeys;
    for (int i = 0; i < frames; i += gop)
        expectedKeys.append(r.pts.at(i));
    QCOMPARE(r.keyframePts, expectedKeys);
    QCOMPARE(int(r.primaries), int(AVCOL_PRI_BT709));
    QCOMPARE(int(r.transfer), int(AVCOL_TRC_BT709));
    QCOMPARE(int(r.matrix), int(AVCOL_SPC_BT709));
    QCOMPARE(r.hasTimecodeTrack, hasTimecodeTrack);
    QCOMPARE(r.videoTimecode, timecode);

    // Pieces of at most two seconds, so a crash loses no more.
    if (container == RecordingContainer::Mp4 || container == RecordingContainer::Mov) {
        const QStringList boxes = topLevelBoxes(path);
        QVERIFY2(boxes.count("moof") >= (seconds + 1) / 2, qPrintable(boxes.join(',')));
    } else if (container == RecordingContainer::Mkv) {
        const QList<quint32> children = matroskaSegmentChildren(path);
        QVERIFY2(children.count(kMatroskaCluster) >= (seconds + 1) / 2,
                 qPrintable(QString::number(children.count(kMatroskaCluster))));
        QVERIFY(children.contains(kMatroskaCues)); // a complete file has its index
    }
}

void TestFfmpegEncoder::killedProcessLeavesPlayableFile_data()
{
    QTest::addColumn<RecordingContainer>("container");
    QTest::addColumn<QString>("timecode");
    QTest::newRow("MP4") << RecordingContainer::Mp4 << "10:00:00:00";
    QTest::newRow("MKV") << RecordingContainer::Mkv << "10:00:00:00";
    QTest::newRow("TS") << RecordingContainer::Ts << "";
}

void TestFfmpegEncoder::killedProcessLeavesPlayableFile()
{
    QFETCH(RecordingContainer, container);
    QFETCH(QString, timecode);
    const QString path = m_dir.filePath(QStringLiteral("killed") + containerExtension(container));
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kCrashChildVariable), path);
    environment.insert(QString::fromLatin1(kCrashContainerVariable), containerTag(container));
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), QStringList());
    QVERIFY(child.waitForStarted());
    // The child reports once several fragments are out, and goes on recording.
    QVERIFY(child.waitForReadyRead(60000));
    const QByteArray report = child.readLine().trimmed();
    QVERIFY2(report.startsWith("recording"), report.constData());
    child.kill(); // SIGKILL: no destructor, no trailer
    QVERIFY(child.waitForFinished(10000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    // Really cut off mid-take: no index at the end.
    if (container == RecordingContainer::Mp4)
        QVERIFY(!topLevelBoxes(path).contains("mfra"));
    if (container == RecordingContainer::Mkv) {
        const QList<quint32> children = matroskaSegmentChildren(path);
        QVERIFY(children.contains(kMatroskaCluster));
        QVERIFY(!children.contains(kMatroskaCues));
    }
    const Readback r = readBack(path, true);
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QVERIFY2(r.pts.size() >= 90, qPrintable(QString::number(r.pts.size())));
    QCOMPARE(r.decodedFrames, r.pts.size());
    QCOMPARE(r.decodeErrors, 0);
    // MPEG-TS is cut wherever the kill fell: a reference frame may be in the file without the
    // B-frames shown before it, so the last pictures may have gaps, never wrong times.
    const qsizetype tail = container == RecordingContainer::Ts ? 3 : 0;
    const FrameRate rate{30, 1};
    for (qsizetype i = 0; i < r.pts.size(); ++i) {
        const qint64 pts = r.pts.at(i) - r.pts.first();
        if (i < r.pts.size() - tail) {
            QCOMPARE(pts, expectedPts(i, rate, r.timeBase));
        } else {
            const qint64 index = av_rescale_q(pts, r.timeBase, AVRational{1, 30});
            QCOMPARE(pts, expectedPts(index, rate, r.timeBase));
            QVERIFY(index >= i && index <= i + tail);
        }
    }
    QCOMPARE(r.videoTimecode, timecode);
}

void TestFfmpegEncoder::encoderProbe_data()
{
    QTest::addColumn<QString>("encoderName");
    QTest::addColumn<bool>("usable");
    QTest::newRow("libx264") << "libx264" << true;
    QTest::newRow("libx265") << "libx265" << true;
    QTest::newRow("unknown") << "no_such_encoder" << false;
    QTest::newRow("a decoder's name") << "h264" << false;
    QTest::newRow("an audio encoder") << "aac" << false;
}

void TestFfmpegEncoder::encoderProbe()
{
    QFETCH(QString, encoderName);
    QFETCH(bool, usable);
    QCOMPARE(FfmpegEncoder::isEncoderUsable(encoderName), usable);
}

// Child of killedProcessLeavesPlayableFile: records until killed.
static int runCrashChild(const QString &path, const QString &container)
{
    FfmpegEncoder *encoder = new FfmpegEncoder; // never destroyed: the process dies with it
    EncoderConfig config = smallConfig(path, 320, 180);
    for (RecordingContainer c : {RecordingContainer::Mp4, RecordingContainer::Mkv, RecordingContainer::Mov,
                                 RecordingContainer::Ts}) {
        if (containerTag(c) == container)
            config.container = c;
    }
    config.keyframeIntervalSeconds = 1;
    config.startTimecode = QStringLiteral("10:00:00:00");
    if (!encoder->open(config))
        return 1;
    bool reported = false;
    for (qint64 i = 0;; ++i) {
        encoder->writeFrame(frameOf(makePicture(320, 180, i, movingGradient), 320, 180, i));
        if (!reported && encoder->framesEncoded() >= 150) {
            std::printf("recording %lld\n", static_cast<long long>(i));
            std::fflush(stdout);
            reported = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(reported ? 30 : 3));
    }
}

int main(int argc, char **argv)
{
    const QByteArray childPath = qgetenv(kCrashChildVariable);
    if (!childPath.isEmpty()) {
        av_log_set_level(AV_LOG_QUIET);
        return runCrashChild(QString::fromLocal8Bit(childPath),
                             QString::fromLatin1(qgetenv(kCrashContainerVariable)));
    }
    QCoreApplication app(argc, argv);
    TestFfmpegEncoder test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ffmpegencoder.moc"
