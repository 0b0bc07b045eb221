#include "capture/V4l2Capture.h"

#include "common/MonotonicClock.h"
#include "common/ThreadName.h"

#include "capture/V4l2Devices.h"
#include "capture/V4l2Kernel.h"
#include "capture/V4l2Mapping.h"

#include <QDebug>
#include <QFileInfo>
#include <QMutexLocker>

#include <linux/videodev2.h>

#include <cerrno>
#include <cstring>
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

} // namespace

V4l2Capture::V4l2Capture(const QString &deviceKey, std::shared_ptr<V4l2Kernel> kernel)
    : m_deviceKey(deviceKey)
    , m_kernel(std::move(kernel))
{
}

V4l2Capture::~V4l2Capture()
{
    stop();
}

bool V4l2Capture::fail(const QString &what)
{
    const int error = errno;
    if (error == EBUSY)
        setError(QStringLiteral("%1 is %2").arg(m_deviceKey, v4l2ErrorReason(error)));
    else
        setError(QStringLiteral("%1 failed on %2: %3").arg(what, m_deviceKey, v4l2ErrorReason(error)));
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

std::optional<CameraFormat> V4l2Capture::grantedFormat() const
{
    return m_granted;
}

bool V4l2Capture::open(const CameraFormat &format)
{
    stop();
    setError(QString());
    m_hasFailed.store(false);
    QString error;
    m_fd = openV4l2Device(*m_kernel, m_deviceKey, &error);
    if (m_fd < 0) {
        setError(error);
        qWarning().noquote() << "[V4l2Capture]" << error;
        return false;
    }

    v4l2_capability caps{};
    if (m_kernel->ioctlRetrying(m_fd, VIDIOC_QUERYCAP, &caps) < 0)
        return fail(QStringLiteral("VIDIOC_QUERYCAP"));
    const quint32 nodeCaps = v4l2NodeCapabilities(caps.capabilities, caps.device_caps);
    if (!(nodeCaps & V4L2_CAP_VIDEO_CAPTURE) || !(nodeCaps & V4L2_CAP_STREAMING)) {
        setError(QStringLiteral("%1 is not a streaming capture device").arg(m_deviceKey));
        qWarning().noquote() << "[V4l2Capture]" << lastError();
        return false;
    }
    if (!negotiateFormat(format))
        return false;
    negotiateRate(format);
    qDebug().noquote() << "[V4l2Capture]" << m_deviceKey << "runs" << describeCameraFormat(m_granted)
                       << "(" << fourccText(m_granted.subtype) << ", bytesperline" << m_geometry.rowStride << ")";
    return mapBuffers();
}

quint32 V4l2Capture::pixelFormatToAsk(const CameraFormat &format)
{
    if (capturePixelFormatFor(format.subtype))
        return format.subtype;
    // A format made up without the device's list (no subtype): keep the device's current
    // format when we can show it, else ask for MJPEG, which every UVC camera of some size has.
    v4l2_format current{};
    current.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (m_kernel->ioctlRetrying(m_fd, VIDIOC_G_FMT, &current) == 0 && capturePixelFormatFor(current.fmt.pix.pixelformat))
        return current.fmt.pix.pixelformat;
    return V4L2_PIX_FMT_MJPEG;
}

bool V4l2Capture::negotiateFormat(const CameraFormat &format)
{
    v4l2_format pixFormat{};
    pixFormat.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    pixFormat.fmt.pix.width = quint32(qMax(format.width, 1));
    pixFormat.fmt.pix.height = quint32(qMax(format.height, 1));
    pixFormat.fmt.pix.pixelformat = pixelFormatToAsk(format);
    pixFormat.fmt.pix.field = V4L2_FIELD_ANY;
    if (m_kernel->ioctlRetrying(m_fd, VIDIOC_S_FMT, &pixFormat) < 0)
        return fail(QStringLiteral("VIDIOC_S_FMT"));
    // What the driver made of it: it adjusts a size or format it cannot do instead of refusing.
    v4l2_format granted{};
    granted.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (m_kernel->ioctlRetrying(m_fd, VIDIOC_G_FMT, &granted) < 0)
        return fail(QStringLiteral("VIDIOC_G_FMT"));
    const v4l2_pix_format &pix = granted.fmt.pix;
    const std::optional<CapturePixelFormat> layout = capturePixelFormatFor(pix.pixelformat);
    if (!layout || pix.width < 1 || pix.height < 1) {
        setError(QStringLiteral("%1 sends %2 pictures, which cannot be shown").arg(m_deviceKey, fourccText(pix.pixelformat)));
        qWarning().noquote() << "[V4l2Capture]" << lastError();
        return false;
    }

    m_geometry = CaptureGeometry{};
    m_geometry.width = int(pix.width);
    m_geometry.height = int(pix.height);
    m_geometry.rowStride = qsizetype(pix.bytesperline);
    m_geometry.topDown = true;
    m_geometry.pixelFormat = *layout;
    m_geometry.yuvFullRange = pix.quantization == V4L2_QUANTIZATION_FULL_RANGE;
    m_geometry.yuvBt709 = pix.ycbcr_enc == V4L2_YCBCR_ENC_709;

    m_granted = format;
    m_granted.width = m_geometry.width;
    m_granted.height = m_geometry.height;
    m_granted.subtype = pix.pixelformat;
    m_granted.subtypeName = v4l2SubtypeName(pix.pixelformat);
    return true;
}

void V4l2Capture::negotiateRate(const CameraFormat &format)
{
    V4l2Fraction interval;
    if (rateToV4l2Interval(format.fpsNumerator, format.fpsDenominator, &interval)) {
        v4l2_streamparm parm{};
        parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        parm.parm.capture.timeperframe.numerator = interval.numerator;
        parm.parm.capture.timeperframe.denominator = interval.denominator;
        // Not every driver lets the rate be set; it then runs at its own, read back below.
        if (m_kernel->ioctlRetrying(m_fd, VIDIOC_S_PARM, &parm) < 0)
            qDebug().noquote() << "[V4l2Capture] VIDIOC_S_PARM not accepted on" << m_deviceKey << ":"
                               << v4l2ErrorReason(errno);
    }
    v4l2_streamparm granted{};
    granted.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    const v4l2_fract &perFrame = granted.parm.capture.timeperframe;
    if (m_kernel->ioctlRetrying(m_fd, VIDIOC_G_PARM, &granted) == 0
        && v4l2IntervalToRate({perFrame.numerator, perFrame.denominator}, &m_granted.fpsNumerator,
                              &m_granted.fpsDenominator))
        return;
    // A driver that will not say keeps the asked rate as the best guess.
}

bool V4l2Capture::mapBuffers()
{
    v4l2_requestbuffers request{};
    request.count = BufferCount;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (m_kernel->ioctlRetrying(m_fd, VIDIOC_REQBUFS, &request) < 0)
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
        if (m_kernel->ioctlRetrying(m_fd, VIDIOC_QUERYBUF, &buffer) < 0)
            return fail(QStringLiteral("VIDIOC_QUERYBUF"));
        void *start = m_kernel->mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd,
                                     off_t(buffer.m.offset));
        if (start == MAP_FAILED)
            return fail(QStringLiteral("mmap"));
        m_buffers.push_back({start, buffer.length});
        if (m_kernel->ioctlRetrying(m_fd, VIDIOC_QBUF, &buffer) < 0)
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
    if (m_kernel->ioctlRetrying(m_fd, VIDIOC_STREAMON, &type) < 0)
        return fail(QStringLiteral("VIDIOC_STREAMON"));
    m_isStreaming = true;
    m_quit.store(false);
    m_thread = std::thread([this, deliver = std::move(deliver)] { captureLoop(deliver); });
    return true;
}

void V4l2Capture::captureLoop(DeliverFunction deliver)
{
    nameCurrentThread(QStringLiteral("v4l2 %1").arg(QFileInfo(m_deviceKey).fileName()));

    const auto failForGood = [this](const QString &what) {
        fail(what);
        m_hasFailed.store(true);
    };
    while (!m_quit.load()) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        const int ready = m_kernel->poll(fds, 2, PollTimeoutMs);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return failForGood(QStringLiteral("poll"));
        }
        if (ready == 0 || (fds[1].revents & POLLIN))
            continue; // quiet device, or stop: the loop condition decides
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            // What an unplugged camera's node answers.
            errno = ENODEV;
            return failForGood(QStringLiteral("poll"));
        }

        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        if (m_kernel->ioctlRetrying(m_fd, VIDIOC_DQBUF, &buffer) < 0) {
            if (errno == EAGAIN)
                continue; // nothing ready after all
            // EIO is what a queue whose device went away answers; a camera that merely
            // hiccupped is back within the watchdog's next retry.
            return failForGood(QStringLiteral("VIDIOC_DQBUF"));
        }
        deliverBuffer(deliver, buffer);
        if (m_kernel->ioctlRetrying(m_fd, VIDIOC_QBUF, &buffer) < 0)
            return failForGood(QStringLiteral("VIDIOC_QBUF"));
    }
}

void V4l2Capture::deliverBuffer(const DeliverFunction &deliver, const v4l2_buffer &buffer)
{
    const qint64 dequeueNs = monotonicNowNs();
    if (buffer.index >= m_buffers.size())
        return;
    const MappedBuffer &mapped = m_buffers[buffer.index];
    CapturedSample sample;
    sample.data = static_cast<const uchar *>(mapped.start);
    // A compressed picture is as long as the driver says; an uncompressed one fills its buffer
    // even when a driver leaves the count at 0.
    const bool isCompressed = m_geometry.pixelFormat == CapturePixelFormat::Mjpeg
                              || m_geometry.pixelFormat == CapturePixelFormat::H264;
    sample.length = qsizetype(buffer.bytesused > 0 || isCompressed ? qMin<size_t>(buffer.bytesused, mapped.length)
                                                                   : mapped.length);
    sample.captureNs = v4l2BufferTimeNs(buffer.timestamp, buffer.flags, dequeueNs);
    sample.isFlaggedCorrupt = (buffer.flags & V4L2_BUF_FLAG_ERROR) != 0;
    deliver(sample);
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
        m_kernel->ioctlRetrying(m_fd, VIDIOC_STREAMOFF, &type);
    }
    m_isStreaming = false;
    for (const MappedBuffer &buffer : m_buffers)
        m_kernel->munmap(buffer.start, buffer.length);
    m_buffers.clear();
    if (m_fd >= 0) {
        v4l2_requestbuffers request{};
        request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        request.memory = V4L2_MEMORY_MMAP;
        m_kernel->ioctlRetrying(m_fd, VIDIOC_REQBUFS, &request);
        m_kernel->close(m_fd);
        m_fd = -1;
    }
    if (m_wakeFd >= 0) {
        ::close(m_wakeFd);
        m_wakeFd = -1;
    }
}
