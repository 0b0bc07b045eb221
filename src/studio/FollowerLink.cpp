#include "studio/FollowerLink.h"

#include "studio/WallClock.h"

#include <QDebug>
#include <QJsonDocument>

FollowerLink::FollowerLink(const LinkAddress &address, const WallClock *clock, QObject *parent)
    : QObject(parent)
    , m_address(address)
    , m_clock(clock)
{
    m_pollTimer.setInterval(DefaultPollIntervalMs);
    connect(&m_pollTimer, &QTimer::timeout, this, [this] {
        checkSilence();
        probe();
    });
}

QString FollowerLink::stateName(State state)
{
    switch (state) {
    case State::Connecting: return QStringLiteral("connecting");
    case State::Linked: return QStringLiteral("linked");
    case State::Lost: return QStringLiteral("lost");
    case State::Refused: return QStringLiteral("refused");
    }
    return QString();
}

QString FollowerLink::machineName() const
{
    return m_hasStatus && !m_status.machine.isEmpty() ? m_status.machine : m_address.display();
}

void FollowerLink::setPollIntervalMs(int ms)
{
    m_pollIntervalMs = ms;
    if (m_state != State::Refused)
        m_pollTimer.setInterval(ms);
}

void FollowerLink::start()
{
    m_pollTimer.start();
    probe();
}

void FollowerLink::stop()
{
    m_pollTimer.stop();
    if (m_probe)
        m_probe->cancel();
}

void FollowerLink::probeSoon()
{
    if (m_probe)
        m_probeAgain = true;
    else
        probe();
}

void FollowerLink::probe()
{
    if (m_probe)
        return;
    LinkRequest request;
    request.path = QString::fromLatin1(StudioRoutes::kClock);
    if (!m_leaderName.isEmpty())
        request.query.addQueryItem(QStringLiteral("leader"), m_leaderName);
    request.timeoutMs = ProbeTimeoutMs;
    m_probe = LinkCall::start(m_address, request, m_clock, this, [this](const LinkResponse &response) {
        onProbe(response);
    });
}

void FollowerLink::onProbe(const LinkResponse &response)
{
    m_probe = nullptr;
    if (response.isOk()) {
        const QJsonObject object = response.json();
        if (object.contains(QStringLiteral("wallNs"))) {
            m_status = FollowerStatus::fromJson(object);
            m_hasStatus = true;
            m_offset.add(ClockProbe{response.sentWallNs, response.roundTripNs, m_status.wallNs});
            m_sinceAnswer.start();
            m_failuresInRow = 0;
            m_lastError.clear();
            m_pollTimer.setInterval(m_pollIntervalMs);
            setState(State::Linked);
            emit statusChanged();
        } else {
            m_lastError = QStringLiteral("not a recorder's answer");
            ++m_failuresInRow;
        }
    } else if (response.status == 401 || response.status == 403 || response.status == 429) {
        m_lastError = response.status == 429 ? QStringLiteral("too many wrong keys; it refuses us for a minute")
                                             : QStringLiteral("it refuses the key");
        setState(State::Refused);
        // Slowly: every refused key counts towards the follower's limit on guessers.
        m_pollTimer.setInterval(RefusedPollIntervalMs);
    } else {
        m_lastError = response.error.isEmpty() ? QStringLiteral("it answered %1").arg(response.status) : response.error;
        ++m_failuresInRow;
    }
    checkSilence();
    if (m_probeAgain) {
        m_probeAgain = false;
        probe();
    }
}

void FollowerLink::checkSilence()
{
    if (m_state == State::Refused)
        return;
    const bool silent = m_sinceAnswer.isValid() && m_sinceAnswer.elapsed() >= LostAfterMs;
    // Silent while a probe is still out: the log says so rather than nothing.
    if (silent && m_failuresInRow == 0)
        m_lastError = QStringLiteral("no answer for %1 ms").arg(m_sinceAnswer.elapsed());
    if (m_failuresInRow >= 2 || silent)
        setState(State::Lost);
}

void FollowerLink::setState(State state)
{
    if (state == m_state)
        return;
    const State before = m_state;
    m_state = state;
    if (state == State::Lost)
        qWarning().noquote() << "[FollowerLink]" << machineName() << "at" << m_address.display() << "is lost:" << m_lastError;
    else if (state == State::Linked && before == State::Lost)
        qDebug().noquote() << "[FollowerLink]" << machineName() << "is back";
    else if (state == State::Linked)
        qDebug().noquote() << "[FollowerLink] Linked to" << machineName() << "at" << m_address.display();
    else if (state == State::Refused)
        qWarning().noquote() << "[FollowerLink]" << m_address.display() << "refuses the link:" << m_lastError;
    emit stateChanged();
}

void FollowerLink::send(const QByteArray &method, const char *path, const QJsonObject &body, const QUrlQuery &query,
                        int timeoutMs, LinkCall::Done done)
{
    LinkRequest request;
    request.method = method;
    request.path = QString::fromLatin1(path);
    request.query = query;
    if (!body.isEmpty())
        request.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
    request.timeoutMs = timeoutMs;
    LinkCall::start(m_address, request, m_clock, this, std::move(done));
}
