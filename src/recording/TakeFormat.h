// TakeFormat: what a take records each camera as, from the recording settings: the take's
// rate, each camera's recorded size and the encoder configuration. Pure functions; the take's
// set-up calls them when a take starts, the settings window to say what the next take does.
//
// Quality Preset and the advanced grid: with Advanced off the preset decides (its bitrate at
// constant bitrate, or lossless; key frames every 2 s, 2 B-frames, High profile, no
// look-ahead, Rec.709 limited range). With Advanced on the grid decides everything it shows;
// the preset still sets how hard a hardware encoder works (EncoderConfig::effort).
#pragma once

#include "recording/EncoderConfig.h"
#include "recording/FrameRate.h"
#include "recording/RecordingSettings.h"

#include <QList>
#include <QSize>

namespace TakeFormat {

// The take's rate: the chosen entry's exact rate. "Auto": the fastest of the cameras' rates
// (as its broadcast fraction, 29.97 → 30000/1001); 30 fps when no camera runs. An entry that
// does not exist records at 30 fps.
FrameRate frameRateFor(const RecordingSettings &settings, const QList<double> &cameraRates);

// The master recording resolution; 1920x1080 for an entry that does not exist.
QSize masterSize(const RecordingSettings &settings);

// The size a camera is recorded at: its own size fitted into `master` with its aspect ratio
// kept, never enlarged (a camera smaller than the master stays at its own size), rounded down
// to even numbers for 4:2:0. A camera that has not said its size yet is recorded at `master`.
QSize recordedSize(QSize camera, QSize master);

// The encoder configuration of a camera of `cameraSize` in a take at `rate`: size, rate,
// rate control, bitrates, key frames, B-frames, profile, look-ahead, effort and colour. The
// caller adds the file, the container, the encoder and the timecode.
EncoderConfig encoderConfigFor(const RecordingSettings &settings, QSize cameraSize, FrameRate rate);

} // namespace TakeFormat
