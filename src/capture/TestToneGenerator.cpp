#include "capture/TestToneGenerator.h"

#include "common/MonotonicClock.h"

#include <QThread>

#include <chrono>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr qint64 kNsPerSecond = 1'000'000'000;
constexpr qint64 kNsPerCycle = kNsPerSecond / TestToneGenerator::kFrequencyHz;

std::chrono::steady_clock::time_point toTimePoint(qint64 monotonicNs)
{
    // monotonicNowNs() reads steady_clock, so its values are steady_clock epochs.
    return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(monotonicNs));
}

// Frames of a run anchored at anchorNs whose moment is not after nowNs.
quint64 framesDue(qint64 anchorNs, qint64 nowNs)
{
    if (nowNs < anchorNs)
        return 0;
    // Frame k is due when floor(k * 62500 / 3) <= elapsed, that is k <= (3 * elapsed + 2) / 62500.
    return quint64((nowNs - anchorNs) * 3 + 2) / 62500 + 1;
}

} // namespace

TestToneGenerator::TestToneGenerator() = default;

TestToneGenerator::~TestToneGenerator()
{
    stop();
}

float TestToneGenerator::amplitude()
{
    return float(std::pow(10.0, kLevelDbfs / 20.0));
}

float TestToneGenerator::valueAt(qint64 monotonicNs)
{
    const qint64 intoSecond = ((monotonicNs % kNsPerSecond) + kNsPerSecond) % kNsPerSecond;
    if (intoSecond >= kBeepDurationNs)
        return 0.0f;
    // A whole number of cycles fits in a second, so the phase follows from the time within
    // the cycle alone, and every beep starts and ends on a zero crossing (no click).
    const double cycles = double(intoSecond % kNsPerCycle) / double(kNsPerCycle);
    return amplitude() * float(std::sin(2.0 * std::numbers::pi * cycles));
}

qint64 TestToneGenerator::frameTimeNs(qint64 anchorNs, quint64 frame)
{
    // Split whole seconds off first so the product cannot overflow however long the run.
    const quint64 seconds = frame / kSampleRate;
    const quint64 rest = frame % kSampleRate;
    return anchorNs + qint64(seconds) * kNsPerSecond + qint64(rest * 62500 / 3);
}

void TestToneGenerator::render(float *out, int channels, qint64 anchorNs, quint64 firstFrame,
                               int frames)
{
    channels = channels < 1 ? 2 : channels;
    for (int i = 0; i < frames; ++i) {
        const float value = valueAt(frameTimeNs(anchorNs, firstFrame + quint64(i)));
        for (int c = 0; c < channels; ++c)
            *out++ = value;
    }
}

bool TestToneGenerator::start(int channels, Sink sink)
{
    if (m_thread)
        return false;
    channels = channels < 1 ? 2 : channels;
    {
        std::lock_guard lock(m_mutex);
        m_quit = false;
    }
    m_sink = std::move(sink);
    const qint64 anchorNs = monotonicNowNs();
    m_thread.reset(QThread::create([this, channels, anchorNs] { run(channels, anchorNs); }));
    m_thread->setObjectName(QStringLiteral("TestTone"));
    m_thread->start();
    return true;
}

void TestToneGenerator::stop()
{
    if (!m_thread)
        return;
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    m_thread->wait();
    m_thread.reset();
    m_sink = nullptr;
}

bool TestToneGenerator::isRunning() const
{
    return m_thread != nullptr;
}

void TestToneGenerator::run(int channels, qint64 anchorNs)
{
    std::vector<float> block(size_t(kBlockFrames) * size_t(channels));
    quint64 produced = 0;

    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        lock.unlock();
        const quint64 due = framesDue(anchorNs, monotonicNowNs());
        while (produced + kBlockFrames <= due) {
            render(block.data(), channels, anchorNs, produced, kBlockFrames);
            m_sink(block.data(), block.size());
            produced += kBlockFrames;
        }
        lock.lock();
        // Sleep until the last frame of the next block has happened.
        const qint64 nextNs = frameTimeNs(anchorNs, produced + kBlockFrames - 1);
        m_wake.wait_until(lock, toTimePoint(nextNs), [this] { return m_quit; });
    }
}
