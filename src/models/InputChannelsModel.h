// InputChannelsModel: the list model of the four input channels (ids 1-4) that the
// interface shows in the monitoring grid, the source windows and the mixer strips.
// It holds presentation state and per-channel flags only; devices live in the
// ApplicationManager, which calls the setters here. GUI thread only.
#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QString>
#include <QVariantMap>

class InputChannelsModel : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(int activeVideoCount READ activeVideoCount NOTIFY activeVideoCountChanged)
    Q_PROPERTY(int firstInactiveChannelId READ firstInactiveChannelId NOTIFY activeVideoCountChanged)
    Q_PROPERTY(QList<int> activeChannelIds READ activeChannelIds NOTIFY activeVideoCountChanged)

public:
    enum Role {
        ChannelIdRole = Qt::UserRole + 1,
        ChannelNameRole,
        FormatRole,
        StatusRole,
        IsRecordingRole,
        AudioLevelRole,
        AudioLevelRightRole,
        IsoEnabledRole,
        StorageEnabledRole,
        StoragePathRole,
        HasActiveVideoRole,
        HasActiveAudioRole,
        SourceStateRole,
        SourceFormatRole,
        SourceFpsRole,
        SourceDroppedRole,
        SourceRepeatedRole,
    };

    explicit InputChannelsModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QHash<int, QByteArray> roleNames() const override;

    int activeVideoCount() const;
    int firstInactiveChannelId() const;
    QList<int> activeChannelIds() const;

    Q_INVOKABLE void setIsoEnabled(int id, bool enabled);
    Q_INVOKABLE void setStorageEnabled(int id, bool enabled);
    Q_INVOKABLE void setStoragePath(int id, const QString &path);
    Q_INVOKABLE void setHasActiveVideo(int id, bool hasVideo);
    Q_INVOKABLE void setHasActiveAudio(int id, bool hasAudio);
    Q_INVOKABLE int getActiveChannelIdAt(int activeIndex) const;
    Q_INVOKABLE void setChannelName(int id, const QString &name);
    Q_INVOKABLE QString getChannelName(int id) const;
    Q_INVOKABLE bool isIsoEnabled(int id) const;
    Q_INVOKABLE bool isStorageEnabled(int id) const;
    Q_INVOKABLE bool isChannelRecording(int id) const;
    Q_INVOKABLE bool hasActiveVideo(int id) const;
    Q_INVOKABLE void disableChannelVideo(int id);
    // The camera's state ("off", "live", "lost", "reconnecting") and the format it runs in as
    // the user reads it ("1280×720 MJPEG 30 fps (asked 1920×1080)"; empty without a camera).
    Q_INVOKABLE QString getSourceState(int id) const;
    Q_INVOKABLE QString getSourceFormat(int id) const;
    // False when the camera runs in another format than the one asked for (the format text
    // names what was asked).
    Q_INVOKABLE bool isSourceFormatAsAsked(int id) const;
    // The camera's measured pictures per second (-1 without a reading), the frames of this
    // take (or the last one) lost in the encoder's queue or repeated for want of a picture, and
    // what of that is trouble, as the tile says it in the interface language ("24.3 fps · 3
    // repeated"; empty for a healthy camera): {fps, dropped, repeated, trouble}.
    Q_INVOKABLE QVariantMap getSourceHealth(int id) const;

    // Used by the manager, not by QML.
    void setRecording(int id, bool recording);
    void setStatus(int id, const QString &status);
    // A negative right level means a mono source: the right meter mirrors the left.
    void setAudioLevel(int id, float left, float right);
    // Announces roles {269, 270} when any value changed, nothing otherwise.
    void setSourceStatus(int id, const QString &state, const QString &format, bool isFormatAsAsked = true);
    // Announces the health roles when any of them changed, nothing otherwise.
    void setSourceHealth(int id, double fps, qint64 dropped, qint64 repeated, const QString &trouble = QString());

signals:
    void activeVideoCountChanged();

private:
    struct Channel
    {
        int id = 0;
        QString name;
        QString format;
        QString status = QStringLiteral("INIT");
        bool isRecording = false;
        float audioLevel = 0.0f;
        float audioLevelRight = 0.0f;
        bool isoEnabled = false;
        bool storageEnabled = false;
        QString storagePath;
        bool hasActiveVideo = false;
        bool hasActiveAudio = false;
        QString sourceState = QStringLiteral("off");
        QString sourceFormat;
        bool isSourceFormatAsAsked = true;
        double sourceFps = -1.0;
        qint64 sourceDropped = 0;
        qint64 sourceRepeated = 0;
        QString sourceTrouble;
    };

    // Row of the first channel with that id, -1 when there is none.
    int rowOf(int id) const;
    void emitRowChanged(int row, const QList<int> &roles);

    QList<Channel> m_channels;
};
