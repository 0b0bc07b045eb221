#include "audio/AudioMixer.h"

#include "capture/IAudioInput.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kRelease = 0.88f;

float clampVolume(float volume)
{
    return std::clamp(volume, 0.0f, 1.0f);
}

} // namespace

AudioMixer::AudioMixer()
{
    for (int id = kFirstChannel; id <= kLastChannel; ++id)
        m_strips[id] = ChannelStrip{};
}

float AudioMixer::gainForVolume(float volume)
{
    const float v = clampVolume(volume);
    if (v <= 0.001f)
        return 0.0f;
    if (v >= 0.999f)
        return 1.0f;
    return std::pow(10.0f, (v - 1.0f) * 60.0f / 20.0f);
}

float AudioMixer::applyBallistics(float level, float peak)
{
    if (peak > level)
        return peak;
    return kRelease * level + (1.0f - kRelease) * peak;
}

void AudioMixer::setSource(int channelId, IAudioInput *source)
{
    QMutexLocker locker(&m_lock);
    auto it = m_strips.find(channelId);
    if (it == m_strips.end())
        return;
    it->second.source = source;
    if (!source) {
        it->second.levelLeft = 0.0f;
        it->second.levelRight = 0.0f;
    }
}

void AudioMixer::setVolume(int channelId, float volume)
{
    QMutexLocker locker(&m_lock);
    auto it = m_strips.find(channelId);
    if (it == m_strips.end())
        return;
    it->second.volume = clampVolume(volume);
    it->second.gain = gainForVolume(volume);
}

float AudioMixer::volume(int channelId) const
{
    QMutexLocker locker(&m_lock);
    auto it = m_strips.find(channelId);
    return it == m_strips.end() ? kDefaultVolume : it->second.volume;
}

void AudioMixer::setMuted(int channelId, bool muted)
{
    QMutexLocker locker(&m_lock);
    if (auto it = m_strips.find(channelId); it != m_strips.end())
        it->second.muted = muted;
}

bool AudioMixer::isMuted(int channelId) const
{
    QMutexLocker locker(&m_lock);
    auto it = m_strips.find(channelId);
    return it != m_strips.end() && it->second.muted;
}

void AudioMixer::setSolo(int channelId, bool solo)
{
    QMutexLocker locker(&m_lock);
    if (auto it = m_strips.find(channelId); it != m_strips.end())
        it->second.solo = solo;
}

bool AudioMixer::isSolo(int channelId) const
{
    QMutexLocker locker(&m_lock);
    auto it = m_strips.find(channelId);
    return it != m_strips.end() && it->second.solo;
}

void AudioMixer::setMasterVolume(float volume)
{
    QMutexLocker locker(&m_lock);
    m_masterVolume = clampVolume(volume);
    m_masterGain = gainForVolume(volume);
}

float AudioMixer::masterVolume() const
{
    QMutexLocker locker(&m_lock);
    return m_masterVolume;
}

float AudioMixer::masterLevelLeft() const
{
    QMutexLocker locker(&m_lock);
    return m_masterLevelLeft;
}

float AudioMixer::masterLevelRight() const
{
    QMutexLocker locker(&m_lock);
    return m_masterLevelRight;
}

void AudioMixer::stripLevels(int channelId, float &left, float &right) const
{
    QMutexLocker locker(&m_lock);
    auto it = m_strips.find(channelId);
    left = it == m_strips.end() ? 0.0f : it->second.levelLeft;
    right = it == m_strips.end() ? 0.0f : it->second.levelRight;
}

void AudioMixer::reset()
{
    QMutexLocker locker(&m_lock);
    for (auto &[id, strip] : m_strips) {
        if (strip.source)
            strip.source->clear();
        strip.levelLeft = 0.0f;
        strip.levelRight = 0.0f;
    }
    m_masterLevelLeft = 0.0f;
    m_masterLevelRight = 0.0f;
}

void AudioMixer::decay(ChannelStrip &strip)
{
    strip.levelLeft *= kRelease;
    strip.levelRight *= kRelease;
}

void AudioMixer::decayAll()
{
    for (auto &[id, strip] : m_strips)
        decay(strip);
    m_masterLevelLeft *= kRelease;
    m_masterLevelRight *= kRelease;
}

void AudioMixer::process(MixerOutput &out)
{
    out.channels.clear();
    out.master.clear();

    QMutexLocker locker(&m_lock);

    // Frames each running input has ready; an input's channel count is at least 1.
    struct Ready { ChannelStrip *strip; int channels; int frames; };
    std::map<int, Ready> ready;
    int leadFrames = 0;
    for (auto &[id, strip] : m_strips) {
        if (!strip.source || !strip.source->isRunning())
            continue;
        const int channels = std::max(1, strip.source->channels());
        const int frames = int(strip.source->availableSamples() / size_t(channels));
        ready[id] = Ready{&strip, channels, frames};
        leadFrames = std::max(leadFrames, frames);
    }
    if (ready.empty() || leadFrames == 0) {
        decayAll();
        return;
    }

    // Mix what every input that keeps up has delivered; inputs far behind are padded.
    int n = leadFrames;
    for (const auto &[id, r] : ready) {
        if (r.frames >= leadFrames - kMaxLagFrames)
            n = std::min(n, r.frames);
    }
    if (n == 0) {
        decayAll();
        return;
    }

    bool soloInForce = false;
    for (const auto &[id, strip] : m_strips)
        soloInForce = soloInForce || (strip.solo && strip.source);

    out.master.assign(size_t(n) * 2, 0.0f);
    for (auto &[id, strip] : m_strips) {
        auto readyIt = ready.find(id);
        if (readyIt == ready.end()) {
            decay(strip);
            continue;
        }
        const int channels = readyIt->second.channels;
        const int framesToRead = std::min(n, readyIt->second.frames);
        std::vector<float> block;
        if (framesToRead > 0)
            block = strip.source->readSamples(framesToRead * channels);
        const int framesRead = std::min(n, int(block.size()) / channels);

        const float gain = strip.muted || (soloInForce && !strip.solo) ? 0.0f : strip.gain;

        // Stereo view of the block: left and right of frame i; a mono input feeds both
        // sides, extra channels beyond two are not part of the stereo mix.
        auto left = [&](int i) { return block[size_t(i) * size_t(channels)]; };
        auto right = [&](int i) { return block[size_t(i) * size_t(channels) + (channels > 1 ? 1 : 0)]; };

        float peakLeft = 0.0f, peakRight = 0.0f;
        for (int i = 0; i < framesRead; ++i) {
            peakLeft = std::max(peakLeft, std::fabs(left(i)));
            peakRight = std::max(peakRight, std::fabs(right(i)));
        }
        if (framesRead == 0) {
            decay(strip);
        } else {
            strip.levelLeft = applyBallistics(strip.levelLeft, gain * peakLeft);
            strip.levelRight = applyBallistics(strip.levelRight, gain * peakRight);
        }

        // The channel output always spans the n frames of this tick; missing frames of a
        // lagging input are silence.
        std::vector<float> &channelOut = out.channels[id];
        channelOut.assign(size_t(n) * 2, 0.0f);
        for (int i = 0; i < framesRead; ++i) {
            channelOut[size_t(i) * 2] = gain * left(i);
            channelOut[size_t(i) * 2 + 1] = gain * right(i);
        }
        if (gain > 0.0001f) {
            for (size_t s = 0; s < size_t(framesRead) * 2; ++s)
                out.master[s] += channelOut[s];
        }
    }

    float peakLeft = 0.0f, peakRight = 0.0f;
    for (size_t s = 0; s < out.master.size(); s += 2) {
        const float l = out.master[s] * m_masterGain;
        const float r = out.master[s + 1] * m_masterGain;
        peakLeft = std::max(peakLeft, std::fabs(l));
        peakRight = std::max(peakRight, std::fabs(r));
        out.master[s] = std::clamp(l, -1.0f, 1.0f);
        out.master[s + 1] = std::clamp(r, -1.0f, 1.0f);
    }
    m_masterLevelLeft = applyBallistics(m_masterLevelLeft, peakLeft);
    m_masterLevelRight = applyBallistics(m_masterLevelRight, peakRight);
}
