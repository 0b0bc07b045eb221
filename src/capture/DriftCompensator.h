// DriftCompensator: brings one audio input to the master clock (the monotonic clock that
// paces video), so a microphone whose crystal is a few hundred ppm off stays in step with
// the cameras for hours, and inputs stay aligned with each other.
//
// Output frame k belongs to master time anchor + k / rate. A RateEstimator tells which input
// frame belongs to any master time; the compensator hands out the input as it came while it
// lies within kEngageMs of where it belongs (an input without drift is never touched, sample
// for sample), and from then on resamples it with libswresample's soft compensation
// (swr_set_compensation) at the measured ratio plus a slow correction of the remaining
// offset, together never more than ±0.5 %. An input whose measured rate is off by more than
// that runs at another nominal rate: it is logged once and resampled from its measured rate.
// Only an offset beyond kResyncMs (the start of a take, a dropout) is mended at once, by
// silence or by skipping input.
//
// libswresample over zita-resampler: it is already part of the FFmpeg the program ships on
// every platform (LGPL, in vcpkg), and its compensation mode is exactly a variable ratio
// around 1 with a fixed filter, fine-grained enough for single ppm.
//
// Threads: one owner thread at a time (the input's producer: SDL's audio thread or the Test
// Tone thread). The owner of the input hands restarts over by itself (AudioCapture).
#pragma once

#include "capture/RateEstimator.h"

#include <QString>
#include <QtGlobal>

#include <memory>
#include <vector>

struct SwrContext;

class DriftCompensator
{
public:
    // Offsets up to this are left alone (an input without drift passes untouched), and none
    // is judged before the rate estimator has settled (before that an offset is its first
    // guess through the arrival jitter, not drift: on a loaded machine that guess can be a
    // few thousand ppm off, far more than any crystal).
    static constexpr double kEngageMs = 2.0;
    static constexpr double kEngageAfterSeconds = RateEstimator::kSettledSeconds;
    // Offsets beyond this (a dropout, a stalled device) are mended at once instead of by the
    // ratio; below it the arrival jitter of a busy system never causes a jump.
    static constexpr double kResyncMs = 100.0;
    // The largest correction of the ratio, either way.
    static constexpr double kMaxCorrection = 0.005;
    // An offset is worked off with this time constant, judged from its average over
    // kOffsetAveragingSeconds: the offset seen at each block carries the arrival jitter the
    // rate estimator has not quite averaged away, and the ratio must not wobble with it.
    static constexpr double kCorrectionSeconds = 40.0;
    // An offset beyond this is worked off faster (a tenth of the time constant).
    static constexpr double kLargeOffsetMs = 3.0;
    static constexpr double kOffsetAveragingSeconds = 8.0;
    // The measured rate is averaged over this long before it sets the ratio: a crystal's rate
    // does not change in seconds, and every wobble of the ratio is frequency modulation of
    // the sound. (The offset correction takes care of what the average lags behind.)
    static constexpr double kRateAveragingSeconds = 20.0;

    DriftCompensator(int sampleRate, int channels, QString inputName = QString());
    ~DriftCompensator();
    DriftCompensator(const DriftCompensator &) = delete;
    DriftCompensator &operator=(const DriftCompensator &) = delete;

    // Test hook: when off, the input is handed out exactly as it arrives (the input is its
    // own clock, as before compensation existed).
    void setEnabled(bool enabled) { m_enabled = enabled; }
    bool isEnabled() const { return m_enabled; }

    // Output frame 0 now belongs to master time anchorNs (the start of a take).
    void restartAt(qint64 anchorNs);
    // Output frame 0 is the first input frame that arrives (an input just opened).
    void restartAtFirstFrame();
    // One block of interleaved frames as the device delivered it, its last frame arriving at
    // arrivalNs. Appends to `out` the master-clock frames it completes.
    void process(const float *samples, qint64 frames, qint64 arrivalNs, std::vector<float> &out);

    const RateEstimator &estimator() const { return m_estimator; }
    bool isResampling() const { return m_resampling; }
    // The ratio correction in force, in ppm of the input's rate (0 while passing through).
    double correctionPpm() const { return m_correctionPpm; }
    // Where the next output frame's input lies against where it belongs, in milliseconds.
    double offsetMs() const { return m_offsetMs; }

private:
    struct SwrDeleter
    {
        void operator()(SwrContext *context) const;
    };

    double inputFrameFor(qint64 outputFrame) const;
    void alignTo(double wantedInput, qint64 blockStart, std::vector<float> &out);
    bool startResampler(qint64 blockStart);
    void passThrough(const float *samples, qint64 blockStart, qint64 blockEnd, std::vector<float> &out);
    void resample(const float *samples, qint64 blockStart, qint64 blockEnd, double error, std::vector<float> &out);
    void keepHistory(const float *samples, qint64 frames);
    void averageRate(qint64 frames);

    const int m_rate;
    const int m_channels;
    const QString m_inputName;
    bool m_enabled = true;
    RateEstimator m_estimator;

    qint64 m_anchorNs = 0;
    bool m_anchored = false;
    bool m_anchorAtFirstFrame = false;
    bool m_aligned = false;     // output runs from the anchor on
    qint64 m_outputFrames = 0;  // since the anchor
    qint64 m_nextInput = 0;     // passing through: the input frame the next output is

    std::unique_ptr<SwrContext, SwrDeleter> m_swr;
    bool m_resampling = false;
    int m_swrInputRate = 0;
    qint64 m_fedEnd = 0;        // input frames given to the resampler end here
    qint64 m_discardOutput = 0; // outputs of the priming history, already handed out
    bool m_loggedRate = false;
    double m_correctionPpm = 0.0;
    double m_offsetMs = 0.0;
    double m_smoothedError = 0.0; // input frames, averaged
    double m_smoothedRate = 0.0;  // input frames per second, averaged
    double m_rateAveragedSeconds = 0.0; // how long m_smoothedRate has averaged
    double m_deltaCarry = 0.0;    // compensation units not yet applied

    // The last input frames, to prime the resampler's filter when it takes over.
    std::vector<float> m_history;
    qint64 m_historyEnd = 0;    // input frame after the last one in m_history
    std::vector<float> m_converted;
};
