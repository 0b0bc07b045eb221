// IStudioRecorder: what the studio asks of this machine's own recorder (the application
// manager), on the leader and on every follower alike. A studio take is prepared first (its
// folder made and its files opened, the planned timecode given) and started later at the
// planned instant, so opening files never delays the start; it ends after an exact length,
// so every machine's files hold the same number of frames.
//
// GUI thread. The recorder tells the studio when a take has ended (StudioFollower and
// StudioLeader::takeFinished).
#pragma once

#include "studio/StudioProtocol.h"

#include <QList>
#include <QString>
#include <QtGlobal>

class IStudioRecorder
{
public:
    virtual ~IStudioRecorder() = default;

    // The name the other machines show this one by ("B").
    virtual QString machineName() const = 0;
    // The rate of the takes; the timecode counts its frames.
    virtual double frameRate() const = 0;
    virtual QList<StudioCamera> cameras() const = 0;
    virtual bool isRecording() const = 0;
    virtual qint64 diskFreeBytes() const = 0;
    // Why the last take ended early or could not start (a full disk); empty when it did not.
    virtual StudioText problem() const = 0;
    // The recording folder the take ids count from.
    virtual QString recordingRoot() const = 0;

    // Opens every file of a take that starts at plan.start with its timecode; nothing is
    // recorded yet. Empty when ready, else why not.
    virtual StudioText prepareTake(const StudioTakePlan &plan) = 0;
    // "Session/Take_02" of the prepared or running take, relative to recordingRoot().
    virtual QString preparedTakeId() const = 0;
    // Frame slot 0 of the prepared take begins at this monotonic time (the planned instant;
    // a moment ago when the event loop was late).
    virtual void startPreparedTake(qint64 startMonotonicNs) = 0;
    // Closes and removes the files of a prepared take that will not start.
    virtual void cancelPreparedTake() = 0;
    // The running take ends exactly this long after its start.
    virtual void endTakeAfter(qint64 lengthNs) = 0;
    // The arming display (the countdown before a studio take starts).
    virtual void showArming(bool armed, int secondsLeft) = 0;
};
