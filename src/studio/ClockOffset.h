// ClockOffset: how far a follower's clock is from the leader's, measured over the link.
//
// Each probe is one request: the leader notes its wall clock when it sends, the follower
// answers with its own wall clock, and the round trip is timed on the leader's monotonic
// clock (so a clock step during the probe cannot fake a round trip). Assuming the two halves
// of the trip take equally long, the follower read its clock at send + round trip / 2, and
// the offset is what it read minus that. The shortest round trip of the last few probes is
// the one least disturbed by queueing, so its offset is the estimate (the error is at most
// half that round trip).
//
// Pure, no threads.
#pragma once

#include <QString>
#include <QtGlobal>

#include <deque>

struct ClockSyncState;

struct ClockProbe
{
    qint64 sentWallNs = 0;   // leader's wall clock when the request left
    qint64 roundTripNs = 0;  // request out to answer in, on the leader's monotonic clock
    qint64 remoteWallNs = 0; // follower's wall clock when it answered

    qint64 offsetNs() const { return remoteWallNs - (sentWallNs + roundTripNs / 2); }
};

class ClockOffsetEstimator
{
public:
    static constexpr int DefaultWindow = 8;

    explicit ClockOffsetEstimator(int window = DefaultWindow) : m_window(window > 0 ? window : 1) {}

    // A probe with a negative round trip is ignored.
    void add(const ClockProbe &probe);
    void clear() { m_probes.clear(); }

    bool hasEstimate() const { return !m_probes.empty(); }
    // The offset and round trip of the probe with the shortest round trip in the window.
    qint64 offsetNs() const;
    qint64 roundTripNs() const;
    int probeCount() const { return int(m_probes.size()); }

private:
    const ClockProbe *best() const;

    int m_window;
    std::deque<ClockProbe> m_probes;
};

// How an offset looks to the operator: above a quarter frame of the take's rate it is a
// warning (amber), above a whole frame an error (red): files would start a frame apart.
enum class OffsetLevel { Good, Warning, Error };
OffsetLevel offsetLevel(qint64 offsetNs, double fps);
// "good", "warning", "error" (for QML and the phone page).
QString offsetLevelName(OffsetLevel level);

// "B: +0.4 ms, PTP": the machine, the signed offset in milliseconds with one decimal, and how
// its clock is kept ("PTP", "NTP", "synchronised", "not synchronised"; nothing when its kernel
// could not be asked). `language` "SR" gives the Serbian words.
QString offsetText(const QString &machine, qint64 offsetNs, const ClockSyncState &sync, const QString &language);
// The second half of offsetText alone ("PTP", "not synchronised", ...); empty when unknown.
QString syncText(const ClockSyncState &sync, const QString &language);
