// StudioFollower: this recorder's side of a studio led by another machine. It answers the
// leader's clock probes, arms a take for the leader's start instant (the countdown shows
// meanwhile) and starts it at that instant of this machine's own clock, ends it at the
// leader's stop instant, and afterwards keeps the take's report in the take folder and
// checksums its files, so the leader can collect them (FollowerFiles serves them).
//
// A follower that loses its leader mid-take goes on recording: nothing here stops a take
// for want of a leader. The operator may also link it by entering the leader's address and
// key: it then asks the leader to drive it (join) until the leader's probes arrive.
//
// GUI thread. Owns its countdown, hasher and join calls; the recorder, clock and sync
// source must outlive it.
#pragma once

#include "studio/ArmingCountdown.h"
#include "studio/FileHasher.h"
#include "studio/LinkAddress.h"
#include "studio/StudioProtocol.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <map>
#include <optional>

class IClockSyncSource;
class IStudioRecorder;
class LinkCall;
class WallClock;

class StudioFollower : public QObject
{
    Q_OBJECT

public:
    // A start instant further in the past than this on our clock is refused. One a little
    // past (a busy leader sent it late, or our files took long to open) is still taken: the
    // take counts its frames from the instant, so it starts at the same timecode.
    static constexpr qint64 kLatestStartNs = 2'000'000'000;
    // Without a probe from the leader for this long the link counts as waiting.
    static constexpr int kLeaderQuietMs = 3000;
    static constexpr int kKeptReports = 32;

    StudioFollower(IStudioRecorder *recorder, const WallClock *clock, IClockSyncSource *sync,
                   QObject *parent = nullptr);
    ~StudioFollower() override;

    // --- the leader's commands (through the remote-control server) ---
    FollowerStatus status();
    CommandAnswer arm(const StudioTakePlan &plan);
    CommandAnswer stop(const StopCommand &command);
    enum class ReportState { Unknown, Pending, Ready };
    ReportState reportState(const QString &studioTakeId) const;
    std::optional<StudioTakeReport> report(const QString &studioTakeId) const;
    // Every studio request from the leader counts as contact.
    void noteLeaderContact(const QString &leaderMachine = QString());

    // --- the recorder ---
    // The recorder's take ended, normally or on a failure: `report` lists the files it wrote
    // in `takeFolder` (sizes, frames; no checksums yet). Ignored for a take that was not a
    // studio take.
    void takeFinished(const QString &takeFolder, StudioTakeReport report);
    bool isInStudioTake() const { return m_phase != Phase::Idle; }
    QString recordingRoot() const;

    // --- the link the operator set up on this machine ---
    // Asks the leader at `leader` to drive this recorder, reachable on `ownPort` with
    // `ownKey`, and keeps asking while the leader is quiet. An empty host forgets the leader.
    void followLeader(const LinkAddress &leader, quint16 ownPort, const QString &ownKey);
    std::optional<LinkAddress> leaderAddress() const { return m_leader; }
    // The leader's name as it last gave it; empty before.
    QString leaderMachine() const { return m_leaderMachine; }
    bool hasLeaderContact() const;
    // Why the last join was refused or failed; empty when it went through.
    QString joinError() const { return m_joinError; }
    // A short-interval timer lets tests wait less.
    void setJoinIntervalMs(int ms) { m_joinTimer.setInterval(ms); }

signals:
    void leaderContactChanged();
    void armingChanged();
    void reportReady(const QString &studioTakeId);

private:
    enum class Phase { Idle, Armed, Running };

    void onDue(qint64 startWallNs);
    void onHashed(const QString &path, const QString &sha256, const QString &error);
    void sendJoin();
    void rememberReport(const StudioTakeReport &report, const QString &takeFolder);
    static CommandAnswer refusal(const QString &en, const QString &sr);

    IStudioRecorder *m_recorder;
    const WallClock *m_clock;
    IClockSyncSource *m_sync;
    ArmingCountdown m_countdown;
    FileHasher m_hasher;

    Phase m_phase = Phase::Idle;
    StudioTakePlan m_plan;   // of the armed or running take
    QString m_takeId;        // its folder, as the recorder prepared it

    struct KeptReport
    {
        StudioTakeReport report;
        QString folder;
        qint64 order = 0;
    };
    std::map<QString, KeptReport> m_reports; // by studio take id
    qint64 m_reportCount = 0;
    std::map<QString, QString> m_hashing;    // file path → studio take id

    std::optional<LinkAddress> m_leader;
    quint16 m_ownPort = 0;
    QString m_ownKey;
    QString m_leaderMachine;
    QString m_joinError;
    QElapsedTimer m_sinceContact;
    bool m_hadContact = false;
    QTimer m_joinTimer;
    QTimer m_quietTimer;
    QPointer<LinkCall> m_joinCall;
};
