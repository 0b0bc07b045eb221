#include "app/HealthVerdicts.h"

#include <QStringList>

namespace HealthVerdicts {

namespace {

constexpr double kGoodShare = 0.95;
constexpr double kOkShare = 0.80;

} // namespace

QString rateLevel(double fps, double targetFps, int measuredCameras)
{
    if (measuredCameras <= 0)
        return QStringLiteral("none");
    if (fps >= kGoodShare * targetFps)
        return QStringLiteral("good");
    if (fps >= kOkShare * targetFps)
        return QStringLiteral("ok");
    return QStringLiteral("low");
}

LocalisedText cameraTrouble(double fps, double targetFps, qint64 dropped, qint64 repeated)
{
    QStringList en;
    QStringList sr;
    if (fps >= 0.0 && fps < kGoodShare * targetFps) {
        const QString rate = QString::number(fps, 'f', 1) + QStringLiteral(" fps");
        en.append(rate);
        sr.append(rate);
    }
    if (dropped > 0) {
        en.append(QStringLiteral("%1 dropped").arg(dropped));
        sr.append(QStringLiteral("%1 izgubljeno").arg(dropped));
    }
    if (repeated > 0) {
        en.append(QStringLiteral("%1 repeated").arg(repeated));
        sr.append(QStringLiteral("%1 ponovljeno").arg(repeated));
    }
    const QString separator = QStringLiteral(" · ");
    return LocalisedText{en.join(separator), sr.join(separator)};
}

QString frameSyncLevel(qint64 dropped, qint64 repeated)
{
    if (dropped > 0)
        return QStringLiteral("dropped");
    if (repeated > 0)
        return QStringLiteral("repeated");
    return QStringLiteral("clean");
}

} // namespace HealthVerdicts
