#include "studio/StudioFollower.h"

#include "studio/ClockSync.h"
#include "studio/LinkCall.h"
#include "studio/StudioRecorder.h"
#include "studio/WallClock.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>

namespace {

constexpr int kJoinIntervalMs = 2000;
constexpr int kJoinTimeoutMs = 2000;

} // namespace

StudioFollower::StudioFollower(IStudioRecorder *recorder, const WallClock *clock, IClockSyncSource *sync,
                               QObject *parent)
    : QObject(parent)
    , m_recorder(recorder)
    , m_clock(clock)
    , m_sync(sync)
    , m_countdown(clock)
{
    connect(&m_countdown, &ArmingCountdown::secondsLeftChanged, this, [this](int seconds) {
        if (m_phase == Phase::Armed)
            m_recorder->showArming(true, seconds);
    });
    connect(&m_countdown, &ArmingCountdown::due, this, &StudioFollower::onDue);
    connect(&m_hasher, &FileHasher::hashed, this, &StudioFollower::onHashed);
    m_joinTimer.setInterval(kJoinIntervalMs);
    connect(&m_joinTimer, &QTimer::timeout, this, [this] {
        if (!hasLeaderContact())
            sendJoin();
    });
    m_quietTimer.setSingleShot(true);
    connect(&m_quietTimer, &QTimer::timeout, this, &StudioFollower::leaderContactChanged);
}

StudioFollower::~StudioFollower() = default;

QString StudioFollower::recordingRoot() const
{
    return m_recorder->recordingRoot();
}

CommandAnswer StudioFollower::refusal(const QString &en, const QString &sr)
{
    CommandAnswer answer;
    answer.reason = StudioText{en, sr};
    return answer;
}

FollowerStatus StudioFollower::status()
{
    FollowerStatus status;
    status.machine = m_recorder->machineName();
    status.sync = m_sync ? m_sync->read() : ClockSyncState{};
    status.isRecording = m_recorder->isRecording();
    status.isArming = m_phase == Phase::Armed;
    status.countdownSeconds = status.isArming ? m_countdown.secondsLeft() : 0;
    if (m_phase != Phase::Idle) {
        status.studioTakeId = m_plan.studioTakeId;
        status.takeId = m_takeId;
    }
    status.problem = m_recorder->problem();
    status.fps = m_recorder->frameRate();
    status.cameras = m_recorder->cameras();
    status.diskFreeBytes = m_recorder->diskFreeBytes();
    // Read last, right before the answer leaves: the leader takes it for the middle of the
    // round trip.
    status.wallNs = m_clock->nowNs();
    return status;
}

CommandAnswer StudioFollower::arm(const StudioTakePlan &plan)
{
    noteLeaderContact(plan.leader);
    if (m_phase != Phase::Idle) {
        if (m_plan.studioTakeId == plan.studioTakeId) {
            CommandAnswer again; // the leader asked twice: it is armed already
            again.accepted = true;
            again.takeId = m_takeId;
            return again;
        }
        return refusal(QStringLiteral("it is already armed for another studio take"),
                       QStringLiteral("već je pripremljen za drugi snimak studija"));
    }
    if (m_recorder->isRecording())
        return refusal(QStringLiteral("it is recording a take of its own"), QStringLiteral("snima svoj snimak"));
    const qint64 leadNs = plan.start.startWallNs - m_clock->nowNs();
    if (leadNs < -kLatestStartNs) {
        const QString ms = QString::number(double(-leadNs) / 1e6, 'f', 0);
        return refusal(QStringLiteral("the start passed %1 ms ago on its clock: is its clock ahead?").arg(ms),
                       QStringLiteral("početak je prošao pre %1 ms po njegovom satu: da li mu sat žuri?").arg(ms));
    }
    const StudioText notReady = m_recorder->prepareTake(plan);
    if (!notReady.isEmpty()) {
        CommandAnswer answer;
        answer.reason = notReady;
        return answer;
    }
    m_plan = plan;
    m_takeId = m_recorder->preparedTakeId();
    m_phase = Phase::Armed;
    m_countdown.arm(plan.start.startWallNs);
    m_recorder->showArming(true, m_countdown.secondsLeft());
    qDebug().noquote() << "[StudioFollower] Armed for the studio take of" << plan.leader << "at timecode"
                       << plan.start.timecode << "in" << QString::number(double(leadNs) / 1e6, 'f', 1) << "ms, into"
                       << m_takeId;
    emit armingChanged();
    CommandAnswer answer;
    answer.accepted = true;
    answer.takeId = m_takeId;
    return answer;
}

void StudioFollower::onDue(qint64 startWallNs)
{
    if (m_phase != Phase::Armed)
        return;
    m_phase = Phase::Running;
    m_recorder->showArming(false, 0);
    m_recorder->startPreparedTake(m_clock->monotonicAt(startWallNs));
    const qint64 lateNs = m_clock->nowNs() - startWallNs;
    if (lateNs > 100'000'000)
        qWarning().noquote() << "[StudioFollower] Studio take started" << QString::number(double(lateNs) / 1e6, 'f', 0)
                             << "ms after its instant: its first frames repeat the first picture, its sound begins with silence";
    else
        qDebug().noquote() << "[StudioFollower] Studio take started at" << m_plan.start.timecode << "(the event loop came"
                           << QString::number(double(lateNs) / 1e6, 'f', 2) << "ms after the instant)";
    emit armingChanged();
}

CommandAnswer StudioFollower::stop(const StopCommand &command)
{
    noteLeaderContact();
    if (m_phase == Phase::Idle || m_plan.studioTakeId != command.studioTakeId) {
        const auto kept = m_reports.find(command.studioTakeId);
        if (kept != m_reports.end()) {
            CommandAnswer answer = refusal(QStringLiteral("its take had already ended"),
                                           QStringLiteral("njegov snimak se već završio"));
            answer.takeId = kept->second.report.takeId;
            return answer;
        }
        return refusal(QStringLiteral("it knows no such studio take"), QStringLiteral("ne zna za taj snimak studija"));
    }
    CommandAnswer answer;
    answer.accepted = true;
    answer.takeId = m_takeId;
    if (m_phase == Phase::Armed) {
        // Stopped before it began: nothing is recorded.
        m_countdown.cancel();
        m_recorder->showArming(false, 0);
        m_recorder->cancelPreparedTake();
        m_phase = Phase::Idle;
        qDebug() << "[StudioFollower] The leader called off the studio take before it began.";
        emit armingChanged();
        return answer;
    }
    const qint64 lengthNs = std::max<qint64>(1, command.stopWallNs - m_plan.start.startWallNs);
    m_recorder->endTakeAfter(lengthNs);
    qDebug().noquote() << "[StudioFollower] The studio take ends after" << QString::number(double(lengthNs) / 1e9, 'f', 3) << "s";
    return answer;
}

void StudioFollower::takeFinished(const QString &takeFolder, StudioTakeReport report)
{
    if (m_phase != Phase::Running)
        return;
    report.machine = m_recorder->machineName();
    report.studioTakeId = m_plan.studioTakeId;
    report.takeId = m_takeId;
    report.startTimecode = m_plan.start.timecode;
    report.fps = m_plan.start.fps;
    report.startWallNs = m_plan.start.startWallNs;
    m_phase = Phase::Idle;
    rememberReport(report, takeFolder);
    emit armingChanged();
}

void StudioFollower::rememberReport(const StudioTakeReport &report, const QString &takeFolder)
{
    m_reports[report.studioTakeId] = KeptReport{report, takeFolder, ++m_reportCount};
    while (int(m_reports.size()) > kKeptReports) {
        auto oldest = m_reports.begin();
        for (auto it = m_reports.begin(); it != m_reports.end(); ++it) {
            if (it->second.order < oldest->second.order)
                oldest = it;
        }
        m_reports.erase(oldest);
    }
    QString error;
    if (!StudioTakeFiles::writeManifest(takeFolder, report, &error))
        qWarning() << "[StudioFollower] Cannot write the take report into" << takeFolder << ":" << error;
    bool queued = false;
    for (const StudioTakeFile &file : report.files) {
        const QString path = QDir(takeFolder).filePath(file.name);
        m_hashing[path] = report.studioTakeId;
        m_hasher.hash(path);
        queued = true;
    }
    if (!queued)
        emit reportReady(report.studioTakeId);
}

void StudioFollower::onHashed(const QString &path, const QString &sha256, const QString &error)
{
    const auto hashing = m_hashing.find(path);
    if (hashing == m_hashing.end())
        return;
    const QString studioTakeId = hashing->second;
    m_hashing.erase(hashing);
    const auto kept = m_reports.find(studioTakeId);
    if (kept == m_reports.end())
        return;
    if (!error.isEmpty())
        qWarning() << "[StudioFollower] Cannot read back" << path << "for its checksum:" << error;
    const QString name = QFileInfo(path).fileName();
    for (StudioTakeFile &file : kept->second.report.files) {
        if (file.name == name)
            file.sha256 = sha256;
    }
    for (const auto &[pending, id] : m_hashing) {
        if (id == studioTakeId)
            return;
    }
    QString writeError;
    if (!StudioTakeFiles::writeManifest(kept->second.folder, kept->second.report, &writeError))
        qWarning() << "[StudioFollower] Cannot write the take report into" << kept->second.folder << ":" << writeError;
    emit reportReady(studioTakeId);
}

StudioFollower::ReportState StudioFollower::reportState(const QString &studioTakeId) const
{
    if (m_phase != Phase::Idle && m_plan.studioTakeId == studioTakeId)
        return ReportState::Pending;
    return m_reports.count(studioTakeId) ? ReportState::Ready : ReportState::Unknown;
}

std::optional<StudioTakeReport> StudioFollower::report(const QString &studioTakeId) const
{
    const auto kept = m_reports.find(studioTakeId);
    if (kept == m_reports.end())
        return std::nullopt;
    return kept->second.report;
}

void StudioFollower::noteLeaderContact(const QString &leaderMachine)
{
    const bool wasQuiet = !hasLeaderContact();
    m_sinceContact.start();
    m_hadContact = true;
    m_quietTimer.start(kLeaderQuietMs);
    const bool renamed = !leaderMachine.isEmpty() && leaderMachine != m_leaderMachine;
    if (renamed)
        m_leaderMachine = leaderMachine;
    if (wasQuiet || renamed)
        emit leaderContactChanged();
}

bool StudioFollower::hasLeaderContact() const
{
    return m_hadContact && m_sinceContact.elapsed() < kLeaderQuietMs;
}

void StudioFollower::followLeader(const LinkAddress &leader, quint16 ownPort, const QString &ownKey)
{
    if (m_joinCall)
        m_joinCall->cancel();
    m_joinError.clear();
    if (leader.host.isEmpty()) {
        m_leader.reset();
        m_joinTimer.stop();
        emit leaderContactChanged();
        return;
    }
    m_leader = leader;
    m_ownPort = ownPort;
    m_ownKey = ownKey;
    m_joinTimer.start();
    sendJoin();
    emit leaderContactChanged();
}

void StudioFollower::sendJoin()
{
    if (!m_leader || m_joinCall)
        return;
    LinkRequest request;
    request.method = "POST";
    request.path = QString::fromLatin1(StudioRoutes::kJoin);
    request.body = QJsonDocument(JoinRequest{m_ownPort, m_ownKey, m_recorder->machineName()}.toJson()).toJson(QJsonDocument::Compact);
    request.timeoutMs = kJoinTimeoutMs;
    m_joinCall = LinkCall::start(*m_leader, request, m_clock, this, [this](const LinkResponse &response) {
        QString error;
        if (response.status == 401 || response.status == 403)
            error = QStringLiteral("the leader refused the key");
        else if (!response.isOk())
            error = response.error.isEmpty() ? QStringLiteral("the leader answered %1").arg(response.status) : response.error;
        if (error != m_joinError) {
            m_joinError = error;
            if (!error.isEmpty())
                qDebug().noquote() << "[StudioFollower] Cannot reach the leader at" << m_leader->display() << ":" << error;
            emit leaderContactChanged();
        }
    });
}
