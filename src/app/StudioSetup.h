// StudioSetup: how the studio is set up, as one value that survives a restart: per channel
// its camera (device key, format, flip, name, recording mode), audio input with its trim and
// low cut, fader, mute, solo, separate track and camera link; the hotkeys of sources 1-4 and
// of the marker; the master fader. The application manager fills it from its channels when
// the set-up changes, saves it, and applies it at start; the recording settings have their
// own store (RecordingSettings).
//
// The store is a group "Studio" of the application's settings, one sub-group per channel.
// Adding a setting: a member here, one line in each of StudioSetupStore's read and write
// (StudioSetup.cpp); a key missing from an older file keeps the member's default.
//
// GUI thread only (QSettings). Reading never fails: what cannot be read keeps its default and
// is named in one log line.
#pragma once

#include "common/ChannelRange.h"

#include <QSettings>
#include <QString>

#include <array>

struct ChannelSetup
{
    // --- camera; none when cameraKey is empty ---
    QString cameraKey;   // the device key (a /dev/v4l/by-id link, a built-in pattern's key)
    QString cameraName;  // the device's name when it was chosen, for "waiting for ..."
    int width = 1920;
    int height = 1080;
    double fps = 30.0;
    QString formatName;  // pixel format asked for ("MJPEG", "YUY2"); empty: the camera's choice
    QString colorRange = QStringLiteral("Default");
    bool isFlipped = false;
    bool isCameraRecorded = true; // the tile's STORE box
    QString recordingMode; // "reencode" or "camera"; empty: the recording settings' default
    QString channelName; // the tile's name; empty: "CAM n"

    // --- audio ---
    QString audioInput;  // empty: none
    float fader = 1.0f;  // the strip's fader position, 0..1
    bool isMuted = false;
    bool isSolo = false;
    bool isSeparateAudio = false;
    int cameraLink = 0;  // 0: none
    float trimDb = 0.0f; // the input's gain trim, -20..+20 dB
    bool isLowCut = false;

    bool hasCamera() const { return !cameraKey.isEmpty(); }
    friend bool operator==(const ChannelSetup &, const ChannelSetup &) = default;
};

struct StudioSetup
{
    std::array<ChannelSetup, ChannelRange::kLast - ChannelRange::kFirst + 1> channels;
    std::array<int, 4> sourceKeys = {0x31, 0x32, 0x33, 0x34}; // the keys 1..4; 0 = none
    int markerKey = 0x4d; // M; 0 = none
    float masterFader = 1.0f;

    ChannelSetup &channel(int channelId) { return channels[size_t(channelId - ChannelRange::kFirst)]; }
    const ChannelSetup &channel(int channelId) const { return channels[size_t(channelId - ChannelRange::kFirst)]; }
    friend bool operator==(const StudioSetup &, const StudioSetup &) = default;
};

namespace StudioSetupStore {

// False when no set-up was ever saved (a first start): nothing to restore.
bool hasSavedSetup(QSettings &settings);
StudioSetup load(QSettings &settings);
// Writes every key; false (and a warning) when the store could not be written.
bool save(QSettings &settings, const StudioSetup &setup);

} // namespace StudioSetupStore
