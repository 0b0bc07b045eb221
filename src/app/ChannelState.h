// ChannelState: everything the manager keeps about one channel, in one place: its camera
// (what was asked for, the running source, why it would not open, its measured rate and its
// figures in the last take) and its audio (the input chosen, the running capture, its trim and
// low cut, whether it is lost, whether it gets a track of its own, the camera it belongs to in
// the timeline).
//
// ChannelStates holds the four channels, indexed by channel id (1..4). The manager owns it and
// reaches it from the GUI thread only; the mixer keeps plain pointers to the captures, which
// the manager detaches before it destroys one.
#pragma once

#include "app/ChannelCameraConfig.h"
#include "app/StudioSetup.h"
#include "capture/AudioCapture.h"
#include "capture/ISource.h"
#include "common/ChannelRange.h"
#include "recording/CameraRecordingMode.h"
#include "recording/TakeRecorder.h"

#include <QString>

#include <array>
#include <memory>
#include <optional>

// A channel's camera at the previous metrics update: which one (a replaced camera starts
// counting again), the pictures it had delivered then, and its rate since.
struct CameraRateSample
{
    const ISource *source = nullptr;
    quint64 pictures = 0;
    qint64 sampleNs = 0;
    double fps = -1.0; // -1: no reading yet
};

struct ChannelState
{
    explicit ChannelState(int channelId = ChannelRange::kFirst) : id(channelId) {}

    int id;

    // --- camera ---
    // What setCameraForChannel() was asked for; none since the camera was removed (or before
    // one was set).
    std::optional<ChannelCameraConfig> camera;
    // The running camera, shared for the length of one read; null when it has none.
    std::shared_ptr<ISource> source;
    // Why the last setCameraForChannel() could not open its camera.
    QString cameraStartError;
    // The saved camera of a channel whose device is not there yet: the channel waits for it
    // and starts it as saved when it appears. None once it runs or the operator chose another.
    std::optional<ChannelSetup> waitingCamera;
    // The picture is turned upside down.
    bool isFlipped = false;
    // The camera is recorded into its own file in a take.
    bool isCameraRecorded = true;
    CameraRateSample rate;
    // Frames, dropped and repeated frames in the last finished take.
    TakeCameraFigures lastTakeFigures;
    // How the camera goes into its file; none: the manager's default.
    std::optional<CameraRecordingMode> recordingMode;

    // --- audio ---
    // The input name last chosen, as given (also "None" and names that did not open).
    QString audioInputName;
    std::unique_ptr<AudioCapture> audioCapture;
    // Gain trim (dB) and the 80 Hz low cut: the channel's, kept when its input changes.
    float trimDb = 0.0f;
    bool isLowCut = false;
    // The input's device is gone (or reopened and not delivering yet), as last reported.
    bool isAudioLost = false;
    // The chosen input's device was not there when it was to open (an interface plugged in
    // after the start): it is opened as soon as the device appears.
    bool isAudioWaiting = false;
    // The channel's input gets a WAV track of its own in a take.
    bool isSeparateAudio = false;
    // The camera channel whose clip this channel's track belongs to in the timeline; 0: none.
    int cameraLink = 0;
};

class ChannelStates
{
public:
    ChannelStates()
    {
        for (int id = ChannelRange::kFirst; id <= ChannelRange::kLast; ++id)
            m_channels[size_t(id - ChannelRange::kFirst)].id = id;
    }

    // The channel with this id; null outside 1..4.
    ChannelState *find(int channelId)
    {
        return ChannelRange::contains(channelId) ? &m_channels[size_t(channelId - ChannelRange::kFirst)] : nullptr;
    }
    const ChannelState *find(int channelId) const
    {
        return ChannelRange::contains(channelId) ? &m_channels[size_t(channelId - ChannelRange::kFirst)] : nullptr;
    }

    // In channel order.
    auto begin() { return m_channels.begin(); }
    auto end() { return m_channels.end(); }
    auto begin() const { return m_channels.begin(); }
    auto end() const { return m_channels.end(); }

private:
    std::array<ChannelState, ChannelRange::kLast - ChannelRange::kFirst + 1> m_channels;
};
