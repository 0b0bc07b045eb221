#include "capture/TestToneGenerator.h"

#include "common/AudioFormat.h"
#include "common/MonotonicClock.h"
#include "common/ThreadName.h"

#include <QThread>

#include <chrono>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr qint64 kNsPerSecond = 1'000'000'000;

std::chrono::steady_clock::time_point toTimePoint(qint64 monotonicNs)
{
    // monotonicNowNs() reads steady_clock, so its values are steady_clock epochs.
    return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(monotonicNs));
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

float TestToneGenerator::valueAt(qint64 monotonicNs, int input)
{
    const qint64 intoSecond = ((monotonicNs % kNsPerSecond) + kNsPerSecond) % kNsPerSecond;
    const qint64 intoBeep = intoSecond - inputOffsetNs(input);
    if (intoBeep < 0 || intoBeep >= kBeepDurationNs)
        return 0.0f;
    // Every pitch makes a whole number of cycles in a beep, which starts at phase 0: the phase
    // follows from the time within the beep alone (exact in integers: under 10^8 ns times a
    // few thousand Hz), and every beep starts and ends on a zero crossing (no click).
    const double cycles = double((intoBeep * inputFrequencyHz(input)) % kNsPerSecond) / double(kNsPerSecond);
    return amplitude() * float(std::sin(2.0 * std::numbers::pi * cycles));
}

qint64 TestToneGenerator::frameTimeNs(qint64 anchorNs, quint64 frame)
{
    // Split whole seconds off first so the product cannot overflow however long the run.
    const quint64 seconds = frame / AudioFormat::kSampleRate;
    const quint64 rest = frame % AudioFormat::kSampleRate;
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

void TestToneGenerator::prepare(int channels, Sink sink, qint64 anchorNs)
{
    m_channels = channels < 1 ? 2 : channels;
    m_sink = std::move(sink);
    m_anchorNs = anchorNs;
    m_produced = 0;
    m_block.assign(size_t(blockFrames()) * size_t(m_channels), 0.0f);
}

bool TestToneGenerator::start(int channels, Sink sink)
{
    if (m_thread || m_manual)
        return false;
    {
        std::lock_guard lock(m_mutex);
        m_quit = false;
    }
    prepare(channels, std::move(sink), monotonicNowNs());
    m_thread.reset(QThread::create([this] { run(); }));
    m_thread->start();
    return true;
}

bool TestToneGenerator::startManual(int channels, Sink sink, qint64 anchorNs)
{
    if (m_thread || m_manual)
        return false;
    prepare(channels, std::move(sink), anchorNs);
    m_manual = true;
    return true;
}

void TestToneGenerator::stop()
{
    if (m_manual) {
        m_manual = false;
        m_sink = nullptr;
        return;
    }
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
    return m_thread != nullptr || m_manual;
}

qint64 TestToneGenerator::ownOffsetNs(quint64 frame) const
{
    // Split whole seconds off first so the product cannot overflow however long the run; at
    // 48 kHz this is exactly frameTimeNs().
    const quint64 seconds = frame / quint64(m_rate);
    const quint64 rest = frame % quint64(m_rate);
    return qint64(seconds) * kNsPerSecond + qint64(rest * quint64(kNsPerSecond) / quint64(m_rate));
}

qint64 TestToneGenerator::deliveryTimeNs(quint64 frame) const
{
    if (m_clockErrorPpm == 0.0)
        return m_anchorNs + ownOffsetNs(frame);
    return m_anchorNs + qint64(std::llround(double(ownOffsetNs(frame)) / (1.0 + m_clockErrorPpm * 1e-6)));
}

quint64 TestToneGenerator::framesDueBy(qint64 nowNs) const
{
    if (nowNs < m_anchorNs)
        return 0;
    // A first guess from the rate, then exact against the delivery times.
    const double seconds = double(nowNs - m_anchorNs) / double(kNsPerSecond);
    quint64 due = quint64(std::max(0.0, seconds * m_rate * (1.0 + m_clockErrorPpm * 1e-6)));
    while (deliveryTimeNs(due) <= nowNs)
        ++due;
    while (due > 0 && deliveryTimeNs(due - 1) > nowNs)
        --due;
    return due;
}

void TestToneGenerator::deliverDue(qint64 nowNs)
{
    if (!m_sink)
        return;
    const quint64 due = framesDueBy(nowNs);
    const int frames = blockFrames();
    while (m_produced + quint64(frames) <= due) {
        float *out = m_block.data();
        for (int i = 0; i < frames; ++i) {
            const qint64 ownNs = m_anchorNs + ownOffsetNs(m_produced + quint64(i));
            if (m_distinctInputs) {
                for (int c = 0; c < m_channels; ++c)
                    *out++ = valueAt(ownNs, c);
            } else {
                const float value = valueAt(ownNs);
                for (int c = 0; c < m_channels; ++c)
                    *out++ = value;
            }
        }
        m_sink(m_block.data(), m_block.size());
        m_produced += quint64(frames);
    }
}

void TestToneGenerator::run()
{
    nameCurrentThread(QStringLiteral("TestTone"));
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        lock.unlock();
        deliverDue(monotonicNowNs());
        lock.lock();
        // Sleep until the last frame of the next block has happened.
        const qint64 nextNs = deliveryTimeNs(m_produced + quint64(blockFrames()) - 1);
        m_wake.wait_until(lock, toTimePoint(nextNs), [this] { return m_quit; });
    }
}
