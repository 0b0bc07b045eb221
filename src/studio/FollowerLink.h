// FollowerLink: one follower as the leader sees it. It probes the follower twice a second
// (its status and its clock, ClockOffsetEstimator keeping the best of the recent round
// trips), tells whether it answers (linked), has stopped answering (lost: nothing for 1.5 s,
// or two probes in a row failed) or refuses us (a wrong key), and carries the leader's
// commands to it.
//
// GUI thread; a child of the leader. Every exchange is a LinkCall to the follower's
// remote-control server with the follower's key.
#pragma once

#include "studio/ClockOffset.h"
#include "studio/LinkAddress.h"
#include "studio/LinkCall.h"
#include "studio/StudioProtocol.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

class WallClock;

class FollowerLink : public QObject
{
    Q_OBJECT

public:
    enum class State { Connecting, Linked, Lost, Refused };
    static constexpr int DefaultPollIntervalMs = 500;
    static constexpr int ProbeTimeoutMs = 1000;
    static constexpr int LostAfterMs = 1500;
    // A follower that refuses the key counts each probe as a guess (ten a minute block us).
    static constexpr int RefusedPollIntervalMs = 10'000;

    FollowerLink(const LinkAddress &address, const WallClock *clock, QObject *parent = nullptr);

    const LinkAddress &address() const { return m_address; }
    State state() const { return m_state; }
    // "connecting", "linked", "lost", "refused".
    static QString stateName(State state);
    // Why the follower refuses us (401: the key), or why the last probe failed.
    QString lastError() const { return m_lastError; }
    // The follower's own name once it has answered; its address before.
    QString machineName() const;
    bool hasStatus() const { return m_hasStatus; }
    const FollowerStatus &status() const { return m_status; }
    const ClockOffsetEstimator &clockOffset() const { return m_offset; }

    // The name the leader announces itself with in probes and commands.
    void setLeaderName(const QString &name) { m_leaderName = name; }
    void setPollIntervalMs(int ms);
    void start();
    void stop();
    // Probes now (once the running probe, if any, has come back).
    void probeSoon();

    // Sends one command; `done` gets the answer (or the failure) unless the link is
    // destroyed first.
    void send(const QByteArray &method, const char *path, const QJsonObject &body, const QUrlQuery &query,
              int timeoutMs, LinkCall::Done done);

signals:
    void stateChanged();
    void statusChanged();

private:
    void probe();
    void onProbe(const LinkResponse &response);
    void setState(State state);
    void checkSilence();

    LinkAddress m_address;
    const WallClock *m_clock;
    QString m_leaderName;
    State m_state = State::Connecting;
    QString m_lastError;
    FollowerStatus m_status;
    bool m_hasStatus = false;
    ClockOffsetEstimator m_offset;
    QTimer m_pollTimer;
    int m_pollIntervalMs = DefaultPollIntervalMs;
    QPointer<LinkCall> m_probe;
    QElapsedTimer m_sinceAnswer; // since the last good probe
    int m_failuresInRow = 0;
    bool m_probeAgain = false;
};
