#include "common/SettingsReader.h"

SettingsReader::SettingsReader(QSettings &settings) : m_settings(settings)
{
    // Parses the whole file now: only then does status() tell whether it is damaged.
    (void)m_settings.allKeys();
    m_isDamaged = m_settings.status() == QSettings::FormatError;
}

void SettingsReader::number(const QString &key, int minimum, int maximum, int *target)
{
    const QVariant value = m_settings.value(key);
    if (!value.isValid())
        return;
    bool ok = false;
    const int n = value.toString().trimmed().toInt(&ok);
    if (!ok || n < minimum || n > maximum)
        return unreadable(key, value);
    *target = n;
}

void SettingsReader::number(const QString &key, double minimum, double maximum, double *target)
{
    const QVariant value = m_settings.value(key);
    if (!value.isValid())
        return;
    bool ok = false;
    const double n = value.toString().trimmed().toDouble(&ok);
    if (!ok || !(n >= minimum && n <= maximum))
        return unreadable(key, value);
    *target = n;
}

void SettingsReader::number(const QString &key, float minimum, float maximum, float *target)
{
    double n = *target;
    const qsizetype before = m_problems.size();
    number(key, double(minimum), double(maximum), &n);
    if (m_problems.size() == before)
        *target = float(n);
}

void SettingsReader::flag(const QString &key, bool *target)
{
    const QVariant value = m_settings.value(key);
    if (!value.isValid())
        return;
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        *target = true;
    else if (text == QLatin1String("false") || text == QLatin1String("0"))
        *target = false;
    else
        unreadable(key, value);
}

void SettingsReader::choice(const QString &key, const QStringList &entries, QString *target)
{
    const QVariant value = m_settings.value(key);
    if (!value.isValid())
        return;
    if (!entries.contains(value.toString()))
        return unreadable(key, value);
    *target = value.toString();
}

void SettingsReader::text(const QString &key, QString *target, bool allowEmpty)
{
    const QVariant value = m_settings.value(key);
    if (!value.isValid())
        return;
    if (!allowEmpty && value.toString().trimmed().isEmpty())
        return unreadable(key, value);
    *target = value.toString();
}

QStringList SettingsReader::problems() const
{
    QStringList all = m_problems;
    if (m_isDamaged)
        all.prepend(QStringLiteral("the settings file %1 is damaged").arg(m_settings.fileName()));
    return all;
}

void SettingsReader::unreadable(const QString &key, const QVariant &value)
{
    const QString group = m_settings.group();
    m_problems.append(QStringLiteral("%1%2 (\"%3\")")
                          .arg(group.isEmpty() ? QString() : group + QLatin1Char('/'), key, value.toString().left(40)));
}
