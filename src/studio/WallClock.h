// WallClock: the system clock (time of day, UTC) that the timecode of a studio take is read
// from. Several recorders keep one timecode because the operating system keeps their system
// clocks in step (chrony for NTP, linuxptp for PTP); the program only reads the clock and
// never sets or steers it.
//
// A simulated offset shifts what this clock reads, so tests and the studio benchmark can run
// recorders whose clocks disagree on one computer. The program itself takes it from the
// environment variable VIREON_SIMULATED_CLOCK_OFFSET_MS (absent in normal use: offset 0).
//
// Any thread; the offset is set before the clock is shared.
#pragma once

#include <QtGlobal>

class WallClock
{
public:
    explicit WallClock(qint64 offsetNs = 0) : m_offsetNs(offsetNs) {}

    // The clock of this process: no offset, or the simulated one from the environment.
    static WallClock fromEnvironment();

    // Nanoseconds since the Unix epoch (UTC), plus the simulated offset.
    qint64 nowNs() const;
    qint64 offsetNs() const { return m_offsetNs; }
    void setOffsetNs(qint64 offsetNs) { m_offsetNs = offsetNs; }

    // The monotonic time (common/MonotonicClock.h) at which this clock reads `wallNs`; an
    // instant already past maps into the past the same way. A take started on the monotonic
    // clock at this value begins at that instant of the wall clock.
    qint64 monotonicAt(qint64 wallNs) const;

private:
    qint64 m_offsetNs = 0;
};
