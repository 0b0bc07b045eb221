// Release numbers as the update check compares them. Pure functions, any thread.
//
// A version is read as a list of numbers: white space trimmed, one leading "v"/"V" dropped,
// split at every run of non-digit characters, padded with zeros to at least three numbers
// ("2.4.5b" -> 2,4,5; "v2.5" -> 2,5,0; "2.10" -> 2,10,0). Numbers compare position by
// position, so "2.10" is newer than "2.4.5b" and "2.4.10" newer than "2.4.5b".
//
// Only when all numbers are equal does a revision letter decide: letters that end the text
// right after its last digit ("2.4.5b") mark a later build of the same numbers, so
// 2.4.5 < 2.4.5b < 2.4.5c < 2.4.6. Without this a fix published as "2.4.5c" would never be
// offered to someone running "2.4.5b". Letters anywhere else ("2.4.5-rc1") are separators.
#pragma once

#include <QList>
#include <QString>

namespace VersionCompare {

struct Version
{
    QList<quint64> numbers; // at least three
    QString revision;       // trailing letters after the last digit, lower case; may be empty
};

Version parse(const QString &text);

// True when `candidate` is a later release than `current`.
bool isNewer(const QString &candidate, const QString &current);

} // namespace VersionCompare
