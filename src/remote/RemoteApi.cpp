#include "remote/RemoteApi.h"

#include "common/ChannelRange.h"
#include "app/ApplicationManager.h"
#include "capture/ISource.h"
#include "models/InputChannelsModel.h"
#include "remote/HttpRequestParser.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

#include <cmath>
#include <optional>

namespace {

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// The body as a JSON object; anything else (empty, not JSON, an array) is no object.
std::optional<QJsonObject> bodyObject(const HttpRequest &request)
{
    if (request.body.isEmpty())
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(request.body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

// A decimal integer from a query item; `fallback` when it is not one.
int queryInt(const HttpRequest &request, const QString &key, int fallback)
{
    bool ok = false;
    const int value = request.queryValue(key).toInt(&ok);
    return ok ? value : fallback;
}

// JSON numbers are doubles; only an integral value in int range counts as an integer.
int jsonInt(const QJsonValue &value, int fallback)
{
    return value.isDouble() ? value.toInt(fallback) : fallback;
}

bool isChannelId(int id)
{
    return ChannelRange::contains(id);
}

} // namespace

RemoteApi::RemoteApi(ApplicationManager *manager)
    : m_manager(manager)
{
}

InputChannelsModel *RemoteApi::channelsModel() const
{
    return m_channelsModel ? m_channelsModel.data() : m_manager->channelsModel();
}

QJsonObject RemoteApi::channelStatus(int id) const
{
    InputChannelsModel *model = channelsModel();
    const std::shared_ptr<ISource> source = m_manager->sourceForChannel(id);
    const QString link = m_manager->getCameraLinkForChannel(id);
    bool active = false;
    if (source && source->isRunning())
        active = true;
    else if (!link.isEmpty())
        active = true;
    else if (model)
        active = model->hasActiveVideo(id);

    QString name = m_manager->getCameraNameForChannel(id);
    if (name.isEmpty() && model)
        name = model->getChannelName(id);
    if (name.isEmpty())
        name = QStringLiteral("Camera %1").arg(id);

    return QJsonObject{
        {QStringLiteral("active"), active},
        // What the channel hears ("Interface — In 3", "None") and how its input is ("none",
        // "live", "lost").
        {QStringLiteral("audioInput"), m_manager->getChannelAudioInputLabel(id)},
        {QStringLiteral("audioState"), m_manager->getChannelAudioStateForChannel(id)},
        {QStringLiteral("colorRange"), m_manager->getCameraColorRangeForChannel(id)},
        {QStringLiteral("deviceLink"), link},
        {QStringLiteral("framerate"), double(m_manager->getCameraFramerateForChannel(id))},
        {QStringLiteral("height"), m_manager->getCameraHeightForChannel(id)},
        {QStringLiteral("id"), id},
        {QStringLiteral("name"), name},
        {QStringLiteral("sourceFormat"), m_manager->getCameraFormatTextForChannel(id)},
        {QStringLiteral("sourceState"), m_manager->getCameraStateForChannel(id)},
        // What the studio's tile says of the camera's trouble, in the interface language.
        {QStringLiteral("trouble"), m_manager->getCameraHealthForChannel(id).value(QStringLiteral("trouble")).toString()},
        {QStringLiteral("width"), m_manager->getCameraWidthForChannel(id)},
    };
}

QJsonObject RemoteApi::status() const
{
    QJsonArray channels;
    int activeCount = 0;
    for (int id = ChannelRange::kFirst; id <= ChannelRange::kLast; ++id) {
        const QJsonObject channel = channelStatus(id);
        if (channel.value(QStringLiteral("active")).toBool())
            ++activeCount;
        channels.append(channel);
    }
    // QJsonObject keeps its members sorted by key, which is the documented order.
    QJsonObject status{
        {QStringLiteral("activeSourceId"), m_manager->activeSourceId()},
        {QStringLiteral("activeVideoCount"), activeCount},
        {QStringLiteral("channels"), channels},
        {QStringLiteral("countdownSeconds"), m_manager->countdownSeconds()},
        {QStringLiteral("currentFps"), m_manager->currentFps()},
        // The same verdict as the status bar's colour: "good", "ok", "low" or "none".
        {QStringLiteral("fpsLevel"), m_manager->fpsLevel()},
        {QStringLiteral("isArming"), m_manager->isArming()},
        {QStringLiteral("isRecording"), m_manager->isRecording()},
        // The last marker of the running (or last) take with its take time; empty before one.
        {QStringLiteral("lastMarker"), m_manager->lastMarkerText()},
        {QStringLiteral("masterVolume"), double(m_manager->masterAudioVolume())},
        // The rate the running (or next) take records at, as a number and as people write it.
        {QStringLiteral("recordingFps"), m_manager->timelineFps()},
        {QStringLiteral("recordingFpsText"), m_manager->recordingFpsText()},
        {QStringLiteral("selectedGlobalFps"), m_manager->selectedGlobalFps()},
        {QStringLiteral("sessionName"), m_manager->activeSessionName()},
        {QStringLiteral("timecode"), m_manager->timecode()},
        // Sorts after every older key: what the main window's banner says (a take that could
        // not start or ended on a failure, else a running take's warning); empty when nothing.
        {QStringLiteral("warningText"), m_manager->recordingErrorText().isEmpty() ? m_manager->recordingWarningText()
                                                                                 : m_manager->recordingErrorText()},
    };
    // Only a machine that leads or follows has a studio to show.
    if (const QJsonObject studio = m_manager->studio()->statusJson(); !studio.isEmpty())
        status.insert(QStringLiteral("studio"), studio);
    return status;
}

QByteArray RemoteApi::statusJson() const
{
    return compact(status());
}

QByteArray RemoteApi::devicesJson() const
{
    return m_manager->devicesReport();
}

QByteArray RemoteApi::sourceFormats(const HttpRequest &request) const
{
    const QString deviceLink = request.queryValue(QStringLiteral("deviceLink"));
    const int channelId = queryInt(request, QStringLiteral("channelId"), 0);
    return compact(QJsonObject::fromVariantMap(m_manager->getSourceFormatChoices(deviceLink, channelId)));
}

QByteArray RemoteApi::addSource(const HttpRequest &request)
{
    int channelId = 1;
    QString deviceLink;
    int width = 1920;
    int height = 1080;
    double framerate = 30.0;
    QString colorRange = QStringLiteral("Default");
    QString channelName;
    QString formatName; // "MJPEG", "YUY2": the pixel format of the chosen rate entry

    if (const std::optional<QJsonObject> body = bodyObject(request)) {
        if (body->contains(QStringLiteral("channelId")))
            channelId = jsonInt(body->value(QStringLiteral("channelId")), 1);
        if (body->contains(QStringLiteral("deviceLink")))
            deviceLink = body->value(QStringLiteral("deviceLink")).toString();
        if (body->contains(QStringLiteral("width")))
            width = jsonInt(body->value(QStringLiteral("width")), 1920);
        if (body->contains(QStringLiteral("height")))
            height = jsonInt(body->value(QStringLiteral("height")), 1080);
        if (body->contains(QStringLiteral("framerate")))
            framerate = body->value(QStringLiteral("framerate")).toDouble(30.0);
        if (body->contains(QStringLiteral("colorRange"))) {
            const QJsonValue range = body->value(QStringLiteral("colorRange"));
            colorRange = range.isString() ? range.toString() : QStringLiteral("Default");
        }
        if (body->contains(QStringLiteral("channelName")))
            channelName = body->value(QStringLiteral("channelName")).toString();
        formatName = body->value(QStringLiteral("formatName")).toString();
    }
    if (request.query.hasQueryItem(QStringLiteral("channelId")))
        channelId = queryInt(request, QStringLiteral("channelId"), 0);
    if (request.query.hasQueryItem(QStringLiteral("deviceLink")))
        deviceLink = request.queryValue(QStringLiteral("deviceLink"));

    // A rate beyond single precision would reach the device layer as infinity.
    if (!std::isfinite(float(framerate)))
        framerate = 30.0;

    // The same command as the window's source dialog; an empty device switches the channel's
    // camera off and keeps what it was set to.
    if (isChannelId(channelId) && deviceLink.isEmpty())
        m_manager->setCameraForChannel(channelId, QString());
    else if (isChannelId(channelId)) {
        // Without a name the channel keeps the one it has.
        InputChannelsModel *model = channelsModel();
        const QString name = channelName.isEmpty() && model ? model->getChannelName(channelId) : channelName;
        m_manager->applyChannelSource(channelId, deviceLink, width, height, framerate, colorRange, formatName, name);
    }
    return compact(QJsonObject{{QStringLiteral("channelId"), channelId}, {QStringLiteral("status"), QStringLiteral("ok")}});
}

QByteArray RemoteApi::removeSource(const HttpRequest &request)
{
    int channelId = queryInt(request, QStringLiteral("channelId"), 0);
    if (channelId < 1) {
        if (const std::optional<QJsonObject> body = bodyObject(request))
            channelId = jsonInt(body->value(QStringLiteral("channelId")), 0);
    }
    // The programme moves off a removed camera as it does in the window.
    if (isChannelId(channelId))
        m_manager->removeChannelSource(channelId);
    return compact(QJsonObject{{QStringLiteral("status"), QStringLiteral("ok")}});
}

QByteArray RemoteApi::removeAudio(const HttpRequest &request)
{
    int channelId = queryInt(request, QStringLiteral("channelId"), 0);
    if (channelId < 1) {
        if (const std::optional<QJsonObject> body = bodyObject(request))
            channelId = jsonInt(body->value(QStringLiteral("channelId")), 0);
    }
    if (isChannelId(channelId))
        m_manager->removeAudioInputFromChannel(channelId);
    return compact(QJsonObject{{QStringLiteral("status"), QStringLiteral("ok")}});
}

QByteArray RemoteApi::switchSource(const HttpRequest &request)
{
    QString id = request.queryValue(QStringLiteral("id"));
    if (id.isEmpty()) {
        if (const std::optional<QJsonObject> body = bodyObject(request))
            id = QString::number(jsonInt(body->value(QStringLiteral("id")), 1));
    }
    bool ok = false;
    const int sourceId = id.toInt(&ok);
    // Channels 1-4, or a linked follower's camera (5 and up): the manager decides.
    if (ok && sourceId >= 1) {
        m_manager->setActiveSourceId(sourceId);
        if (m_manager->activeSourceId() == sourceId)
            qDebug() << "[RemoteControlServer] Switched active source to:" << id;
    }
    return statusJson();
}

QByteArray RemoteApi::collectFiles()
{
    m_manager->studio()->collectFiles();
    return statusJson();
}

RemoteApi::Answer RemoteApi::dropMarker(const HttpRequest &request)
{
    QString name;
    if (!request.body.trimmed().isEmpty()) {
        const std::optional<QJsonObject> body = bodyObject(request);
        const QJsonValue value = body ? body->value(QStringLiteral("name")) : QJsonValue();
        if (!body || !(value.isString() || value.isUndefined() || value.isNull()))
            return {400, QByteArrayLiteral("the body must be a JSON object with a text name")};
        name = value.toString();
    }
    const QVariantMap marker = m_manager->dropMarker(name);
    if (!marker.value(QStringLiteral("ok")).toBool())
        return {409, QByteArrayLiteral("no take is running")};
    return {200, compact(QJsonObject::fromVariantMap(marker))};
}

QByteArray RemoteApi::toggleRecording()
{
    // As REC ALL in the window: stops a take, calls off an arming one, or starts one.
    if (m_manager->isRecording())
        m_manager->stopRecording();
    else if (m_manager->isArming())
        m_manager->cancelArming();
    else
        m_manager->startRecording();
    return statusJson();
}
