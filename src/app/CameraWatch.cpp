#include "app/CameraWatch.h"

#include "app/LogMarkers.h"
#include "capture/CameraCapture.h"
#include "common/MonotonicClock.h"
#include "recording/TakeRecorder.h"

#include <QDebug>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

const CameraCapture *cameraOf(const ChannelState *channel)
{
    return channel ? dynamic_cast<const CameraCapture *>(channel->source.get()) : nullptr;
}

// What the user asked for, as a format to hold the granted one against.
CameraFormat askedFormat(const ChannelCameraConfig &config)
{
    CameraFormat asked;
    asked.width = config.width;
    asked.height = config.height;
    if (std::isfinite(config.framerate) && config.framerate > 0.0f) {
        asked.fpsNumerator = qint32(std::lround(double(config.framerate) * 1000.0));
        asked.fpsDenominator = 1000;
    }
    asked.subtypeName = config.formatName;
    return asked;
}

} // namespace

CameraWatch::CameraWatch(ChannelStates &channels, std::function<QString()> takeTimeText, QObject *parent)
    : QObject(parent)
    , m_channels(channels)
    , m_takeTimeText(std::move(takeTimeText))
{
    connect(&m_timer, &QTimer::timeout, this, &CameraWatch::superviseCameras);
}

void CameraWatch::start()
{
    m_timer.start(kIntervalMs);
}

void CameraWatch::stop()
{
    m_timer.stop();
}

void CameraWatch::superviseCameras()
{
    const qint64 nowNs = monotonicNowNs();
    std::vector<int> changed;
    for (const ChannelState &channel : m_channels) {
        if (auto *camera = dynamic_cast<CameraCapture *>(channel.source.get()); camera && camera->supervise(nowNs))
            changed.push_back(channel.id);
    }
    for (int channelId : changed)
        reportState(channelId);
    if (++m_ticks % 2 == 0)
        lookForWaitingCameras();
}

void CameraWatch::lookForWaitingCameras()
{
    std::vector<int> waiting;
    for (const ChannelState &channel : m_channels) {
        if (channel.waitingCamera)
            waiting.push_back(channel.id);
    }
    if (waiting.empty())
        return;
    const QList<DeviceInfo> devices = CameraCapture::listDevices();
    for (int channelId : waiting) {
        const QString key = m_channels.find(channelId)->waitingCamera->cameraKey;
        const bool isThere = std::any_of(devices.begin(), devices.end(), [&](const DeviceInfo &device) {
            return device.devicePath == key && device.unavailableReason.isEmpty();
        });
        if (isThere)
            emit waitingCameraAppeared(channelId);
    }
}

void CameraWatch::reportState(int channelId)
{
    const CameraCapture *camera = cameraOf(m_channels.find(channelId));
    if (!camera)
        return;
    switch (camera->state()) {
    case SourceState::Lost:
        // A marker line like the take's own, so it stands out in the log and the monitor.
        qWarning().noquote() << "[CameraWatch]" << LogMarkers::markerLine(LogMarkers::kCameraLost) << "channel" << channelId
                             << m_takeTimeText() << "-"
                             << camera->lastError();
        break;
    case SourceState::Reconnecting:
        qDebug().noquote() << "[CameraWatch] Camera of channel" << channelId << "is back, restarted in"
                           << describeCameraFormat(camera->grantedFormat()) << m_takeTimeText();
        break;
    case SourceState::Live:
        qDebug().noquote() << "[CameraWatch] Camera of channel" << channelId << "delivers again" << m_takeTimeText();
        break;
    case SourceState::Off:
        break;
    }
    emit cameraStatusChanged(channelId);
}

void CameraWatch::announceFormat(int channelId)
{
    const QString text = formatTextOf(channelId);
    if (!text.isEmpty() && !isFormatAsAskedOf(channelId))
        qWarning().noquote() << "[CameraWatch] Camera of channel" << channelId << "runs" << text
                             << "- the device did not grant the format asked for";
    else if (!text.isEmpty())
        qDebug().noquote() << "[CameraWatch] Camera of channel" << channelId << "runs" << text;
    emit cameraStatusChanged(channelId);
}

QString CameraWatch::stateOf(int channelId) const
{
    const ChannelState *channel = m_channels.find(channelId);
    const ISource *source = channel ? channel->source.get() : nullptr;
    if (!source && channel && channel->waitingCamera)
        return QStringLiteral("waiting");
    return QString::fromLatin1(sourceStateName(source ? source->state() : SourceState::Off));
}

double CameraWatch::grantedRateOf(int channelId) const
{
    const CameraCapture *camera = cameraOf(m_channels.find(channelId));
    if (!camera || !camera->isRunning())
        return 0.0;
    const CameraFormat granted = camera->grantedFormat();
    return granted.fpsDenominator > 0 ? double(granted.fpsNumerator) / granted.fpsDenominator : 0.0;
}

QString CameraWatch::formatTextOf(int channelId) const
{
    const ChannelState *channel = m_channels.find(channelId);
    const CameraCapture *camera = cameraOf(channel);
    if (!camera || !camera->isRunning() || !channel->camera)
        return QString();
    return describeGrantedFormat(camera->grantedFormat(), askedFormat(*channel->camera));
}

bool CameraWatch::isFormatAsAskedOf(int channelId) const
{
    const ChannelState *channel = m_channels.find(channelId);
    const CameraCapture *camera = cameraOf(channel);
    if (!camera || !camera->isRunning() || !channel->camera)
        return true;
    return isGrantedAsAsked(camera->grantedFormat(), askedFormat(*channel->camera));
}

double CameraWatch::rateOf(int channelId) const
{
    const ChannelState *channel = m_channels.find(channelId);
    return channel ? channel->rate.fps : -1.0;
}

QVariantMap CameraWatch::healthOf(int channelId, const TakeCameraFigures &figures) const
{
    const ChannelState *channel = m_channels.find(channelId);
    const CameraCapture *camera = cameraOf(channel);
    const QString error = camera ? (camera->state() == SourceState::Live ? QString() : camera->lastError())
                                 : (channel ? channel->cameraStartError : QString());
    return QVariantMap{
        {QStringLiteral("state"), stateOf(channelId)},
        {QStringLiteral("format"), formatTextOf(channelId)},
        {QStringLiteral("formatAsAsked"), isFormatAsAskedOf(channelId)},
        {QStringLiteral("error"), error},
        {QStringLiteral("damagedPictures"), camera ? qint64(camera->corruptPictures()) : qint64(0)},
        {QStringLiteral("fps"), rateOf(channelId)},
        {QStringLiteral("frames"), figures.frames},
        {QStringLiteral("droppedFrames"), figures.dropped},
        {QStringLiteral("repeatedFrames"), figures.repeated},
        {QStringLiteral("skippedPictures"), figures.skipped},
        {QStringLiteral("latencyMs"), double(figures.latencyNs) / 1e6},
    };
}

double CameraWatch::measureRates(qint64 nowNs, int *measured)
{
    double sum = 0.0;
    *measured = 0;
    for (ChannelState &channel : m_channels) {
        CameraRateSample &sample = channel.rate;
        const ISource *source = channel.source.get();
        if (!source || !source->isRunning()) {
            sample = CameraRateSample{};
            continue;
        }
        const quint64 pictures = source->picturesDelivered();
        // A new or replaced camera starts its count here; its first rate comes next time.
        if (sample.source != source || pictures < sample.pictures) {
            sample = CameraRateSample{source, pictures, nowNs, -1.0};
            continue;
        }
        if (nowNs > sample.sampleNs)
            sample.fps = double(pictures - sample.pictures) * 1e9 / double(nowNs - sample.sampleNs);
        sample.pictures = pictures;
        sample.sampleNs = nowNs;
        if (sample.fps >= 0.0) {
            sum += sample.fps;
            ++*measured;
        }
    }
    return *measured > 0 ? sum / *measured : -1.0;
}

void CameraWatch::recordTakeFigures(const TakeReport &report)
{
    for (ChannelState &channel : m_channels) {
        const auto it = report.cameras.find(channel.id);
        channel.lastTakeFigures = it == report.cameras.end() ? TakeCameraFigures{} : it->second;
    }
    for (const auto &[channelId, figures] : report.cameras) {
        const CameraCapture *camera = cameraOf(m_channels.find(channelId));
        qDebug().noquote() << "[CameraWatch] Camera" << channelId << ":" << figures.frames << "frames,"
                           << figures.dropped << "dropped," << figures.repeated << "repeated,"
                           << figures.skipped << "skipped," << qRound(double(figures.latencyNs) / 1e6) << "ms hand-over,"
                           << (camera ? camera->corruptPictures() : 0) << "damaged pictures from the camera";
    }
}
