// The audio path of a podcast, per 25 ms tick: one four-input interface opened once, its
// 1 200 frames arriving in 256-frame blocks as SDL delivers them, fanned out to four channels
// (one input each) with gain trim and the 80 Hz low cut on every channel, then the mixer's
// tick: drained, metered, mixed into the master and the four channel outputs. The figure is
// that work as a share of one core (the inputs' share runs on the device's thread, the tick on
// the GUI thread; both are counted). The reference in the same run is a memcpy of the same
// samples, so the ratio means the same on any machine.
#include "audio/AudioMixer.h"
#include "capture/AudioCapture.h"
#include "capture/AudioDeviceRegistry.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int kFramesPerTick = 1200;
constexpr int kBlockFrames = 256;
constexpr int kInputs = 4;
constexpr int kRounds = 4000;
constexpr double kTickUs = 25000.0;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main()
{
    // The built-in interface paced by the bench: the blocks below stand in for the hardware,
    // arriving on a simulated clock at the rate a sound card delivers them, so the drift
    // compensation does its real work (measuring, passing through).
    qint64 nowNs = 1'000'000'000'000;
    AudioDeviceRegistry registry(AudioDeviceOptions{[&nowNs] { return nowNs; }, 48000, 0.0, true, true});
    AudioMixer mixer;
    std::vector<std::unique_ptr<AudioCapture>> inputs;
    for (int i = 0; i < kInputs; ++i) {
        auto input = std::make_unique<AudioCapture>(&registry);
        input->setTrimDb(6.0f);
        input->setLowCutEnabled(true);
        if (!input->start(AudioInputChoice{AudioCapture::testInterfaceName(), i + 1, 1}.text(), 1)) {
            std::fprintf(stderr, "the four-input device did not open\n");
            return 1;
        }
        mixer.setSource(i + 1, input.get());
        inputs.push_back(std::move(input));
    }
    AudioCaptureDevice *device = inputs.front()->device();

    // A tick of speech-like material on all four inputs (a tone under noise).
    std::vector<float> tick(size_t(kFramesPerTick) * kInputs);
    for (size_t i = 0; i < tick.size(); ++i)
        tick[i] = float(0.2 * std::sin(double(i) * 0.013) + ((i * 2654435761u) % 1000) / 10000.0 - 0.05);
    std::vector<float> target(tick.size());
    MixerOutput out;

    std::vector<double> pathTimes, copyTimes;
    for (int round = 0; round < kRounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        for (int at = 0; at < kFramesPerTick; at += kBlockFrames) {
            const int frames = std::min(kBlockFrames, kFramesPerTick - at);
            nowNs += qint64(frames) * 1'000'000'000 / 48000;
            device->deliver(tick.data() + size_t(at) * kInputs, size_t(frames) * kInputs);
        }
        mixer.process(out);
        pathTimes.push_back(double(timer.nsecsElapsed()) / 1000.0);

        timer.restart();
        std::memcpy(target.data(), tick.data(), tick.size() * sizeof(float));
        copyTimes.push_back(double(timer.nsecsElapsed()) / 1000.0);
    }
    if (out.frameCount() != kFramesPerTick) {
        std::fprintf(stderr, "mixer produced %d frames, expected %d\n", out.frameCount(), kFramesPerTick);
        return 1;
    }
    const double path = median(pathTimes), copy = median(copyTimes);
    std::printf("four inputs of one interface, trim and low cut, mixer tick (1200 frames): %.1f us\n", path);
    std::printf("share of one core (per 25 ms of audio):                                 %.2f%% (target <= 1%%)\n",
                100.0 * path / kTickUs);
    std::printf("memcpy of the same samples:                                               %.1f us\n", copy);
    std::printf("ratio audio path / memcpy:                                                 %.1fx\n",
                path / std::max(copy, 0.001));
    return 0;
}
