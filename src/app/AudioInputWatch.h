// AudioInputWatch: how each channel's audio input is doing. A few times a second it has the
// capture devices look after themselves (AudioDeviceRegistry::poll: a device removed or
// silent for two seconds is lost, one that is back is reopened) and logs, per channel, what
// changed, with the take time: "=== AUDIO INPUT LOST === channel N", and the input back. Once a
// second it looks for the devices of inputs that channels wait for (waitingInputAppeared).
//
// The manager owns it and the channels it watches (ChannelStates); it keeps no input of its
// own. GUI thread only: its timer, its slots and every reader.
#pragma once

#include "app/ChannelState.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class AudioDeviceRegistry;

class AudioInputWatch : public QObject
{
    Q_OBJECT

public:
    // takeTimeText: where in the take a change happened, for the log.
    AudioInputWatch(ChannelStates &channels, AudioDeviceRegistry &registry, std::function<QString()> takeTimeText,
                    QObject *parent = nullptr);

    // A lost microphone shows within a quarter of a second of the devices noticing.
    static constexpr int kIntervalMs = 250;
    void start();
    void stop();

    // "none" (no input chosen), "waiting" (its device is not there yet), "live" or "lost"
    // (gone, or reopened and not delivering yet).
    QString stateOf(int channelId) const;
    // Channels whose input is lost now, in channel order.
    QList<int> lostChannels() const;

public slots:
    // Looks after every device now (the timer does it every kIntervalMs).
    void superviseInputs();

signals:
    // The channel's input was lost or is back.
    void inputStateChanged(int channelId);
    // The device a waiting channel's input is on can be opened now.
    void waitingInputAppeared(int channelId);

private:
    ChannelStates &m_channels;
    AudioDeviceRegistry &m_registry;
    std::function<QString()> m_takeTimeText;
    QTimer m_timer;
    int m_ticks = 0;
};
