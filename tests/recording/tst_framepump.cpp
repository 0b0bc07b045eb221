// The frame pump in simulated time: which picture each slot gets (never one from after the
// slot), black before the first picture and repeats after the last, slots that wait for a
// camera handing its pictures over late (at every phase of its frames against the slots,
// with jitter, slower and faster cameras), a camera that stalls, and a stream whose every
// picture must go to the file in order.
#include "recording/FramePump.h"
#include "capture/ISource.h"
#include "recording/IEncoder.h"

#include "RecordingEncoder.h"

#include <QTest>

#include <random>

namespace {

constexpr qint64 kSecond = 1'000'000'000;
constexpr qint64 kStart = 10 * kSecond; // the take's start on the simulated clock

// A camera in simulated time: pictures the test adds become visible to the pump once the
// clock has passed the moment they were handed over. Each picture's first byte names it.
class ScriptedSource : public ISource
{
public:
    ScriptedSource() { m_running = true; }

    void add(qint64 takenNs, char name, qint64 latencyNs = 0, bool isKeyFrame = true)
    {
        TimedPicture timed;
        timed.picture = Picture::fromBytes(QByteArray(4 * 2 * 4, name), PixelFormat::Rgba, 4, 2);
        timed.picture.setKeyFrame(isKeyFrame);
        timed.takenNs = takenNs;
        timed.arrivedNs = takenNs + latencyNs;
        timed.sequence = ++m_sequence;
        m_pictures.push_back(timed);
    }
    void setNow(qint64 nowNs) { m_nowNs = nowNs; }
    void stop() { m_running = false; }

    unsigned int textureId() const override { return 0; }
    int width() const override { return 4; }
    int height() const override { return 2; }
    void updateTexture() override {}
    void latestFrame(Picture &out) override
    {
        out = Picture();
        for (const TimedPicture &picture : m_pictures) {
            if (picture.arrivedNs <= m_nowNs)
                out = picture.picture;
        }
    }
    void picturesAfter(quint64 sequence, std::vector<TimedPicture> &out) override
    {
        out.clear();
        // Like a camera, it keeps only its last dozen pictures.
        std::vector<TimedPicture> visible;
        for (const TimedPicture &picture : m_pictures) {
            if (picture.arrivedNs <= m_nowNs)
                visible.push_back(picture);
        }
        const size_t first = visible.size() > 12 ? visible.size() - 12 : 0;
        for (size_t i = first; i < visible.size(); ++i) {
            if (visible[i].sequence > sequence)
                out.push_back(visible[i]);
        }
    }
    QString name() const override { return {}; }
    void setName(const QString &) override {}

private:
    std::vector<TimedPicture> m_pictures;
    quint64 m_sequence = 0;
    qint64 m_nowNs = 0;
};

struct Fixture
{
    explicit Fixture(double fps = 30.0, bool everyPicture = false)
        : pump(frameRateFraction(fps))
    {
        pump.setStartTime(kStart);
        encoder->isEveryPicture = everyPicture;
        pump.addChannel(1, encoder, 4, 2);
    }
    int pumpAt(qint64 nowNs)
    {
        source->setNow(nowNs);
        return pump.pump(nowNs, std::numeric_limits<qint64>::max(), lookup());
    }
    FramePump::SourceLookup lookup()
    {
        return [this](int) { return isRemoved ? std::shared_ptr<ISource>() : std::static_pointer_cast<ISource>(source); };
    }
    QByteArray names() const
    {
        QByteArray result;
        for (const VideoFrame &frame : encoder->frames)
            result.append(frame.pixels.format() == PixelFormat::Rgba ? frame.pixels.at(0) : '.');
        return result;
    }

    FramePump pump;
    std::shared_ptr<RecordingEncoder> encoder = std::make_shared<RecordingEncoder>();
    std::shared_ptr<ScriptedSource> source = std::make_shared<ScriptedSource>();
    bool isRemoved = false;
};

} // namespace

class TestFramePump : public QObject
{
    Q_OBJECT

private slots:
    void frameSlots_data();
    void frameSlots();
    void blackThenRepeatsWhenNothingNewComes();
    void eachSlotGetsThePictureOfItsTime_data();
    void eachSlotGetsThePictureOfItsTime();
    void lateHandOverFillsEverySlot_data();
    void lateHandOverFillsEverySlot();
    void stalledCameraWaitsNoLongerThanItsBound();
    void everyPictureStreamKeepsItsOrder();
    void cameraJoiningTheTakeBeginsAtItsSlot();
};

void TestFramePump::frameSlots_data()
{
    QTest::addColumn<double>("fps");
    QTest::addColumn<qint64>("elapsedNs");
    QTest::addColumn<qint64>("started");
    QTest::addColumn<qint64>("covering");
    QTest::newRow("start") << 30.0 << qint64(0) << qint64(1) << qint64(1);
    QTest::newRow("just before slot 2") << 30.0 << qint64(33333332) << qint64(1) << qint64(1);
    QTest::newRow("slot 2") << 30.0 << qint64(33333334) << qint64(2) << qint64(1);
    QTest::newRow("10 s") << 30.0 << qint64(10000000000LL) << qint64(301) << qint64(300);
    QTest::newRow("60 s at 29.97") << 29.97 << qint64(60000000000LL) << qint64(1799) << qint64(1798);
    // 30000/1001 exactly: 2 592 000 000 / 1001 = 2 589 410.59 frames in a day.
    QTest::newRow("24 h at 29.97") << 29.97 << qint64(86400000000000LL) << qint64(2589411) << qint64(2589411);
    QTest::newRow("1 h at 23.976") << 23.976 << qint64(3600000000000LL) << qint64(86314) << qint64(86314);
    QTest::newRow("before the start") << 25.0 << qint64(-1) << qint64(0) << qint64(1);
}

void TestFramePump::frameSlots()
{
    QFETCH(double, fps);
    QFETCH(qint64, elapsedNs);
    QFETCH(qint64, started);
    QFETCH(qint64, covering);
    FramePump pump(frameRateFraction(fps));
    QCOMPARE(pump.slotsStartedBy(elapsedNs), started);
    QCOMPARE(pump.slotsCovering(elapsedNs), covering);
}

void TestFramePump::blackThenRepeatsWhenNothingNewComes()
{
    Fixture f(10.0); // 100 ms slots
    // Running, nothing delivered: black at the encoder's size once the slot has waited.
    QCOMPARE(f.pumpAt(kStart + 50'000'000), 0);
    f.pumpAt(kStart + 100'000'000);
    QCOMPARE(f.encoder->frames.size(), size_t(1));
    QCOMPARE(f.encoder->frames[0].pixels, blackPicture(4, 2));

    f.source->add(kStart + 120'000'000, 'a');
    f.pumpAt(kStart + 450'000'000);
    f.source->stop(); // a stopped camera's slots close at once and repeat
    f.pumpAt(kStart + 610'000'000);
    f.isRemoved = true; // and so do those of a camera taken off its channel
    f.pumpAt(kStart + 810'000'000);
    QCOMPARE(f.names(), QByteArray(".aaaaaaa"));
    for (size_t i = 0; i < f.encoder->frames.size(); ++i)
        QCOMPARE(f.encoder->frames[i].frameIndex, qint64(i));
    // Shared with the camera, not copied.
    QVERIFY(f.encoder->frames[1].pixels.isSharedWith(f.encoder->frames[7].pixels));
    // Black before the first picture is not a repeat; every slot after it with nothing new is.
    QCOMPARE(f.pump.repeatedFrames(1), qint64(6));
    QCOMPARE(f.pump.totalFramesSent(), qint64(8));
}

void TestFramePump::eachSlotGetsThePictureOfItsTime_data()
{
    QTest::addColumn<QList<qint64>>("takenMs"); // after the take's start, one picture each
    QTest::addColumn<qint64>("readAtMs");
    QTest::addColumn<QByteArray>("expected"); // one name per slot of 100 ms
    QTest::addColumn<qint64>("skipped");

    // 10 fps, pictures named a, b, c, ... in order; the pump reads once, late.
    QTest::newRow("one picture per slot, read late") << QList<qint64>{10, 110, 210, 310} << qint64(700)
                                                     << QByteArray("abcd") << qint64(0);
    QTest::newRow("a slot the camera skipped repeats") << QList<qint64>{10, 110, 310, 410} << qint64(800)
                                                       << QByteArray("abbcd") << qint64(0);
    QTest::newRow("two in a slot: the newer, the older skipped")
        << QList<qint64>{10, 110, 130, 210} << qint64(700) << QByteArray("acd") << qint64(1);
    // A slot shows the picture taken nearest its start: the newest before its sampling
    // instant, never a later one.
    QTest::newRow("no picture of its own: the newest before it, never a later one")
        << QList<qint64>{-180, -80, 120, 220} << qint64(700) << QByteArray("bcd") << qint64(0);
    QTest::newRow("only later pictures: black until the picture's own slot")
        << QList<qint64>{250} << qint64(700) << QByteArray("...a") << qint64(0);
}

void TestFramePump::eachSlotGetsThePictureOfItsTime()
{
    QFETCH(QList<qint64>, takenMs);
    QFETCH(qint64, readAtMs);
    QFETCH(QByteArray, expected);
    QFETCH(qint64, skipped);

    Fixture f(10.0);
    char name = 'a';
    for (qint64 ms : takenMs)
        f.source->add(kStart + ms * 1'000'000, name++, 5'000'000);
    f.pumpAt(kStart + readAtMs * 1'000'000);
    QCOMPARE(f.names().left(expected.size()), expected);
    QCOMPARE(f.pump.skippedPictures(1), skipped);
}

void TestFramePump::lateHandOverFillsEverySlot_data()
{
    QTest::addColumn<double>("cameraFps");
    QTest::addColumn<qint64>("decodeNs");  // after the frame period the buffer takes to arrive
    QTest::addColumn<double>("phase");     // of the camera's frames against the slots, in frames
    QTest::addColumn<qint64>("jitterNs");  // of its time stamps, either way
    QTest::addColumn<qint64>("maxRepeated");
    QTest::addColumn<qint64>("minSkipped");
    QTest::addColumn<qint64>("maxSkipped");

    // A UVC camera stamps a picture at the start of its frame period and hands it over at the
    // end, then it is decoded: a frame and 12 ms late. Every phase across a frame, 60 s each.
    for (int sixteenth = 0; sixteenth < 16; ++sixteenth)
        QTest::addRow("30 fps, phase %d/16", sixteenth) << 30.0 << qint64(12'000'000) << sixteenth / 16.0 << qint64(0) << qint64(0) << qint64(0) << qint64(0);
    // Real cameras' stamps jitter; right on a slot's edge they must not hop between slots.
    for (double phase : {0.0, 0.5, 0.999})
        QTest::addRow("30 fps, jitter 1.5 ms, phase %.3f", phase) << 30.0 << qint64(12'000'000) << phase << qint64(1'500'000) << qint64(0) << qint64(0) << qint64(0);
    // A camera a little slow or fast against the clock: one repeated or skipped slot each
    // time its frames have drifted a whole frame (1.8 in 60 s), never a stutter.
    // A loaded machine decodes slowly: more than two frames from time stamp to hand-over.
    for (double phase : {0.1, 0.9})
        QTest::addRow("30 fps, decoded 50 ms later, phase %.1f", phase) << 30.0 << qint64(50'000'000) << phase << qint64(1'000'000) << qint64(0) << qint64(0) << qint64(0);
    QTest::newRow("29.97 fps camera") << 29.97 << qint64(12'000'000) << 0.3 << qint64(1'000'000) << qint64(2) << qint64(0) << qint64(0);
    QTest::newRow("30.03 fps camera") << 30.03 << qint64(12'000'000) << 0.3 << qint64(1'000'000) << qint64(0) << qint64(1) << qint64(2);
    // Twice the rate: every other picture is skipped, no slot repeats.
    QTest::newRow("60 fps camera") << 60.0 << qint64(12'000'000) << 0.25 << qint64(500'000) << qint64(0) << qint64(1795) << qint64(1801);
}

void TestFramePump::lateHandOverFillsEverySlot()
{
    QFETCH(double, cameraFps);
    QFETCH(qint64, decodeNs);
    QFETCH(double, phase);
    QFETCH(qint64, jitterNs);
    QFETCH(qint64, maxRepeated);
    QFETCH(qint64, minSkipped);
    QFETCH(qint64, maxSkipped);

    Fixture f(30.0);
    const double frameNs = 1e9 / cameraFps;
    const qint64 latencyNs = qint64(frameNs) + decodeNs;
    std::mt19937 random(7);
    std::uniform_int_distribution<qint64> jitter(-jitterNs, jitterNs);
    // The camera runs from well before the take; the recording tick comes every 33 ms at its
    // own phase, sometimes late.
    const qint64 cameraStart = kStart - kSecond + qint64(phase * 1e9 / 30.0);
    qint64 picture = 0;
    const qint64 takeNs = 60 * kSecond;
    for (qint64 tick = kStart + 7'000'000; tick < kStart + takeNs; tick += 33'000'000 + (tick / 1000) % 7'000'000) {
        for (;; ++picture) {
            const qint64 taken = cameraStart + qint64(double(picture) * frameNs) + jitter(random);
            if (taken + latencyNs > tick)
                break;
            f.source->add(taken, char('a' + picture % 26), latencyNs);
        }
        f.pumpAt(tick);
    }
    const qint64 closed = f.pump.framesSent(1);
    QVERIFY2(closed > 60 * 30 - 5, qPrintable(QString::number(closed))); // the slots kept up
    QVERIFY2(f.pump.repeatedFrames(1) <= maxRepeated, qPrintable(QString::number(f.pump.repeatedFrames(1))));
    const qint64 skipped = f.pump.skippedPictures(1);
    QVERIFY2(skipped >= minSkipped && skipped <= maxSkipped, qPrintable(QString::number(skipped)));
    QVERIFY2(f.pump.latencyNs(1) >= latencyNs - jitterNs && f.pump.latencyNs(1) <= latencyNs + jitterNs,
             qPrintable(QString::number(f.pump.latencyNs(1))));
}

void TestFramePump::stalledCameraWaitsNoLongerThanItsBound()
{
    Fixture f(30.0);
    const double slotNs = 1e9 / 30.0;
    // 30 fps, 10 ms into each slot, handed over 40 ms late; then the camera goes quiet.
    constexpr qint64 kLatency = 40'000'000;
    for (int i = 0; i < 30; ++i)
        f.source->add(kStart - 190'000'000 + qint64(i * slotNs), 'a', kLatency);
    // A slot closes at its sampling instant (half a frame from the pictures) plus the
    // camera's latency and the margin: no earlier, and no later while the camera is silent.
    const double instantInSlot = 10'000'000 + slotNs / 2;
    const auto closedBy = [&](qint64 nowNs) {
        const double waitNs = double(kLatency + kLatency / 4 + CameraTiming::MarginNs);
        return qint64(std::floor((double(nowNs - kStart) - waitNs - instantInSlot) / slotNs)) + 1;
    };
    for (qint64 ms = 0; ms <= 2000; ms += 10) {
        f.pumpAt(kStart + ms * 1'000'000);
        if (ms == 830 || ms == 900 || ms == 2000)
            QCOMPARE(f.pump.framesSent(1), closedBy(kStart + ms * 1'000'000));
    }
    // The last picture fell in slot 23; every slot after it repeats it.
    QCOMPARE(f.pump.repeatedFrames(1), f.pump.framesSent(1) - 24);
    QCOMPARE(f.names().right(1), QByteArray("a"));
    QVERIFY(CameraTiming(slotNs).waitNs() <= CameraTiming::MaxWaitNs);
}

void TestFramePump::everyPictureStreamKeepsItsOrder()
{
    Fixture f(10.0, true);
    QVERIFY(f.encoder->needsEveryPicture());
    // A key frame every fourth slot; pictures 30 ms into their slots, 20 ms late.
    const auto add = [&](int slot, char name, qint64 offsetMs = 30) {
        f.source->add(kStart + slot * 100'000'000 + offsetMs * 1'000'000, name, 20'000'000, slot % 4 == 0);
    };
    add(-1, 'z'); // before the take: not recorded
    add(0, 'a');
    add(1, 'b');
    add(4, 'e'); // slots 2 and 3 got nothing: the gap is the previous picture's
    add(5, 'f');
    f.pumpAt(kStart + 700'000'000);
    // Five pictures in slot 6 (a camera running fast): each goes to the next free slot while
    // that keeps it near its time; the fifth would be four slots late and is dropped, and so
    // is everything after it up to the next key frame.
    for (int i = 0; i < 5; ++i)
        add(6, char('g' + i), 30 + 4 * i);
    add(11, 'l');
    add(12, 'm');
    f.pumpAt(kStart + 1'500'000'000);
    f.pump.fill(16, f.lookup());

    QByteArray sent;
    QList<qint64> indices;
    for (const VideoFrame &frame : f.encoder->frames) {
        sent.append(frame.pixels.at(0));
        indices.append(frame.frameIndex);
    }
    QCOMPARE(sent, QByteArray("abefghijm"));
    QCOMPARE(indices, (QList<qint64>{0, 1, 4, 5, 6, 7, 8, 9, 12}));
    // Slots no picture reached: 2, 3, 10, 11 and 13..15 after the last picture.
    QCOMPARE(f.pump.repeatedFrames(1), qint64(7));
    QCOMPARE(f.pump.skippedPictures(1), qint64(2));
    QCOMPARE(f.pump.framesSent(1), qint64(16));
    QCOMPARE(f.encoder->endFrame, qint64(16));
}

void TestFramePump::cameraJoiningTheTakeBeginsAtItsSlot()
{
    // 10 fps; a picture 10 ms into every slot. Camera 2 joins at slot 5: its file's frame 0
    // is the picture of slot 5, and it gets as many frames as slots are left.
    Fixture f(10.0);
    for (int k = 0; k < 10; ++k)
        f.source->add(kStart + k * 100'000'000LL + 10'000'000, char('a' + k));
    f.pumpAt(kStart + 480'000'000);
    QCOMPARE(f.names(), QByteArray("abcde"));
    auto joined = std::make_shared<RecordingEncoder>();
    f.pump.addChannel(2, joined, 4, 2, 5);
    f.source->setNow(kStart + 2 * kSecond);
    f.pump.fill(10, f.lookup());

    QCOMPARE(f.names(), QByteArray("abcdefghij"));
    QByteArray joinedNames;
    for (size_t k = 0; k < joined->frames.size(); ++k) {
        QCOMPARE(joined->frames[k].frameIndex, qint64(k));
        joinedNames.append(joined->frames[k].pixels.at(0));
    }
    QCOMPARE(joinedNames, QByteArray("fghij"));
    QCOMPARE(f.pump.firstSlot(2), qint64(5));
    QCOMPARE(f.pump.framesSent(2), qint64(5));
    QCOMPARE(f.pump.repeatedFrames(2), qint64(0));
}

QTEST_GUILESS_MAIN(TestFramePump)
#include "tst_framepump.moc"
