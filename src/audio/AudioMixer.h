// AudioMixer: the four channel strips (fader, mute, solo, meters) and the master bus.
//
// The manager owns the mixer and the audio inputs; a strip holds a plain pointer to its
// channel's input (an IAudioInput), which the manager detaches before it destroys the input. process() runs
// on the GUI thread every 25 ms and drains every input; one lock guards the whole mixer, and
// the only lock taken while it is held is an input's own (mixer first, then input).
//
// Channel outputs are the channels' own recordings (ISO tracks): each input as it comes from
// its trim and low cut, before the fader. Fader, mute and solo shape the master (and so the
// monitoring) and the strip meters alone.
//
// Alignment: inputs are lined up by their place on the one audio timeline (IAudioInput::
// readPosition), so frames that belong together are mixed together whatever device they came
// from and whenever it was opened; an output frame is produced once every running input has
// delivered it. An input more than 100 ms behind the others (stalled, unplugged, being
// reopened) stops holding the master back: its channel output is silence for the missing
// time, counted in MixerOutput::filledFrames, and the input skips that time, so what it
// delivers afterwards lies where it belongs. With a clock (setClock) the master never falls
// more than kMaxClockLagFrames behind it either, even when no input delivers at all (every
// microphone lost): far enough that a busy machine's late audio threads never cost a sample.
#pragma once

#include "common/AudioFormat.h"
#include "common/ChannelRange.h"

#include <QMutex>
#include <QtGlobal>

#include <functional>
#include <map>
#include <vector>

class IAudioInput;

struct MixerOutput
{
    // Per channel id, the channel's own recording: its input after trim and low cut, before
    // fader, mute and solo, interleaved stereo (a mono input is copied to both sides), one
    // entry per strip that had a running input.
    std::map<int, std::vector<float>> channels;
    // Per channel id, frames of its output that are silence because the input had nothing
    // for that time (only channels that had any).
    std::map<int, qint64> filledFrames;
    // The master mix of the faders, interleaved stereo, clamped to [-1, 1].
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
    // How far behind the clock the master may fall while no input delivers: a second at 48 kHz,
    // well inside what an input buffers, well short of the two seconds that make one lost.
    static constexpr int kMaxClockLagFrames = 48000;

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

    // The master clock the inputs' timeline follows, at `sampleRate`: the master is kept
    // within kMaxClockLagFrames of it. Without one the mixer follows its inputs alone.
    void setClock(std::function<qint64()> clock, int sampleRate);

    // Empties every input's buffer and drops all meters to 0, so a take starts fresh: the
    // next frame of every input belongs to this moment.
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
    std::function<qint64()> m_clock;
    int m_sampleRate = AudioFormat::kSampleRate;
    // The timeline position of the next output frame; none until inputs with a timeline (or
    // a reset with a clock) give one.
    qint64 m_position;
};
