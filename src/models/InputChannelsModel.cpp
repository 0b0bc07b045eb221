#include "models/InputChannelsModel.h"

#include "common/AppPaths.h"
#include "common/ChannelRange.h"

#include <cmath>

InputChannelsModel::InputChannelsModel(QObject *parent)
    : QAbstractListModel(parent)
{
    static const char *const kFormats[] = {"1080p60", "1080p60", "4K30", "1440p60"};
    const QString storagePath = AppPaths::defaultRecordingPath();
    for (int id = ChannelRange::kFirst; id <= ChannelRange::kLast; ++id) {
        beginInsertRows(QModelIndex(), int(m_channels.size()), int(m_channels.size()));
        Channel channel;
        channel.id = id;
        channel.name = QStringLiteral("Source %1").arg(id);
        channel.format = QString::fromLatin1(kFormats[id - 1]);
        channel.storagePath = storagePath;
        m_channels.append(channel);
        endInsertRows();
    }
    for (int id = ChannelRange::kFirst; id <= ChannelRange::kLast; ++id)
        setStatus(id, QStringLiteral("OFFLINE"));
    setAudioLevel(1, 0.7f, -1.0f);
    setAudioLevel(2, 0.4f, -1.0f);
    setAudioLevel(4, 0.9f, -1.0f);
}

int InputChannelsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_channels.size());
}

QVariant InputChannelsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= m_channels.size())
        return QVariant();
    const Channel &c = m_channels.at(index.row());
    switch (role) {
    case ChannelIdRole: return c.id;
    case ChannelNameRole: return c.name;
    case FormatRole: return c.format;
    case StatusRole: return c.status;
    case IsRecordingRole: return c.isRecording;
    case AudioLevelRole: return c.audioLevel;
    case AudioLevelRightRole: return c.audioLevelRight;
    case IsoEnabledRole: return c.isoEnabled;
    case StorageEnabledRole: return c.storageEnabled;
    case StoragePathRole: return c.storagePath;
    case HasActiveVideoRole: return c.hasActiveVideo;
    case HasActiveAudioRole: return c.hasActiveAudio;
    case SourceStateRole: return c.sourceState;
    case SourceFormatRole: return c.sourceFormat;
    case SourceFpsRole: return c.sourceFps;
    case SourceDroppedRole: return c.sourceDropped;
    case SourceRepeatedRole: return c.sourceRepeated;
    default: return QVariant();
    }
}

bool InputChannelsModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != ChannelNameRole || !index.isValid() || index.row() < 0 || index.row() >= m_channels.size())
        return false;
    m_channels[index.row()].name = value.toString();
    emit dataChanged(index, index, {ChannelNameRole});
    return true;
}

Qt::ItemFlags InputChannelsModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return QAbstractListModel::flags(index) | Qt::ItemIsEditable;
}

QHash<int, QByteArray> InputChannelsModel::roleNames() const
{
    return {
        {ChannelIdRole, "channelId"},
        {ChannelNameRole, "channelName"},
        {FormatRole, "format"},
        {StatusRole, "status"},
        {IsRecordingRole, "isRecording"},
        {AudioLevelRole, "audioLevel"},
        {AudioLevelRightRole, "audioLevelRight"},
        {IsoEnabledRole, "isoEnabled"},
        {StorageEnabledRole, "storageEnabled"},
        {StoragePathRole, "storagePath"},
        {HasActiveVideoRole, "hasActiveVideo"},
        {HasActiveAudioRole, "hasActiveAudio"},
        {SourceStateRole, "sourceState"},
        {SourceFormatRole, "sourceFormat"},
        {SourceFpsRole, "sourceFps"},
        {SourceDroppedRole, "sourceDropped"},
        {SourceRepeatedRole, "sourceRepeated"},
    };
}

int InputChannelsModel::activeVideoCount() const
{
    return int(std::count_if(m_channels.cbegin(), m_channels.cend(),
                             [](const Channel &c) { return c.hasActiveVideo; }));
}

int InputChannelsModel::firstInactiveChannelId() const
{
    for (const Channel &c : m_channels) {
        if (!c.hasActiveVideo)
            return c.id;
    }
    return -1;
}

QList<int> InputChannelsModel::activeChannelIds() const
{
    QList<int> ids;
    for (const Channel &c : m_channels) {
        if (c.hasActiveVideo)
            ids.append(c.id);
    }
    return ids;
}

int InputChannelsModel::getActiveChannelIdAt(int activeIndex) const
{
    const QList<int> ids = activeChannelIds();
    if (activeIndex < 0 || activeIndex >= ids.size())
        return -1;
    return ids.at(activeIndex);
}

int InputChannelsModel::rowOf(int id) const
{
    for (int row = 0; row < m_channels.size(); ++row) {
        if (m_channels.at(row).id == id)
            return row;
    }
    return -1;
}

void InputChannelsModel::emitRowChanged(int row, const QList<int> &roles)
{
    const QModelIndex idx = index(row, 0);
    emit dataChanged(idx, idx, roles);
}

void InputChannelsModel::setIsoEnabled(int id, bool enabled)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    m_channels[row].isoEnabled = enabled;
    emitRowChanged(row, {IsoEnabledRole});
}

void InputChannelsModel::setStorageEnabled(int id, bool enabled)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    m_channels[row].storageEnabled = enabled;
    emitRowChanged(row, {StorageEnabledRole});
}

void InputChannelsModel::setStoragePath(int id, const QString &path)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    m_channels[row].storagePath = path;
    emitRowChanged(row, {StoragePathRole});
}

void InputChannelsModel::setHasActiveVideo(int id, bool hasVideo)
{
    const int row = rowOf(id);
    if (row < 0 || m_channels.at(row).hasActiveVideo == hasVideo)
        return;
    m_channels[row].hasActiveVideo = hasVideo;
    emitRowChanged(row, {HasActiveVideoRole});
    emit activeVideoCountChanged();
}

void InputChannelsModel::setHasActiveAudio(int id, bool hasAudio)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    m_channels[row].hasActiveAudio = hasAudio;
    emitRowChanged(row, {HasActiveAudioRole});
}

void InputChannelsModel::setChannelName(int id, const QString &name)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    m_channels[row].name = name;
    emitRowChanged(row, {ChannelNameRole});
}

QString InputChannelsModel::getChannelName(int id) const
{
    const int row = rowOf(id);
    return row < 0 ? QString() : m_channels.at(row).name;
}

bool InputChannelsModel::isIsoEnabled(int id) const
{
    const int row = rowOf(id);
    return row >= 0 && m_channels.at(row).isoEnabled;
}

bool InputChannelsModel::isStorageEnabled(int id) const
{
    const int row = rowOf(id);
    return row >= 0 && m_channels.at(row).storageEnabled;
}

bool InputChannelsModel::isChannelRecording(int id) const
{
    const int row = rowOf(id);
    return row >= 0 && m_channels.at(row).isRecording;
}

bool InputChannelsModel::hasActiveVideo(int id) const
{
    const int row = rowOf(id);
    return row >= 0 && m_channels.at(row).hasActiveVideo;
}

void InputChannelsModel::disableChannelVideo(int id)
{
    setHasActiveVideo(id, false);
}

void InputChannelsModel::setRecording(int id, bool recording)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    m_channels[row].isRecording = recording;
    emitRowChanged(row, {IsRecordingRole});
}

void InputChannelsModel::setStatus(int id, const QString &status)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    m_channels[row].status = status;
    emitRowChanged(row, {StatusRole});
}

void InputChannelsModel::setAudioLevel(int id, float left, float right)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    m_channels[row].audioLevel = left;
    m_channels[row].audioLevelRight = right >= 0.0f ? right : left;
    emitRowChanged(row, {AudioLevelRole, AudioLevelRightRole});
}

QString InputChannelsModel::getSourceState(int id) const
{
    const int row = rowOf(id);
    return row < 0 ? QString() : m_channels.at(row).sourceState;
}

QString InputChannelsModel::getSourceFormat(int id) const
{
    const int row = rowOf(id);
    return row < 0 ? QString() : m_channels.at(row).sourceFormat;
}

bool InputChannelsModel::isSourceFormatAsAsked(int id) const
{
    const int row = rowOf(id);
    return row < 0 || m_channels.at(row).isSourceFormatAsAsked;
}

void InputChannelsModel::setSourceStatus(int id, const QString &state, const QString &format, bool isFormatAsAsked)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    Channel &c = m_channels[row];
    if (c.sourceState == state && c.sourceFormat == format && c.isSourceFormatAsAsked == isFormatAsAsked)
        return;
    c.sourceState = state;
    c.sourceFormat = format;
    c.isSourceFormatAsAsked = isFormatAsAsked;
    emitRowChanged(row, {SourceStateRole, SourceFormatRole});
}

QVariantMap InputChannelsModel::getSourceHealth(int id) const
{
    const int row = rowOf(id);
    if (row < 0)
        return {};
    const Channel &c = m_channels.at(row);
    return QVariantMap{{QStringLiteral("fps"), c.sourceFps},
                       {QStringLiteral("dropped"), c.sourceDropped},
                       {QStringLiteral("repeated"), c.sourceRepeated},
                       {QStringLiteral("trouble"), c.sourceTrouble}};
}

void InputChannelsModel::setSourceHealth(int id, double fps, qint64 dropped, qint64 repeated, const QString &trouble)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    Channel &c = m_channels[row];
    // A tenth of a frame per second is below what the tile shows.
    const bool fpsChanged = std::abs(c.sourceFps - fps) >= 0.05;
    if (!fpsChanged && c.sourceDropped == dropped && c.sourceRepeated == repeated && c.sourceTrouble == trouble)
        return;
    c.sourceFps = fps;
    c.sourceDropped = dropped;
    c.sourceRepeated = repeated;
    c.sourceTrouble = trouble;
    emitRowChanged(row, {SourceFpsRole, SourceDroppedRole, SourceRepeatedRole});
}
