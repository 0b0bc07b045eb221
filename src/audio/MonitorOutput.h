// MonitorOutput: the SDL output device that plays the master mix for live monitoring, in
// queue mode (48 kHz, 16-bit, stereo). GUI thread only: open/close from the monitoring
// switch, queue() from the 25 ms audio tick.
#pragma once

#include <QString>
#include <QtGlobal>

#include <vector>

class MonitorOutput
{
public:
    MonitorOutput() = default;
    ~MonitorOutput();
    MonitorOutput(const MonitorOutput &) = delete;
    MonitorOutput &operator=(const MonitorOutput &) = delete;

    // "" and "Default system output" open the system default. Closes a device already open.
    bool open(const QString &deviceName);
    void close();
    bool isOpen() const { return m_deviceId != 0; }
    quint32 deviceId() const { return m_deviceId; }

    // Queues interleaved stereo float samples as 16-bit PCM. When the device plays slower
    // than the mix arrives (clock drift, a stalled output), the queue is cut back instead of
    // growing into seconds of delay.
    void queue(const std::vector<float> &samples);

private:
    quint32 m_deviceId = 0;
    std::vector<qint16> m_pcm;
};
