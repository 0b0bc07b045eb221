// StudioLeader: this recorder leading a studio of linked recorders. It keeps the followers'
// links, and drives a studio take through all of them: REC ALL picks a start instant about a
// second ahead on a frame boundary of the timecode, prepares its own take, arms every linked
// follower for that instant and starts its own take at it; STOP picks the end a whole number
// of frames after the start and sends it the same way. After the take it asks each follower
// for its take report (for the studio timelines) and, on "Collect files" or after every take
// when set, copies the followers' files into a folder per machine inside its take folder.
//
// Faults stay local: a follower that cannot be reached at REC is named and the others start;
// one lost mid-take records on by itself and is shown lost, then back; a STOP it missed is
// sent again when it returns; a follower whose own take stopped (a full disk) is shown with
// its reason. Each follower's clock offset is written to the log when the take starts, with a
// warning for one off by more than a frame.
//
// The followers' cameras join the leader's numbering: the n-th follower's channel c is studio
// channel 4·n + c (the leader has 1–4, the first follower 5–8, ...).
//
// GUI thread. The recorder and the clock must outlive it; it owns the links and collectors.
#pragma once

#include "studio/ArmingCountdown.h"
#include "studio/FollowerLink.h"
#include "studio/StudioProtocol.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <optional>
#include <vector>

class FileCollector;
class IStudioRecorder;
class WallClock;

class StudioLeader : public QObject
{
    Q_OBJECT

public:
    static constexpr int CamerasPerMachine = 4;
    // How long an arm command may take to be answered. A follower that answers late (or not
    // at all) may still have started: its status says so, and it is sent the STOP either way.
    static constexpr int ArmTimeoutMs = 3000;
    static constexpr int StopTimeoutMs = 2000;
    // How long the followers have to finish their files and report after the stop.
    static constexpr int ReportWaitMs = 20'000;
    static constexpr int ReportRetryMs = 250;
    // What must be left of the lead once this machine's files are open, for the arm commands
    // to reach the followers and theirs to open.
    static constexpr qint64 MinimumLeadLeftNs = 400'000'000;

    StudioLeader(IStudioRecorder *recorder, const WallClock *clock, QObject *parent = nullptr);
    ~StudioLeader() override;

    // --- followers ---
    // Links a follower (probing starts at once); an address already linked takes the new key.
    FollowerLink *addFollower(const LinkAddress &address);
    bool removeFollower(const QString &addressDisplay);
    const QList<FollowerLink *> &followers() const { return m_followers; }
    // Every link's probe interval (tests and the benchmark).
    void setPollIntervalMs(int ms);
    // Studio channel of channel `channelId` of the follower at `followerIndex` (0-based).
    static int studioChannel(int followerIndex, int channelId);
    // The follower index (-1: this machine) and its channel of a studio channel.
    static std::pair<int, int> machineChannel(int studioChannel);

    // --- the take ---
    enum class Phase { Idle, Armed, Running, Reporting };
    Phase phase() const { return m_phase; }
    bool isStudioTake() const { return m_phase != Phase::Idle; }
    // Starts a studio take; false with `refusal` when this machine's own take cannot be
    // prepared (then no follower is armed).
    bool recordAll(const QString &session, StudioText *refusal = nullptr);
    // Ends it at the next frame boundary a second ahead (or calls it off before it starts).
    void stopAll();
    const StudioTakePlan &plan() const { return m_plan; }
    qint64 stopWallNs() const { return m_stopWallNs; }
    // This machine's own take ended: the followers are asked for their reports.
    void takeFinished(const QString &takeFolder);
    // What the operator must know about the followers now: not reached at REC, lost, their
    // take stopped. One line each; empty when all is well.
    QList<StudioText> problems() const;

    // One follower in the last (or running) studio take.
    struct Member
    {
        QPointer<FollowerLink> link;
        LinkAddress address;
        int followerIndex = 0; // its place in the list at REC (its cameras' numbering)
        QString name;          // unique among the machines of the take
        bool armSent = false;  // REC reached it (linked at the time): it is sent the STOP too
        bool armed = false;
        StudioText refusal;    // why it did not start
        QString takeId;        // its own take folder
        bool stopPending = false;
        bool reportDone = false;
        std::optional<StudioTakeReport> report;
        QString reportError;
    };
    const std::vector<Member> &members() const { return m_members; }
    // The folder of this machine's last studio take; empty before the first.
    QString takeFolder() const { return m_takeFolder; }
    // The folder inside it that holds a member's collected files.
    QString memberFolder(const Member &member) const;

    // --- collecting ---
    void collectFiles();
    bool isCollecting() const;
    qint64 collectedBytes() const;
    qint64 bytesToCollect() const;
    // Why the last collection failed (one line per machine); empty when it succeeded.
    QString collectError() const { return m_collectError; }
    bool collectAfterEveryTake() const { return m_collectAfterEveryTake; }
    void setCollectAfterEveryTake(bool collect) { m_collectAfterEveryTake = collect; }

signals:
    void followersChanged();
    void phaseChanged();
    void problemsChanged();
    // Every member's report is in (or given up on); the studio timelines can be written.
    void reportsReady();
    void collectProgressChanged();
    void collectFinished(bool succeeded);

private:
    void onDue(qint64 startWallNs);
    void setPhase(Phase phase);
    void armMember(Member &member);
    void sendStop(std::size_t index);
    void requestReport(std::size_t index);
    void checkReportsDone();
    void onLinkChanged(FollowerLink *link);
    void logClockOffsets() const;
    void updateProblems();
    QString uniqueName(const QString &machine, const QStringList &taken) const;

    IStudioRecorder *m_recorder;
    const WallClock *m_clock;
    QList<FollowerLink *> m_followers; // children
    int m_pollIntervalMs = FollowerLink::DefaultPollIntervalMs;

    Phase m_phase = Phase::Idle;
    StudioTakePlan m_plan;
    qint64 m_stopWallNs = 0;
    ArmingCountdown m_countdown;
    std::vector<Member> m_members;
    QString m_takeFolder;
    QTimer m_reportDeadline;
    QList<StudioText> m_problems;
    // How long this machine took to open its last studio take: the next start is planned at
    // least that much further ahead.
    qint64 m_lastPrepareNs = 0;

    QList<QPointer<FileCollector>> m_collectors;
    QString m_collectError;
    bool m_collectAfterEveryTake = false;
};
