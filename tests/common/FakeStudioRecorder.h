// FakeStudioRecorder: a recorder of a studio for the tests. It does
// what the application manager does for the studio (prepares a take folder, starts and ends
// the take when told, writes its files at the end) without cameras or encoders, and notes
// every call so a test can see what the studio asked of each machine.
// GUI thread, like the studio classes it serves.
#pragma once

#include "studio/ClockSync.h"
#include "studio/StudioRecorder.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <optional>

class FixedClockSync final : public IClockSyncSource
{
public:
    explicit FixedClockSync(ClockSyncState state = {true, true, 100, 500, QStringLiteral("PTP")}) : m_state(state) {}
    ClockSyncState read() override { return m_state; }
    ClockSyncState m_state;
};

class FakeStudioRecorder final : public IStudioRecorder
{
public:
    FakeStudioRecorder(const QString &machine, const QString &root) : machine(machine), root(root) {}

    QString machineName() const override { return machine; }
    double frameRate() const override { return fps; }
    QList<StudioCamera> cameras() const override { return cameraList; }
    bool isRecording() const override { return recording; }
    qint64 diskFreeBytes() const override { return 1'000'000'000; }
    StudioText problem() const override { return problemText; }
    QString recordingRoot() const override { return root; }

    StudioText prepareTake(const StudioTakePlan &plan) override
    {
        if (!refuseWith.isEmpty())
            return refuseWith;
        prepared = plan;
        ++takeNumber;
        takeId = QStringLiteral("%1/Take_%2").arg(plan.session).arg(takeNumber, 2, 10, QLatin1Char('0'));
        takeFolder = QDir(root).filePath(takeId);
        QDir().mkpath(takeFolder);
        return StudioText{};
    }
    QString preparedTakeId() const override { return takeId; }
    void startPreparedTake(qint64 startMonotonicNs) override
    {
        startedMonotonicNs = startMonotonicNs;
        recording = true;
    }
    void cancelPreparedTake() override
    {
        ++cancelled;
        prepared.reset();
        QDir(takeFolder).removeRecursively();
    }
    void endTakeAfter(qint64 lengthNs) override { endsAfterNs = lengthNs; }
    void showArming(bool armed, int secondsLeft) override { armingShown.append(armed ? secondsLeft : 0); }

    // Ends the take as the recorder would: writes a camera file of `cameraBytes` random bytes
    // and returns the report of what it wrote.
    StudioTakeReport finishTake(qint64 cameraBytes)
    {
        recording = false;
        QByteArray bytes(cameraBytes, Qt::Uninitialized);
        QRandomGenerator generator(quint32(cameraBytes) ^ quint32(qHash(machine)));
        for (char &byte : bytes)
            byte = char(generator.generate());
        QFile file(QDir(takeFolder).filePath(QStringLiteral("Camera_01.mp4")));
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
        file.close();
        StudioTakeReport report;
        report.durationMs = endsAfterNs / 1'000'000;
        report.files.append(StudioTakeFile{QStringLiteral("Camera_01.mp4"), QStringLiteral("video"), 1, cameraBytes,
                                           endsAfterNs * qint64(fps) / 1'000'000'000, report.durationMs, QString()});
        report.cameras = cameraList;
        return report;
    }

    QString machine;
    QString root;
    double fps = 30.0;
    QList<StudioCamera> cameraList{StudioCamera{1, QStringLiteral("Test Pattern 1")}};
    bool recording = false;
    StudioText problemText;
    StudioText refuseWith; // prepareTake() answers this when set

    std::optional<StudioTakePlan> prepared;
    int takeNumber = 0;
    QString takeId;
    QString takeFolder;
    qint64 startedMonotonicNs = -1;
    qint64 endsAfterNs = -1;
    int cancelled = 0;
    QList<int> armingShown; // seconds shown, 0 when the display was cleared
};
