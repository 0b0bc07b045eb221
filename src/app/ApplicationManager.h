// ApplicationManager: the one back-end object of the program. QML sees it as the singleton
// AppManager; the remote control and the live video items reach it through instance().
//
// It is a façade: it holds the recording state, the channel routing, the recording settings,
// the hardware and performance read-outs and the keybinds, exposes all of it as properties
// with one NOTIFY signal each, and hands the work to classes that own their state:
//   ChannelStates      each channel's camera, audio input and what is known about them
//   TakeRecorder       the take itself: files, frame pump, audio, finalising (src/recording)
//   CameraWatch        cameras lost and back, their states, formats and rates
//   AudioInputWatch    microphones lost and back
//   DiskWatch          the recording disk's free space and time left, and its limits
//   EncoderBenchmarkRun the hardware benchmark
//   PerformanceLog     one row per second of every take
//   AudioMixer, MonitorOutput  the mix and live monitoring (src/audio)
// The class is split into one source file per concern:
//   ApplicationManager.cpp              construction, the generic properties, the settings
//                                       and the persisted language
//   ApplicationManagerRecording.cpp     where a take goes and with which settings, start and
//                                       stop, the running timecode, failures and arming
//   ApplicationManagerSwitching.cpp     the programme source, the keybinds of sources 1-4 and
//                                       the key filter that turns them into switches (cuts)
//   ApplicationManagerRouting.cpp       device lists, each channel's camera and audio input,
//                                       mixer strips, the audio tick, meters and monitoring
//   ApplicationManagerAudioInputs.cpp   what each channel takes from its input: the choice
//                                       and its label, trim and low cut, the separate tracks,
//                                       the input lost and back
//   ApplicationManagerHardware.cpp      recording format tables, graphics adapters, usable
//                                       encoders, the devices report and the benchmark
//   ApplicationManagerMetrics.cpp       CPU/RAM read-outs, the log file and the manuals
//   ApplicationManagerCameraHealth.cpp  each camera's state, format and take figures as the
//                                       interface reads them
//   ApplicationManagerDiskSpace.cpp     what the disk watch is told of the take
//   ApplicationManagerNotices.cpp       what the operator is told: a take's failure or
//                                       warning, the finished take
//   ApplicationManagerStudio.cpp        this machine's take as part of a studio of linked
//                                       recorders (StudioSession, src/studio): REC ALL and
//                                       STOP at one instant, the followers' cameras
//   ApplicationManagerJournal.cpp       the take's cut journal, the markers and the marker key
//   ApplicationManagerRecovery.cpp      the takes a crash left without timelines, rebuilt at
//                                       start from their cut journals
//
// Longer than our other headers on purpose: its properties, invokables and signals are the
// one contract both front ends (the QML and the phone API) are written against, so they stay
// together here rather than spread over several classes.
//
// Threads: everything here runs on the GUI thread.
#pragma once

#include "app/CameraWatch.h"
#include "app/AudioInputWatch.h"
#include "app/ChannelState.h"
#include "app/DiskWatch.h"
#include "app/EncoderBenchmarkRun.h"
#include "app/PerformanceLog.h"
#include "app/RecordingProblems.h"
#include "app/SetupPersistence.h"
#include "audio/AudioMixer.h"
#include "audio/MonitorOutput.h"
#include "models/InputChannelsModel.h"
#include "recording/BroadcastWav.h"
#include "recording/CameraRecordingMode.h"
#include "recording/CutJournal.h"
#include "recording/RecordingContainer.h"
#include "recording/RecordingSettings.h"
#include "recording/TakeRecorder.h"
#include "recording/TakeRecoveryRun.h"
#include "recording/TakeSetup.h"
#include "recording/TimelineCut.h"
#include "recording/TimelineExport.h"
#include "studio/StudioSession.h"
#include "recording/TimelineMarker.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QTimer>
#include <QVariantList>
#include <QVariantMap>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class AudioCapture;
class IEncoder;
class ManagerStudioRecorder;
class ISource;
class TakeRecorder;
struct TakeFailure;
struct TakeReport;
struct BenchmarkRecommendation;
struct EncoderConfig;


class ApplicationManager : public QObject
{
    Q_OBJECT

    Q_PROPERTY(bool isRecording READ isRecording NOTIFY isRecordingChanged)
    Q_PROPERTY(bool isArming READ isArming NOTIFY armingStateChanged)
    Q_PROPERTY(int countdownSeconds READ countdownSeconds NOTIFY countdownSecondsChanged)
    Q_PROPERTY(QString timecode READ timecode NOTIFY timecodeChanged)
    Q_PROPERTY(QString activeSessionName READ activeSessionName WRITE setActiveSessionName NOTIFY activeSessionNameChanged)
    Q_PROPERTY(QVariantList audioInputDevices READ audioInputDevices NOTIFY audioInputDevicesChanged)
    Q_PROPERTY(QString masterAudioDevice READ masterAudioDevice WRITE setMasterAudioDevice NOTIFY masterAudioDeviceChanged)
    Q_PROPERTY(int activeSourceId READ activeSourceId WRITE setActiveSourceId NOTIFY activeSourceChanged)
    Q_PROPERTY(QVariantList encoderCapabilities READ encoderCapabilities NOTIFY encoderCapabilitiesChanged)
    Q_PROPERTY(QString splashStatusText READ splashStatusText NOTIFY splashStatusTextChanged)
    Q_PROPERTY(QString recordingPath READ recordingPath WRITE setRecordingPath NOTIFY recordingPathChanged)
    Q_PROPERTY(QString hardwareGpuInfo READ hardwareGpuInfo NOTIFY hardwareInfoChanged)
    Q_PROPERTY(QString hardwareCpuInfo READ hardwareCpuInfo NOTIFY hardwareInfoChanged)
    Q_PROPERTY(QString hardwareSummary READ hardwareSummary NOTIFY hardwareInfoChanged)
    Q_PROPERTY(QVariantList audioOutputDevices READ audioOutputDevices NOTIFY audioOutputDevicesChanged)
    Q_PROPERTY(QString masterAudioOutputDevice READ masterAudioOutputDevice WRITE setMasterAudioOutputDevice NOTIFY masterAudioOutputDeviceChanged)
    Q_PROPERTY(float masterAudioLevel READ masterAudioLevel NOTIFY masterAudioLevelChanged)
    Q_PROPERTY(float masterAudioLevelRight READ masterAudioLevelRight NOTIFY masterAudioLevelChanged)
    Q_PROPERTY(bool liveMonitoringEnabled READ liveMonitoringEnabled WRITE setLiveMonitoringEnabled NOTIFY liveMonitoringEnabledChanged)
    Q_PROPERTY(bool separateAudioRecordingEnabled READ separateAudioRecordingEnabled WRITE setSeparateAudioRecordingEnabled NOTIFY separateAudioRecordingEnabledChanged)
    Q_PROPERTY(double currentFps READ currentFps NOTIFY performanceMetricsChanged)
    Q_PROPERTY(int droppedFrames READ droppedFrames NOTIFY performanceMetricsChanged)
    // Frame slots of the current take that got no new picture from their camera.
    Q_PROPERTY(int repeatedFrames READ repeatedFrames NOTIFY performanceMetricsChanged)
    Q_PROPERTY(double diskWriteSpeedMBs READ diskWriteSpeedMBs NOTIFY performanceMetricsChanged)
    Q_PROPERTY(QString perfLogFilePath READ perfLogFilePath NOTIFY perfLogFilePathChanged)
    Q_PROPERTY(int recordingResolutionIndex READ recordingResolutionIndex WRITE setRecordingResolutionIndex NOTIFY recordingResolutionIndexChanged)
    // Position in the settings window's frame-rate list (23.976 ... 120, Auto).
    Q_PROPERTY(int recordingFramerateIndex READ recordingFramerateIndex WRITE setRecordingFramerateIndex NOTIFY recordingFramerateIndexChanged)
    Q_PROPERTY(int recordingQualityIndex READ recordingQualityIndex WRITE setRecordingQualityIndex NOTIFY recordingQualityIndexChanged)
    Q_PROPERTY(int recordingEncoderIndex READ recordingEncoderIndex WRITE setRecordingEncoderIndex NOTIFY recordingEncoderIndexChanged)
    // Position in the settings window's container list: 0 MP4, 1 MKV, 2 MOV, 3 TS (4 AVI is
    // never accepted). Read when a take starts; a change during a take applies to the next.
    Q_PROPERTY(int recordingFormatIndex READ recordingFormatIndex WRITE setRecordingFormatIndex NOTIFY recordingFormatIndexChanged)
    Q_PROPERTY(QString activeResolutionName READ activeResolutionName NOTIFY recordingResolutionIndexChanged)
    // The chosen frame rate; for "Auto" the rate the running cameras give now.
    Q_PROPERTY(double selectedGlobalFps READ selectedGlobalFps NOTIFY recordingRateChanged)
    Q_PROPERTY(bool advancedQualityEnabled READ advancedQualityEnabled WRITE setAdvancedQualityEnabled NOTIFY advancedQualityEnabledChanged)
    Q_PROPERTY(QString rateControlMode READ rateControlMode WRITE setRateControlMode NOTIFY rateControlModeChanged)
    Q_PROPERTY(int targetBitrateKbps READ targetBitrateKbps WRITE setTargetBitrateKbps NOTIFY targetBitrateKbpsChanged)
    Q_PROPERTY(int maxBitrateKbps READ maxBitrateKbps WRITE setMaxBitrateKbps NOTIFY maxBitrateKbpsChanged)
    Q_PROPERTY(int keyframeInterval READ keyframeInterval WRITE setKeyframeInterval NOTIFY keyframeIntervalChanged)
    Q_PROPERTY(int bFrames READ bFrames WRITE setBFrames NOTIFY bFramesChanged)
    Q_PROPERTY(QString encoderProfile READ encoderProfile WRITE setEncoderProfile NOTIFY encoderProfileChanged)
    Q_PROPERTY(bool lookaheadEnabled READ lookaheadEnabled WRITE setLookaheadEnabled NOTIFY lookaheadEnabledChanged)
    Q_PROPERTY(QString colorSpace READ colorSpace WRITE setColorSpace NOTIFY colorSpaceChanged)
    Q_PROPERTY(QString colorRange READ colorRange WRITE setColorRange NOTIFY colorRangeChanged)
    Q_PROPERTY(bool isBenchmarking READ isBenchmarking NOTIFY benchmarkStateChanged)
    Q_PROPERTY(QString benchmarkSummary READ benchmarkSummary NOTIFY benchmarkStateChanged)
    Q_PROPERTY(int recommendedResolutionIndex READ recommendedResolutionIndex NOTIFY benchmarkStateChanged)
    Q_PROPERTY(int recommendedFramerateIndex READ recommendedFramerateIndex NOTIFY benchmarkStateChanged)
    Q_PROPERTY(int recommendedEncoderIndex READ recommendedEncoderIndex NOTIFY benchmarkStateChanged)
    Q_PROPERTY(int recommendedQualityIndex READ recommendedQualityIndex NOTIFY benchmarkStateChanged)
    Q_PROPERTY(bool isCapturingKeybind READ isCapturingKeybind WRITE setIsCapturingKeybind NOTIFY isCapturingKeybindChanged)
    Q_PROPERTY(QString currentLanguage READ currentLanguage WRITE setCurrentLanguage NOTIFY currentLanguageChanged)
    Q_PROPERTY(QString cpuUsage READ cpuUsage NOTIFY metricsChanged)
    Q_PROPERTY(QString ramUsage READ ramUsage NOTIFY metricsChanged)
    // Every WAV file of a take carries a Broadcast WAV `bext` chunk with the take's start as
    // its time reference, so editors line the audio up by timecode. Off by default; persisted.
    Q_PROPERTY(bool broadcastWavEnabled READ broadcastWavEnabled WRITE setBroadcastWavEnabled NOTIFY broadcastWavEnabledChanged)
    // How a channel whose own mode is "default" records its camera: "reencode" (decoded and
    // encoded with the recording settings) or "camera" (an MJPEG or H.264 camera's own stream
    // written as it comes). Re-encoding by default; persisted.
    Q_PROPERTY(QString defaultCameraRecordingMode READ defaultCameraRecordingMode WRITE setDefaultCameraRecordingMode NOTIFY defaultCameraRecordingModeChanged)
    // Why the last take could not start or was stopped early; empty when all went well.
    Q_PROPERTY(QString lastRecordingError READ lastRecordingError NOTIFY lastRecordingErrorChanged)
    // The same in the interface language: the main window's banner and the phone page show it.
    Q_PROPERTY(QString recordingErrorText READ recordingErrorText NOTIFY lastRecordingErrorChanged)
    // A running take's warning (little disk left), in the interface language; empty when none.
    Q_PROPERTY(QString recordingWarningText READ recordingWarningText NOTIFY recordingWarningChanged)
    // Free bytes on the recording folder's disk (-1 unknown), the seconds of recording they
    // last (-1 unknown; measured rate while recording, the settings' rate before) and the
    // read-out's look: "ok", "low" (under 15 min), "critical" (under 5 min, or REC ALL would
    // refuse), "unknown". Shown to QML as numbers (double): its type information has no 64-bit
    // integer, and a double holds these exactly.
    Q_PROPERTY(double diskFreeBytes READ diskFreeBytes NOTIFY diskSpaceChanged)
    Q_PROPERTY(double diskSecondsLeft READ diskSecondsLeft NOTIFY diskSpaceChanged)
    Q_PROPERTY(QString diskSpaceLevel READ diskSpaceLevelName NOTIFY diskSpaceChanged)
    // The rate the running take records at (before a take: the rate the next one will), the
    // rate the read-outs are held against; as text for people ("29.97", "25").
    Q_PROPERTY(double timelineFps READ timelineFps NOTIFY recordingRateChanged)
    Q_PROPERTY(QString recordingFpsText READ recordingFpsText NOTIFY recordingRateChanged)
    // The lists of the recording settings, from one place: resolutions, frameRates,
    // qualityPresets, rateControlModes, encoderProfiles, colorSpaces, colorRanges (texts), and
    // containers ({name, supported}).
    Q_PROPERTY(QVariantMap recordingChoices READ recordingChoices CONSTANT)
    // What the chosen encoder does not do as set and what it does instead, in the interface
    // language; empty when it does everything as set.
    Q_PROPERTY(QStringList recordingSettingNotes READ recordingSettingNotes NOTIFY recordingSettingsChanged)
    // The advanced grid's target field: the CQP level in CQP mode (a bitrate reads as 20), else
    // the bitrate.
    Q_PROPERTY(QString targetFieldText READ targetFieldText NOTIFY recordingSettingsChanged)
    // Cameras behind currentFps: running cameras with a measured rate, or the take's encoders.
    // 0: there is no reading.
    Q_PROPERTY(int measuredCameraCount READ measuredCameraCount NOTIFY performanceMetricsChanged)
    // The verdicts on those figures, as every read-out shows them (HealthVerdicts): currentFps
    // against timelineFps, "good", "ok", "low" or "none" (no reading); the take's frames,
    // "clean", "repeated" or "dropped".
    Q_PROPERTY(QString fpsLevel READ fpsLevel NOTIFY performanceMetricsChanged)
    Q_PROPERTY(QString frameSyncLevel READ frameSyncLevel NOTIFY performanceMetricsChanged)
    // What the last finished take left on disk, counted on disk: name ("Take_03"), folder,
    // cameras (video files), wavFiles, timeline (bool), audioSilence (channel id as text ->
    // seconds of its track that are silence for an input that was lost or late; only channels
    // that had any). Empty before the first take.
    Q_PROPERTY(QVariantMap lastTakeSummary READ lastTakeSummary NOTIFY lastTakeSummaryChanged)
    // This machine in a studio of linked recorders: its followers or its leader, the clocks,
    // collecting files. Owned by the manager.
    Q_PROPERTY(StudioSession *studio READ studio CONSTANT)
    // The last marker of the running (or last) take, "Marker 2 “cough” at 00:12:03.400";
    // empty before the first marker of a take.
    Q_PROPERTY(QString lastMarkerText READ lastMarkerText NOTIFY lastMarkerChanged)
    // The takes rebuilt at start, in the interface language ("Take_03 recovered — timelines
    // rebuilt", one line each); empty when there were none or the operator dismissed it.
    Q_PROPERTY(QString takeRecoveryText READ takeRecoveryText NOTIFY takeRecoveryChanged)

public:
    explicit ApplicationManager(QObject *parent = nullptr);
    ~ApplicationManager() override;

    // The process-wide instance, created on first use (thread-safe) and kept to exit.
    static ApplicationManager *instance();

    // Non-owning; the entry routine creates the model after the manager and destroys it
    // before, so it clears the pointer again before leaving.
    void setChannelsModel(InputChannelsModel *model);
    InputChannelsModel *channelsModel() const { return m_channelsModel; }

    // --- read accessors ---
    bool isRecording() const { return m_isRecording; }
    bool isArming() const { return m_isArming; }
    int countdownSeconds() const { return m_countdownSeconds; }
    QString timecode() const { return m_timecode; }
    QString activeSessionName() const { return m_activeSessionName; }
    QVariantList audioInputDevices() const { return m_audioInputDevices; }
    QString masterAudioDevice() const { return m_masterAudioDevice; }
    int activeSourceId() const { return m_activeSourceId; }
    QVariantList encoderCapabilities() const { return m_encoderCapabilities; }
    QString splashStatusText() const { return m_splashStatusText; }
    QString recordingPath() const { return m_recording.outputFolder; }
    QString hardwareGpuInfo() const { return m_hardwareGpuInfo; }
    QString hardwareCpuInfo() const { return m_hardwareCpuInfo; }
    QString hardwareSummary() const { return m_hardwareSummary; }
    QVariantList audioOutputDevices() const { return m_audioOutputDevices; }
    QString masterAudioOutputDevice() const { return m_masterAudioOutputDevice; }
    float masterAudioLevel() const { return m_masterAudioLevel; }
    float masterAudioLevelRight() const { return m_masterAudioLevelRight; }
    bool liveMonitoringEnabled() const { return m_liveMonitoringEnabled; }
    // Every channel records a track of its own (each strip's ISO button can still change one).
    bool separateAudioRecordingEnabled() const;
    double currentFps() const { return m_currentFps; }
    int droppedFrames() const { return m_droppedFrames; }
    int repeatedFrames() const { return m_repeatedFrames; }
    double diskWriteSpeedMBs() const { return m_diskWriteSpeedMBs; }
    QString perfLogFilePath() const;
    int recordingResolutionIndex() const { return m_recording.resolutionIndex; }
    int recordingFramerateIndex() const { return m_recording.framerateIndex; }
    int recordingQualityIndex() const { return m_recording.qualityIndex; }
    int recordingEncoderIndex() const { return m_recording.encoderIndex; }
    int recordingFormatIndex() const { return m_recording.formatIndex; }
    QString activeResolutionName() const;
    double selectedGlobalFps() const;
    bool advancedQualityEnabled() const { return m_recording.advancedQuality; }
    QString rateControlMode() const { return m_recording.rateControlMode; }
    int targetBitrateKbps() const { return m_recording.targetBitrateKbps; }
    int maxBitrateKbps() const { return m_recording.maxBitrateKbps; }
    int keyframeInterval() const { return m_recording.keyframeIntervalSeconds; }
    int bFrames() const { return m_recording.bFrames; }
    QString encoderProfile() const { return m_recording.encoderProfile; }
    bool lookaheadEnabled() const { return m_recording.lookahead; }
    QString colorSpace() const { return m_recording.colorSpace; }
    QString colorRange() const { return m_recording.colorRange; }
    // Every recording setting as one value.
    const RecordingSettings &recordingSettings() const { return m_recording; }
    bool isBenchmarking() const { return m_benchmark.isRunning(); }
    QString benchmarkSummary() const { return m_benchmarkSummary; }
    int recommendedResolutionIndex() const { return m_recommendedResolutionIndex; }
    int recommendedFramerateIndex() const { return m_recommendedFramerateIndex; }
    int recommendedEncoderIndex() const { return m_recommendedEncoderIndex; }
    int recommendedQualityIndex() const { return m_recommendedQualityIndex; }
    bool isCapturingKeybind() const { return m_isCapturingKeybind; }
    QString currentLanguage() const { return m_currentLanguage; }
    QString cpuUsage() const { return m_cpuUsage; }
    QString ramUsage() const { return m_ramUsage; }
    QString lastRecordingError() const;
    QString recordingErrorText() const;
    QString recordingWarningText() const;
    qint64 diskFreeBytes() const { return m_diskWatch.freeBytes(); }
    qint64 diskSecondsLeft() const { return m_diskWatch.secondsLeft(); }
    QString diskSpaceLevelName() const { return QString::fromLatin1(::diskSpaceLevelName(m_diskWatch.level())); }
    double timelineFps() const { return takeRate().toDouble(); }
    QString recordingFpsText() const { return takeRate().text(); }
    // The running take's rate, or the rate the next take will record at.
    FrameRate takeRate() const;
    QVariantMap recordingChoices() const;
    QStringList recordingSettingNotes() const;
    QString targetFieldText() const;
    int measuredCameraCount() const { return m_measuredCameraCount; }
    QString fpsLevel() const;
    QString frameSyncLevel() const;
    QVariantMap lastTakeSummary() const { return m_lastTakeSummary; }
    bool broadcastWavEnabled() const { return m_recording.broadcastWav; }
    QString defaultCameraRecordingMode() const { return m_recording.cameraRecordingMode; }

    // The switch log of the current (or last) take.
    const QList<TimelineCut> &timelineCuts() const { return m_timelineCuts; }
    StudioSession *studio() const { return m_studio.get(); }
    // The markers of the current (or last) take.
    const QList<TimelineMarker> &takeMarkers() const { return m_takeMarkers; }
    QString lastMarkerText() const { return m_lastMarkerText; }
    QString takeRecoveryText() const;

    // --- setters ---
    Q_INVOKABLE void setActiveSessionName(const QString &name);
    // The session name of today's local date ("Session_2025-01-31"), as at start.
    Q_INVOKABLE void useDatedSessionName();
    void setMasterAudioDevice(const QString &device);
    void setActiveSourceId(int sourceId);
    void setRecordingPath(const QString &path);
    void setMasterAudioOutputDevice(const QString &device);
    void setLiveMonitoringEnabled(bool enabled);
    void setSeparateAudioRecordingEnabled(bool enabled);
    void setRecordingResolutionIndex(int index);
    void setRecordingFramerateIndex(int index);
    void setRecordingQualityIndex(int index);
    void setRecordingEncoderIndex(int index);
    // Refuses (and logs) a format this program cannot record: see isRecordingFormatAvailable.
    void setRecordingFormatIndex(int index);
    // True for the positions 0 to 3 when this FFmpeg has the container's muxer; false for AVI
    // (4: its index is written only at the end, so a crash would lose the whole take) and for
    // anything outside the list.
    Q_INVOKABLE bool isRecordingFormatAvailable(int index) const;
    void setAdvancedQualityEnabled(bool enabled);
    void setRateControlMode(const QString &mode);
    void setTargetBitrateKbps(int kbps);
    void setMaxBitrateKbps(int kbps);
    void setKeyframeInterval(int seconds);
    void setBFrames(int count);
    void setEncoderProfile(const QString &profile);
    void setLookaheadEnabled(bool enabled);
    void setColorSpace(const QString &space);
    void setColorRange(const QString &range);
    void setIsCapturingKeybind(bool capturing);
    void setCurrentLanguage(const QString &language);
    // Applies to the next take.
    void setBroadcastWavEnabled(bool enabled);
    // "reencode" or "camera" (anything else is ignored): how cameras without a mode of their
    // own are recorded.
    void setDefaultCameraRecordingMode(const QString &mode);
    // A typed field of the advanced grid ("targetBitrateKbps", "maxBitrateKbps",
    // "keyframeInterval", "bFrames"): 0 or text that is no number gives the setting's default
    // (the target's depends on the rate control mode).
    Q_INVOKABLE void setRecordingSettingFromText(const QString &setting, const QString &text);

    // --- the set-up kept across restarts ---
    // Saves the recording settings and the studio set-up now (SAVE SETTINGS); false when the
    // store could not be written. They are also saved shortly after every change and at exit,
    // once saving is switched on.
    Q_INVOKABLE bool saveSettings();
    // The program switches saving on (never for a --demo run); a manager made by a test does
    // not save unless it asks.
    void setSetupSaving(bool enabled);
    // This run's command-line choices (--fps, --size, --output): applied now, never saved.
    void applyRunOverrides(const SetupPersistence::Overrides &overrides);
    // Restores the saved studio set-up: each channel's camera (or waits for it), audio input,
    // strip and name, the hotkeys and the master fader. Nothing on a first start.
    void restoreStudioSetup();

    // --- keybinds (source indices 0..3) ---
    Q_INVOKABLE void setSourceKey(int sourceIndex, int key);
    Q_INVOKABLE int getSourceKey(int sourceIndex) const;
    Q_INVOKABLE QString getSourceKeyName(int sourceIndex) const;
    Q_INVOKABLE QString keyToString(int key) const;

    // --- routing: cameras and audio inputs per channel (ids 1..4) ---
    Q_INVOKABLE void refreshAudioInputDevices();
    Q_INVOKABLE void refreshAudioOutputDevices();
    Q_INVOKABLE QVariantList getAvailableCameras() const;
    Q_INVOKABLE QVariantList getCameraFormats(const QString &deviceLink) const;
    // formatName ("MJPEG", "YUY2", ...) picks the pixel format among the formats of that size
    // and rate; without one the colour range text is matched as the name, which only
    // "Default" does.
    Q_INVOKABLE void setCameraForChannel(int channelId, const QString &deviceLink, int width = 1920,
                                         int height = 1080, float framerate = 30.0f,
                                         const QString &colorRange = QStringLiteral("Default"),
                                         const QString &formatName = QString());
    Q_INVOKABLE void removeCameraFromChannel(int channelId);
    // The source commands both front ends call. Puts the camera on the channel with that format
    // and the channel's name (blank: "CAM n"), and makes it the programme when none is:
    // {ok, error} (why the camera could not be opened).
    Q_INVOKABLE QVariantMap applyChannelSource(int channelId, const QString &deviceLink, int width, int height,
                                               double fps, const QString &colorRange,
                                               const QString &formatName, const QString &channelName);
    // Takes the camera off the channel; when it was the programme, the first other channel with
    // a camera (or channel 1) takes over.
    Q_INVOKABLE void removeChannelSource(int channelId);
    // The lists a camera's format is chosen from (SourceFormatChoices.h), with `positions` of
    // the channel's own camera when it is that camera.
    Q_INVOKABLE QVariantMap getSourceFormatChoices(const QString &deviceLink, int channelId = 0) const;
    // The picture upside down (a camera mounted that way); kept with the set-up.
    Q_INVOKABLE void setChannelCameraFlipped(int channelId, bool flipped);
    Q_INVOKABLE bool isChannelCameraFlipped(int channelId) const;
    // The channel's camera is recorded into its own file in a take (the tile's STORE box; on
    // by default).
    Q_INVOKABLE void setChannelCameraRecorded(int channelId, bool recorded);
    // The size the channel's camera is recorded at, where it differs from the master recording
    // resolution: "recorded at 1280×720" (scaled down), "recorded at its own size" (smaller than
    // the master); empty when it is the master size or the channel has no running camera.
    Q_INVOKABLE QString getRecordedSizeNoteForChannel(int channelId) const;
    Q_INVOKABLE bool isChannelCameraRecorded(int channelId) const;
    Q_INVOKABLE QString getCameraLinkForChannel(int channelId) const;
    Q_INVOKABLE QString getCameraNameForChannel(int channelId) const;
    Q_INVOKABLE int getCameraWidthForChannel(int channelId) const;
    Q_INVOKABLE int getCameraHeightForChannel(int channelId) const;
    Q_INVOKABLE float getCameraFramerateForChannel(int channelId) const;
    Q_INVOKABLE QString getCameraColorRangeForChannel(int channelId) const;
    // "off", "live", "lost", "reconnecting", or "waiting" for a saved camera not there yet.
    Q_INVOKABLE QString getCameraStateForChannel(int channelId) const;
    // The format the camera runs in, with what was asked where the device granted something
    // else: "1280×720 MJPEG 30 fps (asked 1920×1080)"; the waited-for camera's name while the
    // channel waits; empty without a camera.
    Q_INVOKABLE QString getCameraFormatTextForChannel(int channelId) const;
    // state, format, formatAsAsked (false when the format names what was asked), error (why it
    // is lost, or why it could not be opened), damagedPictures (since the camera started), fps
    // (pictures per second it delivers, -1 before the first reading), for the running or last
    // take: frames, droppedFrames, repeatedFrames, skippedPictures (arrived, shown in no frame)
    // and latencyMs (time stamp to hand-over); and trouble, what of it the camera's tile says
    // in the interface language ("24.3 fps · 3 repeated"; empty for a healthy camera).
    Q_INVOKABLE QVariantMap getCameraHealthForChannel(int channelId) const;
    // A channel's camera recording mode: "default" (the setting's), "reencode" or "camera";
    // it applies from the next take and survives changing the camera.
    Q_INVOKABLE void setCameraRecordingModeForChannel(int channelId, const QString &mode);
    Q_INVOKABLE QString getCameraRecordingModeForChannel(int channelId) const;
    // True when the channel's running camera sends a compressed stream (MJPEG, H.264) that
    // can be recorded as it comes.
    Q_INVOKABLE bool canRecordCameraStreamForChannel(int channelId) const;
    // What the channel's camera costs on disk per hour, both ways, in the interface language:
    // "Camera stream (MJPEG): about 22 GB per hour · re-encoded: about 7.2 GB per hour".
    Q_INVOKABLE QString getRecordingCostTextForChannel(int channelId) const;
    // The same for a mode in the settings ("reencode" or "camera"), per camera: measured on
    // the running MJPEG and H.264 cameras, else what a 1080p30 MJPEG webcam sends.
    Q_INVOKABLE QString recordingModeCostText(const QString &mode) const;
    // An entry of audioInputDevices: "None", a device alone, or a device's input or pair
    // ("Interface — In 3", "Interface — In 1+2").
    Q_INVOKABLE void setAudioInputForChannel(int channelId, const QString &deviceName);
    Q_INVOKABLE QString getChannelAudioInput(int channelId) const;
    // Takes the microphone off the channel: it is silent and says so ("None").
    Q_INVOKABLE void removeAudioInputFromChannel(int channelId);
    // What the channel hears, as the mixer and the phone show it: "Interface — In 3",
    // "Test Tone — In 1+2"; "None" when it has no input.
    Q_INVOKABLE QString getChannelAudioInputLabel(int channelId) const;
    // "none", "live" or "lost".
    Q_INVOKABLE QString getChannelAudioStateForChannel(int channelId) const;
    // Gain trim in dB (-20 to +20) and the 80 Hz low cut, applied to the input before its
    // own recording, the meters and the fader.
    Q_INVOKABLE void setChannelGainTrim(int channelId, float trimDb);
    Q_INVOKABLE float getChannelGainTrim(int channelId) const;
    Q_INVOKABLE void setChannelLowCutEnabled(int channelId, bool enabled);
    Q_INVOKABLE bool isChannelLowCutEnabled(int channelId) const;
    Q_INVOKABLE void setChannelSeparateAudioEnabled(int channelId, bool enabled);
    Q_INVOKABLE bool isChannelSeparateAudioEnabled(int channelId) const;
    Q_INVOKABLE void setChannelCameraLink(int channelId, int cameraId);
    Q_INVOKABLE int getChannelCameraLink(int channelId) const;

    // --- mixer ---
    Q_INVOKABLE void setChannelAudioVolume(int channelId, float volume);
    Q_INVOKABLE float getChannelAudioVolume(int channelId) const;
    Q_INVOKABLE float getChannelAudioFader(int channelId) const;
    Q_INVOKABLE void setChannelAudioMute(int channelId, bool mute);
    Q_INVOKABLE bool isChannelAudioMuted(int channelId) const;
    Q_INVOKABLE void setChannelAudioSolo(int channelId, bool solo);
    Q_INVOKABLE bool isChannelAudioSolo(int channelId) const;
    Q_INVOKABLE void setMasterAudioVolume(float volume);
    Q_INVOKABLE float masterAudioVolume() const;
    Q_INVOKABLE float masterAudioFader() const;

    // The channel's camera, shared for the length of one read; null when it has none.
    std::shared_ptr<ISource> sourceForChannel(int channelId) const;
    // The channel's audio input, or null; owned by the manager.
    AudioCapture *audioCaptureForChannel(int channelId) const;
    AudioMixer &mixer() { return m_mixer; }
    // What the last 25 ms tick mixed: the master and the channel outputs.
    const MixerOutput &lastMixerOutput() const { return m_mixerOutput; }

    // --- hardware ---
    Q_INVOKABLE void refreshEncoderCapabilities();
    Q_INVOKABLE void saveDevicesInfoFile();
    Q_INVOKABLE void runHardwareBenchmark();
    Q_INVOKABLE void applyRecommendedSettings();
    // The devices report (every camera with its formats, every audio input) as compact JSON.
    QByteArray devicesReport() const;

    // --- logs and manuals ---
    Q_INVOKABLE void openLogFile();
    Q_INVOKABLE void clearLogFile();
    Q_INVOKABLE QStringList getRecentLogs();
    // The same lines as {text, kind}: "started", "stopped", "lost", "drops" or "plain" (see
    // LogMarkers), for the performance monitor's colours.
    Q_INVOKABLE QVariantList getRecentLogEntries();
    Q_INVOKABLE QString manualFilePath(const QString &lang = QString()) const;
    Q_INVOKABLE void openManualFile(const QString &lang = QString());
    Q_INVOKABLE QString getManualContent(const QString &lang = QString()) const;

    // --- recording ---
    Q_INVOKABLE void startRecording();
    // The operator has read the banner: the failure (or the warning) is cleared.
    Q_INVOKABLE void dismissRecordingError();
    Q_INVOKABLE void dismissRecordingWarning();
    // Opens the folder of the last finished take in the desktop's file manager.
    Q_INVOKABLE void openLastTakeFolder();
    // The limits a take is held to, and where the free space is read (tests give a smaller
    // disk or a disk that fills up).
    void setDiskSpaceLimits(const DiskSpaceLimits &limits) { m_diskWatch.setLimits(limits); }
    const DiskSpaceLimits &diskSpaceLimits() const { return m_diskWatch.limits(); }
    using FreeSpaceProbe = DiskWatch::FreeSpaceProbe;
    void setFreeSpaceProbe(FreeSpaceProbe probe) { m_diskWatch.setFreeSpaceProbe(std::move(probe)); }
    // Reads the free space now and acts on it (once a second by its own timer).
    void checkDiskSpace() { m_diskWatch.check(); }
    // STOP: a studio take this machine leads ends on every machine at one instant a second
    // ahead; any other take ends now.
    Q_INVOKABLE void stopRecording();
    Q_INVOKABLE void cancelArming();
    Q_INVOKABLE void generateTimeline();
    // Drops a marker at the current take time, named as the operator typed it (the key M
    // gives no name). The answer: ok, and with it number, name, takeMs and takeTime
    // ("00:12:03.400"); without a running take ok is false and error says so.
    Q_INVOKABLE QVariantMap dropMarker(const QString &name = QString());
    // The key that drops a marker (M; 0: none), reassigned like the source keys.
    Q_INVOKABLE void setMarkerKey(int key);
    Q_INVOKABLE int getMarkerKey() const { return m_markerKey; }
    Q_INVOKABLE QString getMarkerKeyName() const { return keyToString(m_markerKey); }
    // Finds the takes under the recording folder that a crash left with a cut journal and no
    // timelines, and rebuilds their timelines on a thread of its own (the entry routine calls
    // it once the recording folder is known). Each rebuilt take is logged with what was found
    // and named in takeRecoveryText.
    Q_INVOKABLE void recoverInterruptedTakes();
    // Until the takes found by recoverInterruptedTakes() are rebuilt and announced (tests).
    void waitForTakeRecovery();
    Q_INVOKABLE void dismissTakeRecovery();
    // Writes the timeline of the last take; false when it could not be written.
    bool exportTimeline(qint64 durationMs);
    // What the last take leaves for its timelines (its files, switches, markers, lengths).
    TimelineExportInput takeTimelineInput(qint64 durationMs) const;
    // Folder of the running or last take; empty before the first.
    QString currentTakeFolder() const { return m_currentTakeFolder; }
    QString startTimecode() const { return m_startTimecode; }
    const std::map<int, QString> &videoPaths() const { return m_videoPaths; }
    const std::map<int, QString> &isoAudioPaths() const { return m_isoAudioPaths; }
    QString masterWavPath() const { return m_masterWavPath; }
    // The size of one WAV part of the next takes (tests reach it without writing 4 GiB);
    // 0: the format's own limit.
    void setAudioPartLimitBytes(quint32 bytes) { m_audioPartLimitBytes = bytes; }
    // Makes the encoder of each recorded camera (tests give their own).
    using EncoderFactory = std::function<std::shared_ptr<IEncoder>()>;
    void setEncoderFactory(EncoderFactory factory) { m_encoderFactory = std::move(factory); }

    // --- start-up and shut-down ---
    Q_INVOKABLE void runInitialization();
    // Finishes a running take and stops every device and worker thread. The entry routine
    // calls it when the event loop has ended, while the application object still exists;
    // the destructor does the same for whatever is still running.
    void shutDown();

    bool eventFilter(QObject *watched, QEvent *event) override;

    // Milliseconds between the start of the take and now, on the monotonic clock.
    qint64 elapsedTakeMs() const;
    // Ends the running take after exactly `lengthMs` of recording: the files hold that much
    // audio and video however late the event loop gets to it (the command line's --record).
    void limitTakeLength(qint64 lengthMs);

signals:
    void isRecordingChanged();
    void armingStateChanged();
    void countdownSecondsChanged();
    void timecodeChanged();
    void activeSessionNameChanged();
    void recordingPathChanged();
    void audioInputDevicesChanged();
    void masterAudioDeviceChanged();
    void activeSourceChanged();
    void encoderCapabilitiesChanged();
    void hardwareInfoChanged();
    void splashStatusTextChanged();
    void metricsChanged();
    void audioOutputDevicesChanged();
    void masterAudioOutputDeviceChanged();
    void masterAudioLevelChanged();
    void liveMonitoringEnabledChanged();
    void separateAudioRecordingEnabledChanged();
    void channelAudioLevelChanged(int channelId, float levelLeft, float levelRight);
    void keybindsChanged();
    void isCapturingKeybindChanged();
    void performanceMetricsChanged();
    void recordingResolutionIndexChanged();
    void recordingFramerateIndexChanged();
    void recordingQualityIndexChanged();
    void recordingEncoderIndexChanged();
    void recordingFormatIndexChanged();
    void benchmarkStateChanged();
    void perfLogFilePathChanged();
    void currentLanguageChanged();
    void advancedQualityEnabledChanged();
    void rateControlModeChanged();
    void targetBitrateKbpsChanged();
    void maxBitrateKbpsChanged();
    void keyframeIntervalChanged();
    void bFramesChanged();
    void encoderProfileChanged();
    void lookaheadEnabledChanged();
    void colorSpaceChanged();
    void colorRangeChanged();
    // Any recording setting changed (the notes and the target field follow).
    void recordingSettingsChanged();
    // The rate the running or next take records at changed.
    void recordingRateChanged();
    void lastRecordingErrorChanged();
    void broadcastWavEnabledChanged();
    // A channel's mixer strip or audio routing changed (input, fader, mute, solo, separate
    // track, camera link): the interface re-reads that channel's getters.
    void channelAudioStateChanged(int channelId);
    // A channel's camera was set, replaced or removed.
    void channelCameraChanged(int channelId);
    void defaultCameraRecordingModeChanged();
    // A channel's camera changed state (lost, reconnecting, live) or format.
    void channelCameraStateChanged(int channelId);
    // A take ended (normally, after a failure or at exit); its files are complete.
    void takeFinished(const QString &takeFolder);
    void recordingWarningChanged();
    void diskSpaceChanged();
    void lastTakeSummaryChanged();
    void lastMarkerChanged();
    void takeRecoveryChanged();
    // A marker was dropped in the running take.
    void markerDropped(int number, const QString &name, qint64 takeMs);

public slots:
    void updateTimecode();
    void updateMetrics();
    // The 25 ms audio tick: mixes what the inputs delivered, shows the meters, hands the mix
    // to a running take and to monitoring.
    void mixAudio();
    // The meters of the last mix, to the properties, the signal and the channel model.
    void updateAudioLevel();
    void onCountdownTimeout();
    void triggerRecordingStart();

private:
    // Store a changed value and announce it once; an equal value changes nothing.
    template <typename T>
    void setGeneric(T &member, const T &value, void (ApplicationManager::*changed)())
    {
        if (member == value)
            return;
        member = value;
        emit (this->*changed)();
    }

    // Makes c + 1 the programme source and logs the cut when a take runs.
    void switchToSource(int sourceId);
    // A source the programme can switch to: channels 1-4, and the cameras of linked followers.
    bool isProgrammeSource(int sourceId) const;

    // A take in two steps (ApplicationManagerRecording.cpp): its folder and files opened, then
    // started; a studio take (`plan`) is opened ahead of its instant, which names its timecode.
    // False, with the recording error set, when it cannot be opened.
    bool openTake(const StudioTakePlan *studio);
    void beginTake(qint64 startNs);
    // Closes and removes the files of a take opened that will not start.
    void discardOpenedTake();
    // Ends the take now: every file finalised, the timeline written.
    void finishTake();

    // The studio (ApplicationManagerStudio.cpp).
    friend class ManagerStudioRecorder;
    void startStudioTake();
    // The take that just finished, told to the leader or follower side of a studio take.
    void noteStudioTakeFinished(const TakeReport &report);
    void showStudioArming(bool armed, int secondsLeft);
    // Every follower's report is in: the studio timelines, every machine's angles.
    void writeStudioTimelines();

    // Logs and refuses a channel id outside 1..4 given to a routing operation.
    bool acceptChannel(int channelId, const char *operation) const;
    void stopChannelCamera(int channelId);
    // What the channel's camera was asked for; the defaults when it has none.
    ChannelCameraConfig cameraConfigOf(int channelId) const;
    void removeChannelAudioInput(int channelId);
    void openChannelAudioInput(int channelId, const QString &deviceName);
    // A channel's input was lost or is back: the strip, the phone and the banner's warning.
    void publishAudioInputState(int channelId);
    // The device of a channel's saved input appeared: the input opens.
    void startWaitingAudioInput(int channelId);
    void openMonitorOutput();
    void finishBenchmark(const BenchmarkRecommendation &recommendation);

    // Stores a changed recording setting, announces it and has it saved.
    template <typename T>
    void setRecordingSetting(T RecordingSettings::*field, const T &value, void (ApplicationManager::*changed)())
    {
        if (m_recording.*field == value)
            return;
        m_recording.*field = value;
        emit (this->*changed)();
        emit recordingSettingsChanged();
        m_persistence.changed();
    }
    // The set-up as it is now, for saving.
    void collectSetup(RecordingSettings *recording, StudioSetup *studio) const;
    // Something of the studio set-up changed: saved shortly.
    void studioSetupChanged() { m_persistence.changed(); }

    // Recording helpers.
    // The mode a channel records its camera in (its own, or the default).
    CameraRecordingMode cameraRecordingModeOf(const ChannelState &channel) const;
    // Tells the channel's camera whether to keep its compressed pictures as they come.
    void applyCameraRecordingMode(ChannelState &channel);
    // The codec of the camera's own stream when the channel records it as it comes.
    std::optional<PixelFormat> recordedCameraStream(const ChannelState &channel) const;
    // recordingEncoderIndex, or the last entry when it points past the encoder list.
    int effectiveEncoderIndex() const;
    TakeEncoderChoice encoderChoice() const;
    // The running cameras as a take sees them.
    QList<TakeCamera> takeCameras() const;
    // Opens the encoder of a camera that starts with the take or joins it; null (logged) when
    // it does not open.
    std::shared_ptr<IEncoder> openCameraEncoder(int channelId, const EncoderConfig &config);
    // A camera that came on while a take runs joins it (when its channel records its camera).
    void joinRunningTake(int channelId);
    // A waited-for camera appeared: it starts as it was saved.
    void startWaitingCamera(int channelId);
    void appendTakeAudio();
    // Some channel has a running audio input.
    bool hasAudioInput() const;
    void noteAudioParts(const TakeReport &report);
    void noteTakeFileLengths(const TakeReport &report);
    void stopOnRecordingFailure();
    // The take's failure; the timeline's failure is kept apart (setTimelineError).
    void setRecordingError(const LocalisedText &error);
    void setTimelineError(const LocalisedText &error);
    void setRecordingWarning(const LocalisedText &warning);
    // The take folder could not be made: why, in the system's words.
    static QString folderCreationError(const QString &folder);
    // The file a take's failure names.
    QString failedFilePath(const TakeFailure &failure) const;
    // lastTakeSummary of a take that just finished.
    QVariantMap summariseTake(const TakeReport &report, bool hasTimeline) const;
    // The take's journal: opened once its files are, closed at stop.
    void openCutJournal();
    // At stop: the journal ends, and the switches and markers the timelines are written from
    // are what reached it (when every line did).
    void closeCutJournal(qint64 durationMs);
    void announceRecoveredTake(const TakeRecoveryOutcome &outcome);
    // What the disk watch needs to know of the take now.
    DiskUse diskUse() const;
    // What a take writes per second by the settings: the running cameras at the bitrate, the
    // master and every separate channel track as WAV.
    double expectedTakeRate() const;
    // What a camera of this size writes per second re-encoded with the settings, in kbit/s.
    int reencodedKbps(QSize cameraSize) const;
    void cancelBenchmark();
    qint64 takeBytesWritten() const;
    qint64 takeDroppedFrames() const;

    // Camera health (ApplicationManagerCameraHealth.cpp; the watching is CameraWatch's).
    // The camera's state and format to the channel model, and channelCameraStateChanged.
    void publishCameraStatus(int channelId);
    QString takeTimeText() const;
    qint64 takeRepeatedFrames() const;
    // The channel's camera figures of the running take, or of the last one.
    TakeCameraFigures takeFiguresOf(int channelId) const;
    void publishCameraHealth();
    LocalisedText cameraTroubleOf(int channelId, const TakeCameraFigures &figures) const;
    // At the end of a take: each camera's figures, logged and kept for
    // getCameraHealthForChannel().
    void recordTakeCameraFigures(const TakeReport &report);

    QString m_currentLanguage = QStringLiteral("EN");
    bool m_isRecording = false;
    bool m_isArming = false;
    int m_countdownSeconds = 3;
    QString m_timecode = QStringLiteral("00:00:00:00");
    QString m_activeSessionName;
    QVariantList m_audioInputDevices;
    QString m_masterAudioDevice = QStringLiteral("Default system input");
    int m_activeSourceId = 1;
    QVariantList m_encoderCapabilities;
    QString m_hardwareGpuInfo = QStringLiteral("Detecting GPU...");
    QString m_hardwareCpuInfo = QStringLiteral("Detecting CPU...");
    QString m_hardwareSummary = QStringLiteral("Scanning hardware acceleration...");
    QString m_splashStatusText = QStringLiteral("Initializing...");
    QVariantList m_audioOutputDevices;
    QString m_masterAudioOutputDevice = QStringLiteral("Default system output");
    float m_masterAudioLevel = 0.0f;
    float m_masterAudioLevelRight = 0.0f;
    bool m_liveMonitoringEnabled = false;
    QString m_cpuUsage = QStringLiteral("CPU: 0%");
    QString m_ramUsage = QStringLiteral("RAM: 0 MB");
    // Why the take could not start or ended early, and apart from it why its timeline could
    // not be written (a timeline written again replaces only that part).
    LocalisedText m_recordingError;
    LocalisedText m_timelineError;
    LocalisedText m_recordingWarning;
    // Shown with it while a microphone of a running take is lost.
    LocalisedText m_audioInputWarning;

    QTimer m_timecodeTimer;
    QTimer m_metricsTimer;
    QTimer m_audioTickTimer;
    QTimer m_countdownTimer;

    QTime m_recordStartTime;
    qint64 m_recordStartNs = 0;
    QList<TimelineCut> m_timelineCuts;
    QList<TimelineMarker> m_takeMarkers;
    QString m_lastMarkerText;
    bool m_takeHasBroadcastWav = false; // the running (or last) take's WAV files carry its timecode
    CutJournal m_journal;               // while recording
    TakeRecoveryRun m_recovery;
    QStringList m_recoveredTakes;       // take folder names rebuilt at start

    // The running (or last) take.
    QString m_currentTakeFolder;
    QString m_startTimecode = QStringLiteral("00:00:00:00");
    QString m_masterWavPath;
    // Where the running (or last) take went and what each of its files is written with.
    TakePlan m_takePlan;
    // Cameras that joined the running (or last) take: the take's frame their file begins with.
    std::map<int, qint64> m_videoStartFrames;
    std::map<int, QString> m_videoPaths;
    std::map<int, QString> m_isoAudioPaths;
    // Audio tracks of the last take that went on in parts, keyed by their first file.
    std::map<QString, QList<TimelineAudioPart>> m_audioParts;
    // How long each file of the last take is, as written (by path).
    std::map<QString, TimelineFileMeasure> m_takeFileLengths;
    std::unique_ptr<TakeRecorder> m_take; // while recording
    quint32 m_audioPartLimitBytes = 0;
    qint64 m_lastTakeDurationMs = 0;
    EncoderFactory m_encoderFactory;

    // Figures of the running take for the read-outs and the performance log.
    struct TakeStats
    {
        qint64 lastSampleNs = 0;
        qint64 lastFramesSent = 0;
        qint64 lastBytesWritten = 0;
        qint64 droppedFrames = 0;   // of the take's encoders once it stopped
        qint64 repeatedFrames = 0;  // of the finished take
        qint64 droppedLogged = 0;   // the count last written to the log
        qint64 repeatedLogged = 0;  // the count last written to the log
    };
    TakeStats m_takeStats;
    // One row per second of every take.
    PerformanceLog m_perfLog;


    bool m_isCapturingKeybind = false;
    std::array<int, 4> m_sourceKeys = {0x31, 0x32, 0x33, 0x34}; // the keys 1..4; 0 = none
    int m_markerKey = Qt::Key_M; // 0 = none

    // No reading before the first measurement: a start value would pass for one.
    double m_currentFps = 0.0;
    int m_measuredCameraCount = 0;
    int m_droppedFrames = 0;
    int m_repeatedFrames = 0;
    double m_diskWriteSpeedMBs = 0.0;

    // Every recording setting; kept in step with the store by m_persistence.
    RecordingSettings m_recording;
    SetupPersistence m_persistence;

    QString m_benchmarkSummary;
    int m_recommendedResolutionIndex = 2;
    int m_recommendedFramerateIndex = 8;
    int m_recommendedEncoderIndex = 0;
    int m_recommendedQualityIndex = 2;
    // The summary a cancelled run gives back.
    QString m_benchmarkSummaryBeforeRun;
    EncoderBenchmarkRun m_benchmark;

    QPointer<InputChannelsModel> m_channelsModel;

    // Each channel's camera, audio input and what is known about them.
    ChannelStates m_channels;

    // Holds plain pointers to the captures above; declared after them so it goes first.
    AudioMixer m_mixer;
    MixerOutput m_mixerOutput;
    MonitorOutput m_monitor;


    // Looks after the running cameras (lost, back) every half second.
    CameraWatch m_cameraWatch;
    // Looks after the audio inputs' devices (lost, back) four times a second.
    AudioInputWatch m_audioInputWatch;
    // The recording disk: read once a second, never on the audio or frame ticks.
    DiskWatch m_diskWatch;

    QVariantMap m_lastTakeSummary;

    // A take opened ahead of its instant (a studio take) and its plan, moved to m_take and
    // m_takePlan when it starts.
    std::unique_ptr<TakeRecorder> m_openedTake;
    TakePlan m_openedPlan;
    // The plan of the opened or running studio take.
    std::optional<StudioTakePlan> m_studioPlan;
    // What the studio asks of this recorder, and the studio; the session goes first.
    std::unique_ptr<ManagerStudioRecorder> m_studioRecorder;
    std::unique_ptr<StudioSession> m_studio;

    // CPU time of this process at the previous metrics update, for the CPU share.
    qint64 m_lastCpuTimeNs = -1;
    qint64 m_lastCpuSampleNs = 0;
};
