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
        m_readPosition = 0;
        m_writePosition = 0;
        m_hasTimeline = false;
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

void AudioSampleBuffer::append(const float *samples, size_t count, quint64 generation, qint64 position)
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
    const size_t channels = size_t(m_channels);
    count -= count % channels;
    if (position == kContinue)
        position = m_hasTimeline ? m_writePosition : 0;
    if (!m_hasTimeline) {
        m_readPosition = position;
        m_hasTimeline = true;
    }
    m_writePosition = position + qint64(count / channels);

    // Frames for a time the reader has passed (it heard silence there) are dropped; so are
    // frames for a time the buffer already holds.
    const qint64 heldEnd = m_readPosition + qint64(m_size / channels);
    const qint64 firstNew = std::max(m_readPosition, heldEnd);
    if (position < firstNew) {
        const size_t late = std::min(count, size_t(firstNew - position) * channels);
        samples += late;
        count -= late;
        position = firstNew;
    }
    if (count == 0)
        return;
    if (blockPeak > m_peak)
        m_peak = blockPeak;
    // A gap between what is held and this block: silence, so the block lands where it belongs.
    if (position > heldEnd) {
        m_gapFrames += position - heldEnd;
        writeSilenceLocked(size_t(position - heldEnd) * channels, count);
    }
    writeLocked(samples, count);
}

void AudioSampleBuffer::skip(qint64 frames)
{
    if (frames <= 0)
        return;
    std::lock_guard lock(m_mutex);
    const size_t channels = size_t(m_channels);
    const size_t held = std::min(m_size, size_t(frames) * channels);
    m_head = m_ring.empty() ? 0 : (m_head + held) % m_ring.size();
    m_size -= held;
    m_readPosition += frames;
}

qint64 AudioSampleBuffer::readPosition() const
{
    std::lock_guard lock(m_mutex);
    return m_hasTimeline ? m_readPosition : kNoPosition;
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

void AudioSampleBuffer::clear(qint64 position)
{
    std::lock_guard lock(m_mutex);
    m_head = 0;
    m_size = 0;
    m_peak = 0.0f;
    ++m_generation;
    m_readPosition = position;
    m_writePosition = position;
    m_hasTimeline = true;
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
        dropOldestLocked(m_size - kept);
        const qint64 position = m_readPosition; // the kept frames move, they are not read
        readLocked(ring.data(), kept);
        m_readPosition = position;
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

qint64 AudioSampleBuffer::takeGapFrames()
{
    std::lock_guard lock(m_mutex);
    const qint64 frames = m_gapFrames;
    m_gapFrames = 0;
    return frames;
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

void AudioSampleBuffer::dropOldestLocked(size_t count)
{
    // Overflow: the oldest whole frames go, counted, and the reader's place moves past them.
    if (count == 0 || m_ring.empty())
        return;
    count = std::min(count, m_size);
    m_head = (m_head + count) % m_ring.size();
    m_size -= count;
    m_droppedTotal += count;
    m_droppedUnreported += count;
    m_readPosition += qint64(count / size_t(m_channels));
}

void AudioSampleBuffer::writeLocked(const float *samples, size_t count)
{
    const size_t capacity = m_ring.size();
    if (count == 0)
        return;
    if (capacity == 0) {
        m_droppedTotal += count;
        m_droppedUnreported += count;
        m_readPosition += qint64(count / size_t(m_channels));
        return;
    }

    if (count >= capacity) {
        // A block larger than the whole ring: only its newest part can be kept.
        dropOldestLocked(m_size);
        const size_t lost = count - capacity;
        m_droppedTotal += lost;
        m_droppedUnreported += lost;
        m_readPosition += qint64(lost / size_t(m_channels));
        samples += lost;
        count = capacity;
        m_head = 0;
    } else if (m_size + count > capacity) {
        dropOldestLocked(m_size + count - capacity);
    }

    const size_t tail = (m_head + m_size) % capacity;
    const size_t first = std::min(count, capacity - tail);
    std::memcpy(m_ring.data() + tail, samples, first * sizeof(float));
    std::memcpy(m_ring.data(), samples + first, (count - first) * sizeof(float));
    m_size += count;
}

void AudioSampleBuffer::writeSilenceLocked(size_t count, size_t reserve)
{
    // Room is kept for the `reserve` samples that follow: silence beyond what fits before them
    // is never stored (it is not lost audio; the reader's place just moves past it), while
    // held frames it pushes out are lost like any overflow.
    const size_t capacity = m_ring.size();
    const size_t room = capacity > reserve ? capacity - reserve : 0;
    if (count > room) {
        dropOldestLocked(m_size);
        m_readPosition += qint64((count - room) / size_t(m_channels));
        count = room;
        m_head = 0;
    } else if (m_size + count > room) {
        dropOldestLocked(m_size + count - room);
    }
    size_t tail = capacity == 0 ? 0 : (m_head + m_size) % capacity;
    for (size_t left = count; left > 0;) {
        const size_t run = std::min(left, capacity - tail);
        std::memset(m_ring.data() + tail, 0, run * sizeof(float));
        tail = (tail + run) % capacity;
        left -= run;
    }
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
    m_readPosition += qint64(count / size_t(m_channels));
}
