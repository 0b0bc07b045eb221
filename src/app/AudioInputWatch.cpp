#include "app/AudioInputWatch.h"

#include "capture/AudioCapture.h"
#include "capture/AudioDeviceRegistry.h"
#include "capture/AudioInputChoice.h"

#include <QDebug>

AudioInputWatch::AudioInputWatch(ChannelStates &channels, AudioDeviceRegistry &registry,
                                 std::function<QString()> takeTimeText, QObject *parent)
    : QObject(parent)
    , m_channels(channels)
    , m_registry(registry)
    , m_takeTimeText(std::move(takeTimeText))
{
    connect(&m_timer, &QTimer::timeout, this, &AudioInputWatch::superviseInputs);
}

void AudioInputWatch::start()
{
    m_timer.start(kIntervalMs);
}

void AudioInputWatch::stop()
{
    m_timer.stop();
}

void AudioInputWatch::superviseInputs()
{
    m_registry.poll();
    // Listing the system's devices is cheap but not free: once a second is soon enough for
    // an interface that was plugged in.
    const bool looksForWaiting = ++m_ticks % (1000 / kIntervalMs) == 0;
    for (ChannelState &channel : m_channels) {
        if (looksForWaiting && channel.isAudioWaiting && !channel.audioCapture
            && m_registry.isAvailable(AudioInputChoice::parse(channel.audioInputName).deviceName))
            emit waitingInputAppeared(channel.id);
        const bool lost = channel.audioCapture && channel.audioCapture->isLost();
        if (lost == channel.isAudioLost)
            continue;
        channel.isAudioLost = lost;
        if (lost) {
            // A marker line like the take's own, so it stands out in the log and the monitor.
            qWarning().noquote() << "[AudioInputWatch] === AUDIO INPUT LOST === channel" << channel.id
                                 << m_takeTimeText() << "-" << channel.audioInputName
                                 << "- its track records silence until it is back";
        } else {
            qDebug().noquote() << "[AudioInputWatch] Audio input of channel" << channel.id << "is back, reopened"
                               << m_takeTimeText() << "-" << channel.audioInputName;
        }
        emit inputStateChanged(channel.id);
    }
}

QString AudioInputWatch::stateOf(int channelId) const
{
    const ChannelState *channel = m_channels.find(channelId);
    if (channel && !channel->audioCapture && channel->isAudioWaiting)
        return QStringLiteral("waiting");
    if (!channel || !channel->audioCapture)
        return QStringLiteral("none");
    return channel->isAudioLost ? QStringLiteral("lost") : QStringLiteral("live");
}

QList<int> AudioInputWatch::lostChannels() const
{
    QList<int> lost;
    for (const ChannelState &channel : m_channels) {
        if (channel.audioCapture && channel.isAudioLost)
            lost.append(channel.id);
    }
    return lost;
}
