#include "studio/StudioLeader.h"

#include "studio/ClockOffset.h"
#include "studio/FileCollector.h"
#include "studio/StudioRecorder.h"
#include "studio/WallClock.h"

#include <QDebug>
#include <QDir>
#include <QJsonDocument>

#include <utility>

namespace {

QString millis(qint64 ns)
{
    return QString::number(double(ns) / 1e6, 'f', 1);
}

} // namespace

StudioLeader::StudioLeader(IStudioRecorder *recorder, const WallClock *clock, QObject *parent)
    : QObject(parent)
    , m_recorder(recorder)
    , m_clock(clock)
    , m_countdown(clock)
{
    connect(&m_countdown, &ArmingCountdown::secondsLeftChanged, this, [this](int seconds) {
        if (m_phase == Phase::Armed)
            m_recorder->showArming(true, seconds);
    });
    connect(&m_countdown, &ArmingCountdown::due, this, &StudioLeader::onDue);
    m_reportDeadline.setSingleShot(true);
    connect(&m_reportDeadline, &QTimer::timeout, this, [this] {
        for (Member &member : m_members) {
            if (member.armSent && !member.reportDone) {
                member.reportDone = true;
                if (member.reportError.isEmpty())
                    member.reportError = QStringLiteral("no take report within %1 s").arg(ReportWaitMs / 1000);
                qWarning().noquote() << "[StudioLeader] No take report from" << member.name << ":" << member.reportError;
            }
        }
        checkReportsDone();
    });
}

StudioLeader::~StudioLeader() = default;

int StudioLeader::studioChannel(int followerIndex, int channelId)
{
    return CamerasPerMachine * (followerIndex + 1) + channelId;
}

std::pair<int, int> StudioLeader::machineChannel(int studioChannel)
{
    if (studioChannel < 1)
        return {-1, 0};
    const int machine = (studioChannel - 1) / CamerasPerMachine; // 0: this one
    return {machine - 1, studioChannel - machine * CamerasPerMachine};
}

FollowerLink *StudioLeader::addFollower(const LinkAddress &address)
{
    for (FollowerLink *link : m_followers) {
        if (link->address().host == address.host && link->address().port == address.port) {
            if (link->address().key == address.key)
                return link;
            removeFollower(link->address().display());
            break;
        }
    }
    auto *link = new FollowerLink(address, m_clock, this);
    link->setLeaderName(m_recorder->machineName());
    link->setPollIntervalMs(m_pollIntervalMs);
    connect(link, &FollowerLink::stateChanged, this, [this, link] { onLinkChanged(link); });
    connect(link, &FollowerLink::statusChanged, this, [this, link] { onLinkChanged(link); });
    m_followers.append(link);
    link->start();
    qDebug().noquote() << "[StudioLeader] Following" << address.display() << "now";
    emit followersChanged();
    return link;
}

bool StudioLeader::removeFollower(const QString &addressDisplay)
{
    for (qsizetype i = 0; i < m_followers.size(); ++i) {
        FollowerLink *link = m_followers.at(i);
        if (link->address().display() != addressDisplay)
            continue;
        link->stop();
        m_followers.removeAt(i);
        link->deleteLater();
        emit followersChanged();
        updateProblems();
        return true;
    }
    return false;
}

void StudioLeader::setPollIntervalMs(int ms)
{
    m_pollIntervalMs = ms;
    for (FollowerLink *link : m_followers)
        link->setPollIntervalMs(ms);
}

void StudioLeader::setPhase(Phase phase)
{
    if (phase == m_phase)
        return;
    m_phase = phase;
    emit phaseChanged();
}

QString StudioLeader::uniqueName(const QString &machine, const QStringList &taken) const
{
    QString name = machine.trimmed().isEmpty() ? QStringLiteral("Recorder") : machine.trimmed();
    const QString base = name;
    for (int n = 2; taken.contains(name, Qt::CaseInsensitive); ++n)
        name = QStringLiteral("%1 (%2)").arg(base).arg(n);
    return name;
}

bool StudioLeader::recordAll(const QString &session, StudioText *refusal)
{
    if (m_phase != Phase::Idle) {
        if (refusal)
            *refusal = StudioText{QStringLiteral("a studio take is already running"),
                                  QStringLiteral("snimak studija je već u toku")};
        return false;
    }
    // Everything runs on this thread: this machine opens its files before the arm commands
    // leave, so the lead covers that as well (measured at the last take).
    const qint64 lead = std::max(StudioTime::kCommandLeadNs, m_lastPrepareNs + MinimumLeadLeftNs);
    StudioTakePlan plan;
    plan.start = StudioTime::planStart(m_clock->nowNs(), m_recorder->frameRate(), lead);
    plan.studioTakeId = QString::number(plan.start.startWallNs);
    plan.session = session;
    plan.leader = m_recorder->machineName();
    const qint64 prepareStartNs = m_clock->nowNs();
    const StudioText notReady = m_recorder->prepareTake(plan);
    if (!notReady.isEmpty()) {
        if (refusal)
            *refusal = notReady;
        return false;
    }
    m_lastPrepareNs = std::max<qint64>(0, m_clock->nowNs() - prepareStartNs);
    if (plan.start.startWallNs - m_clock->nowNs() < MinimumLeadLeftNs)
        qWarning().noquote() << "[StudioLeader] Opening this machine's files took" << millis(m_lastPrepareNs)
                             << "ms: the followers may start late; the next take is planned further ahead";
    m_plan = plan;
    m_stopWallNs = 0;
    m_takeFolder.clear();
    m_members.clear();
    m_collectError.clear();
    QStringList names{plan.leader};
    for (qsizetype i = 0; i < m_followers.size(); ++i) {
        Member member;
        member.link = m_followers.at(i);
        member.address = member.link->address();
        member.followerIndex = int(i);
        member.name = uniqueName(member.link->machineName(), names);
        names.append(member.name);
        m_members.push_back(member);
    }
    qDebug().noquote() << "[StudioLeader] Studio take at timecode" << plan.start.timecode << "with"
                       << m_members.size() << "follower(s), into" << m_recorder->preparedTakeId();
    logClockOffsets();
    for (Member &member : m_members)
        armMember(member);

    setPhase(Phase::Armed);
    m_countdown.arm(plan.start.startWallNs);
    m_recorder->showArming(true, m_countdown.secondsLeft());
    updateProblems();
    return true;
}

void StudioLeader::logClockOffsets() const
{
    for (const Member &member : m_members) {
        const FollowerLink *link = member.link;
        if (!link || link->state() != FollowerLink::State::Linked || !link->clockOffset().hasEstimate()) {
            qWarning().noquote() << "[StudioLeader]" << member.name << "is not reachable:"
                                 << (link ? link->lastError() : QString());
            continue;
        }
        const qint64 offset = link->clockOffset().offsetNs();
        const QString line = QStringLiteral("Clock of %1 (%2)").arg(offsetText(member.name, offset, link->status().sync, QStringLiteral("EN")),
                                                                   QStringLiteral("best round trip %1 ms").arg(millis(link->clockOffset().roundTripNs())));
        if (offsetLevel(offset, m_plan.start.fps) == OffsetLevel::Error)
            qWarning().noquote() << "[StudioLeader]" << line << "- off by more than a frame: its files will not start at the same timecode";
        else
            qDebug().noquote() << "[StudioLeader]" << line;
    }
}

void StudioLeader::armMember(Member &member)
{
    FollowerLink *link = member.link;
    if (!link || link->state() != FollowerLink::State::Linked) {
        const QString why = link ? link->lastError() : QString();
        member.refusal = StudioText{QStringLiteral("not reachable") + (why.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(why)),
                                    QStringLiteral("nije dostupan") + (why.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(why))};
        return;
    }
    member.armSent = true;
    const QString studioTakeId = m_plan.studioTakeId;
    const std::size_t index = std::size_t(&member - m_members.data());
    link->send("POST", StudioRoutes::kArm, m_plan.toJson(), QUrlQuery(), ArmTimeoutMs,
               [this, index, studioTakeId](const LinkResponse &response) {
                   if (m_plan.studioTakeId != studioTakeId || index >= m_members.size())
                       return;
                   Member &member = m_members[index];
                   const CommandAnswer answer = CommandAnswer::fromJson(response.json());
                   if (response.isOk() && answer.accepted) {
                       member.armed = true;
                       member.takeId = answer.takeId;
                       // Called off before the answer came back.
                       if (m_phase == Phase::Idle)
                           sendStop(index);
                   } else {
                       const QString error = response.isOk() ? QString() : (response.error.isEmpty() ? QStringLiteral("it answered %1").arg(response.status) : response.error);
                       member.refusal = response.isOk() ? answer.reason
                                                        : StudioText{QStringLiteral("no answer (%1)").arg(error),
                                                                     QStringLiteral("nema odgovora (%1)").arg(error)};
                       qWarning().noquote() << "[StudioLeader]" << member.name << "does not start:" << member.refusal.en;
                   }
                   updateProblems();
               });
}

void StudioLeader::onDue(qint64 startWallNs)
{
    if (m_phase != Phase::Armed)
        return;
    m_recorder->showArming(false, 0);
    m_recorder->startPreparedTake(m_clock->monotonicAt(startWallNs));
    setPhase(Phase::Running);
    updateProblems();
}

void StudioLeader::stopAll()
{
    if (m_phase == Phase::Armed) {
        m_countdown.cancel();
        m_recorder->showArming(false, 0);
        m_recorder->cancelPreparedTake();
        setPhase(Phase::Idle);
        for (std::size_t i = 0; i < m_members.size(); ++i) {
            if (m_members[i].armSent)
                sendStop(i);
        }
        qDebug() << "[StudioLeader] Studio take called off before it began.";
        updateProblems();
        return;
    }
    if (m_phase != Phase::Running || m_stopWallNs != 0)
        return;
    m_stopWallNs = StudioTime::planStop(m_plan.start.startWallNs, m_clock->nowNs(), m_plan.start.fps);
    const qint64 lengthNs = m_stopWallNs - m_plan.start.startWallNs;
    qDebug().noquote() << "[StudioLeader] Studio take ends after" << QString::number(double(lengthNs) / 1e9, 'f', 3) << "s";
    m_recorder->endTakeAfter(lengthNs);
    // Also to those whose arm answer never came: a STOP for a take it does not know changes
    // nothing.
    for (std::size_t i = 0; i < m_members.size(); ++i) {
        if (m_members[i].armSent)
            sendStop(i);
    }
}

void StudioLeader::sendStop(std::size_t index)
{
    Member &member = m_members[index];
    FollowerLink *link = member.link;
    if (!link) {
        member.stopPending = false;
        return;
    }
    // Called off before the start: any instant does; otherwise the planned end.
    const StopCommand command{m_plan.studioTakeId, m_stopWallNs != 0 ? m_stopWallNs : m_plan.start.startWallNs};
    member.stopPending = true;
    const QString studioTakeId = m_plan.studioTakeId;
    link->send("POST", StudioRoutes::kStop, command.toJson(), QUrlQuery(), StopTimeoutMs,
               [this, index, studioTakeId](const LinkResponse &response) {
                   if (m_plan.studioTakeId != studioTakeId || index >= m_members.size())
                       return;
                   Member &member = m_members[index];
                   // Any answer settles it: accepted, or its take had already ended.
                   if (response.status == 200) {
                       member.stopPending = false;
                       return;
                   }
                   qWarning().noquote() << "[StudioLeader] STOP did not reach" << member.name << ":" << response.error
                                        << "- it records on until it is back";
               });
}

void StudioLeader::onLinkChanged(FollowerLink *link)
{
    for (std::size_t i = 0; i < m_members.size(); ++i) {
        Member &member = m_members[i];
        if (member.link != link)
            continue;
        // Its arm answer was lost or late, but it runs the take: it is in.
        if (!member.armed && member.armSent && m_phase != Phase::Idle && link->hasStatus()
            && link->status().studioTakeId == m_plan.studioTakeId) {
            member.armed = true;
            member.takeId = link->status().takeId;
            member.refusal = StudioText{};
            qDebug().noquote() << "[StudioLeader]" << member.name << "runs the studio take after all";
        }
        // Back after missing the STOP: tell it again; a take already past its end stops at once.
        if (member.stopPending && m_stopWallNs != 0 && link->state() == FollowerLink::State::Linked
            && link->status().studioTakeId == m_plan.studioTakeId) {
            qDebug().noquote() << "[StudioLeader]" << member.name << "is back: sending it the STOP again";
            sendStop(i);
        }
    }
    updateProblems();
    emit followersChanged();
}

void StudioLeader::takeFinished(const QString &takeFolder)
{
    if (m_phase != Phase::Running)
        return;
    m_takeFolder = takeFolder;
    // This machine's take ended without STOP (its own failure): the studio take is over.
    if (m_stopWallNs == 0) {
        m_stopWallNs = StudioTime::planStop(m_plan.start.startWallNs, m_clock->nowNs(), m_plan.start.fps, 0);
        for (std::size_t i = 0; i < m_members.size(); ++i) {
            if (m_members[i].armSent)
                sendStop(i);
        }
    }
    setPhase(Phase::Reporting);
    m_reportDeadline.start(ReportWaitMs);
    for (std::size_t i = 0; i < m_members.size(); ++i) {
        if (m_members[i].armSent)
            requestReport(i);
    }
    checkReportsDone();
}

void StudioLeader::requestReport(std::size_t index)
{
    Member &member = m_members[index];
    if (member.reportDone)
        return;
    FollowerLink *link = member.link;
    if (!link) {
        member.reportDone = true;
        member.reportError = QStringLiteral("unlinked");
        checkReportsDone();
        return;
    }
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("studioTake"), m_plan.studioTakeId);
    const QString studioTakeId = m_plan.studioTakeId;
    link->send("GET", StudioRoutes::kTake, QJsonObject(), query, StopTimeoutMs,
               [this, index, studioTakeId](const LinkResponse &response) {
                   if (m_plan.studioTakeId != studioTakeId || index >= m_members.size() || m_phase != Phase::Reporting)
                       return;
                   Member &member = m_members[index];
                   if (member.reportDone)
                       return;
                   if (response.status == 404) {
                       // It never recorded this take (its arm came too late, or it restarted).
                       member.reportDone = true;
                       member.reportError = QStringLiteral("it has no such take");
                       checkReportsDone();
                       return;
                   }
                   const QJsonObject object = response.json();
                   QString error;
                   if (response.isOk() && !object.value(QStringLiteral("pending")).toBool()) {
                       member.report = StudioTakeReport::fromJson(object, &error);
                       if (member.report) {
                           member.reportDone = true;
                           qDebug().noquote() << "[StudioLeader] Take report of" << member.name << ":"
                                              << member.report->files.size() << "file(s) in" << member.report->takeId;
                           checkReportsDone();
                           return;
                       }
                   }
                   member.reportError = !error.isEmpty() ? error
                                        : response.isOk() ? QStringLiteral("its take is still being finished")
                                                          : (response.error.isEmpty() ? QStringLiteral("it answered %1").arg(response.status) : response.error);
                   QTimer::singleShot(ReportRetryMs, this, [this, index, studioTakeId] {
                       if (m_plan.studioTakeId == studioTakeId && m_phase == Phase::Reporting)
                           requestReport(index);
                   });
               });
}

void StudioLeader::checkReportsDone()
{
    if (m_phase != Phase::Reporting)
        return;
    for (const Member &member : m_members) {
        if (member.armSent && !member.reportDone)
            return;
    }
    m_reportDeadline.stop();
    setPhase(Phase::Idle);
    updateProblems();
    emit reportsReady();
    if (m_collectAfterEveryTake)
        collectFiles();
}

QList<StudioText> StudioLeader::problems() const
{
    QList<StudioText> lines;
    if (m_phase == Phase::Idle)
        return lines;
    for (const Member &member : m_members) {
        if (!member.armed && !member.refusal.isEmpty()) {
            lines.append(StudioText{QStringLiteral("%1 did not start: %2").arg(member.name, member.refusal.en),
                                    QStringLiteral("%1 nije počeo: %2").arg(member.name, member.refusal.in(QStringLiteral("SR")))});
            continue;
        }
        const FollowerLink *link = member.link;
        if (!member.armed || !link)
            continue;
        if (link->state() == FollowerLink::State::Lost) {
            lines.append(StudioText{QStringLiteral("%1 is lost: it records on by itself").arg(member.name),
                                    QStringLiteral("%1 je izgubljen: snima dalje sam").arg(member.name)});
            continue;
        }
        if (link->clockOffset().hasEstimate()
            && offsetLevel(link->clockOffset().offsetNs(), m_plan.start.fps) == OffsetLevel::Error) {
            const QString ms = QString::number(double(link->clockOffset().offsetNs()) / 1e6, 'f', 1);
            lines.append(StudioText{QStringLiteral("%1's clock is %2 ms off: its files do not line up").arg(member.name, ms),
                                    QStringLiteral("sat računara %1 odstupa %2 ms: njegovi fajlovi se ne poklapaju").arg(member.name, ms)});
        }
        // Its own take ended before STOP: a full disk, a failure.
        const FollowerStatus &status = link->status();
        if (m_phase == Phase::Running && m_stopWallNs == 0 && link->hasStatus() && status.studioTakeId != m_plan.studioTakeId
            && !status.isRecording && !status.problem.isEmpty()) {
            lines.append(StudioText{QStringLiteral("%1 stopped: %2").arg(member.name, status.problem.en),
                                    QStringLiteral("%1 je stao: %2").arg(member.name, status.problem.in(QStringLiteral("SR")))});
        }
    }
    return lines;
}

void StudioLeader::updateProblems()
{
    const QList<StudioText> now = problems();
    if (now == m_problems)
        return;
    m_problems = now;
    emit problemsChanged();
}

QString StudioLeader::memberFolder(const Member &member) const
{
    return QDir(m_takeFolder).filePath(StudioTakeFiles::folderNameFor(member.name));
}

void StudioLeader::collectFiles()
{
    if (isCollecting() || m_takeFolder.isEmpty() || m_phase != Phase::Idle)
        return;
    for (const QPointer<FileCollector> &done : std::exchange(m_collectors, {})) {
        if (done)
            done->deleteLater();
    }
    m_collectError.clear();
    for (const Member &member : m_members) {
        if (!member.report)
            continue;
        // The current key of that follower, if it was re-linked since.
        LinkAddress address = member.link ? member.link->address() : member.address;
        auto *collector = new FileCollector(address, m_clock, *member.report, memberFolder(member), this);
        connect(collector, &FileCollector::progressChanged, this, &StudioLeader::collectProgressChanged);
        connect(collector, &FileCollector::finished, this, [this] {
            if (isCollecting())
                return;
            QStringList errors;
            for (const QPointer<FileCollector> &each : m_collectors) {
                if (each && !each->hasSucceeded())
                    errors.append(QStringLiteral("%1: %2").arg(each->machine(), each->error()));
            }
            m_collectError = errors.join(QLatin1Char('\n'));
            emit collectProgressChanged();
            emit collectFinished(errors.isEmpty());
        });
        m_collectors.append(collector);
    }
    for (const QPointer<FileCollector> &collector : m_collectors)
        collector->start();
    emit collectProgressChanged();
}

bool StudioLeader::isCollecting() const
{
    for (const QPointer<FileCollector> &collector : m_collectors) {
        if (collector && collector->isRunning())
            return true;
    }
    return false;
}

qint64 StudioLeader::collectedBytes() const
{
    qint64 bytes = 0;
    for (const QPointer<FileCollector> &collector : m_collectors) {
        if (collector)
            bytes += collector->doneBytes();
    }
    return bytes;
}

qint64 StudioLeader::bytesToCollect() const
{
    qint64 bytes = 0;
    for (const QPointer<FileCollector> &collector : m_collectors) {
        if (collector)
            bytes += collector->totalBytes();
    }
    return bytes;
}
