// ClockSync: what the kernel says about the system clock's synchronisation, read, never
// changed. The kernel keeps the NTP/PTP state that chrony, ntpd or linuxptp's phc2sys report
// to it (adjtimex(2) with no mode bits: a pure read, no privilege needed): whether the clock
// counts as synchronised (STA_UNSYNC clear, state not TIME_ERROR) and the estimated and
// maximum error. Which engine disciplines it is told by the daemon that runs: ptp4l/phc2sys
// mean PTP, chronyd/ntpd/systemd-timesyncd mean NTP.
//
// IClockSyncSource is the small seam tests use to simulate a machine's sync state.
// KernelClockSync reads the real one; any thread, no state but a cache of the engine name.
#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QtGlobal>

struct ClockSyncState
{
    bool isKnown = false;          // the kernel could be asked
    bool isSynchronised = false;   // the kernel counts the clock as synchronised
    qint64 estimatedErrorUs = -1;  // the kernel's estimate; -1 unknown
    qint64 maximumErrorUs = -1;
    QString engine;                // "PTP", "NTP" or empty (none found)

    QJsonObject toJson() const;
    static ClockSyncState fromJson(const QJsonObject &object);
    friend bool operator==(const ClockSyncState &, const ClockSyncState &) = default;
};

class IClockSyncSource
{
public:
    virtual ~IClockSyncSource() = default;
    virtual ClockSyncState read() = 0;
};

class KernelClockSync final : public IClockSyncSource
{
public:
    ClockSyncState read() override;

private:
    QString m_engine;
    qint64 m_engineReadNs = -1; // monotonic; the process list is read at most every 5 s
};

namespace ClockSync {

// The state from adjtimex's answer: its return value (-1 when the call failed), the status
// bits and the two error fields in microseconds.
ClockSyncState fromKernel(int clockState, int statusBits, long estimatedErrorUs, long maximumErrorUs);

// "PTP" when ptp4l, phc2sys or ts2phc runs, else "NTP" when chronyd, ntpd, openntpd or
// systemd-timesyncd runs (names as /proc/<pid>/comm gives them, 15 characters at most),
// else empty.
QString engineFromProcessNames(const QStringList &names);

// The command names of the running processes (/proc/<pid>/comm); empty elsewhere.
QStringList runningProcessNames();

} // namespace ClockSync
