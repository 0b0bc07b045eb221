#include "app/DiskSpace.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <cmath>

namespace {

constexpr qint64 kNsPerSecond = 1000000000;
// The window of the measured rate, and the span it needs before it says anything.
constexpr qint64 kRateWindowNs = 10 * kNsPerSecond;
constexpr qint64 kRateMinimumSpanNs = 2 * kNsPerSecond;

} // namespace

const char *diskSpaceLevelName(DiskSpaceLevel level)
{
    switch (level) {
    case DiskSpaceLevel::Ok: return "ok";
    case DiskSpaceLevel::Low: return "low";
    case DiskSpaceLevel::Critical: return "critical";
    case DiskSpaceLevel::Unknown: break;
    }
    return "unknown";
}

qint64 freeBytesOf(const QString &path)
{
    if (path.isEmpty())
        return -1;
    // The recording folder (or the session folder) may not exist yet: its parent will hold it.
    QString existing = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    while (!QFileInfo::exists(existing)) {
        const QString parent = QFileInfo(existing).path();
        if (parent == existing)
            return -1;
        existing = parent;
    }
    const QStorageInfo storage(existing);
    if (!storage.isValid() || !storage.isReady())
        return -1;
    return storage.bytesAvailable();
}

qint64 secondsLeft(qint64 freeBytes, qint64 reserveBytes, double bytesPerSecond)
{
    if (freeBytes < 0 || !(bytesPerSecond > 0.0))
        return -1;
    const qint64 usable = freeBytes - reserveBytes;
    if (usable <= 0)
        return 0;
    return qint64(std::floor(double(usable) / bytesPerSecond));
}

double expectedTakeBytesPerSecond(int cameras, int videoBitrateKbps, int wavFiles, int sampleRate,
                                  int audioChannels)
{
    const double video = double(qMax(0, cameras)) * qMax(0, videoBitrateKbps) * 1000.0 / 8.0;
    const double audio = double(qMax(0, wavFiles)) * qMax(0, sampleRate) * qMax(0, audioChannels) * 2.0;
    return video + audio;
}

StartRefusal startRefusal(qint64 freeBytes, qint64 seconds, const DiskSpaceLimits &limits)
{
    // An unknown figure never blocks a take: better a take than none over a failed query.
    if (freeBytes >= 0 && freeBytes < limits.minFreeToStartBytes)
        return StartRefusal::TooLittleSpace;
    if (seconds >= 0 && seconds < limits.minSecondsToStart)
        return StartRefusal::TooLittleTime;
    return StartRefusal::None;
}

DiskSpaceLevel diskSpaceLevel(qint64 freeBytes, qint64 seconds, bool isRecording, const DiskSpaceLimits &limits)
{
    if (freeBytes < 0)
        return DiskSpaceLevel::Unknown;
    if (freeBytes < limits.reserveBytes)
        return DiskSpaceLevel::Critical;
    if (!isRecording && startRefusal(freeBytes, seconds, limits) != StartRefusal::None)
        return DiskSpaceLevel::Critical;
    if (seconds >= 0 && seconds < limits.criticalSeconds)
        return DiskSpaceLevel::Critical;
    if (seconds >= 0 && seconds < limits.lowSeconds)
        return DiskSpaceLevel::Low;
    return DiskSpaceLevel::Ok;
}

void WriteRateMeter::reset()
{
    m_samples.clear();
}

void WriteRateMeter::add(qint64 nowNs, qint64 totalBytes)
{
    m_samples.emplace_back(nowNs, totalBytes);
    // Keep one sample at or beyond the window, so the span always covers the whole window.
    while (m_samples.size() > 2 && nowNs - m_samples[1].first >= kRateWindowNs)
        m_samples.pop_front();
}

double WriteRateMeter::bytesPerSecond() const
{
    if (m_samples.size() < 2)
        return -1.0;
    const auto &[firstNs, firstBytes] = m_samples.front();
    const auto &[lastNs, lastBytes] = m_samples.back();
    if (lastNs - firstNs < kRateMinimumSpanNs)
        return -1.0;
    return double(qMax<qint64>(0, lastBytes - firstBytes)) * double(kNsPerSecond) / double(lastNs - firstNs);
}
