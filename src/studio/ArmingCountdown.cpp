#include "studio/ArmingCountdown.h"

#include "studio/WallClock.h"

#include <algorithm>

namespace {

constexpr qint64 kNsPerSecond = 1'000'000'000;
constexpr qint64 kNsPerMs = 1'000'000;

} // namespace

ArmingCountdown::ArmingCountdown(const WallClock *clock, QObject *parent)
    : QObject(parent)
    , m_clock(clock)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ArmingCountdown::step);
}

int ArmingCountdown::secondsLeftAt(qint64 nowNs) const
{
    const qint64 left = m_targetNs - nowNs;
    return int(std::max<qint64>(1, (left + kNsPerSecond - 1) / kNsPerSecond));
}

void ArmingCountdown::arm(qint64 wallNs)
{
    m_armed = true;
    m_targetNs = wallNs;
    const int seconds = secondsLeftAt(m_clock->nowNs());
    if (seconds != m_secondsLeft) {
        m_secondsLeft = seconds;
        emit secondsLeftChanged(seconds);
    }
    m_timer.start(0);
}

void ArmingCountdown::cancel()
{
    m_timer.stop();
    m_armed = false;
}

void ArmingCountdown::step()
{
    if (!m_armed)
        return;
    const qint64 now = m_clock->nowNs();
    const qint64 left = m_targetNs - now;
    if (left <= 0) {
        m_armed = false;
        emit due(m_targetNs);
        return;
    }
    const int seconds = secondsLeftAt(now);
    if (seconds != m_secondsLeft) {
        m_secondsLeft = seconds;
        emit secondsLeftChanged(seconds);
    }
    // Wake at the next whole second of the countdown or at the instant, whichever comes
    // first; the timer counts whole milliseconds, so round up to never wake early by more
    // than the clock's own jitter.
    const qint64 toNextSecond = left - qint64(seconds - 1) * kNsPerSecond;
    const qint64 wait = std::min(left, std::max<qint64>(toNextSecond, kNsPerMs));
    m_timer.start(int((wait + kNsPerMs - 1) / kNsPerMs));
}
