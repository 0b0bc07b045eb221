// StudioSettings: what this recorder keeps of its studio across restarts, in the program's
// settings store (group "StudioLink"): the name the other machines know it by ("machineName",
// this computer's host name until the operator gives another), the followers it leads
// ("followers": their addresses and keys), the leader it follows ("leader"), and whether the
// followers' files are collected after every take ("collectAfterEveryTake", off).
//
// GUI thread (QSettings of the program's organisation and application names).
#pragma once

#include "studio/LinkAddress.h"

#include <QList>
#include <QString>

#include <optional>

namespace StudioSettings {

struct Values
{
    QString machineName;
    QList<LinkAddress> followers;
    std::optional<LinkAddress> leader;
    bool collectAfterEveryTake = false;
};

// Entries that no longer parse are dropped.
Values load();
void save(const Values &values);

// The host name, or "Recorder" when it has none.
QString defaultMachineName();

} // namespace StudioSettings
