// RemoteAccessSettings: where the remote control keeps its access key and the switch that
// requires it, in the program's settings store (group "RemoteControl": "accessKey",
// "requireAccessKey", default on). The key is made on first use and kept, so a phone that
// scanned the code once stays in across restarts until the operator makes a new key.
//
// GUI thread (QSettings of the program's organisation and application names).
#pragma once

#include <QString>

namespace RemoteAccessSettings {

struct Values
{
    QString key;
    bool keyRequired = true;
};

// The stored values; a missing or malformed key is replaced by a new one, which is saved.
Values load();
// False (and a warning logged) when the store cannot be written.
bool saveKey(const QString &key);
bool saveKeyRequired(bool required);

} // namespace RemoteAccessSettings
