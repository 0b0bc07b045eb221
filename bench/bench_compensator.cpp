// Drift compensation cost: CPU time per second of audio for one stereo input, brought to the
// master clock from +150 ppm (resampling) and from 0 ppm (passing through), in the 256-frame
// blocks an SDL device delivers. The reference in the same run is a memcpy of the same
// samples. Target: resampling at most 0.5 % of one core.
//
// Usage: bench_compensator [SECONDS_OF_AUDIO]   (default 600)
#include "capture/DriftCompensator.h"

#include <QtGlobal>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

constexpr int kRate = 48000;
constexpr int kBlock = 256;

double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// CPU seconds to push `seconds` of a 1 kHz stereo tone from a device at `ppm` through a
// compensator (or, with compensator null, through a memcpy into the same output).
double run(double seconds, double ppm, DriftCompensator *compensator)
{
    const double deviceRate = kRate * (1.0 + ppm * 1e-6);
    std::vector<float> block(size_t(kBlock) * 2);
    std::vector<float> out;
    out.reserve(size_t(kBlock) * 4);
    const qint64 blocks = qint64(seconds * deviceRate / kBlock);
    const qint64 start = 1000000000000;
    double cpu = 0.0;
    for (qint64 b = 0; b < blocks; ++b) {
        for (int i = 0; i < kBlock; ++i)
            block[size_t(i) * 2] = block[size_t(i) * 2 + 1] = float(0.5 * std::sin(0.1309 * double(b * kBlock + i)));
        const qint64 arrival = start + qint64(double((b + 1) * kBlock) * 1e9 / deviceRate);
        out.clear();
        const double before = threadCpuSeconds();
        if (compensator) {
            compensator->process(block.data(), kBlock, arrival, out);
        } else {
            out.resize(block.size());
            std::memcpy(out.data(), block.data(), block.size() * sizeof(float));
        }
        cpu += threadCpuSeconds() - before;
    }
    return cpu;
}

} // namespace

int main(int argc, char **argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 600.0;
    const double reference = run(seconds, 0.0, nullptr);
    DriftCompensator drifting(kRate, 2);
    drifting.restartAtFirstFrame();
    const double resampling = run(seconds, 150.0, &drifting);
    DriftCompensator exact(kRate, 2);
    exact.restartAtFirstFrame();
    const double passing = run(seconds, 0.0, &exact);

    std::printf("audio: %.0f s of 48 kHz stereo in %d-frame blocks\n", seconds, kBlock);
    std::printf("memcpy reference:      %8.3f ms CPU per second of audio\n", reference / seconds * 1e3);
    std::printf("+150 ppm (resampling): %8.3f ms CPU per second of audio = %.3f %% of one core (%.1f x memcpy)%s\n",
                resampling / seconds * 1e3, resampling / seconds * 100.0, resampling / reference,
                drifting.isResampling() ? "" : "  [NOT RESAMPLING]");
    std::printf("0 ppm (passing):       %8.3f ms CPU per second of audio = %.3f %% of one core (%.1f x memcpy)\n",
                passing / seconds * 1e3, passing / seconds * 100.0, passing / reference);
    return drifting.isResampling() ? 0 : 1;
}
