// ISource: the video source everything downstream reads pictures from (the live preview, the
// recording tick, the remote preview stream).
//
// A source is a single-producer, many-reader slot for the newest picture. The device thread
// replaces the picture whole under the source's frame mutex; readers take the newest picture
// whenever they like and never see a half-written one. Pictures are RGBA8888, top row first,
// rows of exactly width * 4 bytes, alpha 255.
//
// Sources are shared (std::shared_ptr): a reader holds the pointer for one read, so a source
// removed from its channel meanwhile stays alive until that read is done. A reader checks
// isRunning() first and treats a stopped source as "no signal", then calls latestFrame(),
// width() and height(), and accepts the picture only when it holds width * height * 4 bytes.
#pragma once

#include "capture/Picture.h"

#include <QString>

#include <atomic>

// How a source's device is doing, for the tile, the phone page and the log.
enum class SourceState {
    Off,          // not started, or stopped
    Live,         // delivering pictures
    Lost,         // the device failed or stopped delivering; readers get its last picture
    Reconnecting, // the device is back and restarted, its first picture not yet here
};

// "off", "live", "lost", "reconnecting": the names the status JSON and the interface use.
inline const char *sourceStateName(SourceState state)
{
    switch (state) {
    case SourceState::Live: return "live";
    case SourceState::Lost: return "lost";
    case SourceState::Reconnecting: return "reconnecting";
    case SourceState::Off: break;
    }
    return "off";
}

class ISource
{
public:
    virtual ~ISource() = default;

    // No texture is created on this platform; nothing in the program reads one.
    virtual unsigned int textureId() const = 0;
    // Picture size; 0 until a start has succeeded.
    virtual int width() const = 0;
    virtual int height() const = 0;
    // Takes the new-picture flag (the same one latestFrame() clears) without copying anything.
    virtual void updateTexture() = 0;
    // Hands out the newest picture. It is shared with the source: no pixel is copied, and the
    // source never writes into a picture a reader still holds.
    virtual void latestFrame(Picture &out) = 0;
    // The newest picture captured at or before timeNs on the monotonic clock, so a recording
    // can give each frame slot the picture of its time even when it reads a little late.
    // Empty when every picture kept is newer: a picture from after timeNs must never stand
    // in for an earlier moment (the reader repeats what it had). Sources without capture
    // times hand out the newest picture.
    virtual void pictureAt(qint64 timeNs, Picture &out)
    {
        Q_UNUSED(timeNs);
        latestFrame(out);
    }
    virtual QString name() const = 0;
    virtual void setName(const QString &name) = 0;
    // Inverts the row order of subsequent pictures.
    virtual void toggleFlip() {}
    // Opens the device's own settings dialog where the platform has one.
    virtual void showPropertyPage() {}

    // Pictures that have arrived since construction, for the frame-rate read-out.
    virtual quint64 picturesDelivered() const { return 0; }
    // How the device is doing; a source without supervision is live while it runs.
    virtual SourceState state() const { return isRunning() ? SourceState::Live : SourceState::Off; }

    // True from a successful start until stop.
    bool isRunning() const { return m_running.load(std::memory_order_acquire); }

protected:
    ISource() = default;
    ISource(const ISource &) = delete;
    ISource &operator=(const ISource &) = delete;

    std::atomic<bool> m_running{false};
};
