#include "recording/CameraTiming.h"

#include <algorithm>
#include <cmath>

namespace {

// Weight of the newest picture in the smoothed phase: steady against jitter, quick enough to
// follow a camera whose clock drifts against ours.
constexpr double kSmoothing = 1.0 / 16;
// A camera counts as running at the timeline's rate within this share of a slot.
constexpr double kRateTolerance = 0.005;

// `value` brought into [-half, half) of `period`.
double wrapAround(double value, double period)
{
    return value - period * std::floor(value / period + 0.5);
}

} // namespace

CameraTiming::CameraTiming(double slotNs)
    : m_slotNs(slotNs > 0 ? slotNs : 1e9 / 30.0)
    , m_offsetNs(m_slotNs / 2)
{
}

void CameraTiming::note(qint64 takenNs, qint64 arrivedNs, qint64 originNs)
{
    m_latencies[size_t(m_next)] = std::max<qint64>(0, arrivedNs - takenNs);
    m_takenTimes[size_t(m_next)] = takenNs;
    m_next = (m_next + 1) % kHistory;
    m_count = std::min(m_count + 1, kHistory);

    const double phase = std::fmod(double(takenNs - originNs), m_slotNs);
    followPhase(phase < 0 ? phase + m_slotNs : phase);
}

void CameraTiming::followPhase(double phaseNs)
{
    // The mean of the first pictures' places, then a smoothed one.
    ++m_phaseSamples;
    const double weight = std::max(kSmoothing, 1.0 / m_phaseSamples);
    m_phaseNs += wrapAround(phaseNs - m_phaseNs, m_slotNs) * weight;
    m_phaseNs = std::fmod(m_phaseNs + m_slotNs, m_slotNs);

    // A camera counts as running at the slots' rate from its first picture until its rate
    // shows otherwise, so its pictures never change slots when its rate becomes known; too
    // little to judge (a run of lost pictures) keeps the instant where it is.
    const RateMatch match = rateMatch();
    if (match == RateMatch::Unknown && m_hasJudged)
        return;
    if (match == RateMatch::Different) {
        m_isLocked = false;
        m_hasJudged = true;
        return;
    }
    m_hasJudged = m_hasJudged || match == RateMatch::Same;
    // Half a frame from the pictures, within the slot: each slot then shows the picture
    // taken nearest its start. A place in the last quarter of the slot can also be taken as
    // one just before it (the picture then goes to the next slot): while the lock is new
    // (its phase settling over the first pictures) only for a place so near the slot's end
    // that jitter would push it past; then the one nearest to where it was, so the instant
    // moves by a whole slot only when the pictures' phase has drifted past it, never back and
    // forth with their jitter.
    const double target = std::fmod(m_phaseNs + m_slotNs / 2, m_slotNs);
    const double lowest = -m_slotNs / 4;
    const double early = target - m_slotNs;
    double best = target;
    if (early >= lowest) {
        const bool isSettled = m_isLocked && m_phaseSamples > kPicturesToLock;
        const bool isEarlier = isSettled ? std::abs(early - m_offsetNs) < std::abs(target - m_offsetNs)
                                         : m_slotNs - target < m_slotNs / 16;
        if (isEarlier)
            best = early;
    }
    m_offsetNs = best;
    m_isLocked = true;
}

CameraTiming::RateMatch CameraTiming::rateMatch() const
{
    if (m_count < kPicturesToLock)
        return RateMatch::Unknown;
    const qint64 newest = m_takenTimes[size_t((m_next + kHistory - 1) % kHistory)];
    const qint64 oldest = m_takenTimes[size_t(m_count < kHistory ? 0 : m_next)];
    const double span = double(newest - oldest);
    // Frames between them at about the slot's length, so a lost picture does not count as a
    // slower camera; more pictures than frames is a faster camera (60 fps pictures also fall
    // on a 30 fps grid); a camera that lost many tells too little.
    const double frames = std::round(span / m_slotNs);
    const int pictures = m_count - 1;
    if (frames < 1 || pictures > frames)
        return RateMatch::Different;
    if (pictures < frames * 0.9)
        return RateMatch::Unknown;
    return std::abs(span / frames - m_slotNs) < kRateTolerance * m_slotNs ? RateMatch::Same : RateMatch::Different;
}

qint64 CameraTiming::latencyNs() const
{
    qint64 largest = 0;
    for (int i = 0; i < m_count; ++i)
        largest = std::max(largest, m_latencies[size_t(i)]);
    return largest;
}

qint64 CameraTiming::waitNs() const
{
    const qint64 latency = latencyNs();
    return std::min(MaxWaitNs, latency + latency / 4 + MarginNs);
}
