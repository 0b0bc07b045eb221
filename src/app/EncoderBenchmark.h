// The hardware benchmark's decision: from what encoding real frames with each usable encoder
// cost on this machine, the recording settings to recommend and the text that explains them.
// The caller runs the encoders (a second or two of test frames each) and fills one
// EncoderMeasurement per encoder entry; everything here is pure.
//
// Model: encoding cost grows with the pixel count, so a channel of W x H at F frames per second
// costs F * (W * H) / (measured W * H) times the measured per-frame cost. A software encoder is
// limited by the CPU: the process's CPU time per frame, times the frames per second of all
// channels, must stay within cpuShare of the threads this process can run. A hardware encoder
// also has to keep up on its own engine: its wall-clock time per frame (frames submitted back
// to back) times the frames per second must stay within deviceShare of one second.
//
// Indices follow the settings window's lists:
//   resolution  0 "3840x2160 (4K UHD)" ... 2 "1920x1080 (1080p FHD)", 3 "1280x720 (720p HD)",
//               4 "640x480 (SD)"
//   frame rate  the window's eleven entries: 4 "30.00 fps (Standard Web/Streaming)",
//               8 "60.00 fps (60p High Framerate)"
//   encoder     a position in encoderCapabilities
//   quality     0 "Low (4 Mbps ...)", 1 "Medium (8 Mbps ...)", 2 "High (16 Mbps ...)"
#pragma once


#include <QList>
#include <QString>

struct EncoderMeasurement
{
    // Position of the entry in encoderCapabilities, its display name, codec and kind.
    int encoderIndex = -1;
    QString name;
    QString codec;
    bool isHardware = false;
    // False when the encoder did not open or failed before the last frame; errorText says why.
    bool succeeded = false;
    QString errorText;
    // Size of the test frames.
    int width = 1920;
    int height = 1080;
    // Frames encoded, from the first frame sent to the last packet received (flushed).
    int frames = 0;
    // Wall-clock time of that span.
    double wallMs = 0.0;
    // CPU time of the whole process (every thread) over the same span, colour conversion
    // included.
    double cpuMs = 0.0;
};

struct BenchmarkPlan
{
    // Channels that record at once.
    int channels = 4;
    // Threads this process can run at once (QThread::idealThreadCount()).
    int threads = 1;
    // Share of all threads the encoders may take; the rest is left for capture, picture
    // conversion, preview and audio.
    double cpuShare = 0.8;
    // Share of a hardware engine's time the encoders may take.
    double deviceShare = 0.9;
};

struct BenchmarkRecommendation
{
    // False when no encoder could be measured: the indices are the defaults then.
    bool hasMeasurement = false;
    // True when the recommended settings fit within the plan's shares; false when even the
    // smallest settings do not, and the indices name the smallest with the cheapest encoder.
    bool isSustainable = false;
    int resolutionIndex = 2;
    // Entry of the settings window's frame-rate list.
    int framerateIndex = 8;
    int encoderIndex = 0;
    int qualityIndex = 2;
    // The CPU share and engine share the recommended settings use.
    double cpuLoad = 0.0;
    double deviceLoad = 0.0;
    QString summary;
};

// The recommendation for these measurements. Candidate settings, best first: 1080p60,
// 1080p30, 720p60, 720p30, 640x480 at 30. The first one that some measured encoder sustains
// is taken, with the encoder that sustains it at the least cost: hardware before software,
// H.264 before HEVC, then the lower CPU load. Quality follows the resolution: High for 1080p,
// Medium for 720p, Low for 640x480.
//
// summary, lines joined by "\n":
//   "Hardware baseline optimal for <1080p60|1080p30|720p60|720p30|480p30> <encoder name>
//    (<n> channels, <load>)", or, when nothing fits, "Hardware below baseline: 480p30
//    <encoder name> (<n> channels, needs <load>)", or without any measurement
//    "Benchmark failed: no encoder could encode test frames";
//   then one line per measurement: "<name>: <cpu> ms CPU, <wall> ms per <W>x<H> frame" or
//   "<name>: failed (<error>)".
// <load> is "<n>% CPU", for a hardware encoder "<n>% CPU, <m>% engine".
BenchmarkRecommendation recommendSettings(const QList<EncoderMeasurement> &measurements,
                                          const BenchmarkPlan &plan);
