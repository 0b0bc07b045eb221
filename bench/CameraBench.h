// What bench_cameras and bench_longtake share: the process's CPU time and resident memory,
// files counted back by libavformat, the ffmpeg command line run as child processes, and one
// take of the program from simulated USB webcams (the real V4L2 code against cameras at the
// kernel boundary), with live previews as the interface has them.
#pragma once

#include "SimulatedPictures.h"

#include <QByteArray>
#include <QDir>
#include <QList>
#include <QString>

#include <memory>
#include <vector>

namespace bench {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kFps = 30;
constexpr int kTargetKbps = 16000; // the recording default

double processCpuSeconds();
double threadCpuSeconds();
// Resident memory now, and the peak since the last resetPeakResidentBytes().
qint64 residentBytes();
qint64 peakResidentBytes();
void resetPeakResidentBytes();
// The allocator tuning the program applies at start (common/MemoryTuning).
void tuneAllocatorLikeTheProgram();

// Video packets in a file, read back by libavformat; -1 when it does not open.
qint64 countVideoPackets(const QString &path);

// Starts every command at once and waits for all; CPU time is the children's own (wait4),
// the peak memory the largest child's. False when one could not run or failed.
bool runChildren(const std::vector<std::vector<QByteArray>> &commands, double *cpuSeconds, double *wallSeconds,
                 qint64 *peakChildBytes = nullptr);

// N distinct 1080p pictures of a drifting landscape with sensor noise, as a webcam's MJPEG at
// the quantiser (also written one after another to `file`, for the command line).
std::vector<QByteArray> naturalSceneMjpeg(int count, int quantiser, const QString &file);

struct TakeSetup
{
    int cameras = 1;
    int seconds = 60;
    // "reencode" or "camera": how the channels record their cameras.
    QString mode = QStringLiteral("reencode");
    // Live video items per channel at this size (0: none), as the monitoring grid has them.
    int previewWidth = 0;
    int previewHeight = 0;
    // The cameras' pictures against the frame slots, in frames (below 0: wherever it falls).
    double phase = -1.0;
    // How long after its time stamp a buffer is handed over (a UVC camera: a frame period).
    qint64 handOverNs = 1'000'000'000 / kFps;
    std::shared_ptr<SimulatedPictures> pictures;
    QString folder;
    // Resident memory is sampled this often while the take runs.
    int memorySampleSeconds = 10;
};

struct TakeResult
{
    int cameras = 0;
    double cpuSeconds = 0;
    double wallSeconds = 0;
    qint64 frames = 0;   // in the files, all cameras
    qint64 dropped = 0;
    qint64 repeated = 0;
    qint64 skipped = 0;
    double latencyMs = 0; // the largest camera's hand-over latency
    bool complete = false; // every file has its frames, nothing dropped or repeated
    qint64 peakBytes = 0;
    QList<std::pair<int, qint64>> residentOverTime; // seconds into the take, bytes
    QString detail;
};

// Records one take with the program and reads its files back.
TakeResult recordTake(const TakeSetup &setup);

// "12.3 ms", "45 %", "812 MB": the figures' formats.
QString megabytes(qint64 bytes);

} // namespace bench
