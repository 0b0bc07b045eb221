// ISource: the video source everything downstream reads pictures from (the live preview, the
// recording tick, the remote preview stream).
//
// A source is a single-producer, many-reader slot for the newest picture. The device thread
// replaces the picture whole under the source's frame mutex; readers take the newest picture
// whenever they like and never see a half-written one. Pictures keep the camera's format and
// colour (Picture.h): YUV as the camera decodes or sends it, RGBA for RGB cameras, or the
// camera's compressed pictures while its channel records the camera's stream. A preview asks
// previewPicture() for an uncompressed one and makes its own RGBA at its own size.
//
// Sources are shared (std::shared_ptr): a reader holds the pointer for one read, so a source
// removed from its channel meanwhile stays alive until that read is done. A reader checks
// isRunning() first and treats a stopped source as "no signal", then takes a picture and
// accepts it only when it is complete (Picture::isComplete()).
#pragma once

#include "capture/Picture.h"

#include <QString>

#include <atomic>
#include <vector>

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

// One picture with the moments that place it: taken (the camera's own time stamp, on the
// monotonic clock) and handed over (ready for readers, after any decoding), and its running
// number since the source was made (consecutive; a gap means pictures no reader took).
struct TimedPicture
{
    Picture picture;
    qint64 takenNs = 0;
    qint64 arrivedNs = 0;
    quint64 sequence = 0;
};

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
    // The pictures kept since `sequence` (0: all kept), oldest first, so a recording gives
    // each frame slot the picture of its time even when it reads a little late. A source keeps
    // the last few; a reader that comes back later than that sees a gap in the numbers.
    // Sources without capture times hand out the newest picture, stamped now.
    virtual void picturesAfter(quint64 sequence, std::vector<TimedPicture> &out);
    // The newest picture to show at up to maxWidth x maxHeight: never compressed (a compressed
    // one is decoded at the smallest size that still covers it), possibly larger than asked.
    virtual void previewPicture(int maxWidth, int maxHeight, Picture &out)
    {
        Q_UNUSED(maxWidth);
        Q_UNUSED(maxHeight);
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
    // Bytes per second of the camera's compressed stream (MJPEG, H.264) as measured over the
    // last pictures: what recording the camera's stream writes. 0 for raw cameras.
    virtual qint64 streamBytesPerSecond() const { return 0; }
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
