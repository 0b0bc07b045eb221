// ArmingCountdown: waits for an instant of the wall clock and counts the seconds to it, for
// the arming display of a studio take (the leader and every follower show the same
// countdown) and for starting or stopping the take at that instant.
//
// secondsLeft is the remaining time rounded up (2.3 s left reads 3), never below 1 while
// armed. due() fires once, at the instant or within a millisecond or two after it (a precise
// timer, re-aimed at every second so a clock read late never shortens the wait); whoever
// starts the take uses the instant itself, not the moment due() arrived.
//
// GUI thread (its timer); the clock must outlive it.
#pragma once

#include <QObject>
#include <QTimer>

class WallClock;

class ArmingCountdown : public QObject
{
    Q_OBJECT

public:
    explicit ArmingCountdown(const WallClock *clock, QObject *parent = nullptr);

    // Arms (again) for `wallNs`; an instant already past fires at the next turn of the
    // event loop.
    void arm(qint64 wallNs);
    void cancel();

    bool isArmed() const { return m_armed; }
    qint64 targetWallNs() const { return m_targetNs; }
    int secondsLeft() const { return m_secondsLeft; }

signals:
    void secondsLeftChanged(int seconds);
    void due(qint64 targetWallNs);

private:
    void step();
    int secondsLeftAt(qint64 nowNs) const;

    const WallClock *m_clock;
    QTimer m_timer;
    bool m_armed = false;
    qint64 m_targetNs = 0;
    int m_secondsLeft = 0;
};
