#include "capture/V4l2Capture.h"

#include "common/MonotonicClock.h"

#include "capture/V4l2Devices.h"
#include "capture/V4l2Mapping.h"

#include <QDebug>
#include <QFileInfo>
#include <QMutexLocker>

#include <libv4l2.h>
#include <linux/videodev2.h>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// Four buffers: one being filled, one being converted, and slack for a scheduling hiccup
// without the driver dropping frames.
constexpr quint32 BufferCount = 4;
// The eventfd wakes the thread at once on stop; the timeout only bounds how long a lost
// wake-up could delay it.
constexpr int PollTimeoutMs = 200;

QString errnoText(int error)
{
    return QString::fromLocal8Bit(strerror(error));
}

} // namespace

V4l2Capture::V4l2Capture(const QString &deviceKey)
    : m_deviceKey(deviceKey)
{
}

V4l2Capture::~V4l2Capture()
{
    stop();
}

bool V4l2Capture::fail(const QString &what)
{
    const int error = errno;
    setError(QStringLiteral("%1 failed on %2: %3").arg(what, m_deviceKey, errnoText(error)));
    qWarning().noquote() << "[V4l2Capture]" << lastError();
    return false;
}

void V4l2Capture::setError(const QString &error)
{
    QMutexLocker lock(&m_errorMutex);
    m_lastError = error;
}

QString V4l2Capture::lastError() const
{
    QMutexLocker lock(&m_errorMutex);
    return m_lastError;
}

CaptureGeometry V4l2Capture::geometry() const
{
    return m_geometry;
}

bool V4l2Capture::open(const CameraFormat &format)
{
    stop();
    setError(QString());
    QString error;
    m_fd = openV4l2Device(m_deviceKey, &error);
    if (m_fd < 0) {
        setError(error);
        qWarning().noquote() << "[V4l2Capture]" << error;
        return false;
    }

    v4l2_capability caps{};
    if (v4l2Ioctl(m_fd, VIDIOC_QUERYCAP, &caps) < 0)
        return fail(QStringLiteral("VIDIOC_QUERYCAP"));
    const quint32 nodeCaps = (caps.capabilities & V4L2_CAP_DEVICE_CAPS) ? caps.device_caps : caps.capabilities;
    if (!(nodeCaps & V4L2_CAP_VIDEO_CAPTURE) || !(nodeCaps & V4L2_CAP_STREAMING)) {
        setError(QStringLiteral("%1 is not a streaming capture device").arg(m_deviceKey));
        qWarning().noquote() << "[V4l2Capture]" << lastError();
        return false;
    }

    // Asking for BGR24 makes libv4lconvert pick the camera's native format for this size and
    // convert it; the driver may round the size to one it supports.
    v4l2_format pixFormat{};
    pixFormat.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    pixFormat.fmt.pix.width = quint32(qMax(format.width, 1));
    pixFormat.fmt.pix.height = quint32(qMax(format.height, 1));
    pixFormat.fmt.pix.pixelformat = V4L2_PIX_FMT_BGR24;
    pixFormat.fmt.pix.field = V4L2_FIELD_ANY;
    if (v4l2Ioctl(m_fd, VIDIOC_S_FMT, &pixFormat) < 0)
        return fail(QStringLiteral("VIDIOC_S_FMT"));
    if (pixFormat.fmt.pix.pixelformat != V4L2_PIX_FMT_BGR24) {
        setError(QStringLiteral("%1 cannot deliver BGR24 pictures").arg(m_deviceKey));
        qWarning().noquote() << "[V4l2Capture]" << lastError();
        return false;
    }
    m_geometry.width = int(pixFormat.fmt.pix.width);
    m_geometry.height = int(pixFormat.fmt.pix.height);
    m_geometry.rowStride = qMax<qsizetype>(pixFormat.fmt.pix.bytesperline, qsizetype(m_geometry.width) * 3);
    m_geometry.topDown = true;

    V4l2Fraction interval;
    if (rateToV4l2Interval(format.fpsNumerator, format.fpsDenominator, &interval)) {
        v4l2_streamparm parm{};
        parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        parm.parm.capture.timeperframe.numerator = interval.numerator;
        parm.parm.capture.timeperframe.denominator = interval.denominator;
        // Not every driver lets the rate be set; it then runs at its own, which is still usable.
        if (v4l2Ioctl(m_fd, VIDIOC_S_PARM, &parm) < 0)
            qDebug().noquote() << "[V4l2Capture] VIDIOC_S_PARM not accepted on" << m_deviceKey
                               << ":" << errnoText(errno);
    }

    return mapBuffers();
}

bool V4l2Capture::mapBuffers()
{
    v4l2_requestbuffers request{};
    request.count = BufferCount;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (v4l2Ioctl(m_fd, VIDIOC_REQBUFS, &request) < 0)
        return fail(QStringLiteral("VIDIOC_REQBUFS"));
    if (request.count < 2) {
        setError(QStringLiteral("%1 offers too few buffers").arg(m_deviceKey));
        qWarning().noquote() << "[V4l2Capture]" << lastError();
        return false;
    }

    for (quint32 index = 0; index < request.count; ++index) {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = index;
        if (v4l2Ioctl(m_fd, VIDIOC_QUERYBUF, &buffer) < 0)
            return fail(QStringLiteral("VIDIOC_QUERYBUF"));
        void *start = v4l2_mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd,
                                buffer.m.offset);
        if (start == MAP_FAILED)
            return fail(QStringLiteral("mmap"));
        m_buffers.push_back({start, buffer.length});
        if (v4l2Ioctl(m_fd, VIDIOC_QBUF, &buffer) < 0)
            return fail(QStringLiteral("VIDIOC_QBUF"));
    }
    return true;
}

bool V4l2Capture::start(DeliverFunction deliver)
{
    if (m_fd < 0 || m_buffers.empty() || m_thread.joinable()) {
        setError(QStringLiteral("%1 is not open").arg(m_deviceKey));
        return false;
    }
    m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0)
        return fail(QStringLiteral("eventfd"));
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (v4l2Ioctl(m_fd, VIDIOC_STREAMON, &type) < 0)
        return fail(QStringLiteral("VIDIOC_STREAMON"));
    m_isStreaming = true;
    m_quit.store(false);
    m_thread = std::thread([this, deliver = std::move(deliver)] { captureLoop(deliver); });
    return true;
}

void V4l2Capture::captureLoop(DeliverFunction deliver)
{
    const QByteArray threadName = QStringLiteral("v4l2 %1").arg(QFileInfo(m_deviceKey).fileName()).toUtf8().left(15);
    pthread_setname_np(pthread_self(), threadName.constData());

    while (!m_quit.load()) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        const int ready = poll(fds, 2, PollTimeoutMs);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            fail(QStringLiteral("poll"));
            return;
        }
        if (ready == 0 || (fds[1].revents & POLLIN))
            continue; // quiet device, or stop: the loop condition decides
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            errno = ENODEV;
            fail(QStringLiteral("poll"));
            return;
        }

        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        if (v4l2Ioctl(m_fd, VIDIOC_DQBUF, &buffer) < 0) {
            // EAGAIN: nothing ready after all (libv4l2 drops pictures it could not convert);
            // EIO: a transient transfer error, the buffer is already back in the driver.
            if (errno == EAGAIN || errno == EIO)
                continue;
            fail(QStringLiteral("VIDIOC_DQBUF"));
            return;
        }
        if (buffer.index < m_buffers.size() && !(buffer.flags & V4L2_BUF_FLAG_ERROR)) {
            const MappedBuffer &mapped = m_buffers[buffer.index];
            const size_t used = buffer.bytesused > 0 ? qMin<size_t>(buffer.bytesused, mapped.length)
                                                     : mapped.length;
            // Dequeued now; the driver's own time stamp may follow another clock.
            deliver(static_cast<const uchar *>(mapped.start), qsizetype(used), monotonicNowNs());
        }
        if (v4l2Ioctl(m_fd, VIDIOC_QBUF, &buffer) < 0) {
            fail(QStringLiteral("VIDIOC_QBUF"));
            return;
        }
    }
}

void V4l2Capture::stop()
{
    if (m_thread.joinable()) {
        m_quit.store(true);
        const quint64 one = 1;
        if (write(m_wakeFd, &one, sizeof one) < 0) {
            // The poll timeout still ends the loop.
        }
        m_thread.join();
    }
    releaseDevice();
}

void V4l2Capture::releaseDevice()
{
    if (m_fd >= 0 && m_isStreaming) {
        v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        v4l2Ioctl(m_fd, VIDIOC_STREAMOFF, &type);
    }
    m_isStreaming = false;
    for (const MappedBuffer &buffer : m_buffers)
        v4l2_munmap(buffer.start, buffer.length);
    m_buffers.clear();
    if (m_fd >= 0) {
        v4l2_requestbuffers request{};
        request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        request.memory = V4L2_MEMORY_MMAP;
        v4l2Ioctl(m_fd, VIDIOC_REQBUFS, &request);
        v4l2_close(m_fd);
        m_fd = -1;
    }
    if (m_wakeFd >= 0) {
        ::close(m_wakeFd);
        m_wakeFd = -1;
    }
}
