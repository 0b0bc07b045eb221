#include "app/ApplicationManager.h"
#include "capture/CameraCapture.h"
#include "models/VideoStreamItem.h"

#include "BuiltInDevices.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestVideoStreamItem : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void letterbox_data();
    void letterbox();
    void channelIndexSignalsOnlyOnChange();
    void followsTheChannelsCamera();

private:
    QTemporaryDir m_settingsDir;
};

void TestVideoStreamItem::initTestCase()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
}

void TestVideoStreamItem::letterbox_data()
{
    QTest::addColumn<QSizeF>("image");
    QTest::addColumn<QSizeF>("item");
    QTest::addColumn<QRectF>("expected");
    QTest::newRow("wide picture, square item") << QSizeF(1920, 1080) << QSizeF(400, 400) << QRectF(0, 87.5, 400, 225);
    QTest::newRow("4:3 picture, wide item") << QSizeF(640, 480) << QSizeF(1000, 300) << QRectF(300, 0, 400, 300);
    QTest::newRow("exact fit") << QSizeF(1280, 720) << QSizeF(640, 360) << QRectF(0, 0, 640, 360);
}

void TestVideoStreamItem::letterbox()
{
    QFETCH(QSizeF, image);
    QFETCH(QSizeF, item);
    QFETCH(QRectF, expected);
    QCOMPARE(VideoStreamItem::letterboxRect(image, item), expected);
}

void TestVideoStreamItem::channelIndexSignalsOnlyOnChange()
{
    VideoStreamItem item;
    QSignalSpy spy(&item, &VideoStreamItem::channelIndexChanged);
    item.setChannelIndex(0);
    QCOMPARE(spy.count(), 0);
    item.setChannelIndex(2);
    item.setChannelIndex(2);
    QCOMPARE(spy.count(), 1);
}

void TestVideoStreamItem::followsTheChannelsCamera()
{
    ApplicationManager *manager = ApplicationManager::instance();
    VideoStreamItem::setSourceLookup([manager](int channelId) { return manager->sourceForChannel(channelId); });
    VideoStreamItem item;
    item.setChannelIndex(3);
    item.onTimeout();
    QVERIFY(item.currentImage().isNull()); // no camera: black

    const QString testPattern = testPatternKey(3);
    QVERIFY(!testPattern.isEmpty());
    manager->setCameraForChannel(3, testPattern, 640, 480, 30.0f);
    QVERIFY(manager->sourceForChannel(3));

    QTRY_VERIFY_WITH_TIMEOUT(!item.currentImage().isNull(), 3000);
    QCOMPARE(item.currentImage().size(), QSize(640, 480));
    // The picture moves: a later tick brings a different image.
    const QImage first = item.currentImage().copy();
    QTRY_VERIFY_WITH_TIMEOUT(item.currentImage() != first, 3000);

    manager->removeCameraFromChannel(3);
    item.onTimeout();
    QVERIFY(item.currentImage().isNull());
}

QTEST_MAIN(TestVideoStreamItem)
#include "tst_videostreamitem.moc"
