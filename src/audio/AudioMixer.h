// AudioMixer: the four channel strips (fader, mute, solo, meters) and the master bus.
//
// The manager owns the mixer and the audio inputs; a strip holds a plain pointer to its
// channel's input (an IAudioInput), which the manager detaches before it destroys the input. process() runs
// on the GUI thread every 25 ms and drains every input; one lock guards the whole mixer, and
// the only lock taken while it is held is an input's own (mixer first, then input).
//
// Alignment: an output frame is produced only when every running input has delivered it, so
// the channels of a take stay sample-aligned. An input more than 100 ms behind the others
// (stalled or unplugged) stops holding the master back; its channel output is padded with
// silence for the missing time.
#pragma once

#include "common/ChannelRange.h"

#include <QMutex>

#include <map>
#include <vector>

class IAudioInput;

struct MixerOutput
{
    // Per channel id, interleaved stereo after fader, mute and solo (a mono input is copied
    // to both sides), one entry per strip that had a running input.
    std::map<int, std::vector<float>> channels;
    // The master mix, interleaved stereo, clamped to [-1, 1].
    std::vector<float> master;

    int frameCount() const { return int(master.size() / 2); }
};

class AudioMixer
{
public:
    static constexpr int kFirstChannel = ChannelRange::kFirst;
    static constexpr int kLastChannel = ChannelRange::kLast;
    static constexpr float kDefaultVolume = 0.8f;
    // How far behind the leading input another input may fall before the master stops
    // waiting for it: 100 ms at 48 kHz.
    static constexpr int kMaxLagFrames = 4800;

    AudioMixer();

    // Fader law, linear in decibels over 60 dB: 0 at or below 0.001, 1 at or above 0.999.
    static float gainForVolume(float volume);
    // Meter ballistics: instant attack, exponential release per tick.
    static float applyBallistics(float level, float peak);

    static bool isValidChannel(int channelId) { return ChannelRange::contains(channelId); }

    // Attaches an input to the strip, or detaches it (nullptr); detaching drops the meters to 0.
    void setSource(int channelId, IAudioInput *source);

    void setVolume(int channelId, float volume);
    float volume(int channelId) const;
    void setMuted(int channelId, bool muted);
    bool isMuted(int channelId) const;
    void setSolo(int channelId, bool solo);
    bool isSolo(int channelId) const;
    void setMasterVolume(float volume);
    float masterVolume() const;

    float masterLevelLeft() const;
    float masterLevelRight() const;
    // Meter values of a strip; 0 and 0 for a channel outside 1..4.
    void stripLevels(int channelId, float &left, float &right) const;

    // Empties every input's buffer and drops all meters to 0, so a take starts fresh.
    void reset();

    // Drains every running input (see alignment above), updates the meters and fills out.
    void process(MixerOutput &out);

private:
    struct ChannelStrip
    {
        IAudioInput *source = nullptr;
        float volume = kDefaultVolume;
        float gain = gainForVolume(kDefaultVolume);
        bool muted = false;
        bool solo = false;
        float levelLeft = 0.0f;
        float levelRight = 0.0f;
    };

    void decayAll();
    static void decay(ChannelStrip &strip);

    mutable QMutex m_lock;
    std::map<int, ChannelStrip> m_strips; // Guarded by m_lock.
    float m_masterVolume = kDefaultVolume;
    float m_masterGain = gainForVolume(kDefaultVolume);
    float m_masterLevelLeft = 0.0f;
    float m_masterLevelRight = 0.0f;
};
