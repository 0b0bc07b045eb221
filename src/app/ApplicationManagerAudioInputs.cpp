// What each channel takes from its audio input: the choice and how the mixer and the phone
// name it, the gain trim and the low cut, the separate tracks of every channel, and the input
// lost and back (the watching itself is AudioInputWatch's).
#include "app/ApplicationManager.h"

#include "capture/AudioCapture.h"
#include "capture/InputConditioner.h"

#include <QDebug>

void ApplicationManager::removeAudioInputFromChannel(int channelId)
{
    setAudioInputForChannel(channelId, QStringLiteral("None"));
}

QString ApplicationManager::getChannelAudioInputLabel(int channelId) const
{
    const ChannelState *channel = m_channels.find(channelId);
    if (!channel || !channel->audioCapture)
        return QStringLiteral("None");
    const AudioCapture &capture = *channel->audioCapture;
    // The inputs always show, also where the entry named the device alone.
    if (capture.choice().namesInputs())
        return capture.name();
    return AudioInputChoice{channel->audioInputName, 0, 0}.text() + AudioInputChoice::separator() + capture.inputLabel();
}

QString ApplicationManager::getChannelAudioStateForChannel(int channelId) const
{
    return m_audioInputWatch.stateOf(channelId);
}

void ApplicationManager::setChannelGainTrim(int channelId, float trimDb)
{
    if (!acceptChannel(channelId, "setChannelGainTrim"))
        return;
    ChannelState *channel = m_channels.find(channelId);
    channel->trimDb = InputConditioner::clampTrimDb(trimDb);
    if (channel->audioCapture)
        channel->audioCapture->setTrimDb(channel->trimDb);
    emit channelAudioStateChanged(channelId);
    studioSetupChanged();
}

float ApplicationManager::getChannelGainTrim(int channelId) const
{
    const ChannelState *channel = m_channels.find(channelId);
    return channel ? channel->trimDb : 0.0f;
}

void ApplicationManager::setChannelLowCutEnabled(int channelId, bool enabled)
{
    if (!acceptChannel(channelId, "setChannelLowCutEnabled"))
        return;
    ChannelState *channel = m_channels.find(channelId);
    channel->isLowCut = enabled;
    if (channel->audioCapture)
        channel->audioCapture->setLowCutEnabled(enabled);
    emit channelAudioStateChanged(channelId);
    studioSetupChanged();
}

bool ApplicationManager::isChannelLowCutEnabled(int channelId) const
{
    const ChannelState *channel = m_channels.find(channelId);
    return channel && channel->isLowCut;
}

bool ApplicationManager::separateAudioRecordingEnabled() const
{
    return std::all_of(m_channels.begin(), m_channels.end(),
                       [](const ChannelState &channel) { return channel.isSeparateAudio; });
}

void ApplicationManager::setSeparateAudioRecordingEnabled(bool enabled)
{
    if (separateAudioRecordingEnabled() == enabled)
        return;
    for (ChannelState &channel : m_channels) {
        if (channel.isSeparateAudio == enabled)
            continue;
        channel.isSeparateAudio = enabled;
        // The tile's ISO box and the strip's ISO button follow.
        if (m_channelsModel)
            m_channelsModel->setIsoEnabled(channel.id, enabled);
        emit channelAudioStateChanged(channel.id);
    }
    emit separateAudioRecordingEnabledChanged();
    studioSetupChanged();
}

void ApplicationManager::startWaitingAudioInput(int channelId)
{
    ChannelState *channel = m_channels.find(channelId);
    if (!channel || !channel->isAudioWaiting || channel->audioCapture)
        return;
    qDebug() << "[ApplicationManager] Audio input for channel" << channelId << "appeared:" << channel->audioInputName;
    openChannelAudioInput(channelId, channel->audioInputName);
    publishAudioInputState(channelId);
}

void ApplicationManager::publishAudioInputState(int channelId)
{
    if (m_channels.find(channelId))
        emit channelAudioStateChanged(channelId);
    // The banner names the lost microphones of a running take; outside a take the strips say it.
    const LocalisedText warning = m_isRecording ? RecordingProblems::audioInputsLost(m_audioInputWatch.lostChannels())
                                                : LocalisedText{};
    if (warning == m_audioInputWarning)
        return;
    m_audioInputWarning = warning;
    emit recordingWarningChanged();
}
