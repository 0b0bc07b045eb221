// Times one audio tick of the mixer: four stereo inputs, each holding 25 ms (1 200 frames) of
// audio, drained, metered, mixed into the master and the four channel outputs. The reference
// in the same run is a memcpy of the same number of samples, so the ratio means the same on
// any machine. The tick runs on the GUI thread every 25 ms; its time is what it takes away
// from the interface.
#include "audio/AudioMixer.h"
#include "capture/IAudioInput.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int kFramesPerTick = 1200;
constexpr int kInputs = 4;
constexpr int kRounds = 2000;

// An input that always holds exactly one tick of audio.
class SteadyInput : public IAudioInput
{
public:
    SteadyInput()
    {
        m_block.resize(kFramesPerTick * 2);
        for (size_t i = 0; i < m_block.size(); ++i)
            m_block[i] = float((i % 97) / 97.0 - 0.5);
    }
    bool isRunning() const override { return true; }
    int channels() const override { return 2; }
    size_t availableSamples() const override { return m_block.size(); }
    std::vector<float> readSamples(int) override { return m_block; }
    void clear() override {}

private:
    std::vector<float> m_block;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main()
{
    AudioMixer mixer;
    std::vector<SteadyInput> inputs(kInputs);
    for (int i = 0; i < kInputs; ++i)
        mixer.setSource(i + 1, &inputs[size_t(i)]);

    std::vector<float> source(size_t(kFramesPerTick) * 2 * kInputs, 0.25f);
    std::vector<float> target(source.size());
    MixerOutput out;

    std::vector<double> mixTimes, copyTimes;
    for (int round = 0; round < kRounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        mixer.process(out);
        mixTimes.push_back(double(timer.nsecsElapsed()) / 1000.0);

        timer.restart();
        std::memcpy(target.data(), source.data(), source.size() * sizeof(float));
        copyTimes.push_back(double(timer.nsecsElapsed()) / 1000.0);
    }
    if (out.frameCount() != kFramesPerTick) {
        std::fprintf(stderr, "mixer produced %d frames, expected %d\n", out.frameCount(), kFramesPerTick);
        return 1;
    }
    const double mix = median(mixTimes), copy = median(copyTimes);
    std::printf("mixer tick, 4 stereo inputs x 1200 frames: %.1f us (%.2f%% of the 25 ms tick)\n", mix, mix / 250.0);
    std::printf("memcpy of the same samples:              %.1f us\n", copy);
    std::printf("ratio mixer / memcpy:                     %.1fx\n", mix / std::max(copy, 0.001));
    return 0;
}
