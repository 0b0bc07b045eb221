// The take itself: audio files that go on in parts without a gap or an overlap (as Broadcast
// WAV files, each part with the time reference of its own first sample), a write failure that
// ends the take with every file finalised, the first frame slot, and a take started at an
// instant planned ahead that the tick reaches late.
#include "capture/ISource.h"
#include "recording/IEncoder.h"

#include "RecordingEncoder.h"
#include "recording/TakeRecorder.h"

#include "MediaReadback.h"

#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#if defined(Q_OS_LINUX)
#include <sys/resource.h>
#endif

namespace {

constexpr qint64 kMs = 1000000;

// A camera whose pictures carry their capture time; one byte tells them apart.
class TimedSource : public ISource
{
public:
    TimedSource() { m_running = true; }
    void add(qint64 timeNs, char fill)
    {
        const quint64 sequence = m_pictures.size() + 1;
        m_pictures.push_back({Picture::fromBytes(QByteArray(16, fill), PixelFormat::Rgba, 2, 2), timeNs, timeNs, sequence});
    }
    unsigned int textureId() const override { return 0; }
    int width() const override { return 2; }
    int height() const override { return 2; }
    void updateTexture() override {}
    void latestFrame(Picture &out) override { out = m_pictures.empty() ? Picture() : m_pictures.back().picture; }
    void picturesAfter(quint64 sequence, std::vector<TimedPicture> &out) override
    {
        out.clear();
        for (const TimedPicture &picture : m_pictures) {
            if (picture.sequence > sequence)
                out.push_back(picture);
        }
    }
    QString name() const override { return {}; }
    void setName(const QString &) override {}
    std::vector<TimedPicture> m_pictures;
};

// Stereo frames whose samples count up: any gap, repeat or swap shows in the files.
std::vector<float> countingFrames(qint64 first, qint64 frames)
{
    std::vector<float> samples(size_t(frames) * 2);
    for (qint64 i = 0; i < frames; ++i) {
        const float value = float((first + i) % 30000) / 32767.0f;
        samples[size_t(i) * 2] = value;
        samples[size_t(i) * 2 + 1] = -value;
    }
    return samples;
}

} // namespace

class TestTakeRecorder : public QObject
{
    Q_OBJECT

private slots:
    void audioGoesOnInPartsWithoutGapOrOverlap_data();
    void audioGoesOnInPartsWithoutGapOrOverlap();
    void writeFailureEndsTheTakeWithEveryFileFinalised();
    void firstSlotWaitsForAPictureOfItsOwn();
    void takeStartedAtAPastInstantKeepsItsLength();
    void channelTracksKeepTimeThroughAnInputsSilence();
};

void TestTakeRecorder::audioGoesOnInPartsWithoutGapOrOverlap_data()
{
    QTest::addColumn<bool>("broadcast");
    QTest::newRow("plain WAV") << false;
    QTest::newRow("Broadcast WAV") << true;
}

void TestTakeRecorder::audioGoesOnInPartsWithoutGapOrOverlap()
{
    QFETCH(bool, broadcast);
    QTemporaryDir dir;
    qint64 now = 1000 * kMs;
    TakeRecorder take(FrameRate{30, 1}, 48000, [&now] { return now; });
    take.setAudioPartLimitBytes(40000); // 10 000 frames per part
    const QString master = dir.filePath("Master_Audio_Output.wav");
    std::optional<BroadcastWavInfo> info;
    if (broadcast) {
        info = BroadcastWavInfo{};
        info->description = QStringLiteral("Show Take_01 master mix");
        info->timeReference = quint64(82634) * 48000; // 22:57:14
    }
    QVERIFY(take.openMasterAudio(master, info));
    QVERIFY(take.openChannelAudio(1, dir.filePath("Channel_01_Audio.wav"), info));
    take.start();

    // 25 000 frames in ticks of 1 200, with the channel mid-tick behind the master.
    qint64 sent = 0;
    while (sent < 25000) {
        const qint64 frames = std::min<qint64>(1200, 25000 - sent);
        const std::vector<float> block = countingFrames(sent, frames);
        take.appendAudio(block, {{1, block}}, true);
        sent += frames;
        now += 25 * kMs;
    }
    const TakeReport report = take.finish([](int) { return std::shared_ptr<ISource>(); });
    QVERIFY(report.failure.isEmpty());

    for (const TakeAudioFile &file : {report.masterAudio, report.channelAudio.at(1)}) {
        QCOMPARE(file.parts.size(), 3);
        QCOMPARE(file.partFrames, (QList<qint64>{10000, 10000, 5000}));
        QVERIFY(file.parts.at(1).endsWith(QStringLiteral("_002.wav")));
        QVERIFY(file.parts.at(2).endsWith(QStringLiteral("_003.wav")));
        // Each part a complete WAV; laid end to end they hold every frame once, in order.
        qint64 next = 0;
        for (const QString &part : file.parts) {
            const WavReadback wav = readWav(part);
            QVERIFY(wav.headerValid);
            QCOMPARE(wav.dataOffset + wav.dataSize, wav.fileSize);
            QCOMPARE(wav.dataOffset == 44, !broadcast);
            QCOMPARE(wav.bext.has_value(), broadcast);
            if (broadcast) {
                // Each part begins where the one before ended: an editor places it there.
                QCOMPARE(wav.bext->timeReference, quint64(82634) * 48000 + quint64(next));
                QCOMPARE(wav.bext->description.endsWith(QStringLiteral(" (part 2)")), part.endsWith(QStringLiteral("_002.wav")));
            }
            for (qint64 i = 0; i < wav.frames(); ++i, ++next) {
                const std::vector<float> expected = countingFrames(next, 1);
                if (wav.samples[size_t(i) * 2] != qint16(expected[0] * 32767.0f)
                    || wav.samples[size_t(i) * 2 + 1] != qint16(expected[1] * 32767.0f))
                    QFAIL(qPrintable(QStringLiteral("%1 frame %2 is not frame %3 of the take").arg(part).arg(i).arg(next)));
            }
        }
        QCOMPARE(next, qint64(25000));
    }
    QCOMPARE(report.masterAudio.parts.first(), master);
}

void TestTakeRecorder::writeFailureEndsTheTakeWithEveryFileFinalised()
{
#if defined(Q_OS_LINUX)
    // A file size limit refuses writes past it for this process alone, as a full disk does.
    QTemporaryDir dir;
    qint64 now = 1000 * kMs;
    TakeRecorder take(FrameRate{30, 1}, 48000, [&now] { return now; });
    QVERIFY(take.openMasterAudio(dir.filePath("Master_Audio_Output.wav")));
    QVERIFY(take.openChannelAudio(2, dir.filePath("Channel_02_Audio.wav")));
    take.start();
    const std::vector<float> block = countingFrames(0, 1200);
    take.appendAudio(block, {{2, block}}, true);
    take.waitForAudioWrites();

    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 44 + 4800 * 3;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    for (int tick = 0; tick < 4; ++tick)
        take.appendAudio(block, {{2, block}}, true);
    take.waitForAudioWrites();
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, previousHandler);

    // The caller sees the failure, with the file it came from, and stops the take.
    const QString failure = take.failure();
    QVERIFY2(failure.startsWith(QStringLiteral("Master audio:")) || failure.startsWith(QStringLiteral("Channel 2 audio:")),
             qPrintable(failure));
    const TakeReport report = take.finish([](int) { return std::shared_ptr<ISource>(); });
    QCOMPARE(report.failure, failure);
    for (const QString &path : {report.masterAudio.parts.first(), report.channelAudio.at(2).parts.first()}) {
        const WavReadback wav = readWav(path);
        QVERIFY2(wav.headerValid, qPrintable(path));
        QCOMPARE(qint64(wav.dataSize) + 44, wav.fileSize); // the header describes what is there
        QVERIFY(wav.frames() >= 1200);
    }
#else
    QSKIP("needs RLIMIT_FSIZE");
#endif
}

void TestTakeRecorder::firstSlotWaitsForAPictureOfItsOwn()
{
    // A flash 160 ms before the take (the camera stalled while the files opened), then the
    // camera catches up with a picture inside slot 0: frame 0 holds that one.
    qint64 now = 10000 * kMs;
    TakeRecorder take(FrameRate{30, 1}, 48000, [&now] { return now; });
    auto encoder = std::make_shared<RecordingEncoder>();
    take.addCamera(1, encoder, 2, 2);
    auto camera = std::make_shared<TimedSource>();
    camera->add(now - 160 * kMs, 'F');
    take.start();
    const auto sources = [&](int) { return std::static_pointer_cast<ISource>(camera); };
    take.pumpFrames(sources);
    QVERIFY(encoder->frames.empty()); // slot 0 has not had time for its picture yet
    camera->add(take.startNs() + 10 * kMs, 'a');
    camera->add(take.startNs() + 43 * kMs, 'b');
    now = take.startNs() + 100 * kMs;
    take.pumpFrames(sources);
    QCOMPARE(encoder->frames.size(), size_t(2));
    QCOMPARE(encoder->frames[0].pixels.at(0), 'a');
    QCOMPARE(encoder->frames[1].pixels.at(0), 'b');
    take.finish(sources);
}

void TestTakeRecorder::takeStartedAtAPastInstantKeepsItsLength()
{
    // The planned instant was 40 ms ago when the tick came; the take counts from it and holds
    // exactly its length of frames and audio, the sound that came before the start lost.
    QTemporaryDir folder;
    qint64 now = 10000 * kMs;
    TakeRecorder take(FrameRate{30, 1}, 48000, [&now] { return now; });
    QVERIFY(take.openMasterAudio(folder.filePath(QStringLiteral("Master.wav"))));
    auto encoder = std::make_shared<RecordingEncoder>();
    take.addCamera(1, encoder, 2, 2);
    auto camera = std::make_shared<TimedSource>();
    camera->add(now - 100 * kMs, 'a');
    const auto sources = [&](int) { return std::static_pointer_cast<ISource>(camera); };
    take.start(now - 40 * kMs);
    QCOMPARE(take.startNs(), now - 40 * kMs);
    take.limitLength(1000 * kMs);
    // 40 ms of silence stand for the time before the inputs' sound began.
    QCOMPARE(take.audioFramesAppended(), qint64(1920));
    for (int tick = 0; tick < 60 && !take.isLengthReached(); ++tick) {
        now += 25 * kMs;
        take.appendAudio(std::vector<float>(1200 * 2, 0.25f), {}, true);
        take.pumpFrames(sources);
    }
    QVERIFY(take.isLengthReached());
    const TakeReport report = take.finish(sources);
    QCOMPARE(report.durationNs, 1000 * kMs);
    QCOMPARE(encoder->frames.size(), size_t(30));
    QCOMPARE(take.audioFramesAppended(), qint64(48000));
}

// A take of exactly one second whose channel 1 input vanishes for a while (no output at all)
// and whose channel 2 input the mixer fills in for: both tracks stay as long as the master,
// the silence is counted per channel, and a stop that comes late leaves every file exactly
// one second long, its last milliseconds silence that is no input's.
void TestTakeRecorder::channelTracksKeepTimeThroughAnInputsSilence()
{
    QTemporaryDir dir;
    qint64 now = 1000 * kMs;
    TakeRecorder take(FrameRate{30, 1}, 48000, [&now] { return now; });
    QVERIFY(take.openMasterAudio(dir.filePath("Master_Audio_Output.wav")));
    QVERIFY(take.openChannelAudio(1, dir.filePath("Channel_01_Audio.wav")));
    QVERIFY(take.openChannelAudio(2, dir.filePath("Channel_02_Audio.wav")));
    take.limitLength(1000 * kMs);
    take.start();
    const std::vector<float> block = countingFrames(0, 1200);
    for (int tick = 0; tick < 39; ++tick) { // 46 800 frames arrive, 1 200 short of the second
        std::map<int, std::vector<float>> channels{{2, block}};
        if (tick < 10 || tick >= 20)
            channels[1] = block;
        take.appendAudio(block, channels, true, {{2, tick == 5 ? 300 : 0}});
        now += 25 * kMs;
    }
    now += 200 * kMs; // the stop comes late
    const TakeReport report = take.finish([](int) { return std::shared_ptr<ISource>(); });
    QVERIFY(report.failure.isEmpty());

    QCOMPARE(report.channelSilenceFrames, (std::map<int, qint64>{{1, 12000}, {2, 300}}));
    for (const QString &path : {report.masterAudio.parts.first(), report.channelAudio.at(1).parts.first(),
                                report.channelAudio.at(2).parts.first()}) {
        const WavReadback wav = readWav(path);
        QCOMPARE(wav.frames(), qint64(48000));
        QCOMPARE(wav.samples[size_t(47999) * 2], qint16(0));
    }
    const WavReadback channel1 = readWav(report.channelAudio.at(1).parts.first());
    QCOMPARE(channel1.samples[size_t(12000 + 1) * 2], qint16(0));        // in the gap
    QVERIFY(channel1.samples[size_t(24000 + 1) * 2] != qint16(0));       // back, in step
    QCOMPARE(channel1.samples[size_t(24000 + 1) * 2], readWav(report.masterAudio.parts.first()).samples[size_t(24000 + 1) * 2]);
}

QTEST_GUILESS_MAIN(TestTakeRecorder)
#include "tst_takerecorder.moc"
