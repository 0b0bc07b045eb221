// The devices report byte for byte for known device lists, its frame-rate rule, and writing it
// (replacing an old report, failing with a reason where it cannot be written).
#include "app/DevicesReport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

Q_DECLARE_METATYPE(QList<VideoDeviceReport>)

namespace {

CameraFormat format(int width, int height, qint32 numerator, qint32 denominator, const QString &name)
{
    CameraFormat f;
    f.width = width;
    f.height = height;
    f.fpsNumerator = numerator;
    f.fpsDenominator = denominator;
    f.subtypeName = name;
    return f;
}

VideoDeviceReport device(const QString &name, const QString &link, const QList<CameraFormat> &formats)
{
    VideoDeviceReport d;
    d.device.friendlyName = name;
    d.device.devicePath = link;
    d.formats = formats;
    return d;
}

// Expected documents are written with ' for " to keep them readable; the report itself never
// holds a ' in these cases.
QByteArray json(const char *text)
{
    return QByteArray(text).replace('\'', '"');
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

class TestDevicesReport : public QObject
{
    Q_OBJECT

private slots:
    void exactBytes_data()
    {
        QTest::addColumn<QList<VideoDeviceReport>>("videoDevices");
        QTest::addColumn<QStringList>("audioInputs");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("nothing attached") << QList<VideoDeviceReport>{} << QStringList{}
                                          << json("{'audioDevices':[],'videoDevices':[]}");

        QTest::newRow("one camera, no audio inputs")
            << QList<VideoDeviceReport>{device(QStringLiteral("HD Pro Webcam C920"),
                                               QStringLiteral("/dev/v4l/by-id/usb-046d_HD_Pro_Webcam_C920-video-index0"),
                                               {format(1920, 1080, 10000000, 333333, QStringLiteral("MJPEG"))})}
            << QStringList{}
            << json("{'audioDevices':[],'videoDevices':[{'formats':["
                    "{'formatName':'MJPEG','fps':30.000030517578125,'height':1080,'width':1920}],"
                    "'link':'/dev/v4l/by-id/usb-046d_HD_Pro_Webcam_C920-video-index0',"
                    "'name':'HD Pro Webcam C920'}]}");

        // Rates are divided in single precision and widened, so the float's rounding shows;
        // a denominator below 1 reports 30.
        QTest::newRow("cameras in order, formats in order, a device without formats")
            << QList<VideoDeviceReport>{
                   device(QStringLiteral("USB Camera"), QStringLiteral("/dev/video2"),
                          {format(1280, 720, 30000, 1001, QStringLiteral("YUY2")),
                           format(1920, 1080, 60, 1, QStringLiteral("MJPEG")),
                           format(320, 240, 15, 0, QStringLiteral("Unknown")),
                           format(160, 120, 15, -1, QStringLiteral("Unknown")),
                           format(640, 480, 10000000, 166833, QStringLiteral("RGB24"))}),
                   device(QStringLiteral("Test Pattern"), QStringLiteral("testpattern:1"), {})}
            << QStringList{QStringLiteral("Built-in Audio Analog Stereo"), QStringLiteral("Mic \"Studio\" Čačak"),
                           QStringLiteral("Test Tone")}
            << json("{'audioDevices':['Built-in Audio Analog Stereo','Mic \\'Studio\\' Čačak','Test Tone'],"
                    "'videoDevices':[{'formats':["
                    "{'formatName':'YUY2','fps':29.970029830932617,'height':720,'width':1280},"
                    "{'formatName':'MJPEG','fps':60,'height':1080,'width':1920},"
                    "{'formatName':'Unknown','fps':30,'height':240,'width':320},"
                    "{'formatName':'Unknown','fps':30,'height':120,'width':160},"
                    "{'formatName':'RGB24','fps':59.94017791748047,'height':480,'width':640}],"
                    "'link':'/dev/video2','name':'USB Camera'},"
                    "{'formats':[],'link':'testpattern:1','name':'Test Pattern'}]}");

        VideoDeviceReport locked = device(QStringLiteral("Acme Cam"), QStringLiteral("/dev/video4"), {});
        locked.device.unavailableReason = QStringLiteral("permission denied \u2014 add your user to the 'video' group");
        QTest::newRow("a camera that cannot be opened says why")
            << QList<VideoDeviceReport>{locked} << QStringList{}
            << QByteArray("{\"audioDevices\":[],\"videoDevices\":[{\"formats\":[],\"link\":\"/dev/video4\","
                          "\"name\":\"Acme Cam\",\"unavailable\":\"permission denied \xe2\x80\x94 add your user "
                          "to the 'video' group\"}]}");
    }
    void exactBytes()
    {
        QFETCH(QList<VideoDeviceReport>, videoDevices);
        QFETCH(QStringList, audioInputs);
        QFETCH(QByteArray, expected);
        QCOMPARE(buildDevicesReport(videoDevices, audioInputs), expected);
    }

    // An existing, longer report is replaced whole (no tail of the old one left behind), in
    // the current directory.
    void writeReplaces()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString previousDirectory = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        const QString path = devicesReportPath();
        QVERIFY(QDir::setCurrent(previousDirectory));
        QCOMPARE(QFileInfo(path).absolutePath(), QFileInfo(dir.path()).canonicalFilePath());
        QCOMPARE(QFileInfo(path).fileName(), QStringLiteral("devices_info.json"));

        const QByteArray old(4096, 'x');
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(old), old.size());
        }
        const QByteArray report = buildDevicesReport({}, {QStringLiteral("Test Tone")});
        QString error;
        QVERIFY2(writeDevicesReport(path, report, &error), qPrintable(error));
        QCOMPARE(readAll(path), report);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("devices_info.json")});
    }

    void writeFailsWithReason_data()
    {
        QTest::addColumn<QString>("where");
        QTest::newRow("missing folder") << QStringLiteral("missing");
        QTest::newRow("path is a folder") << QStringLiteral("folder");
        QTest::newRow("read-only folder") << QStringLiteral("readonly");
    }
    void writeFailsWithReason()
    {
        QFETCH(QString, where);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QString path;
        QByteArray old;
        if (where == QLatin1String("missing")) {
            path = dir.path() + QStringLiteral("/no/such/folder/devices_info.json");
        } else if (where == QLatin1String("folder")) {
            path = dir.path() + QStringLiteral("/devices_info.json");
            QVERIFY(QDir().mkpath(path));
        } else {
            if (::geteuid() == 0)
                QSKIP("Permissions do not apply to root");
            path = dir.path() + QStringLiteral("/devices_info.json");
            old = "{\"old\":true}";
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(old);
            file.close();
            QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        }

        QString error;
        QVERIFY(!writeDevicesReport(path, "{}", &error));
        QVERIFY(!error.isEmpty());
        if (!old.isEmpty()) {
            QCOMPARE(readAll(path), old);
            QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        }
    }
};

QTEST_GUILESS_MAIN(TestDevicesReport)
#include "tst_devicesreport.moc"
