// Release numbers as the update check compares them. Pure functions, any thread.
//
// A version is read as a list of numbers: white space trimmed, one leading "v"/"V" dropped,
// split at every run of non-digit characters, padded with zeros to at least three numbers
// ("2.4.5b" -> 2,4,5; "v2.5" -> 2,5,0; "2.10" -> 2,10,0). Numbers compare position by
// position, so "2.10" is newer than "2.4.5b" and "2.4.10" newer than "2.4.5b".
//
// Letters never count: versions with equal numbers are equal, so "2.4.5c", "2.4.5rc" or
// "2.4.5beta" are not offered to someone running "2.4.5b". A fix must raise a number.
#pragma once

#include <QList>
#include <QString>

namespace VersionCompare {

// The numbers of a version, at least three.
QList<quint64> parse(const QString &text);

// True when `candidate` is a later release than `current`.
bool isNewer(const QString &candidate, const QString &current);

} // namespace VersionCompare
