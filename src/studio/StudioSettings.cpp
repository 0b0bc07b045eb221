#include "studio/StudioSettings.h"

#include "common/AppInfo.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSettings>
#include <QSysInfo>

namespace StudioSettings {

namespace {

const QString kGroup = QStringLiteral("StudioLink");

} // namespace

QString defaultMachineName()
{
    const QString host = QSysInfo::machineHostName().trimmed();
    return host.isEmpty() ? QStringLiteral("Recorder") : host;
}

Values load()
{
    QSettings settings(AppInfo::organisationName, AppInfo::applicationName);
    settings.beginGroup(kGroup);
    Values values;
    values.machineName = settings.value(QStringLiteral("machineName")).toString().trimmed();
    if (values.machineName.isEmpty())
        values.machineName = defaultMachineName();
    const QJsonArray followers = QJsonDocument::fromJson(settings.value(QStringLiteral("followers")).toByteArray()).array();
    for (const QJsonValue &entry : followers) {
        if (const std::optional<LinkAddress> address = LinkAddress::fromJson(entry.toObject()))
            values.followers.append(*address);
    }
    const QJsonObject leader = QJsonDocument::fromJson(settings.value(QStringLiteral("leader")).toByteArray()).object();
    if (!leader.isEmpty())
        values.leader = LinkAddress::fromJson(leader);
    values.collectAfterEveryTake = settings.value(QStringLiteral("collectAfterEveryTake"), false).toBool();
    return values;
}

void save(const Values &values)
{
    QSettings settings(AppInfo::organisationName, AppInfo::applicationName);
    settings.beginGroup(kGroup);
    settings.setValue(QStringLiteral("machineName"), values.machineName.trimmed());
    QJsonArray followers;
    for (const LinkAddress &address : values.followers)
        followers.append(address.toJson());
    settings.setValue(QStringLiteral("followers"), QJsonDocument(followers).toJson(QJsonDocument::Compact));
    settings.setValue(QStringLiteral("leader"),
                      values.leader ? QJsonDocument(values.leader->toJson()).toJson(QJsonDocument::Compact) : QByteArray());
    settings.setValue(QStringLiteral("collectAfterEveryTake"), values.collectAfterEveryTake);
}

} // namespace StudioSettings
