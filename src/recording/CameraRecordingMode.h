// CameraRecordingMode: how a channel's camera goes into its file. Re-encoded: its pictures are
// decoded and encoded again with the recording settings (H.264 or HEVC at the set bitrate).
// Camera stream: what an MJPEG or H.264 camera sends is written as it comes, without decoding
// or encoding it (far less CPU, far more disk for MJPEG); a camera that sends raw pictures is
// re-encoded whatever its mode. Pure values and functions, any thread.
#pragma once

#include "capture/Picture.h"
#include "recording/RecordingContainer.h"

#include <QString>
#include <QtGlobal>

#include <optional>

enum class CameraRecordingMode { Reencode, CameraStream };

// "reencode" and "camera": what the settings store and the interface pass.
QString cameraRecordingModeKey(CameraRecordingMode mode);
std::optional<CameraRecordingMode> cameraRecordingModeFromKey(const QString &key);

// The file a camera's own stream goes into: MJPEG into Matroska when that is the take's
// format, else into MOV (MP4 and MPEG-TS hold no MJPEG an editor reads); H.264 into the take's
// format (MP4 unless another was chosen).
RecordingContainer cameraStreamContainer(PixelFormat codec, RecordingContainer takeContainer);

// Bytes a camera writes per hour at a bitrate in kbit/s (re-encoded).
double encodedBytesPerSecond(int bitrateKbps);
// "about 21.6 GB per hour" ("oko 21,6 GB na sat" in Serbian, language "SR"); "unknown" when
// the rate is not known yet.
QString diskPerHourText(double bytesPerSecond, const QString &language);

// What a 1080p30 MJPEG webcam sends, for estimates before a camera has been measured:
// about 200 KB per picture.
constexpr double kTypicalMjpegBytesPerSecond = 200.0 * 1024 * 30;
