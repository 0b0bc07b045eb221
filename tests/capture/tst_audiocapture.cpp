// Audio inputs: the bounded sample buffer (sizes, read counts, overflow, delay, peak, a live
// producer), the Test Tone (its waveform and its real-time run through AudioCapture) and
// capture of known samples through real SDL, using SDL's disk driver as the sound card.
// Longer than our other files: one executable per module, and the three share the buffer they
// all fill and the SDL set-up the last one needs.
#define SDL_MAIN_HANDLED
#include "capture/AudioCapture.h"
#include "capture/AudioSampleBuffer.h"
#include "capture/TestToneGenerator.h"
#include "common/MonotonicClock.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr qint64 kNsPerSecond = 1'000'000'000;

// A test signal whose every sample tells where it came from: frame k carries +v(k) on even
// channels and -v(k) on odd ones, v(k) = (k + 1) / 2^20, exact in float up to 2^24 frames.
float rampValue(quint64 frame, int channel)
{
    const float v = float(frame + 1) / float(1 << 20);
    return channel % 2 == 0 ? v : -v;
}

std::vector<float> ramp(quint64 firstFrame, int frames, int channels)
{
    std::vector<float> samples;
    samples.reserve(size_t(frames) * size_t(channels));
    for (int f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c)
            samples.push_back(rampValue(firstFrame + quint64(f), c));
    return samples;
}

// Appends `frames` ramp frames in blocks of `blockFrames`, continuing from *nextFrame.
void appendRamp(AudioSampleBuffer &buffer, quint64 *nextFrame, int frames, int blockFrames,
                int channels)
{
    while (frames > 0) {
        const int n = std::min(frames, blockFrames);
        const std::vector<float> block = ramp(*nextFrame, n, channels);
        buffer.append(block.data(), block.size());
        *nextFrame += quint64(n);
        frames -= n;
    }
}

// Index of the ramp frame a sample block starts with, or -1 when the block is not a run of
// consecutive whole ramp frames starting on channel 0.
qint64 rampStartFrame(const std::vector<float> &samples, int channels)
{
    if (samples.empty() || samples.size() % size_t(channels) != 0)
        return -1;
    const qint64 first = qint64(std::lround(samples[0] * float(1 << 20))) - 1;
    if (first < 0)
        return -1;
    for (size_t i = 0; i < samples.size(); ++i) {
        const quint64 frame = quint64(first) + i / size_t(channels);
        if (samples[i] != rampValue(frame, int(i % size_t(channels))))
            return -1;
    }
    return first;
}

bool writeRawFloats(const QString &path, const std::vector<float> &samples)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const auto bytes = qint64(samples.size() * sizeof(float));
    return file.write(reinterpret_cast<const char *>(samples.data()), bytes) == bytes;
}

// SDL's disk driver as the sound card: the default capture device reads raw samples in the
// device's format (here 32-bit float) from SDL_DISKAUDIOFILEIN, a named device reads the file
// of that name, and both deliver silence after the end of the file. SDL_DISKAUDIODELAY sets
// the milliseconds between callbacks (default: one block's worth, that is real time).
class DiskAudioDriver
{
public:
    explicit DiskAudioDriver(const QString &inputFile, int delayMs = -1)
    {
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILEIN", inputFile.toUtf8());
        if (delayMs >= 0)
            qputenv("SDL_DISKAUDIODELAY", QByteArray::number(delayMs));
        else
            qunsetenv("SDL_DISKAUDIODELAY");
        m_ok = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    }
    ~DiskAudioDriver()
    {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        qunsetenv("SDL_DISKAUDIOFILEIN");
        qunsetenv("SDL_DISKAUDIODELAY");
    }
    bool isOk() const { return m_ok; }

private:
    bool m_ok = false;
};

// One stretch of sound in a recording of the Test Tone (left channel).
struct Beep
{
    qint64 firstFrame = 0;
    qint64 lastFrame = 0;
    float peak = 0.0f;
    int signChanges = 0;
};

// Splits a mono signal into beeps: runs of sound separated by at least 1 ms of digital
// silence (a 1 kHz sine sampled at 48 kHz is never 0 for more than one sample in a row).
std::vector<Beep> findBeeps(const std::vector<float> &mono)
{
    constexpr int kGapFrames = 48;
    std::vector<Beep> beeps;
    qint64 lastSound = -kGapFrames - 1;
    float previous = 0.0f;
    for (qint64 i = 0; i < qint64(mono.size()); ++i) {
        const float x = mono[size_t(i)];
        if (x == 0.0f)
            continue;
        if (i - lastSound > kGapFrames) {
            beeps.push_back({i, i, 0.0f, 0});
            previous = 0.0f;
        }
        Beep &beep = beeps.back();
        beep.lastFrame = i;
        beep.peak = std::max(beep.peak, std::fabs(x));
        if (previous != 0.0f && (previous > 0.0f) != (x > 0.0f))
            ++beep.signChanges;
        previous = x;
        lastSound = i;
    }
    return beeps;
}

} // namespace

class TestAudioCapture : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void bufferSizes_data();
    void bufferSizes();
    void readCounts_data();
    void readCounts();
    void overflowDropsOldestWholeFrames_data();
    void overflowDropsOldestWholeFrames();
    void delayHoldsBackNewest();
    void peakHold();
    void timelineKeepsFramesInPlace();
    void liveProducerLosesNothing_data();
    void liveProducerLosesNothing();

    void toneValue_data();
    void toneValue();
    void toneFrameTimes_data();
    void toneFrameTimes();
    void testToneRunsInRealTime();
    void testToneStopsAtOnce();

    void sdlCaptureDeliversKnownSamples_data();
    void sdlCaptureDeliversKnownSamples();
    void startRefusals_data();
    void startRefusals();
    void sdlOverflowKeepsNewestAndLogsOnce();

private:
    QTemporaryDir m_dir;
};

void TestAudioCapture::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // The disk driver announces itself on SDL's log at critical level; keep the output clean.
    SDL_LogSetOutputFunction([](void *, int, SDL_LogPriority, const char *) {}, nullptr);
}

// ---- AudioSampleBuffer -------------------------------------------------------------------

void TestAudioCapture::bufferSizes_data()
{
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<qulonglong>("capacity");
    QTest::addColumn<qulonglong>("heldBack");

    // Two seconds beyond the delay, so the 25 ms tick may stall for seconds without loss.
    QTest::newRow("stereo, no delay") << 2 << 0 << 192000ull << 0ull;
    QTest::newRow("mono, no delay") << 1 << 0 << 96000ull << 0ull;
    QTest::newRow("no channel count counts as stereo") << 0 << 0 << 192000ull << 0ull;
    QTest::newRow("stereo, 100 ms delay") << 2 << 100 << 201600ull << 9600ull;
    QTest::newRow("negative delay is none") << 2 << -5 << 192000ull << 0ull;
    QTest::newRow("delay is bounded") << 2 << 1000000 << 1152000ull << 960000ull;
}

void TestAudioCapture::bufferSizes()
{
    QFETCH(int, channels);
    QFETCH(int, delayMs);
    QFETCH(qulonglong, capacity);
    QFETCH(qulonglong, heldBack);

    QCOMPARE(AudioSampleBuffer::capacityFor(channels, delayMs), size_t(capacity));
    QCOMPARE(AudioSampleBuffer::heldBackFor(channels, delayMs), size_t(heldBack));

    AudioSampleBuffer buffer;
    buffer.setDelayMs(delayMs);
    buffer.configure(channels);
    QCOMPARE(buffer.capacity(), size_t(capacity));
}

void TestAudioCapture::readCounts_data()
{
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("appendedSamples");
    QTest::addColumn<int>("maxSamples");
    QTest::addColumn<int>("expectedRead");

    QTest::newRow("0 takes everything") << 2 << 1000 << 0 << 1000;
    QTest::newRow("negative takes everything") << 2 << 1000 << -1 << 1000;
    QTest::newRow("more than available") << 2 << 300 << 512 << 300;
    QTest::newRow("less than available") << 2 << 1000 << 512 << 512;
    QTest::newRow("odd request, stereo: whole frames") << 2 << 1000 << 513 << 512;
    QTest::newRow("half a frame gives nothing") << 2 << 1000 << 1 << 0;
    QTest::newRow("odd request, mono") << 1 << 1000 << 513 << 513;
    QTest::newRow("six channels") << 6 << 600 << 100 << 96;
    QTest::newRow("empty buffer") << 2 << 0 << 512 << 0;
    QTest::newRow("trailing partial frame is not stored") << 2 << 1001 << 0 << 1000;
}

void TestAudioCapture::readCounts()
{
    QFETCH(int, channels);
    QFETCH(int, appendedSamples);
    QFETCH(int, maxSamples);
    QFETCH(int, expectedRead);

    AudioSampleBuffer buffer;
    buffer.configure(channels);
    const int frames = (appendedSamples + channels - 1) / channels;
    std::vector<float> samples = ramp(0, frames, channels);
    samples.resize(size_t(appendedSamples));
    buffer.append(samples.data(), samples.size());
    const size_t stored = buffer.availableSamples();
    QCOMPARE(stored % size_t(channels), size_t(0));

    const std::vector<float> read = buffer.read(maxSamples);
    QCOMPARE(read.size(), size_t(expectedRead));
    QCOMPARE(buffer.availableSamples(), stored - read.size());
    // Oldest first, and what is left continues exactly where the read stopped.
    if (!read.empty())
        QCOMPARE(rampStartFrame(read, channels), 0);
    const std::vector<float> rest = buffer.read(0);
    if (!rest.empty())
        QCOMPARE(rampStartFrame(rest, channels), qint64(read.size()) / channels);
}

void TestAudioCapture::overflowDropsOldestWholeFrames_data()
{
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("blockFrames");
    QTest::addColumn<int>("extraFrames");

    QTest::newRow("one block too many") << 2 << 256 << 256;
    QTest::newRow("three seconds into two") << 2 << 256 << 48000;
    QTest::newRow("odd blocks, mono") << 1 << 333 << 1000;
    QTest::newRow("one block larger than the ring") << 2 << 150000 << 54000;
}

void TestAudioCapture::overflowDropsOldestWholeFrames()
{
    QFETCH(int, channels);
    QFETCH(int, blockFrames);
    QFETCH(int, extraFrames);

    AudioSampleBuffer buffer;
    buffer.configure(channels);
    const int capacityFrames = int(buffer.capacity()) / channels;
    quint64 written = 0;
    appendRamp(buffer, &written, capacityFrames + extraFrames, blockFrames, channels);

    // The newest capacity's worth is kept, starting on a whole frame; the rest is counted.
    const quint64 droppedSamples = quint64(extraFrames) * quint64(channels);
    QCOMPARE(buffer.availableSamples(), buffer.capacity());
    QCOMPARE(buffer.droppedSamples(), droppedSamples);
    QCOMPARE(buffer.takeUnreportedDrops(), droppedSamples);
    QCOMPARE(buffer.takeUnreportedDrops(), 0ull);
    const std::vector<float> kept = buffer.read(0);
    QCOMPARE(kept.size(), buffer.capacity());
    QCOMPARE(rampStartFrame(kept, channels), qint64(extraFrames));

    // A new overflow after the reader caught up is a new episode.
    appendRamp(buffer, &written, capacityFrames + 10, blockFrames, channels);
    QCOMPARE(buffer.takeUnreportedDrops(), 10ull * quint64(channels));
    QCOMPARE(buffer.droppedSamples(), droppedSamples + 10ull * quint64(channels));
}

void TestAudioCapture::delayHoldsBackNewest()
{
    AudioSampleBuffer buffer;
    buffer.configure(2);
    buffer.setDelayMs(100);
    QCOMPARE(buffer.capacity(), size_t(201600));

    quint64 written = 0;
    appendRamp(buffer, &written, 6000, 256, 2); // 12 000 samples, the newest 9 600 held back
    QCOMPARE(buffer.availableSamples(), size_t(2400));
    const std::vector<float> first = buffer.read(0);
    QCOMPARE(first.size(), size_t(2400));
    QCOMPARE(rampStartFrame(first, 2), 0);
    QCOMPARE(buffer.availableSamples(), size_t(0));
    QVERIFY(buffer.read(0).empty());

    appendRamp(buffer, &written, 100, 100, 2);
    QCOMPARE(buffer.availableSamples(), size_t(200));

    // Dropping the delay releases what was held back, in order, without loss.
    buffer.setDelayMs(0);
    QCOMPARE(buffer.capacity(), size_t(192000));
    const std::vector<float> rest = buffer.read(0);
    QCOMPARE(rest.size(), size_t(9800));
    QCOMPARE(rampStartFrame(rest, 2), 1200);
    QCOMPARE(buffer.droppedSamples(), 0ull);
}

// The held peak covers every sample and channel, survives until taken, and clear() drops it.
void TestAudioCapture::peakHold()
{
    AudioSampleBuffer buffer;
    buffer.configure(2);
    const float first[] = {0.25f, -0.25f, 0.1f, -0.8f, 0.2f, 0.0f};
    const float second[] = {0.5f, 0.3f};
    buffer.append(first, std::size(first));
    buffer.append(second, std::size(second));
    QCOMPARE(buffer.takePeak(), 0.8f);
    QCOMPARE(buffer.takePeak(), 0.0f);

    const float overFullScale[] = {0.0f, 1.5f};
    buffer.append(overFullScale, std::size(overFullScale));
    QCOMPARE(buffer.takePeak(), 1.5f);
    buffer.append(second, std::size(second));
    buffer.clear();
    QCOMPARE(buffer.takePeak(), 0.0f);
    QCOMPARE(buffer.availableSamples(), size_t(0));
}

// Frames land where they belong on the input's timeline: what the reader already filled with
// silence is dropped when it comes late, a block placed ahead follows silence, time already
// held is not doubled, and overflow moves the reader's place past what it lost.
void TestAudioCapture::timelineKeepsFramesInPlace()
{
    AudioSampleBuffer buffer;
    buffer.configure(1);
    buffer.clear(); // the timeline starts at 0
    const auto appendAt = [&](quint64 first, int frames, qint64 position) {
        const std::vector<float> block = ramp(first, frames, 1);
        buffer.append(block.data(), block.size(), AudioSampleBuffer::kAnyGeneration, position);
    };

    appendAt(0, 100, 0);
    QCOMPARE(buffer.read(0).size(), size_t(100));
    buffer.skip(50); // the reader filled frames 100..149 with silence
    QCOMPARE(buffer.readPosition(), qint64(150));
    appendAt(100, 80, AudioSampleBuffer::kContinue); // frames 100..179 arrive late
    std::vector<float> held = buffer.read(0);
    QCOMPARE(held.size(), size_t(30));
    QCOMPARE(rampStartFrame(held, 1), qint64(150));

    appendAt(180, 20, 200); // 20 frames of silence before it
    held = buffer.read(0);
    QCOMPARE(held.size(), size_t(40));
    QVERIFY(std::all_of(held.begin(), held.begin() + 20, [](float x) { return x == 0.0f; }));
    QCOMPARE(rampStartFrame(std::vector<float>(held.begin() + 20, held.end()), 1), qint64(180));

    appendAt(200, 50, 220);
    appendAt(210, 50, 230); // frames 220..269 held already: only 270..279 are new
    held = buffer.read(0);
    QCOMPARE(held.size(), size_t(60));
    QCOMPARE(rampStartFrame(held, 1), qint64(200));

    // Overflow: the reader's place moves past the lost frames, so later blocks keep theirs.
    const qint64 capacity = qint64(buffer.capacity());
    QCOMPARE(buffer.readPosition(), qint64(280));
    appendAt(0, int(capacity + 10), 280);
    QCOMPARE(buffer.readPosition(), qint64(290));
    QCOMPARE(buffer.droppedSamples(), 10ull);
    QCOMPARE(buffer.takeUnreportedDrops(), 10ull);

    // A block far ahead of an idle reader: silence up to the ring, no loss reported.
    buffer.clear();
    appendAt(0, 10, 3 * capacity);
    QCOMPARE(buffer.availableSamples(), size_t(capacity));
    QCOMPARE(buffer.readPosition(), 2 * capacity + 10);
    QCOMPARE(buffer.takeUnreportedDrops(), 0ull);
}

void TestAudioCapture::liveProducerLosesNothing_data()
{
    QTest::addColumn<int>("blockFrames");
    QTest::addColumn<int>("readFrames");

    QTest::newRow("SDL blocks, mixer ticks") << 256 << 1200;
    QTest::newRow("odd blocks, odd reads") << 241 << 997;
    QTest::newRow("reads smaller than blocks") << 480 << 100;
    QTest::newRow("blocks that do not divide the ring") << 7001 << 9000;
}

// A producer thread appends while the reader drains, as SDL's thread and the mixer tick do,
// through three times the ring: every sample arrives once, in order, across the wraps.
void TestAudioCapture::liveProducerLosesNothing()
{
    QFETCH(int, blockFrames);
    QFETCH(int, readFrames);

    AudioSampleBuffer buffer;
    buffer.configure(2);
    const quint64 totalFrames = 3 * buffer.capacity() / 2;
    std::thread producer([&buffer, totalFrames, blockFrames] {
        quint64 written = 0;
        while (written < totalFrames) {
            // Stay below the ring's size: this checks the hand-over, not the overflow.
            if (buffer.availableSamples() > buffer.capacity() / 2)
                std::this_thread::yield();
            else
                appendRamp(buffer, &written, blockFrames, blockFrames, 2);
        }
    });
    quint64 readBack = 0;
    bool inOrder = true;
    const qint64 deadline = monotonicNowNs() + 20 * kNsPerSecond;
    while (readBack < totalFrames && monotonicNowNs() < deadline) {
        const std::vector<float> chunk = buffer.read(readFrames * 2 + 1); // half a frame extra
        if (chunk.empty())
            continue;
        inOrder = inOrder && rampStartFrame(chunk, 2) == qint64(readBack);
        readBack += chunk.size() / 2;
    }
    producer.join();
    QVERIFY(inOrder);
    QVERIFY(readBack >= totalFrames);
    QCOMPARE(buffer.droppedSamples(), 0ull);
}

// ---- Test Tone ---------------------------------------------------------------------------

void TestAudioCapture::toneValue_data()
{
    QTest::addColumn<qint64>("intoSecondNs");
    QTest::addColumn<float>("value");

    const float a = 0.125892541f; // -18 dBFS
    QTest::newRow("starts at zero on the second") << qint64(0) << 0.0f;
    QTest::newRow("first crest after 0.25 ms") << qint64(250'000) << a;
    QTest::newRow("first trough after 0.75 ms") << qint64(750'000) << -a;
    QTest::newRow("crest 50 cycles later") << qint64(50'250'000) << a;
    QTest::newRow("last trough") << qint64(99'750'000) << -a;
    QTest::newRow("silent from 100 ms") << qint64(100'000'000) << 0.0f;
    QTest::newRow("silent at a crest's phase") << qint64(100'250'000) << 0.0f;
    QTest::newRow("silent just before the next second") << qint64(999'999'999) << 0.0f;
}

void TestAudioCapture::toneValue()
{
    QFETCH(qint64, intoSecondNs);
    QFETCH(float, value);

    // The beep follows the monotonic clock's whole seconds, whichever second it is.
    for (const qint64 second : {qint64(1), qint64(12345), qint64(9'000'000)}) {
        const float actual = TestToneGenerator::valueAt(second * kNsPerSecond + intoSecondNs);
        QVERIFY2(std::fabs(actual - value) < 1e-6f,
                 qPrintable(QStringLiteral("%1 instead of %2").arg(actual).arg(value)));
    }
}

void TestAudioCapture::toneFrameTimes_data()
{
    QTest::addColumn<qulonglong>("frame");
    QTest::addColumn<qint64>("offsetNs");

    QTest::newRow("anchor") << 0ull << qint64(0);
    QTest::newRow("one frame") << 1ull << qint64(20833);
    QTest::newRow("three frames are exact") << 3ull << qint64(62500);
    QTest::newRow("one second") << 48000ull << qint64(kNsPerSecond);
    QTest::newRow("a year and a frame")
        << (48000ull * 86400 * 365 + 1) << (qint64(86400) * 365 * kNsPerSecond + 20833);
}

void TestAudioCapture::toneFrameTimes()
{
    QFETCH(qulonglong, frame);
    QFETCH(qint64, offsetNs);

    const qint64 anchor = 123'456'789'012;
    QCOMPARE(TestToneGenerator::frameTimeNs(anchor, frame), anchor + offsetNs);
}

// Two seconds of the tone captured through AudioCapture: nothing missing or extra, a beep
// at every whole second of the monotonic clock, at the right level, pitch and length.
void TestAudioCapture::testToneRunsInRealTime()
{
    AudioCapture capture;
    const qint64 beforeStart = monotonicNowNs();
    QVERIFY(capture.start(AudioCapture::testToneName(), 2));
    const qint64 afterStart = monotonicNowNs();
    QVERIFY(capture.isRunning());
    QCOMPARE(capture.channels(), 2);
    QCOMPARE(capture.name(), QStringLiteral("Test Tone"));

    // Drain it as the mixer does, every 25 ms. Real time: at no read has it delivered more
    // frames than time has passed (a sample is delivered after its moment, never before).
    const auto framesSinceStart = [beforeStart](qint64 nowNs) {
        return (nowNs - beforeStart) * 48 / 1'000'000;
    };
    std::vector<float> samples;
    qint64 lastReadAt = beforeStart;
    qint64 mostAhead = std::numeric_limits<qint64>::min();
    while (lastReadAt - beforeStart < 2'300'000'000) {
        QThread::msleep(25);
        lastReadAt = monotonicNowNs();
        const std::vector<float> block = capture.readSamples(0);
        samples.insert(samples.end(), block.begin(), block.end());
        const qint64 ahead = qint64(samples.size() / 2) - framesSinceStart(monotonicNowNs());
        mostAhead = std::max(mostAhead, ahead);
    }
    capture.stop();
    QCOMPARE(capture.droppedSamples(), 0ull);
    QVERIFY2(mostAhead <= 1, qPrintable(QStringLiteral("%1 frames early").arg(mostAhead)));

    // And no gap: at the last read, at most scheduling delay (generously 100 ms) behind.
    const qint64 frames = qint64(samples.size() / 2);
    QVERIFY2(frames >= framesSinceStart(lastReadAt) - 4800, qPrintable(QString::number(frames)));

    std::vector<float> left(static_cast<size_t>(frames));
    for (qint64 i = 0; i < frames; ++i) {
        QCOMPARE(samples[size_t(2 * i + 1)], samples[size_t(2 * i)]);
        left[size_t(i)] = samples[size_t(2 * i)];
    }

    // The anchor lies between beforeStart and afterStart; frame k is at anchor + k / 48 kHz.
    // Whole seconds whose beep was captured from start to end: certainly those well inside
    // the run, possibly those within a few milliseconds of its ends.
    const qint64 endNs = beforeStart + frames * kNsPerSecond / 48000;
    const auto wholeSecondsBetween = [](qint64 fromNs, qint64 toNs) {
        size_t count = 0;
        for (qint64 s = fromNs / kNsPerSecond + 1; s * kNsPerSecond < toNs; ++s)
            ++count;
        return count;
    };
    const size_t fewestBeeps = wholeSecondsBetween(afterStart + 1'000'000, endNs - 102'000'000);
    const size_t mostBeeps = wholeSecondsBetween(beforeStart - 1'000'000, endNs - 98'000'000);
    QVERIFY(fewestBeeps >= 2);

    const qint64 slackNs = (afterStart - beforeStart) + 1'000'000;
    std::vector<qint64> onsetFrames;
    for (const Beep &beep : findBeeps(left)) {
        const bool cutAtStart = beep.firstFrame == 0;
        const bool cutAtEnd = beep.lastFrame >= frames - 48;
        if (cutAtStart || cutAtEnd)
            continue;
        const qint64 onsetNs = beforeStart + beep.firstFrame * kNsPerSecond / 48000;
        const qint64 intoSecond = onsetNs % kNsPerSecond;
        const qint64 offByNs = intoSecond < kNsPerSecond / 2 ? intoSecond : intoSecond - kNsPerSecond;
        QVERIFY2(std::abs(offByNs) <= slackNs,
                 qPrintable(QStringLiteral("beep %1 ns off the whole second").arg(offByNs)));
        const qint64 lengthFrames = beep.lastFrame - beep.firstFrame + 1;
        QVERIFY2(std::abs(lengthFrames - 4800) <= 2, qPrintable(QString::number(lengthFrames)));
        // Sampling may miss the crest by half a sample: cos(pi / 48) of full level at worst.
        QVERIFY2(beep.peak <= 0.12590f && beep.peak >= 0.12560f, qPrintable(QString::number(beep.peak)));
        // 100 cycles of 1 kHz cross zero 199 times between the beep's first and last sample.
        QVERIFY2(beep.signChanges >= 198 && beep.signChanges <= 200,
                 qPrintable(QString::number(beep.signChanges)));
        onsetFrames.push_back(beep.firstFrame);
    }
    QVERIFY2(onsetFrames.size() >= fewestBeeps && onsetFrames.size() <= mostBeeps,
             qPrintable(QString::number(onsetFrames.size())));
    for (size_t i = 1; i < onsetFrames.size(); ++i)
        QVERIFY(std::abs(onsetFrames[i] - onsetFrames[i - 1] - 48000) <= 1);
}

void TestAudioCapture::testToneStopsAtOnce()
{
    auto capture = std::make_unique<AudioCapture>();
    QVERIFY(capture->start(AudioCapture::testToneName(), 1));
    QCOMPARE(capture->channels(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(capture->availableSamples() > 0, 2000);

    capture->stop();
    QVERIFY(!capture->isRunning());
    QCOMPARE(capture->availableSamples(), size_t(0));
    QThread::msleep(30);
    QCOMPARE(capture->availableSamples(), size_t(0)); // the thread is gone, nothing arrives

    // It starts again, and destroying it while running joins the thread.
    QVERIFY(capture->start(AudioCapture::testToneName(), 2));
    QTRY_VERIFY_WITH_TIMEOUT(capture->availableSamples() > 0, 2000);
    capture.reset();
}

// ---- Capture through SDL -----------------------------------------------------------------

void TestAudioCapture::sdlCaptureDeliversKnownSamples_data()
{
    QTest::addColumn<QString>("deviceName");
    QTest::addColumn<int>("requestedChannels");
    QTest::addColumn<int>("channels");
    QTest::addColumn<bool>("namedDevice");

    QTest::newRow("empty name is the default device") << "" << 2 << 2 << false;
    QTest::newRow("\"default\"") << "default" << 2 << 2 << false;
    QTest::newRow("\"Default system input\"") << "Default system input" << 2 << 2 << false;
    QTest::newRow("mono") << "default" << 1 << 1 << false;
    QTest::newRow("no channel count means stereo") << "" << 0 << 2 << false;
    // The disk driver reads a named device from the file of that name: this proves the name
    // reaches SDL intact, non-ASCII letters included.
    QTest::newRow("named device, UTF-8") << "Mikrofon čćž" << 2 << 2 << true;
}

void TestAudioCapture::sdlCaptureDeliversKnownSamples()
{
    QFETCH(QString, deviceName);
    QFETCH(int, requestedChannels);
    QFETCH(int, channels);
    QFETCH(bool, namedDevice);

    const std::vector<float> known = ramp(0, 9600, channels); // 200 ms
    const std::vector<float> silence(known.size(), 0.0f);
    const QString knownFile = namedDevice ? m_dir.filePath(deviceName) : m_dir.filePath("known.raw");
    const QString defaultFile = m_dir.filePath("silence.raw");
    QVERIFY(writeRawFloats(knownFile, known));
    QVERIFY(writeRawFloats(defaultFile, namedDevice ? silence : known));
    const QString openedName = namedDevice ? knownFile : deviceName;

    DiskAudioDriver driver(defaultFile);
    QVERIFY2(driver.isOk(), SDL_GetError());

    // SDL's own path, sample for sample: the disk driver's pace is not a clock to follow.
    AudioCapture capture;
    capture.setDriftCompensationEnabled(false);
    QVERIFY(capture.start(openedName, requestedChannels));
    QVERIFY(capture.isRunning());
    QCOMPARE(capture.channels(), channels);
    QCOMPARE(capture.name(), openedName);

    QTRY_VERIFY_WITH_TIMEOUT(capture.availableSamples() >= known.size(), 5000);
    const std::vector<float> captured = capture.readSamples(int(known.size()));
    QCOMPARE(captured.size(), known.size());
    QVERIFY(captured == known);

    // The peak of everything captured so far (silence follows the file), then nothing.
    QCOMPARE(capture.takePeak(), rampValue(9599, 0));
    QCOMPARE(capture.takePeak(), 0.0f);

    capture.stop();
    QVERIFY(!capture.isRunning());
    QCOMPARE(capture.availableSamples(), size_t(0));
    QCOMPARE(capture.name(), openedName);
}

void TestAudioCapture::startRefusals_data()
{
    QTest::addColumn<QString>("deviceName");
    QTest::addColumn<QString>("warning");

    QTest::newRow("No Audio opens nothing") << "No Audio" << QString();
    QTest::newRow("unknown device")
        << "Nonexistent Microphone"
        << R"(^\[AudioCapture\] Failed to open audio device: "Nonexistent Microphone" Error: ".+"$)";
}

void TestAudioCapture::startRefusals()
{
    QFETCH(QString, deviceName);
    QFETCH(QString, warning);

    const QString file = m_dir.filePath("refusal.raw");
    QVERIFY(writeRawFloats(file, ramp(0, 480, 2)));
    DiskAudioDriver driver(file);
    QVERIFY2(driver.isOk(), SDL_GetError());

    // A running input is closed before the new name is looked at.
    AudioCapture capture;
    QVERIFY(capture.start(QString(), 2));
    if (warning.isEmpty())
        QTest::failOnWarning(QRegularExpression(".*"));
    else
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
    QVERIFY(!capture.start(deviceName, 2));
    QVERIFY(!capture.isRunning());
    QCOMPARE(capture.availableSamples(), size_t(0));
    QVERIFY(capture.readSamples(0).empty());
}

// SDL delivering about five times faster than real time and nobody reading: the buffer
// fills, keeps the newest two seconds on whole frames, and the loss is logged once, when the
// reader comes back.
void TestAudioCapture::sdlOverflowKeepsNewestAndLogsOnce()
{
    const QString file = m_dir.filePath("long.raw");
    QVERIFY(writeRawFloats(file, ramp(0, 48000 * 10, 2)));
    DiskAudioDriver driver(file, 1);
    QVERIFY2(driver.isOk(), SDL_GetError());

    AudioCapture capture;
    capture.setDriftCompensationEnabled(false); // a five-fold rate would be resampled
    QVERIFY(capture.start(QString(), 2));
    QTRY_VERIFY_WITH_TIMEOUT(capture.droppedSamples() > 0, 10000);
    QCOMPARE(capture.availableSamples(), size_t(192000));

    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(R"(^\[AudioCapture\] Buffer overflow on device: "" )"
                                            R"(dropped samples: \d+ \( \d+ ms \)$)"));
    const std::vector<float> kept = capture.readSamples(0);
    QCOMPARE(kept.size(), size_t(192000));
    const qint64 firstFrame = rampStartFrame(kept, 2);
    QVERIFY2(firstFrame > 0, "not a run of whole, consecutive frames");
    QVERIFY(quint64(firstFrame) * 2 <= capture.droppedSamples());
    capture.stop();
}

QTEST_GUILESS_MAIN(TestAudioCapture)
#include "tst_audiocapture.moc"
