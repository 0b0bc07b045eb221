#include "audio/AudioMixer.h"
#include "capture/AudioSampleBuffer.h"
#include "capture/IAudioInput.h"

#include <QTest>

#include <cmath>

// An input that hands out exactly the samples a test gives it, at the places on the audio
// timeline it gives them (after one another unless told), through the inputs' own buffer.
class ScriptedInput : public IAudioInput
{
public:
    explicit ScriptedInput(int channels = 2) { m_buffer.configure(channels); }

    void push(float value, int frames, qint64 position = AudioSampleBuffer::kContinue)
    {
        pushFrames(std::vector<float>(size_t(frames) * size_t(m_buffer.channels()), value), position);
    }
    void pushFrames(const std::vector<float> &interleaved, qint64 position = AudioSampleBuffer::kContinue)
    {
        m_buffer.append(interleaved.data(), interleaved.size(), AudioSampleBuffer::kAnyGeneration, position);
    }

    bool isRunning() const override { return m_running; }
    int channels() const override { return m_buffer.channels(); }
    size_t availableSamples() const override { return m_buffer.availableSamples(); }
    std::vector<float> readSamples(int maxSamples) override { return m_buffer.read(maxSamples); }
    void clear() override { m_buffer.clear(m_clearPosition); }
    qint64 readPosition() const override { return m_buffer.readPosition(); }
    void skip(qint64 frames) override { m_buffer.skip(frames); }
    qint64 takeFilledFrames() override { return m_buffer.takeGapFrames(); }

    bool m_running = true;
    qint64 m_clearPosition = 0; // where a clear() puts the input's next frame

private:
    AudioSampleBuffer m_buffer;
};

namespace {

float peakOf(const std::vector<float> &samples, int offset = -1)
{
    float peak = 0.0f;
    for (size_t i = 0; i < samples.size(); ++i) {
        if (offset < 0 || int(i % 2) == offset)
            peak = std::max(peak, std::fabs(samples[i]));
    }
    return peak;
}

} // namespace

class TestAudioMixer : public QObject
{
    Q_OBJECT

private slots:
    void faderLaw_data();
    void faderLaw();
    void ballistics_data();
    void ballistics();
    void stripSettingsForUnknownChannels();
    void isoOutputsAreTheInputsBeforeTheFader();
    void inputsLineUpOnTheTimeline();
    void clockKeepsTheMasterGoing();
    void soloWithoutInputDoesNotSilenceOthers();
    void monoInputFeedsBothSides();
    void masterIsClampedButMeterIsNot();
    void oneSecondBacklogDrainsInOneTick();
    void inputsStayAligned_data();
    void inputsStayAligned();
    void noInputsDecayMeters();
    void resetEmptiesInputsAndMeters();
    void detachedOrStoppedInputIsNotRead();
};

void TestAudioMixer::faderLaw_data()
{
    QTest::addColumn<float>("volume");
    QTest::addColumn<float>("storedVolume");
    QTest::addColumn<float>("gain");
    QTest::newRow("below 0.001") << 0.0005f << 0.0005f << 0.0f;
    QTest::newRow("above 0.999") << 0.9995f << 0.9995f << 1.0f;
    QTest::newRow("0.8 is -12 dB") << 0.8f << 0.8f << 0.25119f;
    QTest::newRow("0.5 is -30 dB") << 0.5f << 0.5f << 0.031623f;
    QTest::newRow("1.5 clamps") << 1.5f << 1.0f << 1.0f;
    QTest::newRow("negative clamps") << -0.2f << 0.0f << 0.0f;
}

void TestAudioMixer::faderLaw()
{
    QFETCH(float, volume);
    QFETCH(float, storedVolume);
    QFETCH(float, gain);
    QVERIFY(std::fabs(AudioMixer::gainForVolume(volume) - gain) < 1e-4f);

    AudioMixer mixer;
    mixer.setVolume(2, volume);
    QCOMPARE(mixer.volume(2), storedVolume);
    mixer.setMasterVolume(volume);
    QCOMPARE(mixer.masterVolume(), storedVolume);

    // The gain really applies: a full-scale input through the fader at master 1.0.
    ScriptedInput input;
    input.push(1.0f, 10);
    mixer.setMasterVolume(1.0f);
    mixer.setSource(2, &input);
    MixerOutput out;
    mixer.process(out);
    QVERIFY(std::fabs(out.master.front() - gain) < 1e-4f);
    QCOMPARE(out.channels.at(2).front(), 1.0f); // the channel's own recording is before its fader
}

void TestAudioMixer::ballistics_data()
{
    QTest::addColumn<float>("level");
    QTest::addColumn<float>("peak");
    QTest::addColumn<float>("expected");
    QTest::newRow("attack is instant") << 0.2f << 0.9f << 0.9f;
    QTest::newRow("release") << 1.0f << 0.0f << 0.88f;
    QTest::newRow("release toward peak") << 0.5f << 0.25f << 0.47f;
}

void TestAudioMixer::ballistics()
{
    QFETCH(float, level);
    QFETCH(float, peak);
    QFETCH(float, expected);
    QVERIFY(std::fabs(AudioMixer::applyBallistics(level, peak) - expected) < 1e-6f);
}

void TestAudioMixer::stripSettingsForUnknownChannels()
{
    AudioMixer mixer;
    mixer.setVolume(7, 0.1f);
    mixer.setMuted(0, true);
    mixer.setSolo(5, true);
    QCOMPARE(mixer.volume(7), AudioMixer::kDefaultVolume);
    QVERIFY(!mixer.isMuted(0));
    QVERIFY(!mixer.isSolo(5));
    float l = 1, r = 1;
    mixer.stripLevels(9, l, r);
    QCOMPARE(l, 0.0f);
    QCOMPARE(r, 0.0f);
}

// Each channel's own recording is its input, whatever its fader, mute and solo; those shape
// the master and the meters alone.
void TestAudioMixer::isoOutputsAreTheInputsBeforeTheFader()
{
    AudioMixer mixer;
    mixer.setMasterVolume(1.0f);
    ScriptedInput one, two, three;
    mixer.setSource(1, &one);
    mixer.setSource(2, &two);
    mixer.setSource(3, &three);
    mixer.setVolume(1, 0.5f);
    mixer.setVolume(2, 1.0f);
    mixer.setVolume(3, 1.0f);

    // Loud first tick, so every meter has something to fall from.
    one.push(0.5f, 100);
    two.push(0.25f, 100);
    three.push(0.125f, 100);
    MixerOutput out;
    mixer.process(out);
    QVERIFY(std::fabs(out.master.front() - (0.5f * AudioMixer::gainForVolume(0.5f) + 0.375f)) < 1e-6f);
    QCOMPARE(peakOf(out.channels.at(1)), 0.5f); // before its fader

    mixer.setSolo(2, true);
    mixer.setMuted(3, true);
    one.push(0.5f, 100);
    two.push(0.25f, 100);
    three.push(0.125f, 100);
    mixer.process(out);

    QCOMPARE(out.frameCount(), 100);
    QVERIFY(out.filledFrames.empty());
    // Not soloed, muted: their recordings are untouched; their meters fall.
    QCOMPARE(out.channels.at(1), std::vector<float>(200, 0.5f));
    QCOMPARE(out.channels.at(3), std::vector<float>(200, 0.125f));
    float l = 0, r = 0;
    mixer.stripLevels(1, l, r);
    QVERIFY(l < 0.5f * AudioMixer::gainForVolume(0.5f));
    mixer.stripLevels(3, l, r);
    QVERIFY(std::fabs(l - 0.125f * 0.88f) < 1e-6f);
    // Only the soloed channel reaches the master.
    QCOMPARE(out.channels.at(2), std::vector<float>(200, 0.25f));
    QVERIFY(std::fabs(peakOf(out.master) - 0.25f) < 1e-6f);
    QCOMPARE(out.master.size(), size_t(200));
}

// Inputs meet by their place on the timeline: one that starts later begins with silence,
// frames from before the master's place are dropped, and a lagging input's late frames are
// dropped once the master has gone on without them; every gap is counted.
void TestAudioMixer::inputsLineUpOnTheTimeline()
{
    AudioMixer mixer;
    mixer.setMasterVolume(1.0f);
    ScriptedInput early, late;
    mixer.setSource(1, &early);
    mixer.setVolume(1, 1.0f);
    mixer.setVolume(2, 1.0f);
    early.m_clearPosition = 50000;
    mixer.reset();
    mixer.setSource(2, &late); // its device opens 10 ms into the take

    early.push(0.5f, 1200);
    late.push(0.25f, 720, 50480);
    MixerOutput out;
    mixer.process(out);
    QCOMPARE(out.frameCount(), 1200);
    QCOMPARE(out.filledFrames, (std::map<int, qint64>{{2, 480}}));
    const std::vector<float> &joined = out.channels.at(2);
    QCOMPARE(joined[2 * 479], 0.0f);
    QCOMPARE(joined[2 * 480], 0.25f);
    QCOMPARE(out.master[2 * 480], 0.75f);

    // Channel 2 stalls for 200 ms: the master goes on, its track is silence.
    early.push(0.5f, 9600);
    mixer.process(out);
    QCOMPARE(out.frameCount(), 9600);
    QCOMPARE(out.filledFrames.at(2), qint64(9600));
    // Its stalled audio comes late, with the next: only the part for time not yet mixed is heard.
    late.push(0.25f, 9600 + 1200);
    early.push(0.5f, 1200);
    mixer.process(out);
    QCOMPARE(out.frameCount(), 1200);
    QVERIFY(out.filledFrames.empty());
    QCOMPARE(out.channels.at(2), std::vector<float>(2400, 0.25f));
    QCOMPARE(late.availableSamples(), size_t(0));
    QCOMPARE(late.readPosition(), early.readPosition());

    // An input attached with audio from before the master's place: that part is dropped.
    ScriptedInput joiner;
    joiner.push(0.125f, 2400, early.readPosition() - 1200);
    mixer.setSource(3, &joiner);
    mixer.setVolume(3, 1.0f);
    early.push(0.5f, 1200);
    late.push(0.25f, 1200);
    mixer.process(out);
    QCOMPARE(out.channels.at(3), std::vector<float>(2400, 0.125f));
    QCOMPARE(joiner.availableSamples(), size_t(0));
}

// With a clock, the master keeps time when no input delivers at all (every microphone lost),
// a second behind it, and an input that comes back is heard at its place.
void TestAudioMixer::clockKeepsTheMasterGoing()
{
    qint64 now = 100 * qint64(1000000000);
    AudioMixer mixer;
    mixer.setMasterVolume(1.0f);
    mixer.setClock([&now] { return now; }, 48000);
    ScriptedInput input;
    input.m_clearPosition = 100 * 48000;
    mixer.setSource(1, &input);
    mixer.setVolume(1, 1.0f);
    mixer.reset();

    MixerOutput out;
    qint64 mixed = 0;
    for (int tick = 0; tick < 60; ++tick) { // a second and a half, nothing arrives
        now += 25000000;
        mixer.process(out);
        mixed += out.frameCount();
    }
    QCOMPARE(mixed, qint64(72000 - 48000));
    QCOMPARE(out.filledFrames.at(1), qint64(1200));

    // Back: its frames for the last second and on are heard where they belong.
    input.push(0.5f, 48000 + 1200, 100 * 48000 + 72000 - 48000);
    now += 25000000;
    mixer.process(out);
    QCOMPARE(out.frameCount(), 48000 + 1200);
    QVERIFY(out.filledFrames.empty());
    QCOMPARE(peakOf(out.channels.at(1)), 0.5f);
    QCOMPARE(out.channels.at(1).front(), 0.5f);
}

void TestAudioMixer::soloWithoutInputDoesNotSilenceOthers()
{
    AudioMixer mixer;
    mixer.setMasterVolume(1.0f);
    mixer.setVolume(1, 1.0f);
    ScriptedInput one;
    mixer.setSource(1, &one);
    mixer.setSolo(4, true); // no input on channel 4
    one.push(0.5f, 10);
    MixerOutput out;
    mixer.process(out);
    QCOMPARE(peakOf(out.master), 0.5f);
}

void TestAudioMixer::monoInputFeedsBothSides()
{
    AudioMixer mixer;
    mixer.setMasterVolume(1.0f);
    mixer.setVolume(1, 1.0f);
    ScriptedInput mono(1);
    mixer.setSource(1, &mono);
    mono.pushFrames({0.1f, -0.2f, 0.3f});
    MixerOutput out;
    mixer.process(out);
    const std::vector<float> expected = {0.1f, 0.1f, -0.2f, -0.2f, 0.3f, 0.3f};
    QCOMPARE(out.master, expected);
    QCOMPARE(out.channels.at(1), expected); // channel files are stereo too
    float l = 0, r = 0;
    mixer.stripLevels(1, l, r);
    QCOMPARE(l, 0.3f);
    QCOMPARE(r, 0.3f);
}

void TestAudioMixer::masterIsClampedButMeterIsNot()
{
    AudioMixer mixer;
    mixer.setMasterVolume(1.0f);
    ScriptedInput one, two;
    mixer.setSource(1, &one);
    mixer.setSource(2, &two);
    mixer.setVolume(1, 1.0f);
    mixer.setVolume(2, 1.0f);
    one.pushFrames({0.8f, -0.8f});
    two.pushFrames({0.8f, -0.8f});
    MixerOutput out;
    mixer.process(out);
    QCOMPARE(out.master, (std::vector<float>{1.0f, -1.0f}));
    QVERIFY(std::fabs(mixer.masterLevelLeft() - 1.6f) < 1e-6f);
    QVERIFY(std::fabs(mixer.masterLevelRight() - 1.6f) < 1e-6f);
}

void TestAudioMixer::oneSecondBacklogDrainsInOneTick()
{
    AudioMixer mixer;
    ScriptedInput one, two;
    mixer.setSource(1, &one);
    mixer.setSource(3, &two);
    one.push(0.1f, 48000);
    two.push(0.1f, 48000);
    MixerOutput out;
    mixer.process(out);
    QCOMPARE(out.frameCount(), 48000);
    QCOMPARE(out.channels.at(1).size(), size_t(96000));
    QCOMPARE(one.availableSamples(), size_t(0));
    QCOMPARE(two.availableSamples(), size_t(0));
}

void TestAudioMixer::inputsStayAligned_data()
{
    QTest::addColumn<int>("leaderFrames");
    QTest::addColumn<int>("otherFrames");
    QTest::addColumn<int>("mixedFrames");
    QTest::addColumn<int>("otherFramesUsed");
    // Within 100 ms of each other: the master waits for the slower input.
    QTest::newRow("25 ms apart") << 2400 << 1200 << 1200 << 1200;
    QTest::newRow("exactly 100 ms apart") << 6000 << 1200 << 1200 << 1200;
    // More than 100 ms behind: the stalled input is padded and no longer holds the master.
    QTest::newRow("stalled") << 9600 << 0 << 9600 << 0;
    QTest::newRow("far behind") << 9600 << 4000 << 9600 << 4000;
}

void TestAudioMixer::inputsStayAligned()
{
    QFETCH(int, leaderFrames);
    QFETCH(int, otherFrames);
    QFETCH(int, mixedFrames);
    QFETCH(int, otherFramesUsed);

    AudioMixer mixer;
    mixer.setVolume(1, 1.0f);
    mixer.setVolume(2, 1.0f);
    ScriptedInput leader, other;
    mixer.setSource(1, &leader);
    mixer.setSource(2, &other);
    leader.push(0.5f, leaderFrames);
    other.push(0.25f, otherFrames);

    MixerOutput out;
    mixer.process(out);
    QCOMPARE(out.frameCount(), mixedFrames);
    QCOMPARE(out.channels.at(1).size(), size_t(mixedFrames) * 2);
    QCOMPARE(out.channels.at(2).size(), size_t(mixedFrames) * 2);
    // What the leader did not give yet waits for the next tick; nothing is lost.
    QCOMPARE(leader.availableSamples(), size_t(leaderFrames - mixedFrames) * 2);
    QCOMPARE(other.availableSamples(), size_t(otherFrames - otherFramesUsed) * 2);
    const std::vector<float> &padded = out.channels.at(2);
    for (int i = 0; i < mixedFrames; ++i) {
        const float expected = i < otherFramesUsed ? 0.25f : 0.0f;
        if (padded[size_t(i) * 2] != expected || padded[size_t(i) * 2 + 1] != expected)
            QFAIL(qPrintable(QStringLiteral("frame %1 of the lagging input is wrong").arg(i)));
    }
}

void TestAudioMixer::noInputsDecayMeters()
{
    AudioMixer mixer;
    ScriptedInput one;
    mixer.setSource(1, &one);
    one.push(0.5f, 10);
    MixerOutput out;
    mixer.process(out);
    const float before = mixer.masterLevelLeft();
    QVERIFY(before > 0.0f);
    mixer.process(out); // nothing new arrived
    QVERIFY(out.master.empty());
    QVERIFY(out.channels.empty());
    QVERIFY(std::fabs(mixer.masterLevelLeft() - before * 0.88f) < 1e-6f);
}

void TestAudioMixer::resetEmptiesInputsAndMeters()
{
    AudioMixer mixer;
    ScriptedInput one;
    mixer.setSource(1, &one);
    one.push(0.5f, 10);
    MixerOutput out;
    mixer.process(out);
    one.push(0.5f, 500);
    mixer.reset();
    QCOMPARE(one.availableSamples(), size_t(0));
    QCOMPARE(mixer.masterLevelLeft(), 0.0f);
    float l = 1, r = 1;
    mixer.stripLevels(1, l, r);
    QCOMPARE(l, 0.0f);
}

void TestAudioMixer::detachedOrStoppedInputIsNotRead()
{
    AudioMixer mixer;
    ScriptedInput one;
    mixer.setSource(1, &one);
    one.push(0.5f, 10);
    one.m_running = false;
    MixerOutput out;
    mixer.process(out);
    QVERIFY(out.master.empty());
    QCOMPARE(one.availableSamples(), size_t(20));

    one.m_running = true;
    mixer.setSource(1, nullptr);
    mixer.process(out);
    QVERIFY(out.master.empty());
    QCOMPARE(one.availableSamples(), size_t(20));
}

QTEST_GUILESS_MAIN(TestAudioMixer)
#include "tst_audiomixer.moc"
