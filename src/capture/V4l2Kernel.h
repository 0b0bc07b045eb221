// V4l2Kernel: every call the V4L2 layer makes into the kernel, behind one small interface, so a
// simulated camera can stand in for the whole device side and the real listing and capture code
// run against it unchanged (tests, benchmarks).
//
// The calls keep the shapes and the errno convention of their system namesakes (-1 and errno
// on failure, MAP_FAILED from mmap). The system implementation goes through libv4l2 for the
// device calls, which passes native formats through untouched, and through poll(2).
//
// Thread-safe: the GUI thread lists devices while capture threads stream. A device keeps the
// kernel it was opened with (a shared pointer), so installing another one never pulls the
// calls of a running camera out from under it.
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <memory>

#include <poll.h>
#include <sys/types.h>

class V4l2Kernel
{
public:
    virtual ~V4l2Kernel() = default;

    // The video nodes that exist now, "/dev/videoN", in any order.
    virtual QStringList videoNodes() const = 0;
    // Each stable link under /dev/v4l/by-id with the node it resolves to now.
    virtual QMap<QString, QString> byIdLinks() const = 0;
    // The node a key (a node or a link) resolves to now; empty when nothing is there.
    virtual QString resolveNode(const QString &key) const = 0;

    virtual int open(const char *path, int flags) = 0;
    virtual int close(int fd) = 0;
    virtual int ioctl(int fd, unsigned long request, void *argument) = 0;
    virtual void *mmap(void *address, size_t length, int protection, int flags, int fd, off_t offset) = 0;
    virtual int munmap(void *address, size_t length) = 0;
    virtual int poll(pollfd *fds, nfds_t count, int timeoutMs) = 0;

    // ioctl, retried while a signal interrupts it, as every V4L2 program must.
    int ioctlRetrying(int fd, unsigned long request, void *argument);
};

// The kernel the V4L2 layer uses now: the system's, unless one was installed.
std::shared_ptr<V4l2Kernel> currentV4l2Kernel();
// Makes `kernel` the one every later listing and open uses; null brings back the system's.
void installV4l2Kernel(std::shared_ptr<V4l2Kernel> kernel);
