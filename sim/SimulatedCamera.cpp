#include "SimulatedCamera.h"

#include "capture/TestPatternRenderer.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr qint64 NsPerSecond = 1'000'000'000;
constexpr quint32 MaxBuffers = 8;
// mmap offsets of the buffers: far enough apart for any picture.
constexpr off_t BufferOffsetStep = off_t(1) << 28;

void copyText(__u8 *target, size_t size, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::memset(target, 0, size);
    std::memcpy(target, bytes.constData(), std::min(size - 1, size_t(bytes.size())));
}

} // namespace

SimulatedCamera::SimulatedCamera(SimulatedCameraSpec spec)
    : m_spec(std::move(spec))
{
    if (!m_spec.modes.isEmpty())
        setMode(m_spec.modes.first());
}

void SimulatedCamera::setMode(const SimulatedCameraSpec::Mode &mode)
{
    m_mode = mode.mode;
    m_rate = mode.rates.value(0, 30);
    m_bytesPerLine = simulatedBytesPerLine(m_mode, m_spec.rowPadding);
    m_imageSize = simulatedImageSize(m_mode, m_bytesPerLine);
}

void SimulatedCamera::plugIn(int nodeNumber, qint64)
{
    if (m_bufferOwner >= 0 && !m_buffers.empty())
        m_retired.emplace_back(m_bufferOwner, std::move(m_buffers));
    m_buffers.clear();
    m_queued.clear();
    m_done.clear();
    m_bufferOwner = -1;
    m_isStreaming = false;
    m_isPresent = true;
    ++m_generation;
    m_nodeNumber = nodeNumber;
    // A camera plugged in again starts in its default mode.
    if (!m_spec.modes.isEmpty())
        setMode(m_spec.modes.first());
}

void SimulatedCamera::unplug(qint64 nowNs)
{
    m_isPresent = false;
    m_isStreaming = false;
    m_hasVanished = true;
    m_unpluggedNs = nowNs;
}

qint64 SimulatedCamera::returnTimeNs() const
{
    if (m_isPresent || m_spec.returnAfterNs <= 0)
        return -1;
    return m_unpluggedNs + m_spec.returnAfterNs;
}

int SimulatedCamera::queryCap(v4l2_capability &caps) const
{
    caps = v4l2_capability{};
    copyText(caps.driver, sizeof caps.driver, QStringLiteral("vireon-sim"));
    copyText(caps.card, sizeof caps.card, m_spec.card);
    copyText(caps.bus_info, sizeof caps.bus_info, QStringLiteral("usb-sim-") + m_spec.byIdName);
    caps.version = 0x060100;
    caps.device_caps = m_spec.deviceCaps;
    caps.capabilities = m_spec.deviceCaps | V4L2_CAP_META_CAPTURE | V4L2_CAP_DEVICE_CAPS;
    return 0;
}

int SimulatedCamera::enumFormat(v4l2_fmtdesc &description) const
{
    if (description.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || !(m_spec.deviceCaps & V4L2_CAP_VIDEO_CAPTURE))
        return EINVAL;
    QList<quint32> fourccs;
    for (const auto &mode : m_spec.modes) {
        if (!fourccs.contains(mode.mode.fourcc))
            fourccs.append(mode.mode.fourcc);
    }
    if (description.index >= quint32(fourccs.size()))
        return EINVAL;
    const quint32 fourcc = fourccs[int(description.index)];
    description.pixelformat = fourcc;
    const bool isCompressed = fourcc == V4L2_PIX_FMT_MJPEG || fourcc == V4L2_PIX_FMT_H264;
    description.flags = isCompressed ? V4L2_FMT_FLAG_COMPRESSED : 0;
    copyText(description.description, sizeof description.description,
             fourcc == V4L2_PIX_FMT_MJPEG ? QStringLiteral("Motion-JPEG")
             : fourcc == V4L2_PIX_FMT_H264 ? QStringLiteral("H.264")
                                           : QStringLiteral("Raw"));
    return 0;
}

int SimulatedCamera::enumFrameSize(v4l2_frmsizeenum &size) const
{
    QList<SimulatedMode> sizes;
    for (const auto &mode : m_spec.modes) {
        if (mode.mode.fourcc == size.pixel_format && !sizes.contains(mode.mode))
            sizes.append(mode.mode);
    }
    if (size.index >= quint32(sizes.size()))
        return EINVAL;
    size.type = V4L2_FRMSIZE_TYPE_DISCRETE;
    size.discrete.width = quint32(sizes[int(size.index)].width);
    size.discrete.height = quint32(sizes[int(size.index)].height);
    return 0;
}

int SimulatedCamera::enumFrameInterval(v4l2_frmivalenum &interval) const
{
    const auto *mode = findMode(interval.pixel_format, int(interval.width), int(interval.height));
    if (!mode || interval.index >= quint32(mode->rates.size()))
        return EINVAL;
    interval.type = V4L2_FRMIVAL_TYPE_DISCRETE;
    interval.discrete.numerator = 1;
    interval.discrete.denominator = quint32(mode->rates[int(interval.index)]);
    return 0;
}

const SimulatedCameraSpec::Mode *SimulatedCamera::findMode(quint32 fourcc, int width, int height) const
{
    for (const auto &mode : m_spec.modes) {
        if (mode.mode == SimulatedMode{fourcc, width, height})
            return &mode;
    }
    return nullptr;
}

int SimulatedCamera::getFormat(v4l2_format &format) const
{
    if (format.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || m_spec.modes.isEmpty())
        return EINVAL;
    v4l2_pix_format &pix = format.fmt.pix;
    pix = v4l2_pix_format{};
    pix.width = quint32(m_mode.width);
    pix.height = quint32(m_mode.height);
    pix.pixelformat = m_mode.fourcc;
    pix.field = V4L2_FIELD_NONE;
    pix.bytesperline = quint32(m_bytesPerLine);
    pix.sizeimage = quint32(m_imageSize);
    pix.colorspace = V4L2_COLORSPACE_SRGB;
    return 0;
}

int SimulatedCamera::setFormat(int fd, v4l2_format &format)
{
    if (m_spec.busyError)
        return m_spec.busyError;
    if (m_isStreaming || (m_bufferOwner >= 0 && m_bufferOwner != fd))
        return EBUSY;
    if (format.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || m_spec.modes.isEmpty())
        return EINVAL;
    SimulatedMode asked{format.fmt.pix.pixelformat, int(format.fmt.pix.width), int(format.fmt.pix.height)};
    for (const auto &[from, to] : m_spec.substitutions) {
        if (from == asked)
            asked = to;
    }
    // A driver adjusts: the asked mode, else the nearest size of that format, else its first.
    const SimulatedCameraSpec::Mode *chosen = findMode(asked.fourcc, asked.width, asked.height);
    const auto distance = [&](const SimulatedMode &m) { return std::abs(m.width - asked.width) + std::abs(m.height - asked.height); };
    for (const auto &candidate : m_spec.modes) {
        if (!findMode(asked.fourcc, asked.width, asked.height) && candidate.mode.fourcc == asked.fourcc
            && (!chosen || distance(candidate.mode) < distance(chosen->mode)))
            chosen = &candidate;
    }
    if (!chosen)
        chosen = &m_spec.modes.first();
    setMode(*chosen);
    return getFormat(format);
}

int SimulatedCamera::getParm(v4l2_streamparm &parm) const
{
    if (parm.type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
        return EINVAL;
    parm.parm.capture = v4l2_captureparm{};
    parm.parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
    parm.parm.capture.timeperframe = {1, quint32(m_rate)};
    return 0;
}

int SimulatedCamera::setParm(v4l2_streamparm &parm)
{
    if (parm.type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
        return EINVAL;
    if (m_isStreaming)
        return EBUSY;
    const v4l2_fract asked = parm.parm.capture.timeperframe;
    const SimulatedCameraSpec::Mode *mode = findMode(m_mode.fourcc, m_mode.width, m_mode.height);
    if (mode && asked.numerator > 0) {
        // The offered rate nearest to the asked one.
        const double askedRate = double(asked.denominator) / asked.numerator;
        int best = m_rate;
        for (int rate : mode->rates) {
            if (std::abs(rate - askedRate) < std::abs(best - askedRate))
                best = rate;
        }
        m_rate = best;
    }
    return getParm(parm);
}

int SimulatedCamera::requestBuffers(int fd, v4l2_requestbuffers &request, qint64)
{
    if (request.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || request.memory != V4L2_MEMORY_MMAP)
        return EINVAL;
    if (m_bufferOwner >= 0 && m_bufferOwner != fd)
        return EBUSY;
    if (request.count == 0) {
        release(fd);
        return 0;
    }
    if (m_spec.busyError)
        return m_spec.busyError;
    if (m_isStreaming)
        return EBUSY;
    m_buffers.assign(std::min(request.count, MaxBuffers), Buffer{});
    for (size_t i = 0; i < m_buffers.size(); ++i) {
        m_buffers[i].memory.assign(size_t(m_imageSize), 0);
        m_buffers[i].info.index = quint32(i);
    }
    m_queued.clear();
    m_done.clear();
    m_bufferOwner = fd;
    request.count = quint32(m_buffers.size());
    return 0;
}

int SimulatedCamera::queryBuffer(int fd, v4l2_buffer &buffer) const
{
    if (fd != m_bufferOwner || buffer.index >= m_buffers.size())
        return EINVAL;
    buffer.length = quint32(m_imageSize);
    buffer.m.offset = quint32(off_t(buffer.index) * BufferOffsetStep);
    buffer.flags = 0;
    return 0;
}

int SimulatedCamera::queueBuffer(int fd, const v4l2_buffer &buffer, qint64 nowNs)
{
    if (fd != m_bufferOwner || buffer.index >= m_buffers.size()
        || m_buffers[buffer.index].state == Buffer::State::Queued)
        return EINVAL;
    advanceTo(nowNs); // pictures due before this buffer came back had no room
    m_buffers[buffer.index].state = Buffer::State::Queued;
    m_queued.push_back(int(buffer.index));
    return 0;
}

int SimulatedCamera::dequeueBuffer(int fd, v4l2_buffer &buffer, qint64 nowNs)
{
    if (fd != m_bufferOwner)
        return EINVAL;
    advanceTo(nowNs);
    if (m_done.empty())
        return EAGAIN;
    Buffer &done = m_buffers[size_t(m_done.front())];
    m_done.pop_front();
    done.state = Buffer::State::Dequeued;
    buffer = done.info;
    return 0;
}

int SimulatedCamera::streamOn(int fd, qint64 nowNs)
{
    if (fd != m_bufferOwner || m_buffers.empty())
        return EINVAL;
    // Prepared now, not when the first picture falls due.
    m_spec.pictures->picture(m_mode, m_bytesPerLine, 0, false);
    m_spec.pictures->picture(m_mode, m_bytesPerLine, 0, true);
    m_isStreaming = true;
    m_isStalled = false;
    m_streamStartNs = nowNs;
    m_nextPicture = 0;
    m_lastTakenNs = nowNs - NsPerSecond / m_rate;
    return 0;
}

int SimulatedCamera::streamOff(int fd)
{
    if (fd != m_bufferOwner)
        return EINVAL;
    m_isStreaming = false;
    for (Buffer &buffer : m_buffers)
        buffer.state = Buffer::State::Dequeued;
    m_queued.clear();
    m_done.clear();
    return 0;
}

void SimulatedCamera::release(int fd)
{
    m_retired.erase(std::remove_if(m_retired.begin(), m_retired.end(), [fd](const auto &entry) { return entry.first == fd; }),
                    m_retired.end());
    if (fd != m_bufferOwner)
        return;
    m_isStreaming = false;
    m_buffers.clear();
    m_queued.clear();
    m_done.clear();
    m_bufferOwner = -1;
}

void *SimulatedCamera::bufferMemory(int fd, off_t offset)
{
    const size_t index = size_t(offset / BufferOffsetStep);
    if (fd != m_bufferOwner || offset % BufferOffsetStep != 0 || index >= m_buffers.size())
        return nullptr;
    return m_buffers[index].memory.data();
}

qint64 SimulatedCamera::pictureTimeNs(qint64 index) const
{
    return m_streamStartNs + index * NsPerSecond / m_rate;
}

qint64 SimulatedCamera::nextReadyNs() const
{
    if (!m_isStreaming || !m_isPresent || m_isStalled || m_queued.empty())
        return -1;
    return pictureTimeNs(m_nextPicture) + m_spec.deliveryDelayNs;
}

bool SimulatedCamera::advanceTo(qint64 nowNs)
{
    while (m_isStreaming && m_isPresent && !m_isStalled) {
        const qint64 takenNs = pictureTimeNs(m_nextPicture);
        if (takenNs + m_spec.deliveryDelayNs > nowNs)
            break;
        if (m_queued.empty()) {
            // No room: every picture due by now is lost, as with a driver.
            const qint64 lastDue = (nowNs - m_spec.deliveryDelayNs - m_streamStartNs) * m_rate / NsPerSecond;
            m_nextPicture = std::max(m_nextPicture, lastDue) + 1;
            m_lastTakenNs = pictureTimeNs(m_nextPicture - 1);
            break;
        }
        Buffer &buffer = m_buffers[size_t(m_queued.front())];
        m_queued.pop_front();
        fill(buffer, m_nextPicture, takenNs);
        m_done.push_back(int(buffer.info.index));
        ++m_nextPicture;
        if (m_spec.vanishAfterPictures > 0 && !m_hasVanished && m_picturesSent >= m_spec.vanishAfterPictures)
            unplug(takenNs + m_spec.deliveryDelayNs);
        if (m_spec.stallAfterPictures > 0 && !m_hasStalled && m_picturesSent >= m_spec.stallAfterPictures)
            m_hasStalled = m_isStalled = true;
    }
    return m_isPresent && !m_done.empty();
}

void SimulatedCamera::fill(Buffer &buffer, qint64 pictureIndex, qint64 takenNs)
{
    // White when it is the first picture taken in a new whole second, as the built-in camera.
    const bool flash = TestPatternRenderer::crossesWholeSecond(m_lastTakenNs, takenNs);
    m_lastTakenNs = takenNs;
    const QByteArray &bytes = m_spec.pictures->picture(m_mode, m_bytesPerLine, pictureIndex, flash);
    const size_t length = std::min(size_t(bytes.size()), buffer.memory.size());
    std::memcpy(buffer.memory.data(), bytes.constData(), length);

    v4l2_buffer &info = buffer.info;
    info.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    info.memory = V4L2_MEMORY_MMAP;
    info.field = V4L2_FIELD_NONE;
    info.sequence = quint32(pictureIndex);
    info.bytesused = quint32(length);
    info.length = quint32(buffer.memory.size());
    info.m.offset = quint32(off_t(info.index) * BufferOffsetStep);
    info.flags = 0;
    if (m_spec.monotonicTimestamps) {
        info.flags |= V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC;
        info.timestamp.tv_sec = takenNs / NsPerSecond;
        info.timestamp.tv_usec = (takenNs % NsPerSecond) / 1000;
    } else {
        info.flags |= V4L2_BUF_FLAG_TIMESTAMP_UNKNOWN;
        info.timestamp = {};
    }

    const qint64 number = ++m_picturesSent;
    if (m_spec.corruptEvery > 0 && number % m_spec.corruptEvery == 0) {
        switch ((number / m_spec.corruptEvery) % 3) {
        case 1: info.bytesused = quint32(length / 2); break;                // cut off
        case 2: std::memset(buffer.memory.data(), 0, length); break;        // all zero
        default: info.flags |= V4L2_BUF_FLAG_ERROR; break;                  // flagged
        }
    }
    buffer.state = Buffer::State::Done;
}
