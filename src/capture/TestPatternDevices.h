// The built-in virtual cameras "Test Pattern 1" .. "Test Pattern 4" (keys
// "vireon:testpattern:1" .. 4). They let a machine without cameras run the whole recording
// path, and they make audio/video sync measurable: a frame whose capture time is the first in
// a new whole second of the monotonic clock is white, while the Test Tone beeps during the
// first 100 ms of every whole second of the same clock.
//
// TestPatternDevice: one virtual camera, one thread.
// open(), start() and stop() run on the GUI thread. The thread paces itself on the monotonic
// clock (frame n is due at start + n / rate), renders the frame and hands its I420 planes to
// the delivery function, the only cross-thread call. A thread that falls behind skips the slots it
// missed instead of bursting, and the burnt-in counter shows the slot number, so a skip is
// visible. stop() wakes the thread and joins it before returning.
#pragma once

#include "capture/CameraFormat.h"
#include "capture/ICaptureDevice.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class TestPatternRenderer;

constexpr int TestPatternDeviceCount = 4;

// "Test Pattern 1" .. "Test Pattern 4" with their keys.
QList<DeviceInfo> listTestPatternDevices();
// 1920x1080, 1280x720 and 640x480 at 60 and 30 fps, "I420".
QList<CameraFormat> testPatternFormats();
bool isTestPatternKey(const QString &key);
// 1..4 for a test pattern key, 0 otherwise.
int testPatternNumber(const QString &key);

class TestPatternDevice : public ICaptureDevice
{
public:
    explicit TestPatternDevice(const QString &deviceKey);
    ~TestPatternDevice() override;

    // Any size from 160x120 to 7680x4320 is drawn; a rate outside 1..240 fps runs at 30.
    bool open(const CameraFormat &format) override;
    CaptureGeometry geometry() const override;
    bool start(DeliverFunction deliver) override;
    void stop() override;
    QString lastError() const override;

private:
    void run(DeliverFunction deliver);

    const int m_number;
    CaptureGeometry m_geometry;
    // Frames per second times 1000, so 29.97 keeps its exact period.
    qint64 m_rateMilli = 30'000;
    std::unique_ptr<TestPatternRenderer> m_renderer; // Capture thread only while running.
    QByteArray m_frame;                               // Capture thread only while running.
    QString m_lastError;                              // GUI thread only.

    std::thread m_thread;
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
    bool m_quit = false; // Guarded by m_wakeMutex.
};
