// Format lists as the configuration window and the channel routing see them: repeats dropped,
// largest and fastest first, and the rule that picks the format to open.
#include "capture/CameraFormat.h"

#include <QTest>

namespace {

CameraFormat format(int width, int height, qint32 fpsDenominator, const QString &subtype, int capsIndex = 0)
{
    CameraFormat result;
    result.capsIndex = capsIndex;
    result.width = width;
    result.height = height;
    result.fpsNumerator = 10'000'000;
    result.fpsDenominator = fpsDenominator;
    result.subtypeName = subtype;
    return result;
}

// "1920x1080@30 MJPEG#4": everything the rules look at, so a table row reads as the list.
QString describe(const CameraFormat &f)
{
    return QStringLiteral("%1x%2@%3 %4#%5")
        .arg(f.width)
        .arg(f.height)
        .arg(qRound(f.frameRate()))
        .arg(f.subtypeName)
        .arg(f.capsIndex);
}

QStringList describe(const QList<CameraFormat> &formats)
{
    QStringList result;
    for (const CameraFormat &f : formats)
        result.append(describe(f));
    return result;
}

constexpr qint32 Fps30 = 333'333;
constexpr qint32 Fps60 = 166'667;
constexpr qint32 Fps25 = 400'000;

} // namespace

Q_DECLARE_METATYPE(CameraFormat)

class TestCameraFormat : public QObject
{
    Q_OBJECT

private slots:
    void normalise_data();
    void normalise();
    void choose_data();
    void choose();
    void chooseWithoutFormats_data();
    void chooseWithoutFormats();
    void grantedFormatText_data();
    void grantedFormatText();
};

void TestCameraFormat::normalise_data()
{
    QTest::addColumn<QList<CameraFormat>>("offered");
    QTest::addColumn<QStringList>("listed");

    QTest::newRow("same size and rate in two subtypes stays twice")
        << QList<CameraFormat>{format(1920, 1080, Fps30, "RGB24", 0), format(1920, 1080, Fps30, "MJPEG", 1)}
        << QStringList{"1920x1080@30 RGB24#0", "1920x1080@30 MJPEG#1"};
    QTest::newRow("a repeated offer is listed once, the first kept")
        << QList<CameraFormat>{format(1280, 720, Fps30, "YUY2", 0), format(1280, 720, Fps30, "YUY2", 7)}
        << QStringList{"1280x720@30 YUY2#0"};
    QTest::newRow("more pixels first, then the faster rate")
        << QList<CameraFormat>{format(1280, 720, Fps60, "YUY2", 0), format(1920, 1080, Fps30, "YUY2", 1),
                               format(1920, 1080, Fps60, "YUY2", 2)}
        << QStringList{"1920x1080@60 YUY2#2", "1920x1080@30 YUY2#1", "1280x720@60 YUY2#0"};
    QTest::newRow("equal pixel counts in other shapes keep the device's order")
        << QList<CameraFormat>{format(640, 480, Fps30, "YUY2", 0), format(480, 640, Fps30, "YUY2", 1)}
        << QStringList{"640x480@30 YUY2#0", "480x640@30 YUY2#1"};
    QTest::newRow("rates compared exactly, not by rounded value")
        << QList<CameraFormat>{format(640, 480, 333'334, "YUY2", 0), format(640, 480, Fps30, "YUY2", 1),
                               format(640, 480, Fps25, "YUY2", 2)}
        << QStringList{"640x480@30 YUY2#1", "640x480@30 YUY2#0", "640x480@25 YUY2#2"};
    QTest::newRow("nothing offered") << QList<CameraFormat>{} << QStringList{};
}

void TestCameraFormat::normalise()
{
    QFETCH(QList<CameraFormat>, offered);
    QFETCH(QStringList, listed);
    QCOMPARE(describe(normaliseCameraFormats(offered)), listed);
}

void TestCameraFormat::choose_data()
{
    QTest::addColumn<QList<CameraFormat>>("formats");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<float>("fps");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("chosen");

    const QList<CameraFormat> camera{
        format(1920, 1080, Fps60, "MJPEG", 0), format(1920, 1080, Fps30, "YUY2", 1),
        format(1920, 1080, Fps30, "MJPEG", 2), format(1280, 720, Fps30, "YUY2", 3),
    };
    QTest::newRow("subtype named, case ignored") << camera << 1920 << 1080 << 30.0f << "mjpeg"
                                                 << "1920x1080@30 MJPEG#2";
    QTest::newRow("Default takes the first candidate") << camera << 1920 << 1080 << 30.0f << "Default"
                                                       << "1920x1080@30 YUY2#1";
    QTest::newRow("a colour range as name falls back to the first candidate")
        << camera << 1920 << 1080 << 30.0f << "Full" << "1920x1080@30 YUY2#1";
    QTest::newRow("29.97 requested matches 30") << camera << 1920 << 1080 << 29.97f << "YUY2"
                                                << "1920x1080@30 YUY2#1";
    QTest::newRow("a rate 1.5 fps away is no candidate") << camera << 1280 << 720 << 28.5f << "YUY2"
                                                       << "1920x1080@60 MJPEG#0";
    QTest::newRow("unknown size takes the largest") << camera << 800 << 600 << 30.0f << "Default"
                                                    << "1920x1080@60 MJPEG#0";
    QTest::newRow("size matched, rate 60") << camera << 1920 << 1080 << 60.0f << "YUY2"
                                           << "1920x1080@60 MJPEG#0";
    // A camera offering both: the rate asked for, whichever comes first in its list.
    CameraFormat ntsc = format(1280, 720, Fps30, "YUY2", 4);
    ntsc.fpsDenominator = 333667; // 29.97
    const QList<CameraFormat> both{format(1280, 720, Fps30, "YUY2", 3), ntsc};
    QTest::newRow("29.97 offered beside 30") << both << 1280 << 720 << 29.97f << "Default" << "1280x720@30 YUY2#4";
    QTest::newRow("30 offered beside 29.97") << both << 1280 << 720 << 30.0f << "Default" << "1280x720@30 YUY2#3";
}

void TestCameraFormat::choose()
{
    QFETCH(QList<CameraFormat>, formats);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(float, fps);
    QFETCH(QString, name);
    QFETCH(QString, chosen);
    QCOMPARE(describe(chooseCameraFormat(formats, width, height, fps, name)), chosen);
}

void TestCameraFormat::chooseWithoutFormats_data()
{
    QTest::addColumn<float>("fps");
    QTest::addColumn<qint32>("fpsNumerator");

    QTest::newRow("30") << 30.0f << 30'000;
    QTest::newRow("29.97 keeps its fraction") << 29.97f << 29'970;
    QTest::newRow("zero leaves the device's rate") << 0.0f << 0;
    QTest::newRow("negative leaves the device's rate") << -5.0f << 0;
    QTest::newRow("not a number leaves the device's rate") << float(qQNaN()) << 0;
}

void TestCameraFormat::chooseWithoutFormats()
{
    QFETCH(float, fps);
    QFETCH(qint32, fpsNumerator);
    const CameraFormat chosen = chooseCameraFormat({}, 1280, 720, fps, QStringLiteral("Default"));
    QCOMPARE(chosen.width, 1280);
    QCOMPARE(chosen.height, 720);
    QCOMPARE(chosen.capsIndex, 0);
    QCOMPARE(chosen.fpsDenominator, 1000);
    QCOMPARE(chosen.fpsNumerator, fpsNumerator);
    QVERIFY(chosen.subtypeName.isEmpty());
}

void TestCameraFormat::grantedFormatText_data()
{
    QTest::addColumn<CameraFormat>("granted");
    QTest::addColumn<CameraFormat>("asked");
    QTest::addColumn<QString>("text");

    const auto format = [](int w, int h, qint32 num, qint32 den, const QString &name) {
        CameraFormat f;
        f.width = w;
        f.height = h;
        f.fpsNumerator = num;
        f.fpsDenominator = den;
        f.subtypeName = name;
        return f;
    };
    const CameraFormat mjpeg720 = format(1280, 720, 10'000'000, 333'333, "MJPEG");
    QTest::newRow("as asked") << mjpeg720 << format(1280, 720, 30'000, 1000, "MJPEG") << "1280\u00d7720 MJPEG 30 fps";
    QTest::newRow("another size") << mjpeg720 << format(1920, 1080, 30'000, 1000, "")
                                  << "1280\u00d7720 MJPEG 30 fps (asked 1920\u00d71080)";
    QTest::newRow("another format and rate") << format(1280, 720, 10, 1, "YUY2") << format(1280, 720, 30, 1, "MJPEG")
                                             << "1280\u00d7720 YUY2 10 fps (asked MJPEG 30 fps)";
    QTest::newRow("29.97 granted for 30 asked is no difference")
        << format(1920, 1080, 30'000, 1001, "MJPEG") << format(1920, 1080, 30, 1, "Default") << "1920\u00d71080 MJPEG 29.97 fps";
    QTest::newRow("rate unknown") << format(640, 480, 0, 1, "YUY2") << format(640, 480, 0, 1, "") << "640\u00d7480 YUY2";
}

void TestCameraFormat::grantedFormatText()
{
    QFETCH(CameraFormat, granted);
    QFETCH(CameraFormat, asked);
    QFETCH(QString, text);
    QCOMPARE(describeGrantedFormat(granted, asked), text);
    // What the tile colours amber is decided by the same comparison, not read from the text.
    QCOMPARE(isGrantedAsAsked(granted, asked), !text.contains(QLatin1String("asked")));
}

QTEST_GUILESS_MAIN(TestCameraFormat)
#include "tst_cameraformat.moc"
