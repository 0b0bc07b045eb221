#include "capture/DriftCompensator.h"

#include "common/AudioFormat.h"

#include <QDebug>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>

namespace {

// The resampler's filter: 32 taps, 1024 phases with linear interpolation between them.
constexpr int kFilterTaps = 32;
// Input frames kept to prime the filter when resampling takes over (its half length and more).
constexpr qint64 kHistoryFrames = kFilterTaps;
// swr_set_compensation() takes the correction as sample_delta / distance; over 2^20 output
// frames one unit is about 1 ppm, as fine as the resampler's own step can be set. The
// compensation is set anew for every block, and the fraction below one unit is carried from
// block to block, so the ratio is right on average without lingering on one side of it (a
// step of 1 ppm held for seconds is audible frequency modulation of a pure tone).
constexpr int kCompensationDistance = 1 << 20;
// A start or resync never inserts more than this much silence at once (a long-stalled input
// catches up block by block instead of in one huge buffer).
constexpr int kMaxInsertSeconds = 1;

} // namespace

void DriftCompensator::SwrDeleter::operator()(SwrContext *context) const
{
    swr_free(&context);
}

DriftCompensator::DriftCompensator(int sampleRate, int channels, QString inputName)
    : m_rate(sampleRate > 0 ? sampleRate : AudioFormat::kSampleRate)
    , m_channels(std::max(1, channels))
    , m_inputName(std::move(inputName))
    , m_estimator(m_rate)
{
}

DriftCompensator::~DriftCompensator() = default;

void DriftCompensator::restartAtFirstFrame()
{
    restartAt(0);
    m_anchorAtFirstFrame = true;
}

void DriftCompensator::restartAt(qint64 anchorNs)
{
    m_anchorNs = anchorNs;
    m_anchored = true;
    m_anchorAtFirstFrame = false;
    m_aligned = false;
    m_outputFrames = 0;
    m_swr.reset();
    m_resampling = false;
    m_correctionPpm = 0.0;
    m_offsetMs = 0.0;
}

double DriftCompensator::inputFrameFor(qint64 outputFrame) const
{
    // Exact integer time of the output frame, then where the input's line puts it.
    const qint64 seconds = outputFrame / m_rate;
    const qint64 rest = outputFrame % m_rate;
    return m_estimator.frameAtTime(m_anchorNs + seconds * 1000000000 + rest * 1000000000 / m_rate);
}

void DriftCompensator::process(const float *samples, qint64 frames, qint64 arrivalNs, std::vector<float> &out)
{
    if (frames <= 0)
        return;
    if (!m_enabled) {
        out.insert(out.end(), samples, samples + frames * m_channels);
        return;
    }
    const qint64 blockStart = m_estimator.framesReceived();
    m_estimator.addBlock(frames, arrivalNs);
    const qint64 blockEnd = blockStart + frames;
    averageRate(frames);

    if (m_anchorAtFirstFrame) {
        m_anchorNs = m_estimator.timeOfFrame(double(blockStart));
        m_anchorAtFirstFrame = false;
    }
    if (m_anchored) {
        if (!m_aligned) {
            alignTo(inputFrameFor(m_outputFrames), blockStart, out);
            m_aligned = true;
        }
        const double position = m_resampling
            ? double(m_fedEnd) - double(swr_get_delay(m_swr.get(), qint64(m_swrInputRate) * 1024)) / 1024.0
                  + double(m_discardOutput)
            : double(m_nextInput);
        double error = position - inputFrameFor(m_outputFrames);
        if (std::fabs(error) > kResyncMs * m_rate / 1000.0) {
            // Far off (a dropout, a device that stalled): mend it at once.
            m_swr.reset();
            m_resampling = false;
            alignTo(inputFrameFor(m_outputFrames), blockStart, out);
            error = double(m_nextInput) - inputFrameFor(m_outputFrames);
        }
        m_offsetMs = error * 1000.0 / m_rate;
        // Resampling begins when the offset grows, and begins anew from the measured rate when
        // that turns out to be further from the configured one than a correction may reach.
        const bool offRate = m_resampling && m_estimator.isSettled()
            && std::fabs(m_estimator.rate() / m_swrInputRate - 1.0) > kMaxCorrection;
        const bool drifted = !m_resampling && m_estimator.lockedSeconds() >= kEngageAfterSeconds
            && std::fabs(error) > kEngageMs * m_rate / 1000.0;
        if (drifted || offRate) {
            m_nextInput = std::max(m_nextInput, blockStart);
            if (offRate)
                m_nextInput = std::max<qint64>(blockStart, std::llround(position));
            if (!startResampler(blockStart))
                m_resampling = false;
        }
        if (m_resampling)
            resample(samples, blockStart, blockEnd, error, out);
        else
            passThrough(samples, blockStart, blockEnd, out);
    }
    keepHistory(samples, frames);
    m_historyEnd = blockEnd;
}

void DriftCompensator::averageRate(qint64 frames)
{
    // Once the estimator has locked: a plain mean at first, then a moving average, running
    // all the time so that resampling starts from a rate averaged over many seconds.
    if (m_estimator.lockedSeconds() < kEngageAfterSeconds) {
        m_rateAveragedSeconds = 0.0;
        m_smoothedRate = 0.0;
        return;
    }
    const double blockSeconds = double(frames) / m_estimator.rate();
    m_rateAveragedSeconds += blockSeconds;
    const double weight = blockSeconds / std::min(m_rateAveragedSeconds, kRateAveragingSeconds);
    m_smoothedRate += weight * (m_estimator.rate() - m_smoothedRate);
}

void DriftCompensator::alignTo(double wantedInput, qint64 blockStart, std::vector<float> &out)
{
    const qint64 first = std::llround(wantedInput);
    if (first >= blockStart) {
        m_nextInput = first; // the frames before it belong before the anchor: skipped
        return;
    }
    // The input that belongs here is gone (it came before this block): silence instead.
    const qint64 missing = std::min<qint64>(blockStart - first, qint64(kMaxInsertSeconds) * m_rate);
    out.insert(out.end(), size_t(missing) * size_t(m_channels), 0.0f);
    m_outputFrames += missing;
    m_nextInput = blockStart;
}

void DriftCompensator::passThrough(const float *samples, qint64 blockStart, qint64 blockEnd, std::vector<float> &out)
{
    const qint64 from = std::max(m_nextInput, blockStart);
    if (from < blockEnd) {
        out.insert(out.end(), samples + (from - blockStart) * m_channels, samples + (blockEnd - blockStart) * m_channels);
        m_outputFrames += blockEnd - from;
    }
    m_nextInput = std::max(m_nextInput, blockEnd);
}

bool DriftCompensator::startResampler(qint64 blockStart)
{
    const double measured = m_estimator.rate();
    int inputRate = m_rate;
    // Only a settled measurement may say the device runs at another rate; a first guess
    // through jitter is no ground for that.
    if (m_estimator.isSettled() && std::fabs(measured / m_rate - 1.0) > kMaxCorrection) {
        // Not drift: a device at another nominal rate. Resample from what it really delivers.
        inputRate = int(std::lround(measured));
        if (!m_loggedRate) {
            qWarning() << "[DriftCompensator] Input" << m_inputName << "delivers" << inputRate << "frames per second,"
                       << "not" << m_rate << "- resampling from its measured rate";
            m_loggedRate = true;
        }
    }

    SwrContext *context = swr_alloc();
    AVChannelLayout layout;
    av_channel_layout_default(&layout, m_channels);
    av_opt_set_chlayout(context, "in_chlayout", &layout, 0);
    av_opt_set_chlayout(context, "out_chlayout", &layout, 0);
    av_channel_layout_uninit(&layout);
    av_opt_set_int(context, "in_sample_rate", inputRate, 0);
    av_opt_set_int(context, "out_sample_rate", m_rate, 0);
    av_opt_set_sample_fmt(context, "in_sample_fmt", AV_SAMPLE_FMT_FLT, 0);
    av_opt_set_sample_fmt(context, "out_sample_fmt", AV_SAMPLE_FMT_FLT, 0);
    av_opt_set_int(context, "filter_size", kFilterTaps, 0);
    av_opt_set_int(context, "phase_shift", 10, 0);
    av_opt_set_int(context, "linear_interp", 1, 0);
    // Resample even at equal rates: the compensation needs the filter.
    av_opt_set_int(context, "flags", SWR_FLAG_RESAMPLE, 0);
    m_swr.reset(context);
    const int result = swr_init(context);
    if (result < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(result, text, sizeof(text));
        qWarning() << "[DriftCompensator] Cannot start the resampler for" << m_inputName << ":" << text;
        m_swr.reset();
        return false;
    }
    m_swrInputRate = inputRate;
    m_resampling = true;
    m_smoothedError = 0.0; // the device's averaged rate stays: it is the same device
    m_deltaCarry = 0.0;
    m_fedEnd = std::max(m_nextInput, blockStart);
    m_discardOutput = 0;

    // Prime the filter with the input already handed out, so it takes over without a click;
    // its outputs for those frames are dropped.
    if (m_nextInput == blockStart && m_historyEnd == blockStart && !m_history.empty()) {
        const qint64 primed = qint64(m_history.size()) / m_channels;
        const float *in = m_history.data();
        swr_convert(context, nullptr, 0, reinterpret_cast<const uint8_t **>(&in), int(primed));
        m_discardOutput = primed;
    }
    return true;
}

void DriftCompensator::resample(const float *samples, qint64 blockStart, qint64 blockEnd, double error,
                                std::vector<float> &out)
{
    const double baseStep = double(m_swrInputRate) / m_rate;
    const double blockSeconds = double(blockEnd - blockStart) / m_estimator.rate();
    const double measuredStep = (m_rateAveragedSeconds > 0.0 ? m_smoothedRate : m_estimator.rate()) / m_rate;
    const double weight = std::min(1.0, blockSeconds / kOffsetAveragingSeconds);
    m_smoothedError += weight * (error - m_smoothedError);
    // Input frames per output frame: the measured ratio, and the offset worked off slowly
    // (ahead: consume slower; behind: faster), within the allowed correction.
    const bool large = std::fabs(m_smoothedError) > kLargeOffsetMs * m_rate / 1000.0;
    const double correctionSeconds = large ? kCorrectionSeconds / 10.0 : kCorrectionSeconds;
    double step = measuredStep * (1.0 - m_smoothedError / (m_rate * correctionSeconds));
    step = std::clamp(step, baseStep * (1.0 - kMaxCorrection), baseStep * (1.0 + kMaxCorrection));
    m_correctionPpm = (step / baseStep - 1.0) * 1e6;

    const qint64 from = std::max(m_fedEnd, blockStart);
    if (from >= blockEnd)
        return;
    int count = int(blockEnd - from);
    const int capacity = int(double(count) / baseStep * (1.0 + 2 * kMaxCorrection)) + 2 * kFilterTaps;
    m_converted.resize(size_t(capacity) * size_t(m_channels));
    uint8_t *outPointer = reinterpret_cast<uint8_t *>(m_converted.data());
    const float *in = samples + (from - blockStart) * m_channels;
    m_fedEnd = blockEnd;

    if (m_discardOutput > 0) {
        // The outputs of the priming history, at the plain ratio, so the first kept output
        // lies exactly on the next input frame: no jump where resampling takes over.
        const int primed = swr_convert(m_swr.get(), &outPointer, int(std::min<qint64>(m_discardOutput, capacity)),
                                       reinterpret_cast<const uint8_t **>(&in), count);
        count = 0; // the block is inside the resampler now
        m_discardOutput -= std::max(0, primed);
        if (m_discardOutput > 0)
            return;
    }
    const double exactDelta = kCompensationDistance * (1.0 - step / baseStep) + m_deltaCarry;
    const int delta = int(std::lround(exactDelta));
    m_deltaCarry = exactDelta - delta;
    swr_set_compensation(m_swr.get(), delta, kCompensationDistance);
    const int produced = swr_convert(m_swr.get(), &outPointer, capacity, reinterpret_cast<const uint8_t **>(&in), count);
    if (produced <= 0)
        return;
    out.insert(out.end(), m_converted.begin(), m_converted.begin() + qint64(produced) * m_channels);
    m_outputFrames += produced;
}

void DriftCompensator::keepHistory(const float *samples, qint64 frames)
{
    const qint64 keep = std::min(frames, kHistoryFrames);
    m_history.insert(m_history.end(), samples + (frames - keep) * m_channels, samples + frames * m_channels);
    const size_t limit = size_t(kHistoryFrames) * size_t(m_channels);
    if (m_history.size() > limit)
        m_history.erase(m_history.begin(), m_history.end() - qsizetype(limit));
}
