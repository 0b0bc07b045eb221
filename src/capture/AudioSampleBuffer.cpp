#include "capture/AudioSampleBuffer.h"

#include "common/AudioFormat.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

int effectiveChannels(int channels)
{
    return channels < 1 ? 2 : channels;
}

int clampDelayMs(int delayMs)
{
    return std::clamp(delayMs, 0, AudioSampleBuffer::kMaxDelayMs);
}

size_t samplesForMs(int channels, int ms)
{
    return size_t(effectiveChannels(channels)) * size_t(AudioFormat::kSampleRate / 1000)
        * size_t(ms);
}

} // namespace

size_t AudioSampleBuffer::capacityFor(int channels, int delayMs)
{
    return samplesForMs(channels, clampDelayMs(delayMs) + kBufferMs);
}

size_t AudioSampleBuffer::heldBackFor(int channels, int delayMs)
{
    return samplesForMs(channels, clampDelayMs(delayMs));
}

AudioSampleBuffer::AudioSampleBuffer() = default;

void AudioSampleBuffer::configure(int channels)
{
    channels = effectiveChannels(channels);
    int delayMs = 0;
    {
        std::lock_guard lock(m_mutex);
        delayMs = m_delayMs;
    }
    // Allocate outside the lock; the swap below hands the old storage back to be freed
    // after the lock is released.
    std::vector<float> ring(capacityFor(channels, delayMs));
    {
        std::lock_guard lock(m_mutex);
        m_ring.swap(ring);
        m_head = 0;
        m_size = 0;
        m_channels = channels;
        m_delayMs = delayMs;
        m_peak = 0.0f;
        m_droppedTotal = 0;
        m_droppedUnreported = 0;
        ++m_generation;
    }
}

int AudioSampleBuffer::channels() const
{
    std::lock_guard lock(m_mutex);
    return m_channels;
}

size_t AudioSampleBuffer::capacity() const
{
    std::lock_guard lock(m_mutex);
    return m_ring.size();
}

void AudioSampleBuffer::append(const float *samples, size_t count, quint64 generation)
{
    if (!samples || count == 0)
        return;

    // The peak costs a pass over the block; do it before taking the lock.
    float blockPeak = 0.0f;
    for (size_t i = 0; i < count; ++i)
        blockPeak = std::max(blockPeak, std::fabs(samples[i]));

    std::lock_guard lock(m_mutex);
    // Made before a clear(): it belongs before the new start, not after it.
    if (generation != kAnyGeneration && generation != m_generation)
        return;
    count -= count % size_t(m_channels);
    if (blockPeak > m_peak)
        m_peak = blockPeak;
    writeLocked(samples, count);
}

size_t AudioSampleBuffer::availableSamples() const
{
    std::lock_guard lock(m_mutex);
    return availableLocked();
}

std::vector<float> AudioSampleBuffer::read(int maxSamples)
{
    size_t wanted = 0;
    {
        std::lock_guard lock(m_mutex);
        const size_t available = availableLocked();
        wanted = (maxSamples < 1 || available < size_t(maxSamples)) ? available : size_t(maxSamples);
        wanted -= wanted % size_t(m_channels);
    }
    if (wanted == 0)
        return {};

    // Allocate outside the lock so the producer never waits for the allocator. Only the
    // reader's thread removes samples, so at least `wanted` are still there below, unless
    // that thread cleared or resized the buffer in between, which min() covers.
    std::vector<float> out(wanted);
    size_t taken = 0;
    {
        std::lock_guard lock(m_mutex);
        taken = std::min(wanted, availableLocked());
        taken -= taken % size_t(m_channels);
        readLocked(out.data(), taken);
    }
    out.resize(taken);
    return out;
}

void AudioSampleBuffer::clear()
{
    std::lock_guard lock(m_mutex);
    m_head = 0;
    m_size = 0;
    m_peak = 0.0f;
    ++m_generation;
}

quint64 AudioSampleBuffer::generation() const
{
    std::lock_guard lock(m_mutex);
    return m_generation;
}

float AudioSampleBuffer::takePeak()
{
    std::lock_guard lock(m_mutex);
    const float peak = m_peak;
    m_peak = 0.0f;
    return peak;
}

void AudioSampleBuffer::setDelayMs(int delayMs)
{
    delayMs = clampDelayMs(delayMs);
    int channels = 0;
    {
        std::lock_guard lock(m_mutex);
        if (delayMs == m_delayMs)
            return;
        channels = m_channels;
        if (m_ring.empty()) {
            // Not configured yet: configure() sizes the ring with this delay.
            m_delayMs = delayMs;
            return;
        }
    }

    std::vector<float> ring(capacityFor(channels, delayMs));
    {
        std::lock_guard lock(m_mutex);
        // Keep the newest samples that fit; the rest are lost like any overflow.
        const size_t kept = std::min(m_size, ring.size());
        const size_t dropped = m_size - kept;
        m_head = (m_head + dropped) % m_ring.size();
        m_size -= dropped;
        m_droppedTotal += dropped;
        m_droppedUnreported += dropped;
        readLocked(ring.data(), kept);
        m_ring.swap(ring);
        m_head = 0;
        m_size = kept;
        m_delayMs = delayMs;
    }
}

int AudioSampleBuffer::delayMs() const
{
    std::lock_guard lock(m_mutex);
    return m_delayMs;
}

quint64 AudioSampleBuffer::droppedSamples() const
{
    std::lock_guard lock(m_mutex);
    return m_droppedTotal;
}

quint64 AudioSampleBuffer::takeUnreportedDrops()
{
    std::lock_guard lock(m_mutex);
    const quint64 dropped = m_droppedUnreported;
    m_droppedUnreported = 0;
    return dropped;
}

size_t AudioSampleBuffer::heldBackLocked() const
{
    return heldBackFor(m_channels, m_delayMs);
}

size_t AudioSampleBuffer::availableLocked() const
{
    const size_t heldBack = heldBackLocked();
    return m_size > heldBack ? m_size - heldBack : 0;
}

void AudioSampleBuffer::writeLocked(const float *samples, size_t count)
{
    const size_t capacity = m_ring.size();
    if (count == 0)
        return;
    if (capacity == 0) {
        m_droppedTotal += count;
        m_droppedUnreported += count;
        return;
    }

    size_t dropped = 0;
    if (count >= capacity) {
        // A block larger than the whole ring: only its newest part can be kept.
        dropped = m_size + (count - capacity);
        samples += count - capacity;
        count = capacity;
        m_head = 0;
        m_size = 0;
    } else if (m_size + count > capacity) {
        dropped = m_size + count - capacity;
        m_head = (m_head + dropped) % capacity;
        m_size -= dropped;
    }
    m_droppedTotal += dropped;
    m_droppedUnreported += dropped;

    const size_t tail = (m_head + m_size) % capacity;
    const size_t first = std::min(count, capacity - tail);
    std::memcpy(m_ring.data() + tail, samples, first * sizeof(float));
    std::memcpy(m_ring.data(), samples + first, (count - first) * sizeof(float));
    m_size += count;
}

void AudioSampleBuffer::readLocked(float *dest, size_t count)
{
    const size_t capacity = m_ring.size();
    if (count == 0 || capacity == 0)
        return;
    const size_t first = std::min(count, capacity - m_head);
    std::memcpy(dest, m_ring.data() + m_head, first * sizeof(float));
    std::memcpy(dest + first, m_ring.data(), (count - first) * sizeof(float));
    m_head = (m_head + count) % capacity;
    m_size -= count;
}
