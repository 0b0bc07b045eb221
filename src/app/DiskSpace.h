// Disk space of the recording folder and how long a take can still run on it: the limits a
// take is held to, the arithmetic of the time left and the measured write rate. Everything
// here is pure except freeBytesOf(), which asks the file system.
//
// Threads: GUI thread (the manager's once-a-second disk check and its start of a take).
#pragma once

#include <QString>

#include <deque>
#include <utility>

struct DiskSpaceLimits
{
    // REC ALL refuses under either: a take that cannot run two minutes is no take.
    qint64 minFreeToStartBytes = qint64(1) << 30;
    qint64 minSecondsToStart = 120;
    // A running take stops by itself when the free space falls under this, so finalising
    // every file (the encoders' queued frames, the WAV headers) and writing the timeline fit.
    qint64 reserveBytes = qint64(64) << 20;
    // Under this much time left the read-out turns red and a running take warns once.
    qint64 criticalSeconds = 5 * 60;
    // Under this much the read-out turns amber.
    qint64 lowSeconds = 15 * 60;
};

enum class DiskSpaceLevel { Unknown, Ok, Low, Critical };

// "unknown", "ok", "low", "critical": the names the interface reads.
const char *diskSpaceLevelName(DiskSpaceLevel level);

// Free bytes for an unprivileged writer on the file system that holds `path`, or that would
// hold it once created (the nearest existing folder above it answers); -1 when unknown.
qint64 freeBytesOf(const QString &path);

// Seconds the free space above the reserve lasts at `bytesPerSecond`; 0 when it is already
// under the reserve; -1 when the free space or the rate is unknown.
qint64 secondsLeft(qint64 freeBytes, qint64 reserveBytes, double bytesPerSecond);

// What a take writes per second, by the settings: each camera at the video bitrate, each WAV
// file as 16-bit PCM.
double expectedTakeBytesPerSecond(int cameras, int videoBitrateKbps, int wavFiles, int sampleRate,
                                  int audioChannels);

// Why REC ALL would not start with this much space and time; None when it may.
enum class StartRefusal { None, TooLittleSpace, TooLittleTime };
StartRefusal startRefusal(qint64 freeBytes, qint64 seconds, const DiskSpaceLimits &limits);

// The read-out's colour. Idle, a disk REC ALL would refuse is critical; during a take only
// the time left (and the reserve) count.
DiskSpaceLevel diskSpaceLevel(qint64 freeBytes, qint64 seconds, bool isRecording, const DiskSpaceLimits &limits);

// The bytes a take wrote per second over about the last ten seconds.
class WriteRateMeter
{
public:
    void reset();
    void add(qint64 nowNs, qint64 totalBytes);
    // -1 until two seconds of samples lie behind it: the first second of a take, with the
    // encoders still filling their pipelines, says little.
    double bytesPerSecond() const;

private:
    std::deque<std::pair<qint64, qint64>> m_samples; // (time, total bytes), oldest first
};
