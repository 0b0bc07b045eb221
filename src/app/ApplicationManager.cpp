// Construction, destruction, the generic properties, the recording settings and the persisted
// language.
#include "app/ApplicationManager.h"
#include "app/ManagerStudioRecorder.h"

#include "recording/TakeNaming.h"
#include "recording/TakeRecorder.h"

#include "common/AppInfo.h"
#include "common/AppPaths.h"
#include "capture/AudioCapture.h"
#include "capture/AudioDeviceRegistry.h"
#include "common/AudioFormat.h"
#include "common/MonotonicClock.h"
#include "capture/ISource.h"
#include "recording/EncoderSetup.h"
#include "recording/FfmpegEncoder.h"
#include "recording/IEncoder.h"
#include "recording/RecordingChoices.h"
#include "recording/TakeFormat.h"
#include "recording/WavWriter.h"
#include "models/InputChannelsModel.h"

#include <QCoreApplication>
#include <QDate>
#include <QDebug>
#include <QSettings>

namespace {

const QString kLanguageKey = QStringLiteral("UI/Language");

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
    , m_cameraWatch(m_channels, [this] { return takeTimeText(); })
    , m_audioInputWatch(m_channels, AudioDeviceRegistry::shared(), [this] { return takeTimeText(); })
    , m_diskWatch([this] { return diskUse(); })
{
    {
        QSettings settings = openSettings();
        const QString saved = settings.value(kLanguageKey, QStringLiteral("EN")).toString();
        if (settings.status() == QSettings::NoError && !saved.isEmpty())
            m_currentLanguage = saved;
    }
    // The saved recording settings; the program switches saving on (setSetupSaving).
    m_persistence.load();
    m_persistence.setReadOnly(true);
    m_persistence.setCollect([this](RecordingSettings *recording, StudioSetup *studio) { collectSetup(recording, studio); });
    m_recording = m_persistence.savedRecordingSettings();
    if (m_recording.outputFolder.isEmpty())
        m_recording.outputFolder = AppPaths::defaultRecordingPath();

    if (QCoreApplication *app = QCoreApplication::instance())
        app->installEventFilter(this);

    connect(&m_timecodeTimer, &QTimer::timeout, this, &ApplicationManager::updateTimecode);
    m_timecodeTimer.setInterval(33);

    connect(&m_audioTickTimer, &QTimer::timeout, this, &ApplicationManager::mixAudio);
    m_audioTickTimer.start(25);

    connect(&m_metricsTimer, &QTimer::timeout, this, &ApplicationManager::updateMetrics);
    m_metricsTimer.start(2000);

    connect(&m_cameraWatch, &CameraWatch::cameraStatusChanged, this, &ApplicationManager::publishCameraStatus);
    connect(&m_cameraWatch, &CameraWatch::waitingCameraAppeared, this, &ApplicationManager::startWaitingCamera);
    m_cameraWatch.start();
    connect(&m_audioInputWatch, &AudioInputWatch::inputStateChanged, this, &ApplicationManager::publishAudioInputState);
    connect(&m_audioInputWatch, &AudioInputWatch::waitingInputAppeared, this, &ApplicationManager::startWaitingAudioInput);
    m_audioInputWatch.start();
    // The master keeps time with the clock the inputs are brought to, even with every input lost.
    m_mixer.setClock(monotonicNowNs, AudioFormat::kSampleRate);

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
    if (!isRecordingFormatAvailable(m_recording.formatIndex)) {
        qWarning() << "[ApplicationManager] Recording format" << m_recording.formatIndex
                   << "cannot be recorded; recording MP4";
        m_recording.formatIndex = 0;
    }

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
    m_audioInputWatch.stop();
    m_diskWatch.stop();
    m_countdownTimer.stop();
    m_monitor.close();
    // The set-up as the operator left it, before the channels are taken down.
    m_persistence.saveNow();
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
    if (!model)
        return;
    // The tiles' boxes show what the channels do.
    for (const ChannelState &channel : m_channels) {
        model->setStorageEnabled(channel.id, channel.isCameraRecorded);
        model->setIsoEnabled(channel.id, channel.isSeparateAudio);
    }
    // A channel renamed in the window or from the phone is part of the set-up.
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &, const QModelIndex &, const QList<int> &roles) {
                if (roles.contains(InputChannelsModel::ChannelNameRole))
                    studioSetupChanged();
            });
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

bool ApplicationManager::isRecordingFormatAvailable(int index) const
{
    const std::optional<RecordingContainer> container = containerForFormatIndex(index);
    return container && isContainerAvailable(*container);
}

void ApplicationManager::setRecordingFormatIndex(int index)
{
    if (!isRecordingFormatAvailable(index)) {
        qWarning() << "[ApplicationManager] Recording format" << index << "cannot be recorded; keeping format"
                   << m_recording.formatIndex;
        return;
    }
    setRecordingSetting(&RecordingSettings::formatIndex, index, &ApplicationManager::recordingFormatIndexChanged);
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
    if (!m_recordingWarning.isEmpty() || !m_audioInputWarning.isEmpty())
        emit recordingWarningChanged();
}

void ApplicationManager::setBroadcastWavEnabled(bool enabled)
{
    setRecordingSetting(&RecordingSettings::broadcastWav, enabled, &ApplicationManager::broadcastWavEnabledChanged);
}

void ApplicationManager::setRecordingFramerateIndex(int index)
{
    setRecordingSetting(&RecordingSettings::framerateIndex, index, &ApplicationManager::recordingFramerateIndexChanged);
    emit recordingRateChanged();
}

void ApplicationManager::setRecordingSettingFromText(const QString &setting, const QString &text)
{
    using namespace RecordingSettingsText;
    if (setting == QLatin1String("targetBitrateKbps"))
        setTargetBitrateKbps(targetFromText(text, m_recording.rateControlMode));
    else if (setting == QLatin1String("maxBitrateKbps"))
        setMaxBitrateKbps(maxBitrateFromText(text));
    else if (setting == QLatin1String("keyframeInterval"))
        setKeyframeInterval(keyframeIntervalFromText(text));
    else if (setting == QLatin1String("bFrames"))
        setBFrames(bFramesFromText(text));
    else
        qWarning() << "[ApplicationManager] No recording setting" << setting;
}

QString ApplicationManager::targetFieldText() const
{
    return RecordingSettingsText::targetText(m_recording.targetBitrateKbps, m_recording.rateControlMode);
}

QVariantMap ApplicationManager::recordingChoices() const
{
    QVariantList resolutions;
    for (const RecordingChoices::Resolution &entry : RecordingChoices::resolutions())
        resolutions.append(entry.label);
    QVariantList frameRates;
    for (const RecordingChoices::FrameRateEntry &entry : RecordingChoices::frameRates())
        frameRates.append(entry.label);
    QVariantList presets;
    for (const RecordingChoices::QualityPreset &entry : RecordingChoices::qualityPresets())
        presets.append(entry.label);
    QVariantList containers;
    for (qsizetype i = 0; i < RecordingChoices::containerNames().size(); ++i)
        containers.append(QVariantMap{{QStringLiteral("name"), RecordingChoices::containerNames().at(i)},
                                      {QStringLiteral("supported"), isRecordingFormatAvailable(int(i))}});
    return {{QStringLiteral("resolutions"), resolutions},
            {QStringLiteral("frameRates"), frameRates},
            {QStringLiteral("qualityPresets"), presets},
            {QStringLiteral("rateControlModes"), RecordingChoices::rateControlModes()},
            {QStringLiteral("encoderProfiles"), RecordingChoices::encoderProfiles()},
            {QStringLiteral("colorSpaces"), RecordingChoices::colorSpaces()},
            {QStringLiteral("colorRanges"), RecordingChoices::colorRanges()},
            {QStringLiteral("containers"), containers}};
}

QStringList ApplicationManager::recordingSettingNotes() const
{
    // What the chosen encoder would be told for a 1080p camera; the notes do not depend on the
    // picture size.
    const TakeEncoderChoice choice = encoderChoice();
    const EncoderConfig config = TakeFormat::encoderConfigFor(m_recording, QSize(1920, 1080), takeRate());
    QStringList notes;
    for (const EncoderNote &note : encoderSetupFor(choice.encoder, config).notes)
        notes.append(m_currentLanguage == QLatin1String("SR") ? note.sr : note.en);
    return notes;
}

FrameRate ApplicationManager::takeRate() const
{
    if (m_isRecording)
        return m_takePlan.rate;
    QList<double> cameraRates;
    for (const TakeCamera &camera : takeCameras())
        cameraRates.append(camera.fps);
    return TakeFormat::frameRateFor(m_recording, cameraRates);
}

bool ApplicationManager::saveSettings()
{
    if (m_persistence.isReadOnly()) {
        qDebug() << "[ApplicationManager] The set-up of this run is not saved.";
        return true;
    }
    const bool saved = m_persistence.saveNow();
    qDebug() << "[ApplicationManager]" << (saved ? "Settings saved." : "Settings could not be saved.");
    return saved;
}

void ApplicationManager::setSetupSaving(bool enabled)
{
    m_persistence.setReadOnly(!enabled);
}

void ApplicationManager::applyRunOverrides(const SetupPersistence::Overrides &overrides)
{
    m_persistence.setOverrides(overrides);
    if (overrides.framerateIndex)
        setRecordingFramerateIndex(*overrides.framerateIndex);
    if (overrides.resolutionIndex)
        setRecordingResolutionIndex(*overrides.resolutionIndex);
    if (overrides.outputFolder)
        setRecordingPath(*overrides.outputFolder);
}

void ApplicationManager::setDefaultCameraRecordingMode(const QString &mode)
{
    const std::optional<CameraRecordingMode> chosen = cameraRecordingModeFromKey(mode);
    if (!chosen) {
        qWarning() << "[ApplicationManager] Unknown camera recording mode" << mode;
        return;
    }
    if (mode == m_recording.cameraRecordingMode)
        return;
    setRecordingSetting(&RecordingSettings::cameraRecordingMode, mode,
                        &ApplicationManager::defaultCameraRecordingModeChanged);
    for (ChannelState &channel : m_channels) {
        if (!channel.recordingMode)
            applyCameraRecordingMode(channel);
    }
}

// --- generic setters: store a changed value, emit once ---

void ApplicationManager::setActiveSessionName(const QString &name) { setGeneric(m_activeSessionName, name, &ApplicationManager::activeSessionNameChanged); }

void ApplicationManager::useDatedSessionName()
{
    setActiveSessionName(TakeNaming::datedSessionName(QDate::currentDate()));
}
void ApplicationManager::setMasterAudioDevice(const QString &device) { setGeneric(m_masterAudioDevice, device, &ApplicationManager::masterAudioDeviceChanged); }
void ApplicationManager::setRecordingPath(const QString &path) { setRecordingSetting(&RecordingSettings::outputFolder, path, &ApplicationManager::recordingPathChanged); }
// The recording settings: stored in the one value, announced, saved shortly after.
void ApplicationManager::setRecordingResolutionIndex(int index) { setRecordingSetting(&RecordingSettings::resolutionIndex, index, &ApplicationManager::recordingResolutionIndexChanged); }
void ApplicationManager::setRecordingQualityIndex(int index) { setRecordingSetting(&RecordingSettings::qualityIndex, index, &ApplicationManager::recordingQualityIndexChanged); }
void ApplicationManager::setRecordingEncoderIndex(int index) { setRecordingSetting(&RecordingSettings::encoderIndex, index, &ApplicationManager::recordingEncoderIndexChanged); }
void ApplicationManager::setAdvancedQualityEnabled(bool enabled) { setRecordingSetting(&RecordingSettings::advancedQuality, enabled, &ApplicationManager::advancedQualityEnabledChanged); }
void ApplicationManager::setRateControlMode(const QString &mode) { setRecordingSetting(&RecordingSettings::rateControlMode, mode, &ApplicationManager::rateControlModeChanged); }
void ApplicationManager::setTargetBitrateKbps(int kbps) { setRecordingSetting(&RecordingSettings::targetBitrateKbps, kbps, &ApplicationManager::targetBitrateKbpsChanged); }
void ApplicationManager::setMaxBitrateKbps(int kbps) { setRecordingSetting(&RecordingSettings::maxBitrateKbps, kbps, &ApplicationManager::maxBitrateKbpsChanged); }
void ApplicationManager::setKeyframeInterval(int seconds) { setRecordingSetting(&RecordingSettings::keyframeIntervalSeconds, seconds, &ApplicationManager::keyframeIntervalChanged); }
void ApplicationManager::setBFrames(int count) { setRecordingSetting(&RecordingSettings::bFrames, count, &ApplicationManager::bFramesChanged); }
void ApplicationManager::setEncoderProfile(const QString &profile) { setRecordingSetting(&RecordingSettings::encoderProfile, profile, &ApplicationManager::encoderProfileChanged); }
void ApplicationManager::setLookaheadEnabled(bool enabled) { setRecordingSetting(&RecordingSettings::lookahead, enabled, &ApplicationManager::lookaheadEnabledChanged); }
void ApplicationManager::setColorSpace(const QString &space) { setRecordingSetting(&RecordingSettings::colorSpace, space, &ApplicationManager::colorSpaceChanged); }
void ApplicationManager::setColorRange(const QString &range) { setRecordingSetting(&RecordingSettings::colorRange, range, &ApplicationManager::colorRangeChanged); }
void ApplicationManager::setIsCapturingKeybind(bool capturing) { setGeneric(m_isCapturingKeybind, capturing, &ApplicationManager::isCapturingKeybindChanged); }
