#include "audio/AudioMixer.h"

#include "capture/AudioTimeline.h"
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
    : m_position(IAudioInput::kNoPosition)
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

void AudioMixer::setClock(std::function<qint64()> clock, int sampleRate)
{
    QMutexLocker locker(&m_lock);
    m_clock = std::move(clock);
    m_sampleRate = sampleRate > 0 ? sampleRate : AudioFormat::kSampleRate;
}

void AudioMixer::reset()
{
    QMutexLocker locker(&m_lock);
    // The inputs restart at their devices' now, microseconds apart: the latest of them is
    // where the master starts (the others drop a frame at most, and nothing counts as missing).
    m_position = m_clock ? AudioTimeline::frameAt(m_clock(), m_sampleRate) : IAudioInput::kNoPosition;
    qint64 latest = IAudioInput::kNoPosition;
    for (auto &[id, strip] : m_strips) {
        if (strip.source) {
            strip.source->clear();
            latest = std::max(latest, strip.source->readPosition());
        }
        strip.levelLeft = 0.0f;
        strip.levelRight = 0.0f;
    }
    if (latest != IAudioInput::kNoPosition)
        m_position = latest;
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
    out.filledFrames.clear();
    out.master.clear();

    QMutexLocker locker(&m_lock);

    // What each running input holds: from its place on the timeline, this many frames. An
    // input without a timeline is taken to be at the master's place.
    struct Ready { int channels; qint64 start; qint64 frames; };
    std::map<int, Ready> ready;
    qint64 earliest = IAudioInput::kNoPosition;
    for (auto &[id, strip] : m_strips) {
        if (!strip.source || !strip.source->isRunning())
            continue;
        const int channels = std::max(1, strip.source->channels());
        const qint64 frames = qint64(strip.source->availableSamples() / size_t(channels));
        const qint64 start = strip.source->readPosition();
        ready[id] = Ready{channels, start, frames};
        if (start != IAudioInput::kNoPosition && (earliest == IAudioInput::kNoPosition || start < earliest))
            earliest = start;
    }
    if (ready.empty()) {
        decayAll();
        return;
    }
    // Before any reset the master starts where the earliest input is.
    if (m_position == IAudioInput::kNoPosition)
        m_position = earliest;
    const bool timed = m_position != IAudioInput::kNoPosition;
    const qint64 base = timed ? m_position : 0;
    for (auto &[id, r] : ready) {
        if (r.start == IAudioInput::kNoPosition)
            r.start = base;
    }

    // Mix what every input that keeps up has delivered; an input far behind is left to
    // silence, and with a clock the master keeps within kMaxClockLagFrames of it regardless.
    qint64 leadEnd = 0;
    for (const auto &[id, r] : ready)
        leadEnd = std::max(leadEnd, r.start + r.frames - base);
    qint64 n = leadEnd;
    for (const auto &[id, r] : ready) {
        const qint64 end = r.start + r.frames - base;
        if (end >= leadEnd - kMaxLagFrames)
            n = std::min(n, end);
    }
    if (timed && m_clock)
        n = std::max(n, AudioTimeline::frameAt(m_clock(), m_sampleRate) - kMaxClockLagFrames - base);
    if (n <= 0) {
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
        const Ready &r = readyIt->second;
        const int channels = r.channels;
        // Frames from before the master's place are dropped; an input that starts later than
        // it begins with silence.
        qint64 offset = r.start - base;
        qint64 held = r.frames;
        if (offset < 0) {
            strip.source->skip(-offset);
            held = std::max<qint64>(0, held + offset);
            offset = 0;
        }
        const qint64 lead = std::min(offset, n);
        const qint64 toRead = std::clamp<qint64>(n - lead, 0, held);
        std::vector<float> block;
        if (toRead > 0)
            block = strip.source->readSamples(int(toRead * channels));
        const qint64 framesRead = std::min<qint64>(n - lead, qint64(block.size()) / channels);
        const qint64 tail = n - lead - framesRead;
        if (tail > 0)
            strip.source->skip(tail); // what arrives for that time later is too late
        // Silence for a time the input had nothing for: put in here, or by the input itself.
        if (const qint64 filled = lead + tail + strip.source->takeFilledFrames(); filled > 0)
            out.filledFrames[id] = filled;

        const float gain = strip.muted || (soloInForce && !strip.solo) ? 0.0f : strip.gain;

        // Stereo view of the block: left and right of frame i; a mono input feeds both
        // sides, extra channels beyond two are not part of the stereo mix.
        auto left = [&](qint64 i) { return block[size_t(i) * size_t(channels)]; };
        auto right = [&](qint64 i) { return block[size_t(i) * size_t(channels) + (channels > 1 ? 1 : 0)]; };

        float peakLeft = 0.0f, peakRight = 0.0f;
        for (qint64 i = 0; i < framesRead; ++i) {
            peakLeft = std::max(peakLeft, std::fabs(left(i)));
            peakRight = std::max(peakRight, std::fabs(right(i)));
        }
        if (framesRead == 0) {
            decay(strip);
        } else {
            strip.levelLeft = applyBallistics(strip.levelLeft, gain * peakLeft);
            strip.levelRight = applyBallistics(strip.levelRight, gain * peakRight);
        }

        // The channel's own recording spans the n frames of this tick, untouched by the
        // fader; missing frames are silence.
        std::vector<float> &channelOut = out.channels[id];
        channelOut.assign(size_t(n) * 2, 0.0f);
        float *into = channelOut.data() + size_t(lead) * 2;
        for (qint64 i = 0; i < framesRead; ++i) {
            into[size_t(i) * 2] = left(i);
            into[size_t(i) * 2 + 1] = right(i);
        }
        if (gain > 0.0001f) {
            float *master = out.master.data() + size_t(lead) * 2;
            for (size_t s = 0; s < size_t(framesRead) * 2; ++s)
                master[s] += gain * into[s];
        }
    }
    if (timed)
        m_position += n;

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
