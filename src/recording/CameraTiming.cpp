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
    , m_offsetNs(m_slotNs)
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
    if (!m_hasPhase) {
        m_phaseNs = phaseNs;
        m_hasPhase = true;
    } else {
        m_phaseNs += wrapAround(phaseNs - m_phaseNs, m_slotNs) * kSmoothing;
        m_phaseNs = std::fmod(m_phaseNs + m_slotNs, m_slotNs);
    }

    const double interval = intervalNs();
    const bool isMatched = interval > 0 && std::abs(interval - m_slotNs) < kRateTolerance * m_slotNs;
    if (!isMatched) {
        m_isLocked = false;
        return;
    }
    // Half a frame from the pictures. A place in the last quarter of the slot can also be
    // taken as one just before it: when the lock is new, the one with more room to drift;
    // then the one nearest to where it was, so the instant moves by a whole slot only when
    // the pictures' phase has drifted past it, never back and forth with their jitter.
    const double target = std::fmod(m_phaseNs + m_slotNs / 2, m_slotNs);
    const double lowest = -m_slotNs / 4;
    const double early = target - m_slotNs;
    double best = target;
    if (early >= lowest) {
        const bool isEarlier = m_isLocked ? std::abs(early - m_offsetNs) < std::abs(target - m_offsetNs)
                                          : early - lowest > m_slotNs - target;
        if (isEarlier)
            best = early;
    }
    m_offsetNs = best;
    m_isLocked = true;
}

double CameraTiming::intervalNs() const
{
    if (m_count < kPicturesToLock)
        return 0;
    const qint64 newest = m_takenTimes[size_t((m_next + kHistory - 1) % kHistory)];
    const qint64 oldest = m_takenTimes[size_t(m_count < kHistory ? 0 : m_next)];
    const double span = double(newest - oldest);
    // Frames between them at about the slot's length, so a lost picture does not count as
    // a slower camera; but more pictures than frames is a faster camera (60 fps pictures
    // also fall on a 30 fps grid), and so is the rate of a camera that lost many.
    const double frames = std::round(span / m_slotNs);
    const int pictures = m_count - 1;
    if (frames < 1 || pictures > frames || pictures < frames * 0.9)
        return 0;
    return span / frames;
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
    return std::min(MaxWaitNs, latencyNs() + MarginNs);
}
