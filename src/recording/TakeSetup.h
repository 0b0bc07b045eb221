// TakeSetup: where the next take goes and what each of its files is written with. From the
// recording settings, the session name and the channels' running cameras it makes the take's
// folders and names, the take's rate and start timecode, one encoder configuration per camera
// (also for a camera that joins the running take), the Broadcast WAV description of every
// track, and at the end the timeline input from what was recorded. TakeRecorder then records
// what the plan says; the application manager only hands over the channels and logs.
//
// GUI thread only (it creates folders); no state besides the plan of the running take.
#pragma once

#include "recording/BroadcastWav.h"
#include "recording/EncoderConfig.h"
#include "recording/FrameRate.h"
#include "recording/RecordingContainer.h"
#include "recording/RecordingSettings.h"
#include "recording/TimelineCut.h"
#include "recording/TimelineExport.h"

#include <QDateTime>
#include <QList>
#include <QSize>
#include <QString>

#include <map>
#include <optional>

// A camera that runs when the take starts (or joins it).
struct TakeCamera
{
    int channelId = 0;
    QSize size;        // what it delivers; empty when it has not said yet
    double fps = 0.0;  // what it delivers, for the "Auto" rate
    // The camera's own compressed stream (MJPEG, H.264) when its channel records it as it
    // comes: its file then holds it at its own size, in a container that takes it.
    std::optional<PixelFormat> cameraStream;
};

// The encoder entry chosen in the settings, as the machine offers it.
struct TakeEncoderChoice
{
    QString name;    // "Software H.264", shown to the operator
    QString encoder; // FFmpeg encoder, "libx264"
    bool isHevc = false;
};

struct TakeRequest
{
    QString recordingPath;
    QString sessionName;
    QDateTime now;
    RecordingSettings settings;
    TakeEncoderChoice encoder;
    QList<TakeCamera> cameras;
};

struct TakePlan
{
    QString sessionFolderName; // "Session_2026-12-08"
    QString takeFolder;        // ".../Session_2026-12-08/Take_03"
    bool isTakeFolderMade = false;
    FrameRate rate;
    QDateTime startedAt;
    QString startTimecode;     // of the take's first frame
    RecordingContainer container = RecordingContainer::Mp4;
    bool isBroadcastWav = false;
    TakeEncoderChoice encoder;
    RecordingSettings settings;
    QString masterWavPath;
    // Each recorded camera's configuration, by channel id (one that joined the take too).
    std::map<int, EncoderConfig> cameras;
    // The files the take encodes at once (the cameras not recorded as they come): they share
    // the machine's cores.
    int encodedCameras = 1;

    QString channelWavPath(int channelId) const;
    // The Broadcast WAV chunk of a track ("master mix", "channel 2"); none while Broadcast WAV
    // is off. Its time reference is the instant the start timecode names, so the WAV files
    // line up with the video files' timecode track to the sample.
    std::optional<BroadcastWavInfo> broadcastInfo(const QString &track, int sampleRate) const;
    // The configuration of a camera that starts `startFrame` frames into the take (0 at the
    // start): its file, size and the timecode of its first frame.
    EncoderConfig cameraConfig(const TakeCamera &camera, qint64 startFrame = 0) const;
};

namespace TakeSetup {

// Makes the session and take folders (the next free Take_NN) and the plan of a take that
// starts now. isTakeFolderMade is false when the folder could not be made; the plan is whole
// either way, so the caller can say which file failed.
TakePlan prepare(const TakeRequest &request);

// What the recorded take gives the timeline writers.
struct RecordedTake
{
    qint64 durationMs = 0;
    std::map<int, QString> videoPaths;      // cameras with a file
    std::map<int, qint64> videoStartFrames; // cameras that joined the take, at this frame
    std::map<int, QString> isoAudioPaths;
    std::map<int, int> cameraLinks;
    QList<TimelineCut> cuts;
    std::map<QString, QList<TimelineAudioPart>> audioParts;
};
TimelineExportInput timelineInput(const TakePlan &plan, const QString &sessionName, const RecordedTake &take);
// The timelines' sequence: the size of the largest recorded camera (all fit the master
// resolution), the master resolution without any.
QSize sequenceSize(const TakePlan &plan, const std::map<int, QString> &videoPaths);

} // namespace TakeSetup
