// SetupPersistence: keeps the saved recording settings and studio set-up in step with what
// the operator sets, so the studio is still set up tomorrow. The manager tells it of every
// change; it saves half a second after the last one (a fader drag is one save, not a hundred),
// at once when asked (SAVE SETTINGS) and at exit.
//
// What is not the operator's choice is never saved: the command line's overrides of this run
// (--fps, --size, --output) keep their saved values in the store unless the operator changes
// that setting in the window during the run, and a --demo run saves nothing at all.
//
// GUI thread only: the save timer and QSettings live there.
#pragma once

#include "app/StudioSetup.h"
#include "recording/RecordingSettings.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>

class SetupPersistence : public QObject
{
    Q_OBJECT

public:
    // Fills in what is set now, when a save is due.
    using Collect = std::function<void(RecordingSettings *, StudioSetup *)>;

    explicit SetupPersistence(QObject *parent = nullptr);

    // Reads both stores (the defaults for what is missing or unreadable).
    void load();
    const RecordingSettings &savedRecordingSettings() const { return m_savedRecording; }
    const StudioSetup &savedStudioSetup() const { return m_savedStudio; }
    // False on a first start: there is no studio set-up to restore.
    bool hasSavedStudioSetup() const { return m_hasSavedStudio; }

    void setCollect(Collect collect) { m_collect = std::move(collect); }
    // A --demo run: nothing is written, whatever changes.
    void setReadOnly(bool isReadOnly);
    bool isReadOnly() const { return m_isReadOnly; }

    // This run's values from the command line; the store keeps the saved ones.
    struct Overrides
    {
        std::optional<int> framerateIndex;
        std::optional<int> resolutionIndex;
        std::optional<QString> outputFolder;
    };
    void setOverrides(const Overrides &overrides) { m_overrides = overrides; }
    // The saved settings with this run's overrides applied: what the run starts with.
    RecordingSettings startingRecordingSettings() const;

    // Something the operator set changed: saved shortly.
    void changed();
    // Saves now (SAVE SETTINGS, exit); false when nothing could be written. Read-only: true,
    // nothing written.
    bool saveNow();

private:
    // What goes into the store for the settings of this run.
    RecordingSettings toStore(const RecordingSettings &current) const;

    Collect m_collect;
    QTimer m_saveTimer;
    bool m_isReadOnly = false;
    bool m_hasSavedStudio = false;
    Overrides m_overrides;
    RecordingSettings m_savedRecording;
    StudioSetup m_savedStudio;
};
