// The channels' own recordings (ISO tracks) of a podcast on one four-input interface, through
// the real path: the shared device, each channel's input with its trim and low cut, the mixer
// and the take's WAV files, on a simulated clock so that two takes can be compared sample for
// sample. Each track holds only its own input; solo, mute and faders change the master and
// never a track; a trim raises its track by what it says.
#include "audio/AudioMixer.h"
#include "capture/AudioCapture.h"
#include "capture/AudioDeviceRegistry.h"
#include "capture/TestToneGenerator.h"
#include "recording/TakeRecorder.h"

#include "MediaReadback.h"
#include "ToneAnalysis.h"

#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <functional>
#include <map>
#include <memory>

namespace {

constexpr qint64 kMs = 1'000'000;
constexpr qint64 kSecond = 1'000'000'000;
constexpr int kRate = 48000;
constexpr int kTakeMs = 3000;

// What happens to the strips and inputs during a take: at a take time (ms), an action.
using Script = std::map<qint64, std::function<void(AudioMixer &, std::vector<std::unique_ptr<AudioCapture>> &)>>;

struct TakeFiles
{
    WavReadback master;
    std::map<int, WavReadback> channels; // channel id → its own track
};

// A take of kTakeMs from a whole second of the clock: channel k on input k of the interface,
// at unity faders; blocks every 5 ms, the mixer every 25 ms, as the program runs them.
TakeFiles recordTake(const QString &folder, const Script &script, const std::map<int, float> &trims = {})
{
    qint64 now = 2000 * kSecond;
    const auto clock = [&now] { return now; };
    AudioDeviceRegistry registry(AudioDeviceOptions{clock, kRate, 0.0, true, true});
    std::vector<std::unique_ptr<AudioCapture>> inputs;
    AudioMixer mixer;
    mixer.setClock(clock, kRate);
    mixer.setMasterVolume(1.0f);
    for (int id = 1; id <= 4; ++id) {
        auto input = std::make_unique<AudioCapture>(&registry);
        input->setTrimDb(trims.contains(id) ? trims.at(id) : 0.0f);
        if (!input->start(AudioInputChoice{AudioCapture::testInterfaceName(), id, 1}.text(), 2))
            return {};
        mixer.setSource(id, input.get());
        mixer.setVolume(id, 1.0f);
        inputs.push_back(std::move(input));
    }
    const auto advance = [&](qint64 ms, const std::function<void(qint64)> &onTick) {
        for (qint64 step = 0; step < ms; ++step) {
            now += kMs;
            registry.deliverTestTones(now);
            if ((now / kMs) % 25 == 0)
                onTick(now);
        }
    };
    MixerOutput out;
    advance(1000, [&](qint64) { mixer.process(out); });

    TakeRecorder take(FrameRate{30, 1}, kRate, clock);
    take.openMasterAudio(folder + "/Master_Audio_Output.wav");
    for (int id = 1; id <= 4; ++id)
        take.openChannelAudio(id, folder + QStringLiteral("/Channel_0%1_Audio.wav").arg(id));
    take.limitLength(kTakeMs * kMs);
    mixer.reset();
    take.start();
    const qint64 startNs = take.startNs();
    auto next = script.begin();
    advance(kTakeMs + 100, [&](qint64 nowNs) {
        for (; next != script.end() && next->first * kMs <= nowNs - startNs; ++next)
            next->second(mixer, inputs);
        mixer.process(out);
        take.appendAudio(out.master, out.channels, true, out.filledFrames);
    });
    const TakeReport report = take.finish([](int) { return std::shared_ptr<ISource>(); });
    TakeFiles files;
    files.master = readWav(report.masterAudio.parts.value(0));
    for (const auto &[id, file] : report.channelAudio)
        files.channels[id] = readWav(file.parts.value(0));
    return files;
}

// Mono view of a 16-bit stereo track's left channel, scaled to ±1.
std::vector<double> left(const WavReadback &wav)
{
    std::vector<double> samples(size_t(wav.frames()));
    for (qint64 i = 0; i < wav.frames(); ++i)
        samples[size_t(i)] = wav.samples[size_t(i) * 2] / 32768.0;
    return samples;
}

} // namespace

class TestIsoTracks : public QObject
{
    Q_OBJECT

private slots:
    void eachTrackHoldsOnlyItsInput();
    void soloMuteAndFadersLeaveTracksUntouched();
    void trimRaisesTheTrack();

private:
    QTemporaryDir m_dir;
};

void TestIsoTracks::eachTrackHoldsOnlyItsInput()
{
    const TakeFiles take = recordTake(m_dir.filePath(""), {});
    QCOMPARE(take.channels.size(), size_t(4));
    for (const auto &[id, wav] : take.channels) {
        QCOMPARE(wav.frames(), qint64(kTakeMs) * kRate / 1000);
        const std::vector<Beep> beeps = findBeeps(wav.samples, 2, 0, kRate, 2.0);
        QCOMPARE(int(beeps.size()), kTakeMs / 1000); // one a second, nothing of the others
        for (const Beep &beep : beeps) {
            // Its own place in the second and its own pitch; the take starts on a whole second.
            QVERIFY2(std::abs(beep.firstFrame % kRate - TestToneGenerator::inputOffsetNs(id - 1) * kRate / kSecond) <= 2,
                     qPrintable(QStringLiteral("channel %1 beep at %2").arg(id).arg(beep.firstFrame)));
            QVERIFY(std::fabs(beep.frequencyHz(kRate) - TestToneGenerator::inputFrequencyHz(id - 1)) < 15.0);
        }
        // A mono input fills both sides of the track.
        for (qint64 i = 0; i < wav.frames(); ++i) {
            if (wav.samples[size_t(i) * 2] != wav.samples[size_t(i) * 2 + 1])
                QFAIL("the two sides of a mono input's track differ");
        }
    }
}

// The same take twice, once with solo, mute and a fader pulled down mid-take: every track is
// sample-identical to the plain take's, while the master follows the strips.
void TestIsoTracks::soloMuteAndFadersLeaveTracksUntouched()
{
    QTemporaryDir plainDir, mixedDir;
    const TakeFiles plain = recordTake(plainDir.path(), {});
    const Script moves = {
        {400, [](AudioMixer &mixer, auto &) { mixer.setSolo(2, true); }},
        {1100, [](AudioMixer &mixer, auto &) { mixer.setMuted(3, true); }},
        {1500, [](AudioMixer &mixer, auto &) { mixer.setSolo(2, false); }},
        {2000, [](AudioMixer &mixer, auto &) { mixer.setVolume(4, 0.0f); }},
    };
    const TakeFiles mixed = recordTake(mixedDir.path(), moves);
    for (int id = 1; id <= 4; ++id)
        QVERIFY2(mixed.channels.at(id).samples == plain.channels.at(id).samples, qPrintable(QString::number(id)));

    // The master: beeps come every 250 ms in turn (slot n = n × 250 ms). Solo on 2 from 0.4 s
    // to 1.5 s takes channels 3 and 4 (slots 2, 3) and channel 1 (slot 4) away; mute on 3 from
    // 1.1 s takes slots 6 and 10; channel 4's fader down from 2 s takes slot 11.
    const auto slotsOf = [](const WavReadback &wav) {
        std::vector<qint64> found;
        for (const Beep &beep : findBeeps(wav.samples, 2, 0, kRate, 2.0))
            found.push_back(std::llround(double(beep.firstFrame) / 12000.0));
        return found;
    };
    QCOMPARE(slotsOf(plain.master), (std::vector<qint64>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    QCOMPARE(slotsOf(mixed.master), (std::vector<qint64>{0, 1, 5, 7, 8, 9}));
}

// +6 dB of trim raises channel 1's track by 6.0 dB against the plain take (how the low cut and
// a trim change glide is the conditioner's own test).
void TestIsoTracks::trimRaisesTheTrack()
{
    QTemporaryDir plainDir, trimmedDir;
    const TakeFiles plain = recordTake(plainDir.path(), {});
    const TakeFiles trimmed = recordTake(trimmedDir.path(), {}, {{1, 6.0f}});
    const std::vector<double> before = left(plain.channels.at(1)), after = left(trimmed.channels.at(1));
    const double gainDb = rmsDb(after, 1, 0, 48000, 48000 + 4800) - rmsDb(before, 1, 0, 48000, 48000 + 4800);
    QVERIFY2(std::fabs(gainDb - 6.0) <= 0.1, qPrintable(QString::number(gainDb)));
    QVERIFY(trimmed.channels.at(2).samples == plain.channels.at(2).samples); // the others untouched
}

QTEST_GUILESS_MAIN(TestIsoTracks)
#include "tst_isotracks.moc"
