// SettingsReader: reads values of the application's settings strictly, for stores that must
// survive a damaged or hand-edited file. A key that is missing leaves its target as it is; a
// key whose value is not what it should be leaves it too and is remembered, so the store can
// name every such key in one log line. GUI thread only, like QSettings.
#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>

class SettingsReader
{
public:
    explicit SettingsReader(QSettings &settings);

    void number(const QString &key, int minimum, int maximum, int *target);
    void number(const QString &key, double minimum, double maximum, double *target);
    void number(const QString &key, float minimum, float maximum, float *target);
    // "true"/"false" or 1/0.
    void flag(const QString &key, bool *target);
    // One of `entries`, exactly.
    void choice(const QString &key, const QStringList &entries, QString *target);
    // Any text; `allowEmpty` false refuses blank text.
    void text(const QString &key, QString *target, bool allowEmpty = true);

    // The keys that could not be read, with what they held: `Group/key ("value")`, and first
    // of all the file itself when it is damaged.
    QStringList problems() const;

private:
    void unreadable(const QString &key, const QVariant &value);

    QSettings &m_settings;
    bool m_isDamaged = false;
    QStringList m_problems;
};
