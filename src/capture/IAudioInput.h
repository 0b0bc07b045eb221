// IAudioInput: one channel's audio as the mixer reads it, as ISource is a channel's video for
// everything that reads pictures. Samples are 32-bit float at AudioFormat::kSampleRate,
// channels interleaved; a reader takes whole frames only.
//
// The mixer calls every method on the GUI thread, under its own lock (so an implementation
// must not call back into the mixer). Samples may arrive on another thread; handing them over
// is the implementation's affair.
#pragma once

#include <QtGlobal>

#include <cstddef>
#include <limits>
#include <vector>

class IAudioInput
{
public:
    virtual ~IAudioInput() = default;

    // True while the input delivers; a stopped input is left out of the mix.
    virtual bool isRunning() const = 0;
    // Channels per frame, at least 1 while running.
    virtual int channels() const = 0;
    // Samples that may be taken now (whole frames).
    virtual size_t availableSamples() const = 0;
    // Up to maxSamples of the oldest samples (all available when maxSamples < 1), rounded
    // down to whole frames.
    virtual std::vector<float> readSamples(int maxSamples) = 0;
    // Drops everything collected so far: the next sample read belongs to now.
    virtual void clear() = 0;

    // Where the next frame read lies on the audio timeline (AudioTimeline: frame n belongs to
    // n / rate s of the master clock), so a reader lines inputs up by position; kNoPosition for
    // an input without a timeline (taken to be in step with the others).
    static constexpr qint64 kNoPosition = std::numeric_limits<qint64>::min();
    virtual qint64 readPosition() const = 0;
    // The reader moved on by `frames` frames it filled with silence (the input had nothing for
    // them, or they came before the reader's place): what arrives for that time is dropped.
    virtual void skip(qint64 frames) = 0;
    // Frames of silence the input put in itself since the previous call, for a time it had
    // nothing for (a device that came back after a gap).
    virtual qint64 takeFilledFrames() = 0;

protected:
    IAudioInput() = default;
    IAudioInput(const IAudioInput &) = delete;
    IAudioInput &operator=(const IAudioInput &) = delete;
};
