#include "studio/ClockSync.h"

#include "common/MonotonicClock.h"

#include <QDir>
#include <QFile>

#ifdef __linux__
#include <sys/timex.h>
#endif

namespace {

constexpr qint64 kEngineCacheNs = 5'000'000'000;
constexpr int kTimeError = 5;        // TIME_ERROR of adjtimex(2)
constexpr int kStatusUnsync = 0x0040; // STA_UNSYNC

} // namespace

QJsonObject ClockSyncState::toJson() const
{
    return QJsonObject{{QStringLiteral("known"), isKnown},
                       {QStringLiteral("synchronised"), isSynchronised},
                       {QStringLiteral("estimatedErrorUs"), double(estimatedErrorUs)},
                       {QStringLiteral("maximumErrorUs"), double(maximumErrorUs)},
                       {QStringLiteral("engine"), engine}};
}

ClockSyncState ClockSyncState::fromJson(const QJsonObject &object)
{
    ClockSyncState state;
    state.isKnown = object.value(QStringLiteral("known")).toBool();
    state.isSynchronised = object.value(QStringLiteral("synchronised")).toBool();
    state.estimatedErrorUs = qint64(object.value(QStringLiteral("estimatedErrorUs")).toDouble(-1));
    state.maximumErrorUs = qint64(object.value(QStringLiteral("maximumErrorUs")).toDouble(-1));
    const QString engine = object.value(QStringLiteral("engine")).toString();
    // Only the names this program sends: the text is shown on the leader.
    if (engine == QLatin1String("PTP") || engine == QLatin1String("NTP"))
        state.engine = engine;
    return state;
}

ClockSyncState KernelClockSync::read()
{
    ClockSyncState state;
#ifdef __linux__
    struct timex request = {}; // modes 0: read only
    const int clockState = adjtimex(&request);
    state = ClockSync::fromKernel(clockState, request.status, request.esterror, request.maxerror);
#endif
    const qint64 now = monotonicNowNs();
    if (m_engineReadNs < 0 || now - m_engineReadNs >= kEngineCacheNs) {
        m_engine = ClockSync::engineFromProcessNames(ClockSync::runningProcessNames());
        m_engineReadNs = now;
    }
    state.engine = m_engine;
    return state;
}

namespace ClockSync {

ClockSyncState fromKernel(int clockState, int statusBits, long estimatedErrorUs, long maximumErrorUs)
{
    ClockSyncState state;
    if (clockState < 0)
        return state;
    state.isKnown = true;
    state.isSynchronised = clockState != kTimeError && (statusBits & kStatusUnsync) == 0;
    state.estimatedErrorUs = estimatedErrorUs;
    state.maximumErrorUs = maximumErrorUs;
    return state;
}

QString engineFromProcessNames(const QStringList &names)
{
    static const QStringList ptp = {QStringLiteral("ptp4l"), QStringLiteral("phc2sys"), QStringLiteral("ts2phc")};
    static const QStringList ntp = {QStringLiteral("chronyd"), QStringLiteral("ntpd"), QStringLiteral("openntpd"),
                                    QStringLiteral("systemd-timesyn")};
    const auto runs = [&](const QStringList &daemons) {
        for (const QString &name : names) {
            if (daemons.contains(name.trimmed()))
                return true;
        }
        return false;
    };
    if (runs(ptp))
        return QStringLiteral("PTP");
    if (runs(ntp))
        return QStringLiteral("NTP");
    return QString();
}

QStringList runningProcessNames()
{
    QStringList names;
#ifdef __linux__
    const QDir proc(QStringLiteral("/proc"));
    const QStringList entries = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        if (entry.isEmpty() || !entry.at(0).isDigit())
            continue;
        QFile comm(proc.filePath(entry + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly))
            names.append(QString::fromUtf8(comm.readAll()).trimmed());
    }
#endif
    return names;
}

} // namespace ClockSync
