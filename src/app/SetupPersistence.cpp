#include "app/SetupPersistence.h"

#include "common/AppInfo.h"

#include <QDebug>
#include <QSettings>

namespace {

// After the last change: long enough that dragging a fader saves once, short enough that a
// crash right after setting something up loses nothing.
constexpr int kSaveDelayMs = 500;

QSettings openStore()
{
    return QSettings(AppInfo::organisationName, AppInfo::applicationName);
}

} // namespace

SetupPersistence::SetupPersistence(QObject *parent) : QObject(parent)
{
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(kSaveDelayMs);
    connect(&m_saveTimer, &QTimer::timeout, this, [this] { saveNow(); });
}

void SetupPersistence::load()
{
    QSettings store = openStore();
    m_savedRecording = RecordingSettingsStore::load(store);
    m_hasSavedStudio = StudioSetupStore::hasSavedSetup(store);
    m_savedStudio = m_hasSavedStudio ? StudioSetupStore::load(store) : StudioSetup{};
}

void SetupPersistence::setReadOnly(bool isReadOnly)
{
    m_isReadOnly = isReadOnly;
    if (isReadOnly)
        m_saveTimer.stop();
}

RecordingSettings SetupPersistence::startingRecordingSettings() const
{
    RecordingSettings value = m_savedRecording;
    if (m_overrides.framerateIndex)
        value.framerateIndex = *m_overrides.framerateIndex;
    if (m_overrides.resolutionIndex)
        value.resolutionIndex = *m_overrides.resolutionIndex;
    if (m_overrides.outputFolder)
        value.outputFolder = *m_overrides.outputFolder;
    return value;
}

RecordingSettings SetupPersistence::toStore(const RecordingSettings &current) const
{
    // An override the operator has not changed since is this run's, not a new choice.
    RecordingSettings value = current;
    if (m_overrides.framerateIndex && current.framerateIndex == *m_overrides.framerateIndex)
        value.framerateIndex = m_savedRecording.framerateIndex;
    if (m_overrides.resolutionIndex && current.resolutionIndex == *m_overrides.resolutionIndex)
        value.resolutionIndex = m_savedRecording.resolutionIndex;
    if (m_overrides.outputFolder && current.outputFolder == *m_overrides.outputFolder)
        value.outputFolder = m_savedRecording.outputFolder;
    return value;
}

void SetupPersistence::changed()
{
    if (!m_isReadOnly)
        m_saveTimer.start();
}

bool SetupPersistence::saveNow()
{
    m_saveTimer.stop();
    if (m_isReadOnly || !m_collect)
        return true;
    RecordingSettings recording = m_savedRecording;
    StudioSetup studio = m_savedStudio;
    m_collect(&recording, &studio);
    recording = toStore(recording);
    if (recording == m_savedRecording && studio == m_savedStudio && m_hasSavedStudio)
        return true;
    QSettings store = openStore();
    const bool saved = RecordingSettingsStore::save(store, recording) && StudioSetupStore::save(store, studio);
    if (saved) {
        m_savedRecording = recording;
        m_savedStudio = studio;
        m_hasSavedStudio = true;
    }
    return saved;
}
