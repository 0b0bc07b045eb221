// Shared capture devices: the input lists' choices, one four-input device fanned out to the
// channels that take its inputs (each hears only its own), trim and low cut, and a device
// that vanishes and comes back while its channels keep time. Runs on a simulated clock with
// the built-in devices paced by the test.
#include "capture/AudioCapture.h"
#include "capture/AudioDeviceRegistry.h"
#include "capture/AudioTimeline.h"
#include "capture/InputConditioner.h"

#include "ToneAnalysis.h"

#include <QRegularExpression>
#include <QTest>

#include <cmath>
#include <memory>
#include <numbers>

namespace {

constexpr qint64 kMs = 1'000'000;
constexpr qint64 kSecond = 1'000'000'000;
constexpr int kRate = 48000;

// A registry of built-in devices on a simulated clock, paced by the test, and a reader that
// drains its inputs every 25 ms the way the mixer does: it keeps each input 100 ms behind the
// clock, takes what arrived, and fills with silence (skipping) what did not.
struct SimulatedStudio
{
    qint64 now = 1000 * kSecond; // a whole second: frame k of a clear() here is k / 48 kHz past one
    AudioDeviceRegistry registry;
    std::vector<std::unique_ptr<AudioCapture>> inputs;
    std::vector<std::vector<float>> heard; // per input: everything read, silence where skipped
    qint64 anchorNs = 0;

    SimulatedStudio()
        : registry(AudioDeviceOptions{[this] { return now; }, kRate, 0.0, true, true})
    {
    }

    AudioCapture *add(const QString &choice)
    {
        auto input = std::make_unique<AudioCapture>(&registry);
        if (!input->start(choice, 2))
            return nullptr;
        inputs.push_back(std::move(input));
        heard.emplace_back();
        return inputs.back().get();
    }

    void restart()
    {
        inputs.front()->clear();
        anchorNs = now;
        for (auto &samples : heard)
            samples.clear();
    }

    void drain()
    {
        const qint64 target = (now - anchorNs) * kRate / kSecond - 4800;
        for (size_t i = 0; i < inputs.size(); ++i) {
            AudioCapture &input = *inputs[i];
            const int channels = input.channels();
            const qint64 have = qint64(heard[i].size()) / channels;
            const qint64 wanted = target - have;
            if (wanted <= 0)
                continue;
            const std::vector<float> block = input.readSamples(int(wanted * channels));
            heard[i].insert(heard[i].end(), block.begin(), block.end());
            const qint64 missing = wanted - qint64(block.size()) / channels;
            if (missing > 0) {
                input.skip(missing);
                heard[i].insert(heard[i].end(), size_t(missing * channels), 0.0f);
            }
        }
    }

    // Runs the clock for `ms` milliseconds: blocks every 5 ms, reads every 25 ms, the watch
    // every 250 ms.
    void run(qint64 ms)
    {
        for (qint64 step = 0; step < ms; ++step) {
            now += kMs;
            if ((now / kMs) % 5 == 0)
                registry.deliverTestTones(now);
            if ((now / kMs) % 25 == 0)
                drain();
            if ((now / kMs) % 250 == 0)
                registry.poll();
        }
    }

    // The moment of the last read.
    qint64 lastDrainNs() const { return now - now % (25 * kMs); }
};

// Every whole beep of the heard signal starts `offsetMs` into a second of the clock, within
// two frames; returns how many there were. (A beep cut short by the start or by a gap is no
// measure of where beeps lie.)
int checkBeepPlaces(const std::vector<float> &samples, int channels, int channel, int offsetMs)
{
    int count = 0;
    for (const Beep &beep : findBeeps(samples, channels, channel, kRate)) {
        if (std::abs(beep.frames() - 4800) > 2)
            continue;
        const qint64 into = beep.firstFrame % kRate - qint64(offsetMs) * kRate / 1000;
        if (std::abs(into) > 2) {
            qWarning() << "beep at frame" << beep.firstFrame << "is" << into << "frames off";
            return -1;
        }
        ++count;
    }
    return count;
}

std::vector<float> sine(double frequencyHz, double amplitude, qint64 frames, qint64 firstFrame = 0)
{
    std::vector<float> samples(static_cast<size_t>(frames));
    for (qint64 i = 0; i < frames; ++i)
        samples[size_t(i)] = float(amplitude * std::sin(2.0 * std::numbers::pi * frequencyHz * double(i + firstFrame) / kRate));
    return samples;
}

} // namespace

class TestAudioDevices : public QObject
{
    Q_OBJECT

private slots:
    void inputChoices_data();
    void inputChoices();
    void oneDeviceFansOutToEveryInput();
    void conditioningLevels_data();
    void conditioningLevels();
    void conditioningChangesGlide();
    void deviceLostAndBack_data();
    void deviceLostAndBack();
};

void TestAudioDevices::inputChoices_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("label");

    QTest::newRow("a device alone") << "USB Mic" << "USB Mic" << 0 << 0 << "";
    QTest::newRow("one input") << "Interface \u2014 In 3" << "Interface" << 3 << 1 << "In 3";
    QTest::newRow("a pair") << "Interface \u2014 In 1+2" << "Interface" << 1 << 2 << "In 1+2";
    QTest::newRow("dashes in the name") << "A \u2014 B \u2014 In 12" << "A \u2014 B" << 12 << 1 << "In 12";
    QTest::newRow("no pair of inputs apart") << "Interface \u2014 In 1+3" << "Interface \u2014 In 1+3" << 0 << 0 << "";
    QTest::newRow("no input 0") << "Interface \u2014 In 0" << "Interface \u2014 In 0" << 0 << 0 << "";
}

void TestAudioDevices::inputChoices()
{
    QFETCH(QString, text);
    QFETCH(QString, device);
    QFETCH(int, first);
    QFETCH(int, count);
    QFETCH(QString, label);

    const AudioInputChoice choice = AudioInputChoice::parse(text);
    QCOMPARE(choice.deviceName, device);
    QCOMPARE(choice.firstInput, first);
    QCOMPARE(choice.inputCount, count);
    QCOMPARE(choice.inputLabel(), label);
    QCOMPARE(choice.text(), text); // every entry reads back as it was listed

    // What the lists offer: the device alone, each input, and each further pair.
    QCOMPARE(AudioInputChoice::choicesFor("Mic", 1), QStringList{"Mic"});
    QCOMPARE(AudioInputChoice::choicesFor("Mic", 2), (QStringList{"Mic", "Mic \u2014 In 1", "Mic \u2014 In 2"}));
    QCOMPARE(AudioInputChoice::choicesFor("4i4", 4).mid(1),
             (QStringList{"4i4 \u2014 In 1", "4i4 \u2014 In 2", "4i4 \u2014 In 3", "4i4 \u2014 In 4", "4i4 \u2014 In 3+4"}));
}

// Four channels on the four inputs of one device, a fifth on its first pair: the device is
// opened once, and each channel hears its own input only.
void TestAudioDevices::oneDeviceFansOutToEveryInput()
{
    SimulatedStudio studio;
    const QString device = AudioCapture::testInterfaceName();
    for (int input = 1; input <= 4; ++input)
        QVERIFY(studio.add(AudioInputChoice{device, input, 1}.text()));
    AudioCapture *pair = studio.add(AudioInputChoice{device, 1, 2}.text());
    QVERIFY(pair);

    QCOMPARE(studio.registry.openDeviceCount(), 1);
    QCOMPARE(studio.inputs[0]->device(), pair->device());
    QCOMPARE(pair->device()->channels(), 4);
    QCOMPARE(pair->device()->tapCount(), 5);
    QCOMPARE(studio.inputs[2]->channels(), 1);
    QCOMPARE(studio.inputs[2]->inputLabel(), QStringLiteral("In 3"));
    QCOMPARE(pair->channels(), 2);

    studio.run(1000);
    studio.restart(); // on a whole second
    // Every input's next frame is the one of that moment on the shared audio timeline.
    for (const auto &input : studio.inputs)
        QCOMPARE(input->readPosition(), AudioTimeline::frameAt(studio.anchorNs, kRate));
    studio.run(3100);

    // Each hears its own input, at its own place in the second (pitch and level: tst_isotracks).
    for (int input = 0; input < 4; ++input)
        QVERIFY2(checkBeepPlaces(studio.heard[size_t(input)], 1, 0, 250 * input) >= 2, qPrintable(QString::number(input + 1)));
    // The pair carries inputs 1 and 2 sample for sample.
    const std::vector<float> &stereo = studio.heard[4];
    QCOMPARE(stereo.size(), studio.heard[0].size() * 2);
    for (size_t i = 0; i < studio.heard[0].size(); ++i) {
        QCOMPARE(stereo[2 * i], studio.heard[0][i]);
        QCOMPARE(stereo[2 * i + 1], studio.heard[1][i]);
    }

    // The device closes with the last channel that uses it.
    studio.inputs.clear();
    QCOMPARE(studio.registry.openDeviceCount(), 0);
}

void TestAudioDevices::conditioningLevels_data()
{
    QTest::addColumn<double>("frequencyHz");
    QTest::addColumn<double>("trimDb");
    QTest::addColumn<bool>("lowCut");
    QTest::addColumn<double>("expectedDb");
    QTest::addColumn<double>("toleranceDb");

    QTest::newRow("+6 dB trim") << 1000.0 << 6.0 << false << 6.0 << 0.1;
    QTest::newRow("-20 dB trim") << 1000.0 << -20.0 << false << -20.0 << 0.1;
    QTest::newRow("trim held to its range") << 1000.0 << 30.0 << false << 20.0 << 0.1;
    QTest::newRow("low cut takes 40 Hz down") << 40.0 << 0.0 << true << -12.3 << 0.3;
    QTest::newRow("low cut is -3 dB at 80 Hz") << 80.0 << 0.0 << true << -3.01 << 0.1;
    QTest::newRow("low cut passes 1 kHz") << 1000.0 << 0.0 << true << 0.0 << 0.2;
    QTest::newRow("trim and low cut") << 1000.0 << 6.0 << true << 6.0 << 0.2;
}

// Steady tones through the conditioner in device-sized blocks: the levels a user reads on a
// meter, and the same output as in one pass (the filter keeps its state across blocks).
void TestAudioDevices::conditioningLevels()
{
    QFETCH(double, frequencyHz);
    QFETCH(double, trimDb);
    QFETCH(bool, lowCut);
    QFETCH(double, expectedDb);
    QFETCH(double, toleranceDb);

    const qint64 frames = kRate * 2;
    const std::vector<float> input = sine(frequencyHz, 0.25, frames);
    const auto condition = [&](qint64 blockFrames) {
        InputConditioner conditioner;
        conditioner.setTrimDb(float(trimDb));
        conditioner.setLowCutEnabled(lowCut);
        conditioner.configure(kRate, 1);
        std::vector<float> out = input;
        for (qint64 at = 0; at < frames; at += blockFrames)
            conditioner.process(out.data() + at, std::min(blockFrames, frames - at));
        return out;
    };
    const std::vector<float> blocks = condition(256);
    QVERIFY(blocks == condition(frames));

    // Judged over the second half, long after the filter settled (whole cycles of 40 Hz).
    const double gainDb = rmsDb(blocks, 1, 0, kRate, frames) - rmsDb(input, 1, 0, kRate, frames);
    QVERIFY2(std::fabs(gainDb - expectedDb) <= toleranceDb, qPrintable(QString::number(gainDb)));
}

// Low cut and trim switched while a tone with hum plays: the output glides to the new setting
// with no step larger than the tone's own sample-to-sample change; a hard switch would step.
void TestAudioDevices::conditioningChangesGlide()
{
    const qint64 frames = kRate;
    std::vector<float> signal = sine(1000.0, 0.2, frames);
    const std::vector<float> hum = sine(40.0, 0.2, frames);
    for (qint64 i = 0; i < frames; ++i)
        signal[size_t(i)] += hum[size_t(i)];

    struct Change { qint64 frame; float trimDb; bool lowCut; };
    const std::vector<Change> changes = {{12000, 0.0f, true}, {24000, 6.0f, true}, {36000, 6.0f, false}};
    const auto largestStep = [&](qint64 from, qint64 to, const std::vector<float> &out) {
        double step = 0.0;
        for (qint64 i = from; i < to; ++i)
            step = std::max(step, double(std::fabs(out[size_t(i)] - out[size_t(i - 1)])));
        return step;
    };
    // The largest change from one sample to the next while a setting changes, against the
    // largest in steady 10 ms stretches before it and after the glide.
    const auto stepRatio = [&](const std::vector<float> &out, qint64 frame) {
        const double steady = std::max(largestStep(frame - 480, frame, out), largestStep(frame + 4800, frame + 5280, out));
        return largestStep(frame, frame + 4800, out) / steady;
    };
    InputConditioner conditioner;
    conditioner.configure(kRate, 1);
    std::vector<float> out = signal;
    qint64 at = 0;
    for (const Change &change : changes) {
        conditioner.process(out.data() + at, change.frame - at);
        at = change.frame;
        conditioner.setTrimDb(change.trimDb);
        conditioner.setLowCutEnabled(change.lowCut);
    }
    conditioner.process(out.data() + at, frames - at);
    for (const Change &change : changes)
        QVERIFY2(stepRatio(out, change.frame) < 1.05, qPrintable(QString::number(stepRatio(out, change.frame))));

    // The measure sees a step: the low cut switched on from one sample to the next.
    InputConditioner filtered;
    filtered.setLowCutEnabled(true);
    filtered.configure(kRate, 1);
    std::vector<float> wet = signal;
    filtered.process(wet.data(), frames);
    std::vector<float> spliced(signal.begin(), signal.begin() + 12000);
    spliced.insert(spliced.end(), wet.begin() + 12000, wet.end());
    QVERIFY2(stepRatio(spliced, 12000) > 1.3, qPrintable(QString::number(stepRatio(spliced, 12000))));
}

void TestAudioDevices::deviceLostAndBack_data()
{
    QTest::addColumn<bool>("unplugged");
    QTest::addColumn<QString>("reason");

    // As SDL's device-removed event reports it, and as a device that simply stops.
    QTest::newRow("unplugged") << true << "removed";
    QTest::newRow("silent") << false << "no samples for 2 s";
}

// Two channels on one device that goes away for three seconds mid-take: lost (and said so),
// reopened by itself, back; every beep before and after still where the clock puts it, and
// what the channels hand out keeps time with the clock throughout.
void TestAudioDevices::deviceLostAndBack()
{
    QFETCH(bool, unplugged);
    QFETCH(QString, reason);

    SimulatedStudio studio;
    const QString device = AudioCapture::testInterfaceName();
    QVERIFY(studio.add(AudioInputChoice{device, 2, 1}.text()));
    QVERIFY(studio.add(AudioInputChoice{device, 3, 1}.text()));
    studio.run(1000);
    studio.restart(); // on a whole second
    studio.run(1300);

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^\\[AudioCaptureDevice\\] Audio device lost: Test Interface - " + reason + "$"));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^\\[AudioCaptureDevice\\] Audio device reopened: Test Interface$"));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^\\[AudioCaptureDevice\\] Audio device back: Test Interface$"));
    if (unplugged)
        studio.registry.setUnplugged(device, true);
    else
        studio.registry.setSilenced(device, true);
    const qint64 goneAt = studio.now;
    while (!studio.inputs[0]->isLost() && studio.now - goneAt < 5 * kSecond)
        studio.run(10);
    QVERIFY(studio.inputs[1]->isLost());
    const qint64 noticedAfterMs = (studio.now - goneAt) / kMs;
    QVERIFY2(unplugged ? noticedAfterMs <= 250 : noticedAfterMs >= 2000 && noticedAfterMs <= 2300,
             qPrintable(QString::number(noticedAfterMs)));
    QVERIFY(studio.inputs[0]->isRunning()); // still the channel's input, waited for

    studio.run(3000 - noticedAfterMs);
    const qint64 backAt = studio.now;
    studio.registry.setUnplugged(device, false);
    studio.registry.setSilenced(device, false);
    studio.run(3500);
    QVERIFY(!studio.inputs[0]->isLost());

    const auto frameAt = [&](qint64 ns) { return (ns - studio.anchorNs) * kRate / kSecond; };
    for (size_t i = 0; i < 2; ++i) {
        const std::vector<float> &heard = studio.heard[i];
        // Keeps time: 100 ms behind the clock, as the reader asks, and the input's place on the
        // audio timeline is still where the clock puts it.
        QCOMPARE(qint64(heard.size()), frameAt(studio.lastDrainNs()) - 4800);
        QCOMPARE(studio.inputs[i]->readPosition(), AudioTimeline::frameAt(studio.anchorNs, kRate) + qint64(heard.size()));
        const int beeps = checkBeepPlaces(heard, 1, 0, 250 * int(i + 1));
        QVERIFY2(beeps >= 4, qPrintable(QString::number(beeps))); // before and after the gap
        // Silence while the device was away (it may have delivered until the watch looked).
        for (const Beep &beep : findBeeps(heard, 1, 0, kRate))
            QVERIFY(beep.firstFrame < frameAt(goneAt + 300 * kMs) || beep.firstFrame >= frameAt(backAt));
    }
}

QTEST_GUILESS_MAIN(TestAudioDevices)
#include "tst_audiodevices.moc"
