// ManagerStudioRecorder: what the studio (StudioSession, src/studio) asks of this machine's
// recorder, answered by the application manager: its name, rate and cameras, a take opened
// ahead of a studio instant and started at it, ended after an exact length, the arming
// countdown. Owned by the manager; GUI thread.
#pragma once

#include "studio/StudioRecorder.h"

class ApplicationManager;

class ManagerStudioRecorder final : public IStudioRecorder
{
public:
    explicit ManagerStudioRecorder(ApplicationManager *manager) : m_manager(manager) {}

    QString machineName() const override;
    double frameRate() const override;
    QList<StudioCamera> cameras() const override;
    bool isRecording() const override;
    qint64 diskFreeBytes() const override;
    StudioText problem() const override;
    QString recordingRoot() const override;
    StudioText prepareTake(const StudioTakePlan &plan) override;
    QString preparedTakeId() const override;
    void startPreparedTake(qint64 startMonotonicNs) override;
    void cancelPreparedTake() override;
    void endTakeAfter(qint64 lengthNs) override;
    void showArming(bool armed, int secondsLeft) override;

private:
    ApplicationManager *m_manager;
};
