#include "capture/AudioCaptureDevice.h"

#include "capture/AudioInputTap.h"
#include "capture/AudioTimeline.h"
#include "capture/DriftCompensator.h"
#include "common/MonotonicClock.h"

#include <QDebug>

#include <SDL.h>

#include <algorithm>
#include <cmath>

namespace {

// 256 frames per callback: about 5 ms at 48 kHz, short enough for the 25 ms mixer tick to
// see steady arrivals, long enough that the callback's lock is taken only ~190 times/s.
constexpr Uint16 kFramesPerCallback = 256;
constexpr qint64 kNsPerSecond = 1'000'000'000;

// SDL's audio thread. The device is the callback's user data; stopProducer() closes the SDL
// device (which joins SDL's thread) before the device can go away.
void SDLCALL captureCallback(void *userdata, Uint8 *stream, int length)
{
    if (!userdata || !stream || length < int(sizeof(float)))
        return;
    static_cast<AudioCaptureDevice *>(userdata)->deliver(reinterpret_cast<const float *>(stream),
                                                        size_t(length) / sizeof(float));
}

// The channel count SDL reports for a capture device ("" the default); 0 when it does not say.
int sdlChannelsOf(const QString &name)
{
    SDL_AudioSpec spec;
    SDL_memset(&spec, 0, sizeof(spec));
    if (name.isEmpty()) {
#if SDL_VERSION_ATLEAST(2, 24, 0)
        if (SDL_GetDefaultAudioInfo(nullptr, &spec, 1) == 0)
            return spec.channels;
#endif
        return 0;
    }
    const QByteArray utf8 = name.toUtf8();
    const int count = SDL_GetNumAudioDevices(1);
    for (int i = 0; i < count; ++i) {
        const char *listed = SDL_GetAudioDeviceName(i, 1);
        if (listed && utf8 == listed && SDL_GetAudioDeviceSpec(i, 1, &spec) == 0)
            return spec.channels;
    }
    return 0;
}

} // namespace

qint64 AudioDeviceOptions::now() const
{
    return clock ? clock() : monotonicNowNs();
}

QString AudioCaptureDevice::testToneName()
{
    return QStringLiteral("Test Tone");
}

QString AudioCaptureDevice::testInterfaceName()
{
    return QStringLiteral("Test Interface");
}

AudioCaptureDevice::Kind AudioCaptureDevice::kindOf(const QString &name)
{
    if (name == testToneName())
        return Kind::TestTone;
    if (name == testInterfaceName())
        return Kind::TestInterface;
    return Kind::Sdl;
}

int AudioCaptureDevice::builtInChannels(const QString &name)
{
    switch (kindOf(name)) {
    case Kind::TestTone: return 2;
    case Kind::TestInterface: return 4;
    case Kind::Sdl: break;
    }
    return 0;
}

AudioCaptureDevice::AudioCaptureDevice(QString name, AudioDeviceOptions options)
    : m_name(std::move(name))
    , m_kind(kindOf(m_name))
    , m_options(std::move(options))
{
    m_tone.setSampleRate(m_options.sampleRate);
    m_tone.setClockErrorPpm(m_options.testToneClockErrorPpm);
    m_tone.setDistinctInputs(m_kind == Kind::TestInterface);
}

AudioCaptureDevice::~AudioCaptureDevice()
{
    close();
}

bool AudioCaptureDevice::open(int channelsIfUnknown, QString *error)
{
    if (m_isOpen)
        return true;
    if (!startProducer(channelsIfUnknown, error))
        return false;
    m_isOpen = true;
    m_state = State::Live;
    return true;
}

void AudioCaptureDevice::close()
{
    stopProducer();
    m_isOpen = false;
}

bool AudioCaptureDevice::startProducer(int channelsIfUnknown, QString *error)
{
    if (m_kind == Kind::Sdl) {
        if (!openSdl(channelsIfUnknown, error))
            return false;
    } else {
        m_channels = builtInChannels(m_name);
        prepareProducer();
        m_lastArrivalNs.store(m_options.now(), std::memory_order_relaxed);
        const auto sink = [this](const float *samples, size_t count) { deliver(samples, count); };
        if (m_options.manualTonePacing)
            m_tone.startManual(m_channels, sink, m_options.now());
        else
            m_tone.start(m_channels, sink);
    }
    return true;
}

bool AudioCaptureDevice::openSdl(int channelsIfUnknown, QString *error)
{
    int channels = sdlChannelsOf(m_name);
    if (channels < 1)
        channels = channelsIfUnknown < 1 ? 2 : channelsIfUnknown;

    SDL_AudioSpec requested;
    SDL_memset(&requested, 0, sizeof(requested));
    requested.freq = m_options.sampleRate;
    requested.format = AUDIO_F32SYS;
    requested.channels = Uint8(std::clamp(channels, 1, 255));
    requested.samples = kFramesPerCallback;
    requested.callback = captureCallback;
    requested.userdata = this;

    // The device's own channel count, so every input reaches its channel untouched; SDL
    // converts rate and format only.
    SDL_AudioSpec obtained;
    SDL_memset(&obtained, 0, sizeof(obtained));
    const QByteArray utf8Name = m_name.toUtf8();
    const SDL_AudioDeviceID id = SDL_OpenAudioDevice(m_name.isEmpty() ? nullptr : utf8Name.constData(), 1,
                                                     &requested, &obtained, SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
    if (id == 0) {
        if (error)
            *error = QString::fromUtf8(SDL_GetError());
        return false;
    }
    m_sdlId = id;
    m_channels = std::max<int>(1, obtained.channels);
    // The device is still paused: no callback runs while its producer state is set up.
    prepareProducer();
    m_lastArrivalNs.store(m_options.now(), std::memory_order_relaxed);
    SDL_PauseAudioDevice(id, 0);
    return true;
}

void AudioCaptureDevice::stopProducer()
{
    if (m_sdlId != 0) {
        // Closing waits for SDL's audio thread, so no callback runs after this.
        SDL_CloseAudioDevice(m_sdlId);
        m_sdlId = 0;
    }
    m_tone.stop();
}

void AudioCaptureDevice::prepareProducer()
{
    // No producer runs now: nothing else touches these.
    m_compensator = std::make_unique<DriftCompensator>(m_options.sampleRate, m_channels, m_name);
    m_compensator->setEnabled(m_options.driftCompensation);
    m_compensator->restartAtFirstFrame();
    // A restart while no producer ran (a take began while the device was gone) has cleared
    // the taps already; the first block is placed on the timeline by the time it arrives.
    m_seenGeneration = m_generation.load(std::memory_order_acquire);
    m_needsPlacement = true;
    m_compensated.reserve(size_t(m_options.sampleRate / 10) * size_t(std::max(1, m_channels)));
}

void AudioCaptureDevice::subscribe(AudioInputTap *tap)
{
    std::lock_guard lock(m_tapsMutex);
    if (tap && std::find(m_taps.begin(), m_taps.end(), tap) == m_taps.end())
        m_taps.push_back(tap);
}

void AudioCaptureDevice::unsubscribe(AudioInputTap *tap)
{
    std::lock_guard lock(m_tapsMutex);
    m_taps.erase(std::remove(m_taps.begin(), m_taps.end(), tap), m_taps.end());
}

int AudioCaptureDevice::tapCount() const
{
    std::lock_guard lock(m_tapsMutex);
    return int(m_taps.size());
}

void AudioCaptureDevice::restart(qint64 anchorNs)
{
    // The anchor first: the producer reads it once it sees the new generation.
    m_restartNs.store(anchorNs, std::memory_order_release);
    std::lock_guard lock(m_tapsMutex);
    m_generation.fetch_add(1, std::memory_order_acq_rel);
    const qint64 position = AudioTimeline::frameAt(anchorNs, m_options.sampleRate);
    for (AudioInputTap *tap : m_taps)
        tap->buffer().clear(position);
}

void AudioCaptureDevice::deliver(const float *samples, size_t count)
{
    const int channels = std::max(1, m_channels);
    const qint64 frames = qint64(count) / channels;
    if (!samples || frames <= 0 || !m_compensator || m_silenced.load(std::memory_order_relaxed))
        return;
    const qint64 arrivalNs = m_options.now();
    m_lastArrivalNs.store(arrivalNs, std::memory_order_release);

    const quint64 generation = m_generation.load(std::memory_order_acquire);
    if (generation != m_seenGeneration) {
        // Restarted: output frames from the anchor on, at the anchor's place.
        const qint64 anchor = m_restartNs.load(std::memory_order_acquire);
        m_compensator->restartAt(anchor);
        m_seenGeneration = generation;
        m_needsPlacement = false;
        m_position = AudioTimeline::frameAt(anchor, m_options.sampleRate);
    } else if (m_needsPlacement) {
        // Opened or reopened: the first block lies where it arrived.
        m_position = AudioTimeline::frameAt(arrivalNs - frames * kNsPerSecond / m_options.sampleRate, m_options.sampleRate);
        m_needsPlacement = false;
    }

    m_compensated.clear();
    m_compensator->process(samples, frames, arrivalNs, m_compensated);
    const qint64 produced = qint64(m_compensated.size()) / channels;

    std::lock_guard lock(m_tapsMutex);
    if (m_generation.load(std::memory_order_acquire) != generation)
        return; // made before a restart that came in meanwhile: it belongs before it
    for (AudioInputTap *tap : m_taps)
        tap->deliver(m_compensated.data(), produced, channels, m_position);
    m_position += produced;
}

void AudioCaptureDevice::deliverTestTone(qint64 nowNs)
{
    m_tone.deliverDue(nowNs);
}

void AudioCaptureDevice::lose(qint64 nowNs, const char *reason)
{
    stopProducer();
    m_state = State::Lost;
    m_nextRetryNs = nowNs;
    qWarning().noquote() << "[AudioCaptureDevice] Audio device lost:" << (m_name.isEmpty() ? QStringLiteral("default") : m_name)
                         << "-" << reason;
}

bool AudioCaptureDevice::poll(const Presence &presence)
{
    if (!m_isOpen)
        return false;
    const qint64 now = m_options.now();
    const qint64 lastArrival = m_lastArrivalNs.load(std::memory_order_acquire);
    const bool removed = presence.removed
        || (m_sdlId != 0 && SDL_GetAudioDeviceStatus(m_sdlId) == SDL_AUDIO_STOPPED);
    const QString shownName = m_name.isEmpty() ? QStringLiteral("default") : m_name;

    switch (m_state) {
    case State::Live:
        if (removed)
            lose(now, "removed");
        else if (now - lastArrival > kSilentLostNs)
            lose(now, "no samples for 2 s");
        return m_state != State::Live;
    case State::Lost:
        if (now < m_nextRetryNs || (presence.isListed && !presence.isListed()))
            return false;
        m_nextRetryNs = now + kRetryNs;
        if (!startProducer(m_channels, nullptr))
            return false;
        // Back once a block arrives after the open.
        m_reopenedNs = m_lastArrivalNs.load(std::memory_order_acquire);
        m_state = State::Reconnecting;
        qDebug().noquote() << "[AudioCaptureDevice] Audio device reopened:" << shownName;
        return true;
    case State::Reconnecting:
        if (lastArrival > m_reopenedNs && !removed) {
            m_state = State::Live;
            qDebug().noquote() << "[AudioCaptureDevice] Audio device back:" << shownName;
            return true;
        }
        if (removed || now - m_reopenedNs > kSilentLostNs) {
            // Opened but silent, or gone again: keep trying, without a new report.
            stopProducer();
            m_state = State::Lost;
            m_nextRetryNs = now + kRetryNs;
        }
        return false;
    }
    return false;
}
