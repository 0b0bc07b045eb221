#include "capture/AudioCapture.h"

#include "capture/AudioDeviceRegistry.h"
#include "capture/AudioInputTap.h"

#include <QDebug>

QString AudioCapture::testToneName()
{
    return AudioCaptureDevice::testToneName();
}

QString AudioCapture::testInterfaceName()
{
    return AudioCaptureDevice::testInterfaceName();
}

QString AudioCapture::noAudioName()
{
    return QStringLiteral("No Audio");
}

AudioCapture::AudioCapture(AudioDeviceRegistry *registry)
    : m_registry(registry ? registry : &AudioDeviceRegistry::shared())
{
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
    m_choice = AudioInputChoice::parse(deviceName);
    QString error;
    const int wanted = channels < 1 ? 2 : channels;
    std::shared_ptr<AudioCaptureDevice> device = m_registry->acquire(m_choice.deviceName, wanted, &error);
    if (!device) {
        qWarning() << "[AudioCapture] Failed to open audio device:" << m_choice.deviceName << "Error:" << error;
        return false;
    }
    const int tapChannels = m_choice.channelsFrom(device->channels(), wanted);
    if (m_choice.namesInputs() && m_choice.firstIndex() + tapChannels > device->channels())
        qWarning() << "[AudioCapture]" << deviceName << ": the device has only" << device->channels()
                   << "input(s); the missing ones are silent";
    m_tap = std::make_unique<AudioInputTap>(m_choice.firstIndex(), tapChannels, device->options().sampleRate);
    m_tap->conditioner().setTrimDb(m_trimDb);
    m_tap->conditioner().setLowCutEnabled(m_lowCut);
    // Configured with the settings above, so the first block is already conditioned.
    m_tap->conditioner().configure(device->options().sampleRate, tapChannels);
    device->subscribe(m_tap.get());
    m_device = std::move(device);

    qDebug() << "[AudioCapture] Audio capture started on device:" << m_name << "channels:" << tapChannels;
    return true;
}

void AudioCapture::stop()
{
    if (!m_device)
        return;
    // Under the device's tap lock: no block reaches this input after this line. What it held
    // goes with it; an overflow since the last read is no loss anyone was listening to.
    m_device->unsubscribe(m_tap.get());
    m_device.reset();
    m_tap.reset();
}

float AudioCapture::takePeak()
{
    return m_tap ? m_tap->buffer().takePeak() : 0.0f;
}

QString AudioCapture::name() const
{
    return m_name;
}

int AudioCapture::channels() const
{
    return m_tap ? m_tap->channels() : 0;
}

bool AudioCapture::isRunning() const
{
    return m_device != nullptr;
}

bool AudioCapture::isLost() const
{
    return m_device && m_device->state() != AudioCaptureDevice::State::Live;
}

QString AudioCapture::inputLabel() const
{
    if (!m_device)
        return QString();
    return m_choice.namesInputs() ? m_choice.inputLabel() : AudioInputChoice::wholeDeviceLabel(channels());
}

int AudioCapture::deviceChannels() const
{
    return m_device ? m_device->channels() : 0;
}

void AudioCapture::setTrimDb(float trimDb)
{
    m_trimDb = InputConditioner::clampTrimDb(trimDb);
    if (m_tap)
        m_tap->conditioner().setTrimDb(m_trimDb);
}

void AudioCapture::setLowCutEnabled(bool enabled)
{
    m_lowCut = enabled;
    if (m_tap)
        m_tap->conditioner().setLowCutEnabled(enabled);
}

void AudioCapture::setDelayMs(int delayMs)
{
    if (m_tap)
        m_tap->buffer().setDelayMs(delayMs);
}

int AudioCapture::delayMs() const
{
    return m_tap ? m_tap->buffer().delayMs() : 0;
}

void AudioCapture::clear()
{
    if (m_device)
        m_device->restart(m_device->options().now());
}

size_t AudioCapture::availableSamples() const
{
    return m_tap ? m_tap->buffer().availableSamples() : 0;
}

std::vector<float> AudioCapture::readSamples(int maxSamples)
{
    if (!m_tap)
        return {};
    std::vector<float> samples = m_tap->buffer().read(maxSamples);
    reportOverflow();
    return samples;
}

void AudioCapture::skip(qint64 frames)
{
    if (m_tap)
        m_tap->buffer().skip(frames);
}

qint64 AudioCapture::takeFilledFrames()
{
    return m_tap ? m_tap->buffer().takeGapFrames() : 0;
}

qint64 AudioCapture::readPosition() const
{
    return m_tap ? m_tap->buffer().readPosition() : kNoPosition;
}

quint64 AudioCapture::droppedSamples() const
{
    return m_tap ? m_tap->buffer().droppedSamples() : 0;
}

void AudioCapture::reportOverflow()
{
    // Logged here, on the reader's thread, once the episode is over: the audio threads never
    // write to the log, and a long stall yields one line, not one per callback.
    if (!m_tap)
        return;
    const quint64 dropped = m_tap->buffer().takeUnreportedDrops();
    if (dropped == 0)
        return;
    const int rate = m_device ? m_device->options().sampleRate : AudioFormat::kSampleRate;
    const quint64 droppedMs = dropped * 1000 / (quint64(m_tap->channels()) * quint64(rate));
    qWarning() << "[AudioCapture] Buffer overflow on device:" << m_name << "dropped samples:" << dropped << "("
               << droppedMs << "ms )";
}

// --- test hooks ---

AudioDeviceRegistry &AudioCapture::ownRegistry()
{
    if (!m_ownRegistry) {
        m_ownRegistry = std::make_unique<AudioDeviceRegistry>(m_registry->options());
        m_registry = m_ownRegistry.get();
    }
    return *m_ownRegistry;
}

void AudioCapture::setClock(Clock clock)
{
    AudioDeviceOptions options = ownRegistry().options();
    options.clock = std::move(clock);
    ownRegistry().setOptions(options);
}

void AudioCapture::setSampleRate(int rate)
{
    AudioDeviceOptions options = ownRegistry().options();
    options.sampleRate = rate > 0 ? rate : AudioFormat::kSampleRate;
    ownRegistry().setOptions(options);
}

int AudioCapture::sampleRate() const
{
    return m_registry->options().sampleRate;
}

void AudioCapture::setTestToneClockErrorPpm(double ppm)
{
    AudioDeviceOptions options = ownRegistry().options();
    options.testToneClockErrorPpm = ppm;
    ownRegistry().setOptions(options);
}

void AudioCapture::setTestToneManualPacing(bool manual)
{
    AudioDeviceOptions options = ownRegistry().options();
    options.manualTonePacing = manual;
    ownRegistry().setOptions(options);
}

void AudioCapture::setDriftCompensationEnabled(bool enabled)
{
    AudioDeviceOptions options = ownRegistry().options();
    options.driftCompensation = enabled;
    ownRegistry().setOptions(options);
}

void AudioCapture::deliverTestTone(qint64 nowNs)
{
    if (m_device)
        m_device->deliverTestTone(nowNs);
}
