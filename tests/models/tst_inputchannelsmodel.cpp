#include "models/InputChannelsModel.h"

#include <QSignalSpy>
#include <QTest>

class TestInputChannelsModel : public QObject
{
    Q_OBJECT

private slots:
    void constructionDefaults();
    void dataRejectsBadIndexAndRole();
    void roleNamesAreTheSeventeenRoles();
    void setDataOnlyRenames_data();
    void setDataOnlyRenames();
    void flagsMarkValidRowsEditable();
    void settersEmitForTheirRowAndRoles_data();
    void settersEmitForTheirRowAndRoles();
    void unknownIdChangesNothing();
    void activeVideoTracksChannels();
    void activeVideoSignalsOnlyOnChange();
    void audioLevelMirrorsMonoRight();
    void gettersForUnknownIds();
};

void TestInputChannelsModel::constructionDefaults()
{
    InputChannelsModel model;
    QCOMPARE(model.rowCount(), 4);
    QCOMPARE(model.rowCount(model.index(0, 0)), 0);

    const QStringList formats = {"1080p60", "1080p60", "4K30", "1440p60"};
    const QList<float> levels = {0.7f, 0.4f, 0.0f, 0.9f};
    for (int row = 0; row < 4; ++row) {
        const QModelIndex idx = model.index(row, 0);
        QCOMPARE(idx.data(InputChannelsModel::ChannelIdRole).toInt(), row + 1);
        QCOMPARE(idx.data(InputChannelsModel::ChannelNameRole).toString(), QStringLiteral("Source %1").arg(row + 1));
        QCOMPARE(idx.data(InputChannelsModel::FormatRole).toString(), formats.at(row));
        QCOMPARE(idx.data(InputChannelsModel::StatusRole).toString(), QStringLiteral("OFFLINE"));
        QCOMPARE(idx.data(InputChannelsModel::IsRecordingRole).toBool(), false);
        QCOMPARE(idx.data(InputChannelsModel::AudioLevelRole).toFloat(), levels.at(row));
        QCOMPARE(idx.data(InputChannelsModel::AudioLevelRightRole).toFloat(), levels.at(row));
        QCOMPARE(idx.data(InputChannelsModel::HasActiveVideoRole).toBool(), false);
        QVERIFY(!idx.data(InputChannelsModel::StoragePathRole).toString().isEmpty());
        QCOMPARE(idx.data(InputChannelsModel::AudioLevelRole).metaType(), QMetaType::fromType<float>());
    }
    QCOMPARE(model.activeVideoCount(), 0);
    QCOMPARE(model.firstInactiveChannelId(), 1);
    QVERIFY(model.activeChannelIds().isEmpty());
}

void TestInputChannelsModel::dataRejectsBadIndexAndRole()
{
    InputChannelsModel model;
    QVERIFY(!model.data(QModelIndex(), InputChannelsModel::ChannelIdRole).isValid());
    QVERIFY(!model.data(model.index(4, 0), InputChannelsModel::ChannelIdRole).isValid());
    QVERIFY(!model.data(model.index(0, 0), Qt::DisplayRole).isValid());
    QVERIFY(!model.data(model.index(0, 0), Qt::UserRole + 18).isValid());
}

void TestInputChannelsModel::roleNamesAreTheSeventeenRoles()
{
    InputChannelsModel model;
    const QHash<int, QByteArray> roles = model.roleNames();
    const QList<QByteArray> expected = {"channelId", "channelName", "format", "status", "isRecording",
                                        "audioLevel", "audioLevelRight", "isoEnabled", "storageEnabled",
                                        "storagePath", "hasActiveVideo", "hasActiveAudio", "sourceState",
                                        "sourceFormat", "sourceFps", "sourceDropped", "sourceRepeated"};
    QCOMPARE(roles.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(roles.value(257 + i), expected.at(i));
}

void TestInputChannelsModel::setDataOnlyRenames_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("role");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("name") << 1 << int(InputChannelsModel::ChannelNameRole) << true;
    QTest::newRow("format is read-only") << 1 << int(InputChannelsModel::FormatRole) << false;
    QTest::newRow("status is read-only") << 1 << int(InputChannelsModel::StatusRole) << false;
    QTest::newRow("row out of range") << 4 << int(InputChannelsModel::ChannelNameRole) << false;
}

void TestInputChannelsModel::setDataOnlyRenames()
{
    QFETCH(int, row);
    QFETCH(int, role);
    QFETCH(bool, accepted);
    InputChannelsModel model;
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QCOMPARE(model.setData(model.index(row, 0), QStringLiteral("Wide"), role), accepted);
    QCOMPARE(changed.count(), accepted ? 1 : 0);
    if (accepted) {
        QCOMPARE(model.getChannelName(row + 1), QStringLiteral("Wide"));
        QCOMPARE(changed.at(0).at(2).value<QList<int>>(), QList<int>{InputChannelsModel::ChannelNameRole});
    } else {
        QCOMPARE(model.getChannelName(2), QStringLiteral("Source 2"));
    }
}

void TestInputChannelsModel::flagsMarkValidRowsEditable()
{
    InputChannelsModel model;
    QVERIFY(model.flags(model.index(0, 0)).testFlag(Qt::ItemIsEditable));
    QCOMPARE(model.flags(QModelIndex()), Qt::NoItemFlags);
}

void TestInputChannelsModel::settersEmitForTheirRowAndRoles_data()
{
    QTest::addColumn<QString>("setter");
    QTest::addColumn<QList<int>>("roles");
    QTest::newRow("iso") << "iso" << QList<int>{264};
    QTest::newRow("storage") << "storage" << QList<int>{265};
    QTest::newRow("storagePath") << "storagePath" << QList<int>{266};
    QTest::newRow("audio") << "audio" << QList<int>{268};
    QTest::newRow("name") << "name" << QList<int>{258};
    QTest::newRow("recording") << "recording" << QList<int>{261};
    QTest::newRow("status") << "status" << QList<int>{260};
    QTest::newRow("level") << "level" << QList<int>{262, 263};
}

void TestInputChannelsModel::settersEmitForTheirRowAndRoles()
{
    QFETCH(QString, setter);
    QFETCH(QList<int>, roles);
    InputChannelsModel model;
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    // Apply twice: these setters announce even an unchanged value.
    for (int i = 0; i < 2; ++i) {
        if (setter == "iso") model.setIsoEnabled(3, true);
        else if (setter == "storage") model.setStorageEnabled(3, true);
        else if (setter == "storagePath") model.setStoragePath(3, QStringLiteral("/tmp/x"));
        else if (setter == "audio") model.setHasActiveAudio(3, true);
        else if (setter == "name") model.setChannelName(3, QStringLiteral("Cam"));
        else if (setter == "recording") model.setRecording(3, true);
        else if (setter == "status") model.setStatus(3, QStringLiteral("OFFLINE"));
        else if (setter == "level") model.setAudioLevel(3, 0.5f, 0.25f);
    }
    QCOMPARE(changed.count(), 2);
    const QModelIndex topLeft = changed.at(0).at(0).toModelIndex();
    const QModelIndex bottomRight = changed.at(0).at(1).toModelIndex();
    QCOMPARE(topLeft.row(), 2);
    QCOMPARE(bottomRight.row(), 2);
    QCOMPARE(changed.at(0).at(2).value<QList<int>>(), roles);

    QVERIFY(setter != "iso" || model.isIsoEnabled(3));
    QVERIFY(setter != "storage" || model.isStorageEnabled(3));
    QVERIFY(setter != "recording" || model.isChannelRecording(3));
    QVERIFY(setter != "audio" || model.index(2, 0).data(InputChannelsModel::HasActiveAudioRole).toBool());
}

void TestInputChannelsModel::unknownIdChangesNothing()
{
    InputChannelsModel model;
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy active(&model, &InputChannelsModel::activeVideoCountChanged);
    model.setIsoEnabled(7, true);
    model.setStorageEnabled(0, true);
    model.setStoragePath(-1, QStringLiteral("x"));
    model.setHasActiveVideo(5, true);
    model.setHasActiveAudio(5, true);
    model.setChannelName(9, QStringLiteral("x"));
    model.setRecording(5, true);
    model.setStatus(5, QStringLiteral("x"));
    model.setAudioLevel(5, 1.0f, 1.0f);
    model.disableChannelVideo(5);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(active.count(), 0);
}

void TestInputChannelsModel::activeVideoTracksChannels()
{
    InputChannelsModel model;
    QCOMPARE(model.getActiveChannelIdAt(0), -1);
    model.setHasActiveVideo(4, true);
    model.setHasActiveVideo(2, true);
    QCOMPARE(model.getActiveChannelIdAt(0), 2);
    QCOMPARE(model.getActiveChannelIdAt(1), 4);
    QCOMPARE(model.getActiveChannelIdAt(2), -1);
    QCOMPARE(model.getActiveChannelIdAt(-1), -1);
    QCOMPARE(model.activeChannelIds(), (QList<int>{2, 4}));
    QCOMPARE(model.activeVideoCount(), 2);
    QCOMPARE(model.firstInactiveChannelId(), 1);

    model.setHasActiveVideo(1, true);
    model.setHasActiveVideo(3, true);
    QCOMPARE(model.firstInactiveChannelId(), -1);
    QCOMPARE(model.activeVideoCount(), 4);

    model.disableChannelVideo(1);
    QCOMPARE(model.firstInactiveChannelId(), 1);
    QVERIFY(!model.hasActiveVideo(1));
    QVERIFY(model.hasActiveVideo(2));
}

void TestInputChannelsModel::activeVideoSignalsOnlyOnChange()
{
    InputChannelsModel model;
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy active(&model, &InputChannelsModel::activeVideoCountChanged);
    model.setHasActiveVideo(3, true);
    model.setHasActiveVideo(3, true);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(active.count(), 1);
    QCOMPARE(changed.at(0).at(2).value<QList<int>>(), QList<int>{267});
    model.setHasActiveVideo(3, false);
    QCOMPARE(active.count(), 2);

    // The camera status comes every watch tick; the tiles hear of it only when it changes.
    changed.clear();
    QCOMPARE(model.getSourceState(2), QStringLiteral("off"));
    model.setSourceStatus(2, QStringLiteral("lost"), QStringLiteral("640\u00d7480 YUY2 30 fps"));
    model.setSourceStatus(2, QStringLiteral("lost"), QStringLiteral("640\u00d7480 YUY2 30 fps"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(2).value<QList<int>>(), (QList<int>{269, 270}));
    QCOMPARE(model.index(1, 0).data(InputChannelsModel::SourceStateRole).toString(), QStringLiteral("lost"));
    QCOMPARE(model.getSourceFormat(2), QStringLiteral("640\u00d7480 YUY2 30 fps"));
}

void TestInputChannelsModel::audioLevelMirrorsMonoRight()
{
    InputChannelsModel model;
    model.setAudioLevel(2, 0.5f, -1.0f);
    QCOMPARE(model.index(1, 0).data(InputChannelsModel::AudioLevelRole).toFloat(), 0.5f);
    QCOMPARE(model.index(1, 0).data(InputChannelsModel::AudioLevelRightRole).toFloat(), 0.5f);
    model.setAudioLevel(2, 0.5f, 0.0f);
    QCOMPARE(model.index(1, 0).data(InputChannelsModel::AudioLevelRightRole).toFloat(), 0.0f);
}

void TestInputChannelsModel::gettersForUnknownIds()
{
    InputChannelsModel model;
    QCOMPARE(model.getChannelName(5), QString());
    QVERIFY(!model.isIsoEnabled(5));
    QVERIFY(!model.isStorageEnabled(5));
    QVERIFY(!model.isChannelRecording(5));
    QVERIFY(!model.hasActiveVideo(5));
}

QTEST_GUILESS_MAIN(TestInputChannelsModel)
#include "tst_inputchannelsmodel.moc"
