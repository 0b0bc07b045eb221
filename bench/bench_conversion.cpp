// Times the one pixel conversion of video capture (24-bit BGR to RGBA, 1920x1080) against a
// plain memcpy of the RGBA picture in the same run, so the ratio means the same on any
// machine; and the cost of generating one test pattern frame, alone and with its conversion.
// Prints medians of many runs; the target for the conversion is at most 3x the memcpy.
#include "capture/FrameConversion.h"
#include "capture/TestPatternRenderer.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

namespace {

constexpr int Width = 1920;
constexpr int Height = 1080;
constexpr int Runs = 200;

// Median wall time of one call of each job, in microseconds. The jobs take turns in every
// round, so a machine that gets busier during the run slows all of them alike and the ratios
// stay fair.
std::vector<double> medianMicros(const std::vector<std::function<void()>> &jobs)
{
    std::vector<std::vector<double>> samples(jobs.size());
    for (const auto &job : jobs)
        job(); // warm the caches and fault the pages in
    for (int round = 0; round < Runs; ++round) {
        for (size_t i = 0; i < jobs.size(); ++i) {
            QElapsedTimer timer;
            timer.start();
            jobs[i]();
            samples[i].push_back(double(timer.nsecsElapsed()) / 1000.0);
        }
    }
    std::vector<double> medians;
    for (std::vector<double> &jobSamples : samples) {
        std::nth_element(jobSamples.begin(), jobSamples.begin() + Runs / 2, jobSamples.end());
        medians.push_back(jobSamples[Runs / 2]);
    }
    return medians;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);

    const qsizetype bgrBytes = qsizetype(Width) * Height * 3;
    const qsizetype rgbaBytes = qsizetype(Width) * Height * 4;
    std::vector<uchar> bgr(static_cast<size_t>(bgrBytes));
    std::mt19937 random(1);
    for (uchar &byte : bgr)
        byte = uchar(random());
    std::vector<uchar> rgbaSource(static_cast<size_t>(rgbaBytes), 0x55);
    std::vector<uchar> rgba(static_cast<size_t>(rgbaBytes));

    TestPatternRenderer renderer(1, Width, Height);
    std::vector<uchar> patternBgr(static_cast<size_t>(bgrBytes));
    qint64 counter = 0;

    const std::vector<double> us = medianMicros({
        [&] { std::memcpy(rgba.data(), rgbaSource.data(), size_t(rgbaBytes)); },
        [&] { convertBgr24ToRgba(bgr.data(), bgrBytes, Width * 3, Width, Height, true, false, rgba.data()); },
        [&] { convertBgr24ToRgba(bgr.data(), bgrBytes, Width * 3, Width, Height, false, false, rgba.data()); },
        [&] {
            for (int row = 0; row < Height; ++row)
                convertBgr24RowToRgbaWords(bgr.data() + qsizetype(row) * Width * 3,
                                           rgba.data() + qsizetype(row) * Width * 4, Width);
        },
        [&] {
            for (int row = 0; row < Height; ++row)
                convertBgr24RowToRgbaPlain(bgr.data() + qsizetype(row) * Width * 3,
                                           rgba.data() + qsizetype(row) * Width * 4, Width);
        },
        [&] {
            renderer.render(patternBgr.data(), counter, counter * 33'333'333, false);
            ++counter;
        },
        [&] {
            renderer.render(patternBgr.data(), counter, counter * 33'333'333, false);
            convertBgr24ToRgba(patternBgr.data(), bgrBytes, Width * 3, Width, Height, true, false, rgba.data());
            ++counter;
        },
    });
    const double memcpyUs = us[0];
    const double convertUs = us[1];
    const double bottomUpUs = us[2];
    const double wordsUs = us[3];
    const double plainUs = us[4];
    const double renderUs = us[5];
    const double renderConvertUs = us[6];

    std::printf("1080p picture, median of %d runs\n", Runs);
    std::printf("  memcpy RGBA (%lld bytes)      %8.0f us  (reference)\n", static_cast<long long>(rgbaBytes), memcpyUs);
    std::printf("  BGR24 -> RGBA, top-down        %8.0f us  %.2fx memcpy (target <= 3x)\n", convertUs, convertUs / memcpyUs);
    std::printf("  BGR24 -> RGBA, bottom-up       %8.0f us  %.2fx memcpy\n", bottomUpUs, bottomUpUs / memcpyUs);
    std::printf("  BGR24 -> RGBA, portable words  %8.0f us  %.2fx memcpy\n", wordsUs, wordsUs / memcpyUs);
    std::printf("  BGR24 -> RGBA, byte loop       %8.0f us  %.2fx memcpy\n", plainUs, plainUs / memcpyUs);
    std::printf("  test pattern frame (BGR)       %8.0f us\n", renderUs);
    std::printf("  test pattern frame + convert   %8.0f us\n", renderConvertUs);
    return 0;
}
