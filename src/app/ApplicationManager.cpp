// Construction, destruction, the generic properties and the persisted language.
#include "app/ApplicationManager.h"
#include "app/ManagerStudioRecorder.h"

#include "app/TakeNaming.h"
#include "recording/TakeRecorder.h"

#include "common/AppInfo.h"
#include "common/AppPaths.h"
#include "capture/AudioCapture.h"
#include "capture/ISource.h"
#include "recording/FfmpegEncoder.h"
#include "recording/IEncoder.h"
#include "recording/WavWriter.h"
#include "models/InputChannelsModel.h"

#include <QCoreApplication>
#include <QDate>
#include <QDebug>
#include <QSettings>

namespace {

const QString kLanguageKey = QStringLiteral("UI/Language");
const QString kBroadcastWavKey = QStringLiteral("Recording/BroadcastWav");

// The settings window keeps its recording list positions here (its own group; read once).
const QString kRecordingConfigGroup = QStringLiteral("RecordingConfig");

// Entries of the settings window's lists, for checking stored positions.
constexpr int kResolutionEntries = 5;
constexpr int kFramerateEntries = 11;
constexpr int kQualityEntries = 5;

QSettings openSettings()
{
    return QSettings(AppInfo::organisationName, AppInfo::applicationName);
}

// Settings the back end persists itself: written at once, a failure logged.
void storeSetting(const QString &key, const QVariant &value, const char *what)
{
    QSettings settings = openSettings();
    settings.setValue(key, value);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        qWarning() << "[ApplicationManager] Could not save" << what;
}

} // namespace

ApplicationManager::ApplicationManager(QObject *parent)
    : QObject(parent)
    , m_recordingPath(AppPaths::defaultRecordingPath())
    , m_cameraWatch(m_channels, [this] { return takeTimeText(); })
    , m_diskWatch([this] { return diskUse(); })
{
    {
        QSettings settings = openSettings();
        const QString saved = settings.value(kLanguageKey, QStringLiteral("EN")).toString();
        if (settings.status() == QSettings::NoError && !saved.isEmpty())
            m_currentLanguage = saved;
        m_broadcastWavEnabled = settings.value(kBroadcastWavKey, false).toBool();
    }

    if (QCoreApplication *app = QCoreApplication::instance())
        app->installEventFilter(this);

    connect(&m_timecodeTimer, &QTimer::timeout, this, &ApplicationManager::updateTimecode);
    m_timecodeTimer.setInterval(33);

    connect(&m_audioTickTimer, &QTimer::timeout, this, &ApplicationManager::mixAudio);
    m_audioTickTimer.start(25);

    connect(&m_metricsTimer, &QTimer::timeout, this, &ApplicationManager::updateMetrics);
    m_metricsTimer.start(2000);

    connect(&m_cameraWatch, &CameraWatch::cameraStatusChanged, this, &ApplicationManager::publishCameraStatus);
    m_cameraWatch.start();

    connect(&m_diskWatch, &DiskWatch::changed, this, &ApplicationManager::diskSpaceChanged);
    connect(&m_diskWatch, &DiskWatch::reserveReached, this, [this](const QString &folder, qint64 freeBytes) {
        qWarning().noquote() << "[ApplicationManager] Recording stopped: the disk is almost full," << freeBytes
                             << "bytes left for" << folder;
        setRecordingError(RecordingProblems::reserveReached(folder, freeBytes));
        finishTake();
    });
    connect(&m_diskWatch, &DiskWatch::runningOutOfSpace, this, [this](const QString &folder, qint64 seconds) {
        qWarning().noquote() << "[ApplicationManager] Disk almost full: about" << seconds
                             << "s of recording left for" << folder;
        setRecordingWarning(RecordingProblems::runningOutOfSpace(folder, seconds));
    });
    m_diskWatch.start();

    connect(&m_benchmark, &EncoderBenchmarkRun::finished, this, &ApplicationManager::finishBenchmark);

    m_activeSessionName = TakeNaming::datedSessionName(QDate::currentDate());

    refreshAudioInputDevices();
    refreshAudioOutputDevices();
    refreshEncoderCapabilities();
    applyStoredRecordingConfig();

    m_encoderFactory = [] { return std::make_shared<FfmpegEncoder>(); };

    m_studioRecorder = std::make_unique<ManagerStudioRecorder>(this);
    m_studio = std::make_unique<StudioSession>(m_studioRecorder.get());
    m_studio->setLanguage(m_currentLanguage);
    connect(m_studio->leader(), &StudioLeader::reportsReady, this, &ApplicationManager::writeStudioTimelines);
}

ApplicationManager::~ApplicationManager()
{
    // The channel model is gone by now when the process exits; QPointer already reads null.
    shutDown();
}

void ApplicationManager::shutDown()
{
    // A take still running is finished: every file completed, the timeline written; one
    // still waiting for its studio instant is called off. A take being rebuilt is finished
    // too; any left after it are rebuilt at the next start.
    if (m_isRecording)
        finishTake();
    discardOpenedTake();
    m_recovery.stop();
    m_benchmark.cancel();
    m_timecodeTimer.stop();
    m_audioTickTimer.stop();
    m_metricsTimer.stop();
    m_cameraWatch.stop();
    m_diskWatch.stop();
    m_countdownTimer.stop();
    m_monitor.close();
    for (int id = AudioMixer::kFirstChannel; id <= AudioMixer::kLastChannel; ++id) {
        removeChannelAudioInput(id);
        stopChannelCamera(id);
    }
}

ApplicationManager *ApplicationManager::instance()
{
    static ApplicationManager manager;
    return &manager;
}

void ApplicationManager::setChannelsModel(InputChannelsModel *model)
{
    m_channelsModel = model;
}

void ApplicationManager::runInitialization()
{
    QTimer::singleShot(250, this, [this] {
        if (m_splashStatusText == QLatin1String("DONE"))
            return;
        m_splashStatusText = QStringLiteral("DONE");
        emit splashStatusTextChanged();
    });
}

void ApplicationManager::applyStoredRecordingConfig()
{
    QSettings settings = openSettings();
    settings.beginGroup(kRecordingConfigGroup);
    // A missing key keeps the default; a value that is no position in its list is ignored.
    // entries 0: no upper bound known here.
    const auto stored = [&settings](const QString &key, int entries, int *index) {
        const QVariant value = settings.value(key);
        if (!value.isValid())
            return false;
        bool ok = false;
        const int position = value.toInt(&ok);
        if (!ok || position < 0 || (entries > 0 && position >= entries)) {
            qWarning() << "[ApplicationManager] Ignoring stored" << (kRecordingConfigGroup + QLatin1Char('/') + key)
                       << value.toString();
            return false;
        }
        *index = position;
        return true;
    };
    int index = 0;
    if (stored(QStringLiteral("resolutionIndex"), kResolutionEntries, &index))
        setRecordingResolutionIndex(index);
    // The window stores its own list position; the property follows the global frame-rate
    // table, as the window writes it (48, 120 and Auto have no entry there: -1, read as 30).
    if (stored(QStringLiteral("framerateIndex"), kFramerateEntries, &index))
        setRecordingFramerateIndex(globalFramerateIndexForSettingsEntry(index));
    // Stored on a machine that may list more encoders: a position past this machine's list
    // records with the first entry (effectiveEncoderIndex()).
    if (stored(QStringLiteral("encoderIndex"), 0, &index))
        setRecordingEncoderIndex(index);
    // The setter refuses (and logs) a format this program cannot record.
    if (stored(QStringLiteral("formatIndex"), 0, &index))
        setRecordingFormatIndex(index);
    if (stored(QStringLiteral("qualityIndex"), kQualityEntries, &index))
        setRecordingQualityIndex(index);
}

bool ApplicationManager::isRecordingFormatAvailable(int index) const
{
    const std::optional<RecordingContainer> container = containerForFormatIndex(index);
    return container && isContainerAvailable(*container);
}

void ApplicationManager::setRecordingFormatIndex(int index)
{
    if (!isRecordingFormatAvailable(index)) {
        qWarning() << "[ApplicationManager] Recording format" << index << "cannot be recorded; keeping format"
                   << m_recordingFormatIndex;
        return;
    }
    setGeneric(m_recordingFormatIndex, index, &ApplicationManager::recordingFormatIndexChanged);
}

void ApplicationManager::setCurrentLanguage(const QString &language)
{
    if (m_currentLanguage == language)
        return;
    m_currentLanguage = language;
    storeSetting(kLanguageKey, language, "the interface language.");
    if (m_studio)
        m_studio->setLanguage(language);
    emit currentLanguageChanged();
    // The banner's and the tiles' texts follow the language.
    publishCameraHealth();
    if (!m_recordingError.isEmpty())
        emit lastRecordingErrorChanged();
    if (!m_recoveredTakes.isEmpty())
        emit takeRecoveryChanged();
    if (!m_recordingWarning.isEmpty())
        emit recordingWarningChanged();
}

void ApplicationManager::setBroadcastWavEnabled(bool enabled)
{
    if (m_broadcastWavEnabled == enabled)
        return;
    m_broadcastWavEnabled = enabled;
    storeSetting(kBroadcastWavKey, enabled, "the Broadcast WAV setting.");
    emit broadcastWavEnabledChanged();
}

// --- generic setters: store a changed value, emit once ---

void ApplicationManager::setActiveSessionName(const QString &name) { setGeneric(m_activeSessionName, name, &ApplicationManager::activeSessionNameChanged); }

void ApplicationManager::useDatedSessionName()
{
    setActiveSessionName(TakeNaming::datedSessionName(QDate::currentDate()));
}
void ApplicationManager::setMasterAudioDevice(const QString &device) { setGeneric(m_masterAudioDevice, device, &ApplicationManager::masterAudioDeviceChanged); }
void ApplicationManager::setRecordingPath(const QString &path) { setGeneric(m_recordingPath, path, &ApplicationManager::recordingPathChanged); }
void ApplicationManager::setSeparateAudioRecordingEnabled(bool enabled) { setGeneric(m_separateAudioRecordingEnabled, enabled, &ApplicationManager::separateAudioRecordingEnabledChanged); }
void ApplicationManager::setRecordingResolutionIndex(int index) { setGeneric(m_recordingResolutionIndex, index, &ApplicationManager::recordingResolutionIndexChanged); }
void ApplicationManager::setRecordingFramerateIndex(int index) { setGeneric(m_recordingFramerateIndex, index, &ApplicationManager::recordingFramerateIndexChanged); }
void ApplicationManager::setRecordingQualityIndex(int index) { setGeneric(m_recordingQualityIndex, index, &ApplicationManager::recordingQualityIndexChanged); }
void ApplicationManager::setRecordingEncoderIndex(int index) { setGeneric(m_recordingEncoderIndex, index, &ApplicationManager::recordingEncoderIndexChanged); }
void ApplicationManager::setAdvancedQualityEnabled(bool enabled) { setGeneric(m_advancedQualityEnabled, enabled, &ApplicationManager::advancedQualityEnabledChanged); }
void ApplicationManager::setRateControlMode(const QString &mode) { setGeneric(m_rateControlMode, mode, &ApplicationManager::rateControlModeChanged); }
void ApplicationManager::setTargetBitrateKbps(int kbps) { setGeneric(m_targetBitrateKbps, kbps, &ApplicationManager::targetBitrateKbpsChanged); }
void ApplicationManager::setMaxBitrateKbps(int kbps) { setGeneric(m_maxBitrateKbps, kbps, &ApplicationManager::maxBitrateKbpsChanged); }
void ApplicationManager::setKeyframeInterval(int seconds) { setGeneric(m_keyframeInterval, seconds, &ApplicationManager::keyframeIntervalChanged); }
void ApplicationManager::setBFrames(int count) { setGeneric(m_bFrames, count, &ApplicationManager::bFramesChanged); }
void ApplicationManager::setEncoderProfile(const QString &profile) { setGeneric(m_encoderProfile, profile, &ApplicationManager::encoderProfileChanged); }
void ApplicationManager::setLookaheadEnabled(bool enabled) { setGeneric(m_lookaheadEnabled, enabled, &ApplicationManager::lookaheadEnabledChanged); }
void ApplicationManager::setColorSpace(const QString &space) { setGeneric(m_colorSpace, space, &ApplicationManager::colorSpaceChanged); }
void ApplicationManager::setColorRange(const QString &range) { setGeneric(m_colorRange, range, &ApplicationManager::colorRangeChanged); }
void ApplicationManager::setIsCapturingKeybind(bool capturing) { setGeneric(m_isCapturingKeybind, capturing, &ApplicationManager::isCapturingKeybindChanged); }
