// TakeRecoveryRun: rebuilds the timelines of the takes that ended in a crash, on a thread of
// its own, so that measuring long files never holds up the window or a new take.
//
// Threads: start(), wait() and the destructor run on the GUI thread. The thread
// "TakeRecovery" rebuilds one take after the other (rebuildTakeFromJournal, writeTimeline),
// logs what it found and did, and hands each outcome to `done` through a queued call on
// `context` (the GUI thread), the one hand-over; it shares nothing else. Stopping (the destructor) lets the take being rebuilt
// finish and leaves the others for the next start: they still have no timelines.
#pragma once

#include "recording/TimelineExport.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <thread>

struct TakeRecoveryOutcome
{
    QString takeFolder;
    QStringList found;   // what the journal and the files held, one line each
    QString error;       // why the take could not be rebuilt
    QList<TimelineFileWrite> writes;
    bool isRebuilt() const;
};

class TakeRecoveryRun
{
public:
    using Done = std::function<void(const TakeRecoveryOutcome &)>;

    TakeRecoveryRun() = default;
    ~TakeRecoveryRun();
    TakeRecoveryRun(const TakeRecoveryRun &) = delete;
    TakeRecoveryRun &operator=(const TakeRecoveryRun &) = delete;

    // Rebuilds `takeFolders` in order; `done` runs on `context`'s thread for each. The
    // context outlives this run (its owner destroys the run first).
    void start(const QStringList &takeFolders, QObject *context, Done done);
    bool isRunning() const { return m_running; }
    // Until every take is rebuilt (outcomes already handed over may still wait in the queue).
    void wait();
    // Lets the take being rebuilt finish and leaves the rest; returns once the thread is done.
    void stop();

private:
    static void log(const TakeRecoveryOutcome &outcome);

    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stop{false};
};
