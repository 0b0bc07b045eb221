#include "capture/AudioCapture.h"

#include "common/AudioFormat.h"
#include "capture/DriftCompensator.h"
#include "common/MonotonicClock.h"

#include <QDebug>

#include <SDL.h>

namespace {

// 256 frames per callback: about 5 ms at 48 kHz, short enough for the 25 ms mixer tick to
// see steady arrivals, long enough that the callback's lock is taken only ~190 times/s.
constexpr Uint16 kFramesPerCallback = 256;

bool isDefaultDeviceName(const QString &deviceName)
{
    return deviceName.isEmpty() || deviceName == QLatin1String("default")
        || deviceName == QLatin1String("Default system input");
}

} // namespace

void deliverCapturedAudio(void *capture, const float *samples, size_t count)
{
    static_cast<AudioCapture *>(capture)->deliver(samples, count);
}

namespace {

// SDL's audio thread. The capture is the callback's user data; AudioCapture::stop() closes
// the device (which joins SDL's thread) before the capture can go away.
void SDLCALL captureCallback(void *userdata, Uint8 *stream, int length)
{
    if (!userdata || !stream || length < int(sizeof(float)))
        return;
    deliverCapturedAudio(userdata, reinterpret_cast<const float *>(stream), size_t(length) / sizeof(float));
}

} // namespace

QString AudioCapture::testToneName()
{
    return QStringLiteral("Test Tone");
}

QString AudioCapture::noAudioName()
{
    return QStringLiteral("No Audio");
}

AudioCapture::AudioCapture()
    : m_clock(monotonicNowNs)
{
}

void AudioCapture::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock(monotonicNowNs);
}

void AudioCapture::setSampleRate(int rate)
{
    m_sampleRate = rate > 0 ? rate : AudioFormat::kSampleRate;
    m_testTone.setSampleRate(m_sampleRate);
}

void AudioCapture::deliver(const float *samples, size_t count)
{
    const qint64 arrivalNs = m_clock();
    const quint64 generation = m_buffer.generation();
    if (generation != m_seenGeneration) {
        m_compensator->restartAt(m_restartNs.load(std::memory_order_acquire));
        m_seenGeneration = generation;
    }
    m_compensated.clear();
    const int channels = m_channels < 1 ? 2 : m_channels;
    m_compensator->process(samples, qint64(count) / channels, arrivalNs, m_compensated);
    m_buffer.append(m_compensated.data(), m_compensated.size(), generation);
}

AudioCapture::~AudioCapture()
{
    stop();
}

bool AudioCapture::start(const QString &deviceName, int channels)
{
    if (isRunning())
        stop();
    if (deviceName == noAudioName())
        return false;

    m_name = deviceName;
    m_channels = channels < 1 ? 2 : channels;
    m_buffer.configure(m_channels);
    prepareCompensator();

    if (deviceName == testToneName()) {
        const auto sink = [this](const float *samples, size_t count) { deliver(samples, count); };
        if (m_manualTone)
            m_testTone.startManual(m_channels, sink, m_clock());
        else
            m_testTone.start(m_channels, sink);
    } else if (!openSdlDevice(deviceName, m_channels)) {
        return false;
    }

    qDebug() << "[AudioCapture] Audio capture started on device:" << m_name
             << "channels:" << m_channels;
    return true;
}

bool AudioCapture::openSdlDevice(const QString &deviceName, int channels)
{
    SDL_AudioSpec requested;
    SDL_memset(&requested, 0, sizeof(requested));
    requested.freq = m_sampleRate;
    requested.format = AUDIO_F32SYS;
    requested.channels = Uint8(qBound(1, channels, 255));
    requested.samples = kFramesPerCallback;
    requested.callback = captureCallback;
    requested.userdata = this;

    // No allowed changes: SDL converts whatever the hardware delivers into this format.
    SDL_AudioSpec obtained;
    SDL_memset(&obtained, 0, sizeof(obtained));
    const QByteArray utf8Name = deviceName.toUtf8();
    const SDL_AudioDeviceID id = SDL_OpenAudioDevice(
        isDefaultDeviceName(deviceName) ? nullptr : utf8Name.constData(), 1, &requested,
        &obtained, 0);
    if (id == 0) {
        qWarning() << "[AudioCapture] Failed to open audio device:" << deviceName
                   << "Error:" << QString::fromUtf8(SDL_GetError());
        return false;
    }

    m_deviceId = id;
    if (obtained.channels != requested.channels) {
        // Cannot happen with no allowed changes; if a driver does it anyway, the buffer must
        // follow the layout the callback delivers. The device is still paused here.
        m_channels = obtained.channels;
        m_buffer.configure(m_channels);
        prepareCompensator();
    }
    SDL_PauseAudioDevice(id, 0);
    return true;
}

void AudioCapture::stop()
{
    if (m_deviceId != 0) {
        // Closing waits for SDL's audio thread, so no callback runs after this.
        SDL_CloseAudioDevice(m_deviceId);
        m_deviceId = 0;
    }
    m_testTone.stop();
    reportOverflow();
    m_buffer.clear();
}

float AudioCapture::takePeak()
{
    return m_buffer.takePeak();
}

QString AudioCapture::name() const
{
    return m_name;
}

int AudioCapture::channels() const
{
    return m_channels;
}

bool AudioCapture::isRunning() const
{
    return m_deviceId != 0 || m_testTone.isRunning();
}

void AudioCapture::setDelayMs(int delayMs)
{
    m_buffer.setDelayMs(delayMs);
}

int AudioCapture::delayMs() const
{
    return m_buffer.delayMs();
}

void AudioCapture::clear()
{
    // The anchor first: the producer reads it once it sees the new generation.
    m_restartNs.store(m_clock(), std::memory_order_release);
    m_buffer.clear();
}

void AudioCapture::prepareCompensator()
{
    // The producer is not running yet (or is paused): no other thread touches these now.
    m_compensator = std::make_unique<DriftCompensator>(m_sampleRate, m_channels, m_name);
    m_compensator->setEnabled(m_compensationEnabled);
    m_compensator->restartAtFirstFrame();
    m_seenGeneration = m_buffer.generation();
}

size_t AudioCapture::availableSamples() const
{
    return m_buffer.availableSamples();
}

std::vector<float> AudioCapture::readSamples(int maxSamples)
{
    std::vector<float> samples = m_buffer.read(maxSamples);
    reportOverflow();
    return samples;
}

quint64 AudioCapture::droppedSamples() const
{
    return m_buffer.droppedSamples();
}

void AudioCapture::reportOverflow()
{
    // Logged here, on the reader's thread, once the episode is over: the audio threads never
    // write to the log, and a long stall yields one line, not one per callback.
    const quint64 dropped = m_buffer.takeUnreportedDrops();
    if (dropped == 0)
        return;
    const int channels = m_channels < 1 ? 2 : m_channels;
    const quint64 droppedMs = dropped * 1000 / (quint64(channels) * quint64(m_sampleRate));
    qWarning() << "[AudioCapture] Buffer overflow on device:" << m_name << "dropped samples:"
               << dropped << "(" << droppedMs << "ms )";
}
