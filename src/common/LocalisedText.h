// A text the operator reads, in both interface languages: the back end keeps both and hands
// out the one AppManager.currentLanguage names, so a change of language changes what is
// already shown.
#pragma once

#include <QLatin1String>
#include <QString>

struct LocalisedText
{
    QString en;
    QString sr; // Latin script

    // The Serbian text for "SR" (when there is one), the English one otherwise.
    QString in(const QString &language) const
    {
        return language == QLatin1String("SR") && !sr.isEmpty() ? sr : en;
    }
    bool isEmpty() const { return en.isEmpty(); }
    bool operator==(const LocalisedText &other) const = default;

    // A text that has no translation (a message from elsewhere): the same in both languages.
    static LocalisedText untranslated(const QString &text) { return LocalisedText{text, text}; }

    // Both languages joined: a text, then its detail.
    friend LocalisedText operator+(const LocalisedText &a, const LocalisedText &b)
    {
        return LocalisedText{a.en + b.en, a.sr + b.sr};
    }
};
