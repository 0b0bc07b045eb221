// CameraWatch: how each channel's camera is doing. Every half second it has every running
// camera look after itself (a camera that failed, was unplugged or went quiet is lost; one
// that is back is restarted in its format) and logs what changed with the take time; every
// second it looks for the saved cameras that channels wait for (waitingCameraAppeared); it
// reads each camera's state, running format and pictures per second for the tiles, the phone
// page and the log, and logs a take's figures per camera when the take ends.
//
// The manager owns it and the channels it watches (ChannelStates); it keeps no camera of its
// own. GUI thread only: its timer, its slots and every reader.
#pragma once

#include "app/ChannelState.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantMap>

#include <functional>

struct TakeReport;

class CameraWatch : public QObject
{
    Q_OBJECT

public:
    // takeTimeText: where in the take a change happened, for the log ("at take time
    // 00:01:02:03", "(no take running)").
    CameraWatch(ChannelStates &channels, std::function<QString()> takeTimeText, QObject *parent = nullptr);

    // Often enough that a camera lost during a take shows within half a second; a lost camera
    // is looked for again every CameraCapture::RetryIntervalNs.
    static constexpr int kIntervalMs = 500;
    void start();
    void stop();

    // "off", "live", "lost", "reconnecting", or "waiting" (for a saved camera not there yet).
    QString stateOf(int channelId) const;
    // The rate the device granted its running camera (0 without one).
    double grantedRateOf(int channelId) const;
    // The running format, with what was asked where the device granted something else
    // ("1280×720 MJPEG 30 fps (asked 1920×1080)"); empty without a running camera.
    QString formatTextOf(int channelId) const;
    // False when the running camera did not grant every part of the format asked for (the
    // format text then names what was asked); true otherwise, also without a camera.
    bool isFormatAsAskedOf(int channelId) const;
    // Pictures per second the camera delivered between the last two measurements; -1 before
    // the first reading.
    double rateOf(int channelId) const;
    // state, format, formatAsAsked, error, damagedPictures, fps and the given take figures
    // (frames, droppedFrames, repeatedFrames).
    QVariantMap healthOf(int channelId, const TakeCameraFigures &figures) const;

    // A camera was just opened: logs its format (a warning when the device did not grant the
    // one asked for) and announces it.
    void announceFormat(int channelId);
    // Each running camera's pictures per second since the last call; returns the cameras'
    // mean rate (-1 when none has a reading yet) and how many had one.
    double measureRates(qint64 nowNs, int *measured);
    // At the end of a take: each camera's figures, logged and kept in its channel.
    void recordTakeFigures(const TakeReport &report);

public slots:
    // Looks after every running camera now (the timer does it every kIntervalMs).
    void superviseCameras();

signals:
    // The channel's camera changed state (lost, reconnecting, live) or was opened in a format.
    void cameraStatusChanged(int channelId);
    // The camera a channel waits for is listed and can be opened now.
    void waitingCameraAppeared(int channelId);

private:
    void reportState(int channelId);
    // Looks for the waited-for cameras among the devices listed now.
    void lookForWaitingCameras();

    ChannelStates &m_channels;
    std::function<QString()> m_takeTimeText;
    QTimer m_timer;
    // Listing the devices opens each one: every other tick is often enough.
    int m_ticks = 0;
};
