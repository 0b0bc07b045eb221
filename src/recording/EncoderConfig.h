// EncoderConfig: the settings one video encoder is opened with. A plain record, filled by the
// application manager on the GUI thread and passed by reference to IEncoder::open().
#pragma once

#include "capture/Picture.h"
#include "recording/RecordingContainer.h"

#include <QString>

#include <optional>

// How libx264 spreads one file's work: `threads` threads, working on frames in parallel, or
// on slices of one frame with `slices`.
struct SoftwareThreading
{
    int threads = 1;
    bool slices = false;
    bool operator==(const SoftwareThreading &other) const = default;
};

// The threading for one of `cameras` files encoded at once on `cores` cores: frame threads
// while there are cores to spare for each file, else one thread per file (bench_cameras
// measures the choices).
SoftwareThreading softwareThreadingFor(int cameras, int cores);

struct EncoderConfig
{
    // The file to create (replaced when it exists); its extension is the caller's business.
    QString outputPath;
    // The file format. Every container gets the same frames, times and colour tags; only how
    // often the file is made safe on disk and where the timecode goes differ (FfmpegEncoder.h).
    RecordingContainer container = RecordingContainer::Mp4;
    // Encoded size in pixels. 4:2:0 needs even sizes: an odd one is rounded down.
    int width = 0;
    int height = 0;
    // Frame rate; rates near the broadcast ones are written as their exact fractions
    // (29.97 as 30000/1001, see FrameRate.h).
    double fps = 30.0;
    int targetBitrateKbps = 10000;
    // Peak bitrate for rateControl 1. A peak below the target is raised to the target.
    int maxBitrateKbps = 12000;
    // 0 constant bitrate, 1 peak-constrained variable bitrate, 2 constant quality.
    int rateControl = 0;
    // rateControl 2: the encoder's quality scale, lower is better (libx264/libx265 CRF,
    // the quantiser of the hardware encoders). 20 is visually near-lossless for camera video.
    int quality = 20;
    int keyframeIntervalSeconds = 2;
    // B-frames between reference frames.
    int bFrames = 2;
    // "Rec.709 (SDR Standard)", "Rec.2020 (HDR)" or "sRGB"; any other text leaves the colour
    // description of the file unset.
    QString colorSpace = QStringLiteral("Rec.709 (SDR Standard)");
    // false: H.264, true: HEVC. Decides the codec only when encoderName is empty.
    bool useHevc = false;
    // FFmpeg encoder to use: "libx264", "libx265", "h264_nvenc", "hevc_nvenc", "h264_vaapi",
    // "hevc_vaapi", "h264_qsv", "hevc_qsv". Empty: the software encoder of useHevc's codec.
    // A hardware encoder that does not open falls back to the software one of its codec.
    QString encoderName;
    // Files the take encodes at once: with the machine's cores it decides libx264's threads.
    int camerasInTake = 1;
    // libx264's threading, when set, instead of softwareThreadingFor() (benchmarks).
    std::optional<SoftwareThreading> softwareThreading;
    // Set (Mjpeg or H264): the camera's own compressed pictures are written as they come, at
    // their own size, without decoding or encoding; the encoder settings above do not apply.
    std::optional<PixelFormat> cameraStream;
    // Start timecode of the take, "HH:mm:ss:ff" (";" before the frames for drop-frame),
    // written as the file's timecode (a tmcd track in MP4 and MOV, a tag in Matroska; MPEG-TS
    // keeps none). Empty: no timecode.
    QString startTimecode;
};
