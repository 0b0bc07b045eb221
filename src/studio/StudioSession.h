// StudioSession: this recorder's place in a studio, as the remote-control dialog and the
// phone page see it and as the recording control drives it. It owns both sides (leading its
// followers, or following a leader), the clock this machine's timecode comes from and the
// kernel's sync state, keeps the links across restarts (StudioSettings), and turns their
// state into what the operator reads: each follower's link and clock offset
// ("B: +0.4 ms, PTP", amber above a quarter frame, red above a frame), the leader it follows,
// what went wrong with a studio take, the progress of collecting files. A machine either leads
// or follows, never both.
//
// GUI thread. The recorder must outlive it. The remote-control server reaches the follower
// side through follower() and hands it join requests (acceptJoin).
#pragma once

#include "studio/ClockSync.h"
#include "studio/StudioFollower.h"
#include "studio/StudioLeader.h"
#include "studio/StudioSettings.h"
#include "studio/WallClock.h"

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantList>

#include <memory>

class IStudioRecorder;

class StudioSession : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString machineName READ machineName WRITE setMachineName NOTIFY machineNameChanged)
    // One map per follower: name, address, state ("connecting", "linked", "lost", "refused"),
    // stateText, offsetText ("B: +0.4 ms, PTP"; empty before a measurement), offsetLevel
    // ("good", "warning", "error", or empty), cameras ("5–8").
    Q_PROPERTY(QVariantList followers READ followers NOTIFY followersChanged)
    // The followers' cameras the programme can switch to (followerSources()).
    Q_PROPERTY(QVariantList followerSources READ followerSources NOTIFY followersChanged)
    Q_PROPERTY(bool isLeading READ isLeading NOTIFY followersChanged)
    // The operator linked this machine to a leader here (FOLLOW LEADER).
    Q_PROPERTY(bool isFollowing READ isFollowing NOTIFY leaderChanged)
    // ... or a leader drives it, having added it there: its probes keep coming.
    Q_PROPERTY(bool isLed READ isLed NOTIFY leaderChanged)
    // "Following A at 192.168.1.20:8080: linked", "Led by A: linked" (added on the leader);
    // empty when not led.
    Q_PROPERTY(QString leaderText READ leaderText NOTIFY leaderChanged)
    // "linked", "waiting" (no word from the leader for 3 s), "refused"; empty when not led.
    Q_PROPERTY(QString leaderState READ leaderState NOTIFY leaderChanged)
    // This machine's clock as its kernel sees it ("PTP", "not synchronised", ...).
    Q_PROPERTY(QString ownClockText READ ownClockText NOTIFY ownClockChanged)
    // What went wrong with the followers in the running studio take, a line each.
    Q_PROPERTY(QString problemText READ problemText NOTIFY problemsChanged)
    Q_PROPERTY(bool isCollecting READ isCollecting NOTIFY collectChanged)
    Q_PROPERTY(double collectProgress READ collectProgress NOTIFY collectChanged)
    // "Collecting files: 1.2 of 3.4 GB", "Files collected", or why not.
    Q_PROPERTY(QString collectText READ collectText NOTIFY collectChanged)
    Q_PROPERTY(bool canCollect READ canCollect NOTIFY collectChanged)
    Q_PROPERTY(bool collectAfterEveryTake READ collectAfterEveryTake WRITE setCollectAfterEveryTake NOTIFY collectChanged)

public:
    // `clock` and `sync` default to this machine's own (the simulated offset from the
    // environment, the kernel's state).
    explicit StudioSession(IStudioRecorder *recorder, std::unique_ptr<IClockSyncSource> sync = {},
                           QObject *parent = nullptr);
    ~StudioSession() override;

    StudioLeader *leader() { return &m_leader; }
    StudioFollower *follower() { return &m_follower; }
    const WallClock &wallClock() const { return m_clock; }

    QString machineName() const { return m_settings.machineName; }
    void setMachineName(const QString &name);
    QVariantList followers() const;
    bool isLeading() const { return !m_leader.followers().isEmpty(); }
    bool isFollowing() const { return m_settings.leader.has_value(); }
    bool isLed() const;
    QString leaderText() const;
    QString leaderState() const;
    QString ownClockText() const;
    QString problemText() const;
    bool isCollecting() const { return m_leader.isCollecting(); }
    double collectProgress() const;
    QString collectText() const;
    bool canCollect() const;
    bool collectAfterEveryTake() const { return m_leader.collectAfterEveryTake(); }
    void setCollectAfterEveryTake(bool collect);

    // The interface language of the texts ("EN" or "SR").
    void setLanguage(const QString &language);
    // Where this machine's remote-control server is reached and its key, for joining a leader.
    void setOwnAccess(quint16 port, const QString &key);

    // The operator's actions; each returns why it could not be done (empty when done).
    Q_INVOKABLE QString addFollower(const QString &address, const QString &key);
    Q_INVOKABLE void removeFollower(const QString &address);
    Q_INVOKABLE QString followLeader(const QString &address, const QString &key);
    Q_INVOKABLE void stopFollowing();
    Q_INVOKABLE void collectFiles();

    // A follower asked to be led by this machine (the server's join route).
    bool acceptJoin(const LinkAddress &follower, const QString &machine);

    // The followers' cameras the programme can switch to: maps of id (the studio channel),
    // name ("B Test Pattern 1") and machine, for every linked follower's running camera.
    QVariantList followerSources() const;
    // The studio as the phone page shows it: role ("leader", "follower"), followers,
    // leaderText, problemText, the collecting state and the followers' sources. Empty when
    // this machine neither leads nor follows.
    QJsonObject statusJson() const;

signals:
    void machineNameChanged();
    void followersChanged();
    void leaderChanged();
    void ownClockChanged();
    void problemsChanged();
    void collectChanged();

private:
    void save();
    QString text(const QString &en, const QString &sr) const;
    // followersChanged, when what the followers show has changed (the links report twice a
    // second; the interface redraws only for a difference).
    void announceFollowers();

    IStudioRecorder *m_recorder;
    std::unique_ptr<IClockSyncSource> m_sync;
    WallClock m_clock;
    StudioLeader m_leader;
    StudioFollower m_follower;
    QString m_language = QStringLiteral("EN");
    quint16 m_ownPort = 0;
    QString m_ownKey;
    ClockSyncState m_ownSync;
    QVariantList m_shownFollowers;
    QVariantList m_shownSources;
    QTimer m_ownClockTimer;
    StudioSettings::Values m_settings; // followers: kept in step with the leader's links
};
