// The adapter listing through libpci, run against PCI trees laid out like Linux's sysfs, a
// missing or damaged tree (libpci's error path must come back instead of ending the process)
// and this machine's own bus.
#include "app/GpuAdapters.h"
#include "app/HardwareReport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct FakePciDevice
{
    QString slot;
    quint16 vendorId = 0;
    quint16 deviceId = 0;
    quint32 classCode = 0; // base class, sub-class, programming interface
};

QByteArray hexText(quint32 value, int digits)
{
    return QByteArray("0x") + QByteArray::number(value, 16).rightJustified(digits, '0') + '\n';
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// Writes a PCI tree the way Linux's sysfs presents one: a folder per device holding its ids and
// class as hexadecimal text, an empty resource table and the first bytes of its config space.
bool writeFakeTree(const QString &root, const QList<FakePciDevice> &devices)
{
    if (!QDir().mkpath(root + QStringLiteral("/devices")))
        return false;
    for (const FakePciDevice &device : devices) {
        const QString dir = root + QStringLiteral("/devices/") + device.slot;
        QByteArray config(64, '\0');
        config[0] = char(device.vendorId & 0xff);
        config[1] = char(device.vendorId >> 8);
        config[2] = char(device.deviceId & 0xff);
        config[3] = char(device.deviceId >> 8);
        config[9] = char(device.classCode & 0xff);
        config[10] = char((device.classCode >> 8) & 0xff);
        config[11] = char(device.classCode >> 16);
        const bool written = QDir().mkpath(dir)
            && writeFile(dir + QStringLiteral("/vendor"), hexText(device.vendorId, 4))
            && writeFile(dir + QStringLiteral("/device"), hexText(device.deviceId, 4))
            && writeFile(dir + QStringLiteral("/class"), hexText(device.classCode, 6))
            && writeFile(dir + QStringLiteral("/irq"), "0\n")
            && writeFile(dir + QStringLiteral("/resource"), QByteArray())
            && writeFile(dir + QStringLiteral("/config"), config);
        if (!written)
            return false;
    }
    return true;
}

bool hasPciIdDatabase()
{
    return QFile::exists(QStringLiteral("/usr/share/misc/pci.ids"))
        || QFile::exists(QStringLiteral("/usr/share/hwdata/pci.ids"));
}

} // namespace

Q_DECLARE_METATYPE(QList<FakePciDevice>)

class TestGpuAdapters : public QObject
{
    Q_OBJECT

private slots:
    // Only display devices are listed, in bus-address order whatever order the folder gives.
    void fakeTree_data()
    {
        QTest::addColumn<QList<FakePciDevice>>("devices");
        QTest::addColumn<QStringList>("addresses");
        QTest::addColumn<QStringList>("ids");

        const FakePciDevice nvidia{QStringLiteral("0000:01:00.0"), 0x10de, 0x2206, 0x030000};
        const FakePciDevice intel{QStringLiteral("0000:00:02.0"), 0x8086, 0x3e92, 0x030000};
        const FakePciDevice amd{QStringLiteral("0000:0a:00.0"), 0x1002, 0x73bf, 0x030000};
        const FakePciDevice bridge{QStringLiteral("0000:00:00.0"), 0x8086, 0x3e30, 0x060000};
        const FakePciDevice network{QStringLiteral("0000:03:00.0"), 0x8086, 0x15b8, 0x020000};
        const FakePciDevice audio{QStringLiteral("0000:01:00.1"), 0x10de, 0x1aef, 0x040300};
        const FakePciDevice secondDomain{QStringLiteral("10000:00:00.0"), 0x10de, 0x1eb8, 0x030200};

        QTest::newRow("two adapters among other devices")
            << QList<FakePciDevice>{nvidia, bridge, audio, intel, network}
            << QStringList{QStringLiteral("0000:00:02.0"), QStringLiteral("0000:01:00.0")}
            << QStringList{QStringLiteral("8086:3e92"), QStringLiteral("10de:2206")};
        QTest::newRow("no display device")
            << QList<FakePciDevice>{bridge, network} << QStringList{} << QStringList{};
        QTest::newRow("domains ordered by number, not text")
            << QList<FakePciDevice>{secondDomain, amd}
            << QStringList{QStringLiteral("0000:0a:00.0"), QStringLiteral("10000:00:00.0")}
            << QStringList{QStringLiteral("1002:73bf"), QStringLiteral("10de:1eb8")};
    }
    void fakeTree()
    {
        QFETCH(QList<FakePciDevice>, devices);
        QFETCH(QStringList, addresses);
        QFETCH(QStringList, ids);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(writeFakeTree(dir.path(), devices));
        const GpuAdapterScan scan = listGpuAdapters(dir.path());
        QVERIFY(scan.isBusReadable);
        QVERIFY(scan.errorText.isEmpty());

        QStringList listedSlots;
        QStringList listedIds;
        for (const GpuAdapter &adapter : scan.adapters) {
            listedSlots.append(adapter.slot);
            listedIds.append(QString::asprintf("%04x:%04x", adapter.vendorId, adapter.deviceId));
            QVERIFY2(!adapter.name.isEmpty(), qPrintable(adapter.slot));
        }
        QCOMPARE(listedSlots, addresses);
        QCOMPARE(listedIds, ids);
    }

    // The names come from the PCI ID database and carry the words the vendor marks look for.
    void namesFromIdDatabase()
    {
        if (!hasPciIdDatabase())
            QSKIP("No PCI ID database (pci.ids) on this machine");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(writeFakeTree(dir.path(), {
            {QStringLiteral("0000:01:00.0"), 0x10de, 0x2206, 0x030000},
            {QStringLiteral("0000:00:02.0"), 0x8086, 0x3e92, 0x030000},
        }));
        const GpuAdapterScan scan = listGpuAdapters(dir.path());
        QCOMPARE(scan.adapters.size(), 2);
        QCOMPARE(scan.adapters.at(0).name, QStringLiteral("Intel Corporation CoffeeLake-S GT2 [UHD Graphics 630]"));
        QCOMPARE(scan.adapters.at(1).name, QStringLiteral("NVIDIA Corporation GA102 [GeForce RTX 3080]"));

        const GpuVendorMarks marks = vendorMarks(scan.adapters);
        QVERIFY(marks.nvidia);
        QVERIFY(marks.intel);
        QVERIFY(!marks.amd);
    }

    // Where libpci cannot read the bus it calls its error handler, which by default ends the
    // process. The scan must come back with the reason instead, and the next scan must work.
    void unreadableBus_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::newRow("no sysfs tree") << QStringLiteral("absent");
        QTest::newRow("entry that is not a PCI address") << QStringLiteral("bad entry");
        QTest::newRow("device without its id files") << QStringLiteral("empty device");
    }
    void unreadableBus()
    {
        QFETCH(QString, damage);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QString root = dir.path() + QStringLiteral("/bus");
        if (damage == QLatin1String("absent")) {
            root = dir.path() + QStringLiteral("/absent");
        } else if (damage == QLatin1String("bad entry")) {
            QVERIFY(writeFakeTree(root, {{QStringLiteral("0000:00:02.0"), 0x8086, 0x3e92, 0x030000}}));
            QVERIFY(QDir().mkpath(root + QStringLiteral("/devices/not-a-device")));
        } else {
            QVERIFY(QDir().mkpath(root + QStringLiteral("/devices/0000:00:02.0")));
        }

        const GpuAdapterScan failed = listGpuAdapters(root);
        QVERIFY(!failed.isBusReadable);
        QVERIFY(!failed.errorText.isEmpty());
        QVERIFY(failed.adapters.isEmpty());
        QCOMPARE(gpuInfoText(failed), QStringLiteral("PCI bus scan failed"));

        const QString good = dir.path() + QStringLiteral("/good");
        QVERIFY(writeFakeTree(good, {{QStringLiteral("0000:00:02.0"), 0x8086, 0x3e92, 0x030000}}));
        const GpuAdapterScan next = listGpuAdapters(good);
        QVERIFY(next.isBusReadable);
        QCOMPARE(next.adapters.size(), 1);
    }

    // This machine's own bus: whatever it holds, the scan returns (adapters or a reason).
    void systemBus()
    {
        const GpuAdapterScan scan = listGpuAdapters();
        QVERIFY(scan.isBusReadable || !scan.errorText.isEmpty());
        for (const GpuAdapter &adapter : scan.adapters)
            QVERIFY(!adapter.slot.isEmpty());
        qInfo().noquote() << "GPUs here:" << gpuInfoText(scan);
    }
};

QTEST_GUILESS_MAIN(TestGpuAdapters)
#include "tst_gpuadapters.moc"
