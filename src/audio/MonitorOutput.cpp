#include "audio/MonitorOutput.h"

#include "common/AudioFormat.h"

#include <QDebug>

#include <SDL.h>

namespace {
// Half a second of 16-bit stereo at 48 kHz: more queued than this is latency, not buffering.
constexpr Uint32 kMaxQueuedBytes = AudioFormat::kSampleRate * 2 * 2 / 2;
} // namespace

MonitorOutput::~MonitorOutput()
{
    close();
}

bool MonitorOutput::open(const QString &deviceName)
{
    close();
    SDL_AudioSpec wanted;
    SDL_zero(wanted);
    wanted.freq = AudioFormat::kSampleRate;
    wanted.format = AUDIO_S16LSB;
    wanted.channels = 2;
    wanted.samples = 1024;
    wanted.callback = nullptr; // queue mode

    const bool useDefault = deviceName.isEmpty() || deviceName == QLatin1String("Default system output");
    const QByteArray name = deviceName.toUtf8();
    m_deviceId = SDL_OpenAudioDevice(useDefault ? nullptr : name.constData(), 0, &wanted, nullptr, 0);
    if (m_deviceId == 0) {
        qWarning() << "[ApplicationManager] Failed to open monitoring output" << deviceName
                   << "Error:" << SDL_GetError();
        return false;
    }
    SDL_PauseAudioDevice(m_deviceId, 0);
    qDebug() << "[ApplicationManager] Live monitoring on" << (useDefault ? QStringLiteral("default output") : deviceName);
    return true;
}

void MonitorOutput::close()
{
    if (m_deviceId == 0)
        return;
    SDL_CloseAudioDevice(m_deviceId);
    m_deviceId = 0;
}

void MonitorOutput::queue(const std::vector<float> &samples)
{
    if (m_deviceId == 0 || samples.empty())
        return;
    if (SDL_GetQueuedAudioSize(m_deviceId) > kMaxQueuedBytes)
        SDL_ClearQueuedAudio(m_deviceId);
    m_pcm.resize(samples.size());
    for (size_t i = 0; i < samples.size(); ++i)
        m_pcm[i] = AudioFormat::toPcm16(samples[i]);
    SDL_QueueAudio(m_deviceId, m_pcm.data(), Uint32(m_pcm.size() * sizeof(qint16)));
}
