#include "capture/RateEstimator.h"

#include "common/AudioFormat.h"

#include <algorithm>
#include <cmath>
#include <numbers>

RateEstimator::RateEstimator(double nominalRate)
    : m_nominalRate(nominalRate > 0 ? nominalRate : double(AudioFormat::kSampleRate))
    , m_periodNs(1e9 / m_nominalRate)
{
}

void RateEstimator::reset()
{
    m_periodNs = 1e9 / m_nominalRate;
    m_originNs = 0;
    m_timeNs = 0.0;
    m_frameEnd = 0;
    m_blocks = 0;
    m_reanchors = 0;
    m_lockedSeconds = 0.0;
    m_coarseFrame = 0;
    m_coarseNs = 0;
}

void RateEstimator::addBlock(qint64 frames, qint64 arrivalNs)
{
    if (frames <= 0)
        return;
    if (m_blocks == 0) {
        m_originNs = arrivalNs;
        m_timeNs = 0.0;
        m_frameEnd = frames;
        m_coarseFrame = m_frameEnd;
        m_coarseNs = arrivalNs;
        m_blocks = 1;
        return;
    }
    ++m_blocks;
    const double arrival = double(arrivalNs - m_originNs);
    const double predicted = m_timeNs + double(frames) * m_periodNs;
    const double error = arrival - predicted;
    m_frameEnd += frames;

    const double blockSeconds = double(frames) * m_periodNs / 1e9;
    if (std::fabs(error) <= double(kReanchorNs)) {
        m_lockedSeconds += blockSeconds;
        const double bandwidth = std::max(kBandwidthHz, kStartBandwidthHz / (1.0 + m_lockedSeconds));
        const double omega = 2.0 * std::numbers::pi * bandwidth * blockSeconds;
        m_timeNs = predicted + std::numbers::sqrt2 * omega * error;
        m_periodNs += omega * omega * error / double(frames);
        return;
    }

    // Far off the prediction: re-anchor the time. A device at another nominal rate does this
    // again and again, far outside what the loop is made to follow: judge its rate from the
    // frames counted since the last re-anchor (jitter is small against a second or more), and
    // let the loop refine from there. A dropout judged this way is undone at the next one.
    m_timeNs = arrival;
    ++m_reanchors;
    m_lockedSeconds = 0.0;
    const qint64 windowNs = arrivalNs - m_coarseNs;
    if (windowNs < qint64(kCoarseWindowSeconds * 1e9))
        return;
    const double coarsePeriod = double(windowNs) / double(m_frameEnd - m_coarseFrame);
    if (std::fabs(coarsePeriod / m_periodNs - 1.0) > 0.005)
        m_periodNs = coarsePeriod;
    m_coarseFrame = m_frameEnd;
    m_coarseNs = arrivalNs;
}

qint64 RateEstimator::timeOfFrame(double frame) const
{
    return m_originNs + qint64(std::llround(m_timeNs + (frame - double(m_frameEnd)) * m_periodNs));
}

double RateEstimator::frameAtTime(qint64 timeNs) const
{
    return double(m_frameEnd) + (double(timeNs - m_originNs) - m_timeNs) / m_periodNs;
}
