// SettingsFrameRates: the settings window's frame-rate list (23.976 ... 120, Auto) mapped onto
// the back end's frame-rate table, for QML. The mapping itself lives once, in C++
// (globalFramerateIndexForSettingsEntry in recording/RecordingFrameRates.h), which the
// benchmark's recommendation also uses; this object only hands it to the window. GUI thread only; the QML engine owns the instance.
#pragma once

#include <QObject>

class SettingsFrameRates : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // The table's index for a list entry; -1 for the entries the table lacks (48, 120, Auto),
    // which the back end reads as its 30 fps default.
    Q_INVOKABLE int globalIndex(int listIndex) const;
};
