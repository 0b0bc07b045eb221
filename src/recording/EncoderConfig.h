// EncoderConfig: the settings one video encoder is opened with. A plain record, filled by the
// take's set-up on the GUI thread and passed by reference to IEncoder::open(). How each field
// reaches each encoder family (and what a family cannot honour) is EncoderSetup.h's business.
#pragma once

#include "capture/Picture.h"
#include "recording/FrameRate.h"
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
    // Rate control modes.
    static constexpr int kConstantBitrate = 0;
    static constexpr int kVariableBitrate = 1;   // peak-constrained: maxBitrateKbps is the peak
    static constexpr int kConstantQuality = 2;   // a fixed quantiser: `quality`
    static constexpr int kLossless = 3;

    // The file to create (replaced when it exists); its extension is the caller's business.
    QString outputPath;
    // The file format. Every container gets the same frames, times and colour tags; only how
    // often the file is made safe on disk and where the timecode goes differ (FfmpegEncoder.h).
    RecordingContainer container = RecordingContainer::Mp4;
    // Encoded size in pixels; a picture of another size is scaled into it, its aspect ratio
    // kept. 4:2:0 needs even sizes: an odd one is rounded down.
    int width = 0;
    int height = 0;
    // The take's exact rate: frame i is shown at i / frameRate.
    FrameRate frameRate;
    int targetBitrateKbps = 10000;
    // Peak bitrate for rateControl 1. A peak below the target is raised to the target.
    int maxBitrateKbps = 12000;
    // One of the rate control modes above.
    int rateControl = kConstantBitrate;
    // kConstantQuality: the quantiser, 1 (best) to 51, as every H.264/HEVC encoder counts it.
    int quality = 20;
    int keyframeIntervalSeconds = 2;
    // B-frames between reference frames.
    int bFrames = 2;
    // "Baseline", "Main" or "High"; empty: the encoder's own choice.
    QString profile;
    // Look ahead of the rate control (about two thirds of a second), where the encoder can.
    bool lookahead = false;
    // How hard a hardware encoder works for quality at the bitrate: 0 its fastest setting ...
    // 3 its slower, better ones (EncoderSetup.h has the table). Software encoders always run
    // their fastest preset, so four cameras encode in real time on the processor.
    int effort = 0;
    // "Rec.601", "Rec.709", "Rec.2020" (the settings window's names) or "Rec.709 (SDR
    // Standard)", "Rec.2020 (HDR)", "sRGB"; any other text leaves the colour description of the
    // file unset. The pictures are converted with the matrix the file is labelled with.
    QString colorSpace = QStringLiteral("Rec.709 (SDR Standard)");
    // Full range (0-255) instead of limited (16-235), in the pixels and in the file's label.
    bool fullRange = false;
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
