#include "studio/ClockOffset.h"

#include "recording/FrameRate.h"
#include "studio/ClockSync.h"

#include <QLocale>

#include <algorithm>
#include <cstdlib>

void ClockOffsetEstimator::add(const ClockProbe &probe)
{
    if (probe.roundTripNs < 0)
        return;
    m_probes.push_back(probe);
    while (int(m_probes.size()) > m_window)
        m_probes.pop_front();
}

const ClockProbe *ClockOffsetEstimator::best() const
{
    const ClockProbe *shortest = nullptr;
    for (const ClockProbe &probe : m_probes) {
        if (!shortest || probe.roundTripNs < shortest->roundTripNs)
            shortest = &probe;
    }
    return shortest;
}

qint64 ClockOffsetEstimator::offsetNs() const
{
    const ClockProbe *probe = best();
    return probe ? probe->offsetNs() : 0;
}

qint64 ClockOffsetEstimator::roundTripNs() const
{
    const ClockProbe *probe = best();
    return probe ? probe->roundTripNs : 0;
}

OffsetLevel offsetLevel(qint64 offsetNs, double fps)
{
    const FrameRate rate = frameRateFraction(fps);
    // One frame is denominator / numerator seconds; compare without rounding the frame.
    // Clamped first: a clock set to the wrong day would overflow the product.
    const qint64 magnitude = std::min<qint64>(std::llabs(offsetNs), 1'000'000'000'000);
    const qint64 scaled = magnitude * rate.numerator;
    const qint64 frame = qint64(rate.denominator) * 1'000'000'000;
    if (scaled > frame)
        return OffsetLevel::Error;
    if (scaled * 4 > frame)
        return OffsetLevel::Warning;
    return OffsetLevel::Good;
}

QString offsetLevelName(OffsetLevel level)
{
    switch (level) {
    case OffsetLevel::Good: return QStringLiteral("good");
    case OffsetLevel::Warning: return QStringLiteral("warning");
    case OffsetLevel::Error: return QStringLiteral("error");
    }
    return QString();
}

QString syncText(const ClockSyncState &sync, const QString &language)
{
    const bool serbian = language == QLatin1String("SR");
    if (!sync.isKnown)
        return QString();
    if (!sync.isSynchronised)
        return serbian ? QStringLiteral("nije sinhronizovan") : QStringLiteral("not synchronised");
    if (!sync.engine.isEmpty())
        return sync.engine;
    return serbian ? QStringLiteral("sinhronizovan") : QStringLiteral("synchronised");
}

QString offsetText(const QString &machine, qint64 offsetNs, const ClockSyncState &sync, const QString &language)
{
    // Tenths of a millisecond, rounded half away from zero, so -0.04 ms reads +0.0.
    const qint64 tenths = (std::llabs(offsetNs) + 50'000) / 100'000;
    const QChar sign = (offsetNs < 0 && tenths > 0) ? QLatin1Char('-') : QLatin1Char('+');
    QString text = QStringLiteral("%1: %2%3.%4 ms").arg(machine, sign).arg(tenths / 10).arg(tenths % 10);
    const QString how = syncText(sync, language);
    if (!how.isEmpty())
        text += QStringLiteral(", ") + how;
    return text;
}
