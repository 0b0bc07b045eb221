// SimulatedCamera: the device side of one simulated V4L2 camera, as the kernel and a UVC driver
// would present it: its modes and frame intervals, the format and interval it was set to (a
// driver adjusts what it cannot do instead of refusing), mmap buffers, and a stream whose
// pictures fall due at the set interval on the monotonic clock. A picture is filled into the
// next queued buffer when it falls due and dropped when none is queued, as a driver does.
//
// Not thread-safe by itself: SimulatedV4l2Kernel calls it under its one lock. Time only
// advances when the kernel asks (advanceTo), so a stream needs no thread of its own.
#pragma once

#include "SimulatedPictures.h"

#include <QList>
#include <QString>
#include <QtGlobal>

#include <linux/videodev2.h>

#include <deque>
#include <memory>
#include <vector>

struct SimulatedCameraSpec
{
    QString card = QStringLiteral("Vireon Simulated Camera");
    // The link under /dev/v4l/by-id ("usb-Vireon_Sim_1-video-index0"); empty: the node is the key.
    QString byIdName;
    quint32 deviceCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;

    struct Mode
    {
        SimulatedMode mode;
        QList<int> rates; // frames per second, the driver's preferred first
    };
    QList<Mode> modes;
    // Modes the driver will not set: asking for `asked` gets `granted` (which must be offered).
    QList<std::pair<SimulatedMode, SimulatedMode>> substitutions;
    // Bytes a row of a raw mode is padded by (bytesperline = tight row + padding).
    int rowPadding = 0;

    int openError = 0; // errno of every open (EACCES: no permission)
    int busyError = 0; // errno of S_FMT and REQBUFS (EBUSY: in use by another program)
    // Buffer stamps on CLOCK_MONOTONIC, flagged as such; false: no clock flag, stamp 0.
    bool monotonicTimestamps = true;
    // How long after a picture is taken its buffer can be dequeued (USB transfer time).
    qint64 deliveryDelayNs = 15'000'000;
    // Every nth picture is damaged, in turn: a JPEG cut in half (a raw picture short), an
    // all-zero buffer, a buffer flagged V4L2_BUF_FLAG_ERROR. 0: never.
    int corruptEvery = 0;
    // After this many pictures the camera is unplugged (once); 0: never. It comes back on its
    // own after returnAfterNs (0: only when plugged in by hand), at a new node number.
    int vanishAfterPictures = 0;
    qint64 returnAfterNs = 0;
    // After this many pictures the stream goes quiet without an error (once) until it is
    // started again; 0: never.
    int stallAfterPictures = 0;

    std::shared_ptr<SimulatedPictures> pictures = std::make_shared<KnownPictures>();
};

class SimulatedCamera
{
public:
    explicit SimulatedCamera(SimulatedCameraSpec spec);

    const SimulatedCameraSpec &spec() const { return m_spec; }

    // --- presence: a new generation per plug-in, so descriptors of the old one stay dead ---
    bool isPresent() const { return m_isPresent; }
    int generation() const { return m_generation; }
    int nodeNumber() const { return m_nodeNumber; }
    void plugIn(int nodeNumber, qint64 nowNs);
    void unplug(qint64 nowNs);
    // When an unplugged camera comes back by itself; -1 when it does not.
    qint64 returnTimeNs() const;

    // --- the ioctls of one open descriptor; `fd` owns the buffers once it requested them.
    // Each returns 0 or an errno. ---
    int queryCap(v4l2_capability &caps) const;
    int enumFormat(v4l2_fmtdesc &description) const;
    int enumFrameSize(v4l2_frmsizeenum &size) const;
    int enumFrameInterval(v4l2_frmivalenum &interval) const;
    int getFormat(v4l2_format &format) const;
    int setFormat(int fd, v4l2_format &format);
    int getParm(v4l2_streamparm &parm) const;
    int setParm(v4l2_streamparm &parm);
    int requestBuffers(int fd, v4l2_requestbuffers &request, qint64 nowNs);
    int queryBuffer(int fd, v4l2_buffer &buffer) const;
    int queueBuffer(int fd, const v4l2_buffer &buffer, qint64 nowNs);
    int dequeueBuffer(int fd, v4l2_buffer &buffer, qint64 nowNs);
    int streamOn(int fd, qint64 nowNs);
    int streamOff(int fd);
    void release(int fd);
    void *bufferMemory(int fd, off_t offset);

    // Fills every picture due by nowNs; true when a picture waits to be dequeued.
    bool advanceTo(qint64 nowNs);
    // When the next picture will be ready for a reader, or -1 when none is coming (not
    // streaming, or no buffer queued).
    qint64 nextReadyNs() const;

    // What the stream was set to and how far it got, for tests.
    SimulatedMode currentMode() const { return m_mode; }
    int currentRate() const { return m_rate; }
    int bytesPerLine() const { return m_bytesPerLine; }
    qint64 picturesSent() const { return m_picturesSent; }
    // When the stream started: its pictures are taken at start + n / rate.
    qint64 streamStartNs() const { return m_streamStartNs; }
    bool isStreaming() const { return m_isStreaming; }

private:
    struct Buffer
    {
        std::vector<uchar> memory;
        enum class State { Dequeued, Queued, Done } state = State::Dequeued;
        v4l2_buffer info{};
    };

    const SimulatedCameraSpec::Mode *findMode(quint32 fourcc, int width, int height) const;
    void setMode(const SimulatedCameraSpec::Mode &mode);
    void fill(Buffer &buffer, qint64 pictureIndex, qint64 takenNs);
    qint64 pictureTimeNs(qint64 index) const;

    SimulatedCameraSpec m_spec;

    bool m_isPresent = true;
    int m_generation = 0;
    int m_nodeNumber = 0;
    bool m_hasVanished = false;
    bool m_hasStalled = false;
    bool m_isStalled = false;
    qint64 m_unpluggedNs = 0;

    SimulatedMode m_mode;
    int m_rate = 30;
    int m_bytesPerLine = 0;
    int m_imageSize = 0;

    int m_bufferOwner = -1;
    std::vector<Buffer> m_buffers;
    // Buffers of a descriptor from before an unplug: still mapped by its reader until it closes.
    std::vector<std::pair<int, std::vector<Buffer>>> m_retired;
    std::deque<int> m_queued;
    std::deque<int> m_done;
    bool m_isStreaming = false;
    qint64 m_streamStartNs = 0;
    qint64 m_nextPicture = 0;    // index of the next picture to fall due
    qint64 m_picturesSent = 0;   // pictures filled into buffers since construction
    qint64 m_lastTakenNs = 0;    // when the previous picture was taken (flash detection)
};
