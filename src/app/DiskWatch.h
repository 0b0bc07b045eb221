// DiskWatch: the recording disk. Once a second it reads the free space where the take goes,
// works out how long a take can still run there (at the measured write rate while one runs,
// at the settings' rate before) and holds it against the limits: REC ALL is refused on a
// nearly full disk, a running take is warned once when little time is left and stopped
// cleanly above the reserve, so its files can still be completed. Never read on the 25 ms or
// 33 ms ticks: a file system query can take a while on a network or USB disk.
//
// The manager owns it, tells it what the take is doing through the probe it was given, and
// acts on its signals. GUI thread only.
#pragma once

#include "app/DiskSpace.h"
#include "app/RecordingProblems.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

// What the watch needs to know of the take at each check.
struct DiskUse
{
    bool isRecording = false;
    // The running take's folder, or the recording folder between takes.
    QString folder;
    // While recording: the take's clock and what its files hold.
    qint64 takeNowNs = 0;
    qint64 takeBytesWritten = 0;
    // What a take writes per second by the settings (the rate before any measurement).
    double expectedBytesPerSecond = 0.0;
};

class DiskWatch : public QObject
{
    Q_OBJECT

public:
    using UseProbe = std::function<DiskUse()>;
    // Free bytes at a path; -1 unknown. Tests give a smaller disk or one that fills up.
    using FreeSpaceProbe = std::function<qint64(const QString &path)>;

    explicit DiskWatch(UseProbe use, QObject *parent = nullptr);

    void start();
    void stop();

    void setLimits(const DiskSpaceLimits &limits) { m_limits = limits; }
    const DiskSpaceLimits &limits() const { return m_limits; }
    void setFreeSpaceProbe(FreeSpaceProbe probe) { m_freeSpaceProbe = std::move(probe); }

    // The last reading: free bytes (-1 unknown), seconds of recording left (-1 unknown), and
    // the read-out's level.
    qint64 freeBytes() const { return m_freeBytes; }
    qint64 secondsLeft() const { return m_secondsLeft; }
    DiskSpaceLevel level() const { return m_level; }

    // Why REC ALL may not start in `folder`; empty when it may. Reads the disk first, so the
    // read-out shows what the refusal is about.
    LocalisedText refusalToStart(const QString &folder);
    // A take has started: its warning is not given yet and its write rate is measured anew.
    void takeStarted();

public slots:
    // Reads the free space now and acts on it (the timer does it once a second).
    void check();

signals:
    // freeBytes, secondsLeft or level changed.
    void changed();
    // The running take must stop now: the disk is down to its reserve.
    void reserveReached(const QString &folder, qint64 freeBytes);
    // The running take has less than the critical time left (said once per take).
    void runningOutOfSpace(const QString &folder, qint64 seconds);

private:
    qint64 freeBytesAt(const QString &path) const;

    UseProbe m_use;
    QTimer m_timer;
    DiskSpaceLimits m_limits;
    FreeSpaceProbe m_freeSpaceProbe;
    WriteRateMeter m_writeRate;
    qint64 m_freeBytes = -1;
    qint64 m_secondsLeft = -1;
    DiskSpaceLevel m_level = DiskSpaceLevel::Unknown;
    bool m_isWarningGiven = false; // in the running take
};
