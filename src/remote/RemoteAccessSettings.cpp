#include "remote/RemoteAccessSettings.h"

#include "common/AppInfo.h"
#include "remote/AccessKey.h"

#include <QDebug>
#include <QSettings>

namespace RemoteAccessSettings {

namespace {

const QString kKeyKey = QStringLiteral("RemoteControl/accessKey");
const QString kRequiredKey = QStringLiteral("RemoteControl/requireAccessKey");

bool save(const QString &name, const QVariant &value)
{
    QSettings settings(AppInfo::organisationName, AppInfo::applicationName);
    settings.setValue(name, value);
    settings.sync();
    if (settings.status() == QSettings::NoError)
        return true;
    qWarning() << "[RemoteControlServer] Could not save the setting" << name;
    return false;
}

} // namespace

Values load()
{
    const QSettings settings(AppInfo::organisationName, AppInfo::applicationName);
    Values values;
    values.key = settings.value(kKeyKey).toString();
    values.keyRequired = settings.value(kRequiredKey, true).toBool();
    if (!AccessKey::isWellFormed(values.key)) {
        values.key = AccessKey::generate();
        saveKey(values.key);
    }
    return values;
}

bool saveKey(const QString &key)
{
    return save(kKeyKey, key);
}

bool saveKeyRequired(bool required)
{
    return save(kRequiredKey, required);
}

} // namespace RemoteAccessSettings
