// SimulatedV4l2Kernel: a V4l2Kernel whose video nodes are simulated cameras. Installed with
// installV4l2Kernel(), it makes the program's real V4L2 listing and capture code run against
// cameras that exist only here: nodes under /dev, by-id links, open errors, every ioctl the
// layer uses, mmap buffers and poll, with pictures falling due on the monotonic clock.
//
// Descriptors it hands out are numbers of its own (far above real ones); poll() mixes them
// with real descriptors (the capture loop's wake-up eventfd), waiting on the real ones with
// ppoll() until the next simulated picture falls due. A camera that is unplugged answers
// ENODEV on its open descriptors and POLLERR|POLLHUP on poll, like a USB camera pulled out;
// when it comes back it gets a new node number and a new generation, and only new opens see it.
//
// Thread-safe: one lock guards every camera and descriptor; it is never held while waiting.
#pragma once

#include "SimulatedCamera.h"

#include "capture/V4l2Kernel.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

class SimulatedV4l2Kernel : public V4l2Kernel
{
public:
    SimulatedV4l2Kernel() = default;

    // Adds a camera at the next free node number; returns its index for the calls below.
    int addCamera(SimulatedCameraSpec spec);
    // The key the program lists the camera under: its by-id link, else its node.
    QString deviceKey(int camera) const;
    QString nodePath(int camera) const;
    void unplug(int camera);
    // Plugs a camera in again, at a new node number.
    void plugIn(int camera);

    // What the camera was set to and sent, for tests.
    SimulatedMode currentMode(int camera) const;
    int currentRate(int camera) const;
    int bytesPerLine(int camera) const;
    qint64 picturesSent(int camera) const;
    // When the camera's stream started on the monotonic clock (its pictures' phase).
    qint64 streamStartNs(int camera) const;
    bool isStreaming(int camera) const;
    bool isPresent(int camera) const;

    QStringList videoNodes() const override;
    QMap<QString, QString> byIdLinks() const override;
    QString resolveNode(const QString &key) const override;
    int open(const char *path, int flags) override;
    int close(int fd) override;
    int ioctl(int fd, unsigned long request, void *argument) override;
    void *mmap(void *address, size_t length, int protection, int flags, int fd, off_t offset) override;
    int munmap(void *address, size_t length) override;
    int poll(pollfd *fds, nfds_t count, int timeoutMs) override;

    static constexpr int FirstDescriptor = 1 << 24;

private:
    struct Descriptor
    {
        int camera = -1;
        int generation = 0;
    };

    // Brings back cameras whose return time has come. Under m_mutex.
    void returnCameras(qint64 nowNs) const;
    // The camera an open descriptor talks to, or null (errno-style code in *error). Under m_mutex.
    SimulatedCamera *cameraOf(int fd, int *error) const;
    QString nodeOf(const SimulatedCamera &camera) const;
    QString linkOf(const SimulatedCamera &camera) const;

    mutable std::mutex m_mutex;
    // Guarded by m_mutex; mutable so that listing can bring back a returning camera.
    mutable std::vector<std::unique_ptr<SimulatedCamera>> m_cameras;
    mutable int m_nextNodeNumber = 0;
    std::map<int, Descriptor> m_descriptors;
    int m_nextDescriptor = FirstDescriptor;
};
