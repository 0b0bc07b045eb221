#include "studio/StudioSession.h"

#include "studio/ClockOffset.h"
#include "studio/StudioRecorder.h"

#include <QDebug>
#include <QJsonArray>
#include <QVariantMap>

#include <algorithm>

namespace {

constexpr int kOwnClockReadMs = 2000;

QString gigabytes(qint64 bytes)
{
    return QString::number(double(bytes) / 1e9, 'f', 1);
}

} // namespace

StudioSession::StudioSession(IStudioRecorder *recorder, std::unique_ptr<IClockSyncSource> sync, QObject *parent)
    : QObject(parent)
    , m_recorder(recorder)
    , m_sync(sync ? std::move(sync) : std::make_unique<KernelClockSync>())
    , m_clock(WallClock::fromEnvironment())
    , m_leader(recorder, &m_clock)
    , m_follower(recorder, &m_clock, m_sync.get())
    , m_settings(StudioSettings::load())
{
    if (m_clock.offsetNs() != 0)
        qWarning().noquote() << "[StudioSession] This machine's clock is shifted by"
                             << QString::number(double(m_clock.offsetNs()) / 1e6, 'f', 1) << "ms (simulated)";
    m_leader.setCollectAfterEveryTake(m_settings.collectAfterEveryTake);
    connect(&m_leader, &StudioLeader::followersChanged, this, &StudioSession::announceFollowers);
    connect(&m_leader, &StudioLeader::problemsChanged, this, &StudioSession::problemsChanged);
    connect(&m_leader, &StudioLeader::phaseChanged, this, &StudioSession::collectChanged);
    // Beside each follower's offset, the take's log says how this machine's own clock is kept.
    connect(&m_leader, &StudioLeader::phaseChanged, this, [this] {
        if (m_leader.phase() == StudioLeader::Phase::Armed) {
            m_ownSync = m_sync->read();
            qDebug().noquote() << "[StudioSession] Clock of" << machineName() << "(this machine):"
                               << (syncText(m_ownSync, QStringLiteral("EN")).isEmpty() ? QStringLiteral("sync state unknown")
                                                                                       : syncText(m_ownSync, QStringLiteral("EN")))
                               << "estimated error" << m_ownSync.estimatedErrorUs << "us";
        }
    });
    connect(&m_leader, &StudioLeader::collectProgressChanged, this, &StudioSession::collectChanged);
    connect(&m_leader, &StudioLeader::collectFinished, this, &StudioSession::collectChanged);
    connect(&m_follower, &StudioFollower::leaderContactChanged, this, &StudioSession::leaderChanged);
    // A follower is driven whenever a leader probes it; only the link the operator set up
    // here is kept.
    for (const LinkAddress &address : m_settings.followers)
        m_leader.addFollower(address);
    m_ownSync = m_sync->read();
    m_ownClockTimer.setInterval(kOwnClockReadMs);
    connect(&m_ownClockTimer, &QTimer::timeout, this, [this] {
        const ClockSyncState state = m_sync->read();
        if (state == m_ownSync)
            return;
        m_ownSync = state;
        emit ownClockChanged();
    });
    m_ownClockTimer.start();
}

StudioSession::~StudioSession() = default;

QString StudioSession::text(const QString &en, const QString &sr) const
{
    return m_language == QLatin1String("SR") ? sr : en;
}

void StudioSession::announceFollowers()
{
    QVariantList followersNow = followers();
    QVariantList sourcesNow = followerSources();
    if (followersNow == m_shownFollowers && sourcesNow == m_shownSources)
        return;
    m_shownFollowers = std::move(followersNow);
    m_shownSources = std::move(sourcesNow);
    emit followersChanged();
}

void StudioSession::setLanguage(const QString &language)
{
    if (language == m_language)
        return;
    m_language = language;
    announceFollowers();
    emit leaderChanged();
    emit ownClockChanged();
    emit problemsChanged();
    emit collectChanged();
}

void StudioSession::setOwnAccess(quint16 port, const QString &key)
{
    const bool changed = port != m_ownPort || key != m_ownKey;
    m_ownPort = port;
    m_ownKey = key;
    // The leader must learn the new key (or port) at once.
    if (changed && m_settings.leader)
        m_follower.followLeader(*m_settings.leader, m_ownPort, m_ownKey);
}

void StudioSession::setMachineName(const QString &name)
{
    const QString trimmed = name.trimmed().isEmpty() ? StudioSettings::defaultMachineName() : name.trimmed();
    if (trimmed == m_settings.machineName)
        return;
    m_settings.machineName = trimmed;
    save();
    emit machineNameChanged();
}

void StudioSession::save()
{
    m_settings.followers.clear();
    for (const FollowerLink *link : m_leader.followers())
        m_settings.followers.append(link->address());
    m_settings.collectAfterEveryTake = m_leader.collectAfterEveryTake();
    StudioSettings::save(m_settings);
}

QVariantList StudioSession::followers() const
{
    QVariantList list;
    const double fps = m_recorder->frameRate();
    for (qsizetype i = 0; i < m_leader.followers().size(); ++i) {
        const FollowerLink *link = m_leader.followers().at(i);
        QVariantMap entry;
        entry.insert(QStringLiteral("name"), link->machineName());
        entry.insert(QStringLiteral("address"), link->address().display());
        entry.insert(QStringLiteral("state"), FollowerLink::stateName(link->state()));
        QString state;
        switch (link->state()) {
        case FollowerLink::State::Connecting: state = text(QStringLiteral("connecting"), QStringLiteral("povezuje se")); break;
        case FollowerLink::State::Linked: state = text(QStringLiteral("linked"), QStringLiteral("povezan")); break;
        case FollowerLink::State::Lost: state = text(QStringLiteral("lost"), QStringLiteral("izgubljen")); break;
        case FollowerLink::State::Refused: state = text(QStringLiteral("refuses the key"), QStringLiteral("odbija ključ")); break;
        }
        entry.insert(QStringLiteral("stateText"), state);
        const bool measured = link->state() == FollowerLink::State::Linked && link->clockOffset().hasEstimate();
        const qint64 offset = link->clockOffset().offsetNs();
        entry.insert(QStringLiteral("offsetText"),
                     measured ? offsetText(link->machineName(), offset, link->status().sync, m_language) : QString());
        entry.insert(QStringLiteral("offsetLevel"), measured ? offsetLevelName(offsetLevel(offset, fps)) : QString());
        entry.insert(QStringLiteral("cameras"), QStringLiteral("%1–%2")
                                                    .arg(StudioLeader::studioChannel(int(i), 1))
                                                    .arg(StudioLeader::studioChannel(int(i), StudioLeader::CamerasPerMachine)));
        list.append(entry);
    }
    return list;
}

bool StudioSession::isLed() const
{
    return isFollowing() || m_follower.hasLeaderContact();
}

QString StudioSession::leaderState() const
{
    // Added on the leader: led while its probes come, with nothing kept here.
    if (!m_settings.leader)
        return m_follower.hasLeaderContact() ? QStringLiteral("linked") : QString();
    if (!m_follower.joinError().isEmpty() && !m_follower.hasLeaderContact())
        return QStringLiteral("refused");
    return m_follower.hasLeaderContact() ? QStringLiteral("linked") : QStringLiteral("waiting");
}

QString StudioSession::leaderText() const
{
    if (!m_settings.leader) {
        if (!m_follower.hasLeaderContact())
            return QString();
        const QString leader = m_follower.leaderMachine().isEmpty() ? text(QStringLiteral("a leader"), QStringLiteral("vođa"))
                                                                    : m_follower.leaderMachine();
        return text(QStringLiteral("Led by %1: linked"), QStringLiteral("Vodi ga %1: povezan")).arg(leader);
    }
    const QString name = m_follower.leaderMachine().isEmpty() ? text(QStringLiteral("the leader"), QStringLiteral("vođu"))
                                                              : m_follower.leaderMachine();
    const QString state = leaderState();
    QString how;
    if (state == QLatin1String("linked"))
        how = text(QStringLiteral("linked"), QStringLiteral("povezan"));
    else if (state == QLatin1String("refused"))
        how = m_follower.joinError();
    else
        how = text(QStringLiteral("waiting for it"), QStringLiteral("čeka se"));
    return text(QStringLiteral("Following %1 at %2: %3"), QStringLiteral("Prati %1 na %2: %3"))
        .arg(name, m_settings.leader->display(), how);
}

QString StudioSession::ownClockText() const
{
    QString how = syncText(m_ownSync, m_language);
    if (how.isEmpty())
        how = text(QStringLiteral("its sync state is unknown"), QStringLiteral("stanje sinhronizacije nepoznato"));
    if (m_ownSync.isSynchronised && m_ownSync.estimatedErrorUs >= 0)
        how += QStringLiteral(", ±%1 ms").arg(QString::number(double(m_ownSync.estimatedErrorUs) / 1000.0, 'f', 1));
    return text(QStringLiteral("%1 (this machine): %2"), QStringLiteral("%1 (ovaj računar): %2")).arg(machineName(), how);
}

QString StudioSession::problemText() const
{
    QStringList lines;
    for (const StudioText &line : m_leader.problems())
        lines.append(line.in(m_language));
    return lines.join(QLatin1Char('\n'));
}

bool StudioSession::canCollect() const
{
    return !m_leader.isCollecting() && m_leader.phase() == StudioLeader::Phase::Idle && !m_leader.takeFolder().isEmpty()
           && std::any_of(m_leader.members().begin(), m_leader.members().end(),
                          [](const StudioLeader::Member &member) { return member.report.has_value(); });
}

double StudioSession::collectProgress() const
{
    const qint64 total = m_leader.bytesToCollect();
    return total > 0 ? double(m_leader.collectedBytes()) / double(total) : 0.0;
}

QString StudioSession::collectText() const
{
    if (m_leader.isCollecting())
        return text(QStringLiteral("Collecting files: %1 of %2 GB"), QStringLiteral("Prikupljanje fajlova: %1 od %2 GB"))
            .arg(gigabytes(m_leader.collectedBytes()), gigabytes(m_leader.bytesToCollect()));
    if (!m_leader.collectError().isEmpty())
        return text(QStringLiteral("Files not collected: %1"), QStringLiteral("Fajlovi nisu prikupljeni: %1")).arg(m_leader.collectError());
    if (m_leader.bytesToCollect() > 0)
        return text(QStringLiteral("Files collected"), QStringLiteral("Fajlovi prikupljeni"));
    return QString();
}

void StudioSession::setCollectAfterEveryTake(bool collect)
{
    if (collect == m_leader.collectAfterEveryTake())
        return;
    m_leader.setCollectAfterEveryTake(collect);
    save();
    emit collectChanged();
}

QString StudioSession::addFollower(const QString &address, const QString &key)
{
    if (isFollowing())
        return text(QStringLiteral("This machine follows a leader; it cannot lead as well."),
                    QStringLiteral("Ovaj računar prati vođu; ne može i da vodi."));
    QString error;
    const std::optional<LinkAddress> link = parseLinkAddress(address, key, &error);
    if (!link)
        return error;
    m_leader.addFollower(*link);
    save();
    return QString();
}

void StudioSession::removeFollower(const QString &address)
{
    if (m_leader.removeFollower(address))
        save();
}

QString StudioSession::followLeader(const QString &address, const QString &key)
{
    if (isLeading())
        return text(QStringLiteral("This machine leads followers; remove them first."),
                    QStringLiteral("Ovaj računar vodi druge; prvo ih uklonite."));
    QString error;
    const std::optional<LinkAddress> link = parseLinkAddress(address, key, &error);
    if (!link)
        return error;
    m_settings.leader = link;
    save();
    m_follower.followLeader(*link, m_ownPort, m_ownKey);
    emit leaderChanged();
    return QString();
}

void StudioSession::stopFollowing()
{
    if (!m_settings.leader)
        return;
    m_settings.leader.reset();
    save();
    m_follower.followLeader(LinkAddress{}, 0, QString());
    emit leaderChanged();
}

void StudioSession::collectFiles()
{
    m_leader.collectFiles();
    emit collectChanged();
}

bool StudioSession::acceptJoin(const LinkAddress &follower, const QString &machine)
{
    if (isFollowing()) {
        qWarning().noquote() << "[StudioSession]" << machine << "asked to be led, but this machine follows a leader";
        return false;
    }
    qDebug().noquote() << "[StudioSession]" << machine << "at" << follower.display() << "asked to be led";
    m_leader.addFollower(follower);
    save();
    return true;
}

QVariantList StudioSession::followerSources() const
{
    QVariantList sources;
    for (qsizetype i = 0; i < m_leader.followers().size(); ++i) {
        const FollowerLink *link = m_leader.followers().at(i);
        if (link->state() != FollowerLink::State::Linked)
            continue;
        for (const StudioCamera &camera : link->status().cameras) {
            if (camera.channelId < 1 || camera.channelId > StudioLeader::CamerasPerMachine)
                continue;
            sources.append(QVariantMap{{QStringLiteral("id"), StudioLeader::studioChannel(int(i), camera.channelId)},
                                       {QStringLiteral("name"), link->machineName() + QLatin1Char(' ') + camera.name},
                                       {QStringLiteral("machine"), link->machineName()}});
        }
    }
    return sources;
}

QJsonObject StudioSession::statusJson() const
{
    if (!isLeading() && !isLed())
        return QJsonObject();
    QJsonObject status{{QStringLiteral("role"), isLeading() ? QStringLiteral("leader") : QStringLiteral("follower")},
                       {QStringLiteral("followers"), QJsonArray::fromVariantList(followers())},
                       {QStringLiteral("sources"), QJsonArray::fromVariantList(followerSources())},
                       {QStringLiteral("leaderText"), leaderText()},
                       {QStringLiteral("problemText"), problemText()},
                       {QStringLiteral("canCollect"), canCollect()},
                       {QStringLiteral("isCollecting"), isCollecting()},
                       {QStringLiteral("collectProgress"), collectProgress()},
                       {QStringLiteral("collectText"), collectText()}};
    return status;
}
