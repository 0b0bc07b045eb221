#include "recording/FramePump.h"
#include "capture/ISource.h"
#include "recording/IEncoder.h"

#include "RecordingEncoder.h"

#include <QTest>

// A source whose picture the test sets.
class StillSource : public ISource
{
public:
    void setPicture(int w, int h, char fill)
    {
        m_w = w;
        m_h = h;
        m_picture = QByteArray(qsizetype(w) * h * 4, fill);
        m_running = true;
    }
    void stop() { m_running = false; }
    unsigned int textureId() const override { return 0; }
    int width() const override { return m_w; }
    int height() const override { return m_h; }
    void updateTexture() override {}
    void latestFrame(Picture &out) override { out = m_picture; }
    QString name() const override { return {}; }
    void setName(const QString &) override {}

    Picture m_picture;
    int m_w = 0, m_h = 0;
};

// A source that knows when each of its pictures arrived.
class TimedSource : public StillSource
{
public:
    void add(qint64 timeNs, char fill)
    {
        setPicture(2, 2, fill);
        m_timed.push_back({timeNs, m_picture});
    }
    void pictureAt(qint64 timeNs, Picture &out) override
    {
        out = Picture(); // none kept at or before timeNs
        for (const auto &[t, picture] : m_timed) {
            if (t <= timeNs)
                out = picture;
        }
    }
    std::vector<std::pair<qint64, Picture>> m_timed;
};

class TestFramePump : public QObject
{
    Q_OBJECT

private slots:
    void frameSlots_data();
    void frameSlots();
    void framesAreConsecutiveAndRepeatThePicture();
    void blackUntilTheCameraDelivers();
    void stoppedCameraRepeatsItsLastPicture();
    void picturesAreSharedNotCopied();
    void lateTickGivesEachSlotItsOwnPicture();
    void slotNeverHoldsALaterPicture();
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

void TestFramePump::framesAreConsecutiveAndRepeatThePicture()
{
    FramePump pump;
    auto encoder = std::make_shared<RecordingEncoder>();
    auto source = std::make_shared<StillSource>();
    source->setPicture(4, 2, 'a');
    pump.addChannel(1, encoder, 4, 2);
    auto lookup = [&](int) { return std::static_pointer_cast<ISource>(source); };

    QCOMPARE(pump.pump(1, lookup), 1);
    QCOMPARE(pump.pump(1, lookup), 0); // nothing new is due
    QCOMPARE(pump.pump(4, lookup), 3); // a late tick catches up
    QCOMPARE(encoder->frames.size(), size_t(4));
    for (size_t i = 0; i < encoder->frames.size(); ++i) {
        QCOMPARE(encoder->frames[i].frameIndex, qint64(i));
        QCOMPARE(encoder->frames[i].pixels, source->m_picture);
        QCOMPARE(encoder->frames[i].width, 4);
    }
    QCOMPARE(pump.framesSent(1), qint64(4));
    QCOMPARE(pump.totalFramesSent(), qint64(4));
    // One picture in four slots: three of them had nothing new.
    QCOMPARE(pump.repeatedFrames(1), qint64(3));
    QCOMPARE(pump.totalRepeatedFrames(), qint64(3));
}

void TestFramePump::blackUntilTheCameraDelivers()
{
    FramePump pump;
    auto encoder = std::make_shared<RecordingEncoder>();
    auto source = std::make_shared<StillSource>(); // running, but no picture yet
    pump.addChannel(2, encoder, 8, 6);
    pump.pump(1, [&](int) { return std::static_pointer_cast<ISource>(source); });
    QCOMPARE(encoder->frames.size(), size_t(1));
    const VideoFrame &black = encoder->frames[0];
    QCOMPARE(black.width, 8);
    QCOMPARE(black.height, 6);
    QCOMPARE(black.pixels.size(), 8 * 6 * 4);
    QCOMPARE(black.pixels.bytes().count(char(0)), 8 * 6 * 3);

    source->setPicture(8, 6, 'z');
    pump.pump(2, [&](int) { return std::static_pointer_cast<ISource>(source); });
    QCOMPARE(encoder->frames[1].pixels, source->m_picture);
    QCOMPARE(pump.repeatedFrames(2), qint64(0));
}

void TestFramePump::stoppedCameraRepeatsItsLastPicture()
{
    FramePump pump;
    auto encoder = std::make_shared<RecordingEncoder>();
    auto source = std::make_shared<StillSource>();
    source->setPicture(2, 2, 'q');
    pump.addChannel(1, encoder, 2, 2);
    pump.pump(1, [&](int) { return std::static_pointer_cast<ISource>(source); });
    const Picture last = source->m_picture;

    source->stop();
    pump.pump(3, [&](int) { return std::static_pointer_cast<ISource>(source); });
    // The camera removed from its channel altogether.
    pump.pump(5, [](int) { return std::shared_ptr<ISource>(); });
    QCOMPARE(encoder->frames.size(), size_t(5));
    QCOMPARE(encoder->frames[4].pixels, last);
    QCOMPARE(encoder->frames[4].frameIndex, qint64(4));
    // Every slot after the camera stopped repeats; a take counts them, never drops them.
    QCOMPARE(pump.repeatedFrames(1), qint64(4));
}

void TestFramePump::picturesAreSharedNotCopied()
{
    FramePump pump;
    auto encoder = std::make_shared<RecordingEncoder>();
    auto source = std::make_shared<StillSource>();
    source->setPicture(1920, 1080, 'x');
    pump.addChannel(1, encoder, 1920, 1080);
    pump.pump(3, [&](int) { return std::static_pointer_cast<ISource>(source); });
    QCOMPARE(encoder->frames[0].pixels.constData(), source->m_picture.constData());
    QCOMPARE(encoder->frames[2].pixels.constData(), source->m_picture.constData());
}

void TestFramePump::lateTickGivesEachSlotItsOwnPicture()
{
    // Pictures arrive 10 ms into each 100 ms slot (10 fps); the pump reads only once, late.
    FramePump pump(FrameRate{10, 1});
    pump.setStartTime(1000000000);
    auto encoder = std::make_shared<RecordingEncoder>();
    auto source = std::make_shared<TimedSource>();
    for (int k = 0; k < 4; ++k)
        source->add(1000000000 + k * 100000000LL + 10000000, char('a' + k));
    pump.addChannel(1, encoder, 2, 2);
    pump.pump(4, [&](int) { return std::static_pointer_cast<ISource>(source); });
    QCOMPARE(encoder->frames.size(), size_t(4));
    for (int k = 0; k < 4; ++k)
        QCOMPARE(encoder->frames[size_t(k)].pixels.at(0), char('a' + k));
    QCOMPARE(pump.repeatedFrames(1), qint64(0));

    // A camera that skips a slot (no picture within slot 5) repeats exactly that one.
    source->add(1000000000 + 4 * 100000000LL + 10000000, 'e');
    source->add(1000000000 + 6 * 100000000LL + 10000000, 'g');
    pump.pump(7, [&](int) { return std::static_pointer_cast<ISource>(source); });
    QCOMPARE(encoder->frames[5].pixels.at(0), 'e');
    QCOMPARE(pump.repeatedFrames(1), qint64(1));
}

void TestFramePump::slotNeverHoldsALaterPicture()
{
    // 10 fps from t = 1 s. A flash 150 ms before the take, the first picture of the take in
    // slot 1 (slot 0 got none), then one in slot 3: slot 0 holds the newest picture before
    // it, slot 2 repeats slot 1, never the picture of a later slot.
    FramePump pump(FrameRate{10, 1});
    pump.setStartTime(1000000000);
    auto encoder = std::make_shared<RecordingEncoder>();
    auto source = std::make_shared<TimedSource>();
    source->add(850000000, 'F');
    source->add(1120000000, 'b');
    source->add(1310000000, 'd');
    pump.addChannel(1, encoder, 2, 2);
    pump.pump(4, [&](int) { return std::static_pointer_cast<ISource>(source); });
    QCOMPARE(QByteArray(1, encoder->frames[0].pixels.at(0)), QByteArray("F"));
    QCOMPARE(QByteArray(1, encoder->frames[1].pixels.at(0)), QByteArray("b"));
    QCOMPARE(QByteArray(1, encoder->frames[2].pixels.at(0)), QByteArray("b"));
    QCOMPARE(QByteArray(1, encoder->frames[3].pixels.at(0)), QByteArray("d"));

    // Only pictures newer than the slot are kept: black, not a picture from the future.
    FramePump late(FrameRate{10, 1});
    late.setStartTime(1000000000);
    auto lateEncoder = std::make_shared<RecordingEncoder>();
    auto newer = std::make_shared<TimedSource>();
    newer->add(1250000000, 'x');
    late.addChannel(1, lateEncoder, 2, 2);
    late.pump(1, [&](int) { return std::static_pointer_cast<ISource>(newer); });
    QCOMPARE(lateEncoder->frames[0].pixels.at(0), char(0));
}

void TestFramePump::cameraJoiningTheTakeBeginsAtItsSlot()
{
    // 10 fps from t = 1 s; a picture 10 ms into every slot. Camera 2 joins at slot 5: its
    // file's frame 0 is the picture of slot 5, and it gets as many frames as slots are left.
    FramePump pump(FrameRate{10, 1});
    pump.setStartTime(1000000000);
    auto first = std::make_shared<RecordingEncoder>();
    auto joined = std::make_shared<RecordingEncoder>();
    auto source = std::make_shared<TimedSource>();
    for (int k = 0; k < 10; ++k)
        source->add(1000000000 + k * 100000000LL + 10000000, char('a' + k));
    const auto lookup = [&](int) { return std::static_pointer_cast<ISource>(source); };
    pump.addChannel(1, first, 2, 2);
    pump.pump(5, lookup);
    pump.addChannel(2, joined, 2, 2, 5);
    pump.pump(10, lookup);
    QCOMPARE(first->frames.size(), size_t(10));
    QCOMPARE(joined->frames.size(), size_t(5));
    for (int k = 0; k < 5; ++k) {
        QCOMPARE(joined->frames[size_t(k)].frameIndex, qint64(k));
        QCOMPARE(joined->frames[size_t(k)].pixels.at(0), char('f' + k));
    }
    QCOMPARE(pump.firstSlot(2), qint64(5));
    QCOMPARE(pump.repeatedFrames(2), qint64(0));
}

QTEST_GUILESS_MAIN(TestFramePump)
#include "tst_framepump.moc"
