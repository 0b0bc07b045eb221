#include "SimulatedV4l2Kernel.h"

#include "common/MonotonicClock.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>
#include <sys/mman.h>

int SimulatedV4l2Kernel::addCamera(SimulatedCameraSpec spec)
{
    std::lock_guard lock(m_mutex);
    auto camera = std::make_unique<SimulatedCamera>(std::move(spec));
    camera->plugIn(m_nextNodeNumber++, monotonicNowNs());
    m_cameras.push_back(std::move(camera));
    return int(m_cameras.size()) - 1;
}

QString SimulatedV4l2Kernel::nodeOf(const SimulatedCamera &camera) const
{
    return QStringLiteral("/dev/video%1").arg(camera.nodeNumber());
}

QString SimulatedV4l2Kernel::linkOf(const SimulatedCamera &camera) const
{
    return camera.spec().byIdName.isEmpty() ? QString() : QStringLiteral("/dev/v4l/by-id/") + camera.spec().byIdName;
}

QString SimulatedV4l2Kernel::deviceKey(int camera) const
{
    std::lock_guard lock(m_mutex);
    const SimulatedCamera &c = *m_cameras.at(size_t(camera));
    return c.spec().byIdName.isEmpty() ? nodeOf(c) : linkOf(c);
}

QString SimulatedV4l2Kernel::nodePath(int camera) const
{
    std::lock_guard lock(m_mutex);
    return nodeOf(*m_cameras.at(size_t(camera)));
}

void SimulatedV4l2Kernel::unplug(int camera)
{
    std::lock_guard lock(m_mutex);
    m_cameras.at(size_t(camera))->unplug(monotonicNowNs());
}

void SimulatedV4l2Kernel::plugIn(int camera)
{
    std::lock_guard lock(m_mutex);
    SimulatedCamera &c = *m_cameras.at(size_t(camera));
    if (!c.isPresent())
        c.plugIn(m_nextNodeNumber++, monotonicNowNs());
}

SimulatedMode SimulatedV4l2Kernel::currentMode(int camera) const
{
    std::lock_guard lock(m_mutex);
    return m_cameras.at(size_t(camera))->currentMode();
}

int SimulatedV4l2Kernel::currentRate(int camera) const
{
    std::lock_guard lock(m_mutex);
    return m_cameras.at(size_t(camera))->currentRate();
}

int SimulatedV4l2Kernel::bytesPerLine(int camera) const
{
    std::lock_guard lock(m_mutex);
    return m_cameras.at(size_t(camera))->bytesPerLine();
}

qint64 SimulatedV4l2Kernel::picturesSent(int camera) const
{
    std::lock_guard lock(m_mutex);
    return m_cameras.at(size_t(camera))->picturesSent();
}

qint64 SimulatedV4l2Kernel::streamStartNs(int camera) const
{
    std::lock_guard lock(m_mutex);
    return m_cameras.at(size_t(camera))->streamStartNs();
}

bool SimulatedV4l2Kernel::isStreaming(int camera) const
{
    std::lock_guard lock(m_mutex);
    return m_cameras.at(size_t(camera))->isStreaming();
}

bool SimulatedV4l2Kernel::isPresent(int camera) const
{
    std::lock_guard lock(m_mutex);
    returnCameras(monotonicNowNs());
    return m_cameras.at(size_t(camera))->isPresent();
}

void SimulatedV4l2Kernel::returnCameras(qint64 nowNs) const
{
    for (auto &camera : m_cameras) {
        const qint64 returnNs = camera->returnTimeNs();
        if (returnNs >= 0 && nowNs >= returnNs)
            camera->plugIn(m_nextNodeNumber++, nowNs);
    }
}

QStringList SimulatedV4l2Kernel::videoNodes() const
{
    std::lock_guard lock(m_mutex);
    returnCameras(monotonicNowNs());
    QStringList nodes;
    for (const auto &camera : m_cameras) {
        if (camera->isPresent())
            nodes.append(nodeOf(*camera));
    }
    return nodes;
}

QMap<QString, QString> SimulatedV4l2Kernel::byIdLinks() const
{
    std::lock_guard lock(m_mutex);
    returnCameras(monotonicNowNs());
    QMap<QString, QString> links;
    for (const auto &camera : m_cameras) {
        if (camera->isPresent() && !camera->spec().byIdName.isEmpty())
            links.insert(linkOf(*camera), nodeOf(*camera));
    }
    return links;
}

QString SimulatedV4l2Kernel::resolveNode(const QString &key) const
{
    std::lock_guard lock(m_mutex);
    returnCameras(monotonicNowNs());
    for (const auto &camera : m_cameras) {
        if (camera->isPresent() && (key == nodeOf(*camera) || (!linkOf(*camera).isEmpty() && key == linkOf(*camera))))
            return nodeOf(*camera);
    }
    return QString();
}

int SimulatedV4l2Kernel::open(const char *path, int)
{
    std::lock_guard lock(m_mutex);
    returnCameras(monotonicNowNs());
    const QString node = QString::fromLocal8Bit(path);
    for (size_t i = 0; i < m_cameras.size(); ++i) {
        const SimulatedCamera &camera = *m_cameras[i];
        if (!camera.isPresent() || nodeOf(camera) != node)
            continue;
        if (camera.spec().openError) {
            errno = camera.spec().openError;
            return -1;
        }
        const int fd = m_nextDescriptor++;
        m_descriptors[fd] = Descriptor{int(i), camera.generation()};
        return fd;
    }
    errno = ENOENT;
    return -1;
}

SimulatedCamera *SimulatedV4l2Kernel::cameraOf(int fd, int *error) const
{
    const auto it = m_descriptors.find(fd);
    if (it == m_descriptors.end()) {
        *error = EBADF;
        return nullptr;
    }
    SimulatedCamera *camera = m_cameras[size_t(it->second.camera)].get();
    if (!camera->isPresent() || camera->generation() != it->second.generation) {
        *error = ENODEV;
        return nullptr;
    }
    return camera;
}

int SimulatedV4l2Kernel::close(int fd)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_descriptors.find(fd);
    if (it == m_descriptors.end()) {
        errno = EBADF;
        return -1;
    }
    m_cameras[size_t(it->second.camera)]->release(fd);
    m_descriptors.erase(it);
    return 0;
}

int SimulatedV4l2Kernel::ioctl(int fd, unsigned long request, void *argument)
{
    std::lock_guard lock(m_mutex);
    const qint64 nowNs = monotonicNowNs();
    returnCameras(nowNs);
    int result = 0;
    SimulatedCamera *camera = cameraOf(fd, &result);
    if (camera) {
        switch (request) {
        case VIDIOC_QUERYCAP: result = camera->queryCap(*static_cast<v4l2_capability *>(argument)); break;
        case VIDIOC_ENUM_FMT: result = camera->enumFormat(*static_cast<v4l2_fmtdesc *>(argument)); break;
        case VIDIOC_ENUM_FRAMESIZES: result = camera->enumFrameSize(*static_cast<v4l2_frmsizeenum *>(argument)); break;
        case VIDIOC_ENUM_FRAMEINTERVALS: result = camera->enumFrameInterval(*static_cast<v4l2_frmivalenum *>(argument)); break;
        case VIDIOC_G_FMT: result = camera->getFormat(*static_cast<v4l2_format *>(argument)); break;
        case VIDIOC_S_FMT: result = camera->setFormat(fd, *static_cast<v4l2_format *>(argument)); break;
        case VIDIOC_G_PARM: result = camera->getParm(*static_cast<v4l2_streamparm *>(argument)); break;
        case VIDIOC_S_PARM: result = camera->setParm(*static_cast<v4l2_streamparm *>(argument)); break;
        case VIDIOC_REQBUFS: result = camera->requestBuffers(fd, *static_cast<v4l2_requestbuffers *>(argument), nowNs); break;
        case VIDIOC_QUERYBUF: result = camera->queryBuffer(fd, *static_cast<v4l2_buffer *>(argument)); break;
        case VIDIOC_QBUF: result = camera->queueBuffer(fd, *static_cast<v4l2_buffer *>(argument), nowNs); break;
        case VIDIOC_DQBUF: result = camera->dequeueBuffer(fd, *static_cast<v4l2_buffer *>(argument), nowNs); break;
        case VIDIOC_STREAMON: result = camera->streamOn(fd, nowNs); break;
        case VIDIOC_STREAMOFF: result = camera->streamOff(fd); break;
        default: result = ENOTTY; break;
        }
    }
    if (result != 0) {
        errno = result;
        return -1;
    }
    return 0;
}

void *SimulatedV4l2Kernel::mmap(void *, size_t, int, int, int fd, off_t offset)
{
    std::lock_guard lock(m_mutex);
    int error = 0;
    SimulatedCamera *camera = cameraOf(fd, &error);
    void *memory = camera ? camera->bufferMemory(fd, offset) : nullptr;
    if (!memory) {
        errno = camera ? EINVAL : error;
        return MAP_FAILED;
    }
    return memory;
}

int SimulatedV4l2Kernel::munmap(void *, size_t)
{
    // The memory belongs to the camera's buffers until their descriptor is closed.
    return 0;
}

int SimulatedV4l2Kernel::poll(pollfd *fds, nfds_t count, int timeoutMs)
{
    const qint64 deadlineNs = timeoutMs < 0 ? LLONG_MAX : monotonicNowNs() + qint64(timeoutMs) * 1'000'000;
    std::vector<pollfd> real;
    std::vector<nfds_t> realIndex;
    for (nfds_t i = 0; i < count; ++i) {
        if (fds[i].fd < FirstDescriptor) {
            real.push_back(fds[i]);
            realIndex.push_back(i);
        }
    }
    for (;;) {
        const qint64 nowNs = monotonicNowNs();
        qint64 wakeNs = deadlineNs;
        int ready = 0;
        {
            std::lock_guard lock(m_mutex);
            returnCameras(nowNs);
            for (nfds_t i = 0; i < count; ++i) {
                if (fds[i].fd < FirstDescriptor)
                    continue;
                fds[i].revents = 0;
                int error = 0;
                SimulatedCamera *camera = cameraOf(fds[i].fd, &error);
                if (!camera)
                    fds[i].revents = error == EBADF ? POLLNVAL : short(POLLERR | POLLHUP);
                else if (camera->advanceTo(nowNs))
                    fds[i].revents = short(fds[i].events & POLLIN);
                else if (const qint64 nextNs = camera->nextReadyNs(); nextNs >= 0)
                    wakeNs = std::min(wakeNs, nextNs);
                if (fds[i].revents)
                    ++ready;
            }
        }
        // Wait on the real descriptors until the next picture falls due (not at all when a
        // simulated one is ready already).
        const qint64 waitNs = ready > 0 ? 0 : std::max<qint64>(0, wakeNs - nowNs);
        timespec wait{time_t(waitNs / 1'000'000'000), long(waitNs % 1'000'000'000)};
        for (pollfd &entry : real)
            entry.revents = 0;
        const int realReady = ppoll(real.data(), real.size(), ready == 0 && wakeNs == LLONG_MAX ? nullptr : &wait, nullptr);
        if (realReady < 0)
            return -1;
        for (size_t j = 0; j < real.size(); ++j) {
            fds[realIndex[j]].revents = real[j].revents;
            if (real[j].revents)
                ++ready;
        }
        if (ready > 0)
            return ready;
        if (monotonicNowNs() >= deadlineNs)
            return 0;
    }
}
