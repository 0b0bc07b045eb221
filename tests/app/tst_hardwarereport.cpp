// The hardware report's rules for known machines: vendor marks from adapter names, the encoder
// list (order, and only encoders that open, with a fake in place of FFmpeg), the GPU, CPU and
// summary texts, and which encoder a take records with for a stored index.
#include "app/HardwareReport.h"

#include <QSet>
#include <QTest>
#include <QVariantMap>

namespace {

GpuAdapterScan scanOf(const QStringList &names)
{
    GpuAdapterScan scan;
    scan.isBusReadable = true;
    for (const QString &name : names) {
        GpuAdapter adapter;
        adapter.name = name;
        scan.adapters.append(adapter);
    }
    return scan;
}

EncoderUsableFn opens(const QStringList &encoders)
{
    const QSet<QString> set(encoders.cbegin(), encoders.cend());
    return [set](const QString &encoder) { return set.contains(encoder); };
}

// "name|note|codec|encoder" per entry, so one comparison checks every field and the order.
QStringList describe(const QVariantList &capabilities)
{
    QStringList out;
    for (const QVariant &value : capabilities) {
        const QVariantMap entry = value.toMap();
        out.append(QStringList{entry.value(QStringLiteral("name")).toString(),
                               entry.value(QStringLiteral("note")).toString(),
                               entry.value(QStringLiteral("codec")).toString(),
                               entry.value(QStringLiteral("encoder")).toString()}
                       .join(QLatin1Char('|')));
    }
    return out;
}

const QString kNvidia = QStringLiteral("NVIDIA Corporation GA102 [GeForce RTX 3080]");
const QString kIntel = QStringLiteral("Intel Corporation CoffeeLake-S GT2 [UHD Graphics 630]");
const QString kAmd = QStringLiteral("Advanced Micro Devices, Inc. [AMD/ATI] Navi 21 [Radeon RX 6800/6800 XT / 6900 XT]");
const QString kVirtio = QStringLiteral("Red Hat, Inc. Virtio 1.0 GPU");

const QString kSwH264 = QStringLiteral("Software H.264|CPU Encoding|h264|libx264");
const QString kSwHevc = QStringLiteral("Software HEVC|CPU Encoding|hevc|libx265");
const QString kNvencH264 = QStringLiteral("NVENC H.264|Hardware Accelerated|h264|h264_nvenc");
const QString kNvencHevc = QStringLiteral("NVENC HEVC|Hardware Accelerated|hevc|hevc_nvenc");
const QString kAmfH264 = QStringLiteral("AMF H.264|Hardware Accelerated|h264|h264_vaapi");
const QString kAmfHevc = QStringLiteral("AMF HEVC|Hardware Accelerated|hevc|hevc_vaapi");
const QString kQsvH264 = QStringLiteral("QuickSync H.264|Hardware Accelerated|h264|h264_qsv");
const QString kQsvHevc = QStringLiteral("QuickSync HEVC|Hardware Accelerated|hevc|hevc_qsv");
const QString kQsvVaapiH264 = QStringLiteral("QuickSync H.264|Hardware Accelerated|h264|h264_vaapi");
const QString kQsvVaapiHevc = QStringLiteral("QuickSync HEVC|Hardware Accelerated|hevc|hevc_vaapi");

const QStringList kEveryEncoder = {
    QStringLiteral("libx264"), QStringLiteral("libx265"), QStringLiteral("h264_nvenc"),
    QStringLiteral("hevc_nvenc"), QStringLiteral("h264_vaapi"), QStringLiteral("hevc_vaapi"),
    QStringLiteral("h264_qsv"), QStringLiteral("hevc_qsv")};

} // namespace

class TestHardwareReport : public QObject
{
    Q_OBJECT

private slots:
    void capabilities_data()
    {
        QTest::addColumn<QStringList>("adapters");
        QTest::addColumn<QStringList>("openable");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("no GPU") << QStringList{} << kEveryEncoder << QStringList{kSwH264, kSwHevc};
        QTest::newRow("vendor in lower case")
            << QStringList{QStringLiteral("nvidia geforce gtx 1060")} << QStringList{QStringLiteral("h264_nvenc")}
            << QStringList{kSwH264, kSwHevc, QStringLiteral("NVENC H.264|Hardware Accelerated|h264|h264_nvenc")};
        QTest::newRow("Radeon without AMD in the name")
            << QStringList{QStringLiteral("ATI Technologies Inc RV710 [Radeon HD 4350/4550]")} << kEveryEncoder
            << QStringList{kSwH264, kSwHevc, kAmfH264, kAmfHevc};
        QTest::newRow("encoders open but no adapter asks for them")
            << QStringList{kVirtio} << kEveryEncoder << QStringList{kSwH264, kSwHevc};
        QTest::newRow("NVIDIA without driver")
            << QStringList{kNvidia} << QStringList{} << QStringList{kSwH264, kSwHevc};
        QTest::newRow("NVIDIA without HEVC")
            << QStringList{kNvidia} << QStringList{QStringLiteral("h264_nvenc")}
            << QStringList{kSwH264, kSwHevc, kNvencH264};
        QTest::newRow("NVIDIA does not record through VAAPI")
            << QStringList{kNvidia} << QStringList{QStringLiteral("h264_vaapi"), QStringLiteral("hevc_vaapi")}
            << QStringList{kSwH264, kSwHevc};
        QTest::newRow("two AMD adapters give one pair")
            << QStringList{kAmd, QStringLiteral("AMD Radeon RX 580")} << kEveryEncoder
            << QStringList{kSwH264, kSwHevc, kAmfH264, kAmfHevc};
        QTest::newRow("Intel through VAAPI when QSV does not open")
            << QStringList{kIntel} << QStringList{QStringLiteral("h264_vaapi"), QStringLiteral("hevc_vaapi")}
            << QStringList{kSwH264, kSwHevc, kQsvVaapiH264, kQsvVaapiHevc};
        QTest::newRow("Intel mixes QSV H.264 and VAAPI HEVC")
            << QStringList{kIntel} << QStringList{QStringLiteral("h264_qsv"), QStringLiteral("hevc_vaapi")}
            << QStringList{kSwH264, kSwHevc, kQsvH264, kQsvVaapiHevc};
        QTest::newRow("AMD and Intel share VAAPI once")
            << QStringList{kIntel, kAmd} << QStringList{QStringLiteral("h264_vaapi"), QStringLiteral("hevc_vaapi")}
            << QStringList{kSwH264, kSwHevc, kAmfH264, kAmfHevc};
        QTest::newRow("Intel falls back to VAAPI when AMD's does not open")
            << QStringList{kIntel, kAmd} << QStringList{QStringLiteral("h264_qsv")}
            << QStringList{kSwH264, kSwHevc, kQsvH264};
        QTest::newRow("NVIDIA and Intel, order of the vendors")
            << QStringList{kIntel, kNvidia} << kEveryEncoder
            << QStringList{kSwH264, kSwHevc, kNvencH264, kNvencHevc, kQsvH264, kQsvHevc};
        QTest::newRow("all three vendors")
            << QStringList{kIntel, kAmd, kNvidia} << kEveryEncoder
            << QStringList{kSwH264, kSwHevc, kNvencH264, kNvencHevc, kAmfH264, kAmfHevc, kQsvH264, kQsvHevc};
    }
    void capabilities()
    {
        QFETCH(QStringList, adapters);
        QFETCH(QStringList, openable);
        QFETCH(QStringList, expected);
        QCOMPARE(describe(encoderCapabilities(vendorMarks(adapters), opens(openable))), expected);
    }

    // The Windows table: AMF for AMD, Media Foundation as the shared path, never VAAPI.
    void windowsCapabilities_data()
    {
        QTest::addColumn<QStringList>("adapters");
        QTest::addColumn<QStringList>("openable");
        QTest::addColumn<QStringList>("expected");

        const QStringList everyWindowsEncoder = {
            QStringLiteral("h264_nvenc"), QStringLiteral("hevc_nvenc"), QStringLiteral("h264_amf"),
            QStringLiteral("hevc_amf"), QStringLiteral("h264_qsv"), QStringLiteral("hevc_qsv"),
            QStringLiteral("h264_mf"), QStringLiteral("hevc_mf")};
        const QString amfH264 = QStringLiteral("AMF H.264|Hardware Accelerated|h264|h264_amf");
        const QString amfHevc = QStringLiteral("AMF HEVC|Hardware Accelerated|hevc|hevc_amf");
        const QString amfMfH264 = QStringLiteral("AMF H.264|Hardware Accelerated|h264|h264_mf");
        const QString qsvMfH264 = QStringLiteral("QuickSync H.264|Hardware Accelerated|h264|h264_mf");
        const QString qsvMfHevc = QStringLiteral("QuickSync HEVC|Hardware Accelerated|hevc|hevc_mf");

        QTest::newRow("all three vendors")
            << QStringList{kIntel, kAmd, kNvidia} << everyWindowsEncoder
            << QStringList{kSwH264, kSwHevc, kNvencH264, kNvencHevc, amfH264, amfHevc, kQsvH264, kQsvHevc};
        QTest::newRow("AMD through Media Foundation when AMF does not open")
            << QStringList{kAmd} << QStringList{QStringLiteral("h264_mf")}
            << QStringList{kSwH264, kSwHevc, amfMfH264};
        QTest::newRow("Intel through Media Foundation when QSV does not open")
            << QStringList{kIntel} << QStringList{QStringLiteral("h264_mf"), QStringLiteral("hevc_mf")}
            << QStringList{kSwH264, kSwHevc, qsvMfH264, qsvMfHevc};
        QTest::newRow("AMD and Intel share Media Foundation once")
            << QStringList{kIntel, kAmd} << QStringList{QStringLiteral("h264_mf"), QStringLiteral("hevc_mf")}
            << QStringList{kSwH264, kSwHevc, amfMfH264, QStringLiteral("AMF HEVC|Hardware Accelerated|hevc|hevc_mf")};
        QTest::newRow("Intel may use Media Foundation when AMD records through AMF")
            << QStringList{kIntel, kAmd} << QStringList{QStringLiteral("h264_amf"), QStringLiteral("h264_mf")}
            << QStringList{kSwH264, kSwHevc, amfH264, qsvMfH264};
        QTest::newRow("NVIDIA does not record through Media Foundation")
            << QStringList{kNvidia} << QStringList{QStringLiteral("h264_mf"), QStringLiteral("hevc_mf")}
            << QStringList{kSwH264, kSwHevc};
        QTest::newRow("no VAAPI on Windows")
            << QStringList{kAmd, kIntel} << QStringList{QStringLiteral("h264_vaapi"), QStringLiteral("hevc_vaapi")}
            << QStringList{kSwH264, kSwHevc};
    }
    void windowsCapabilities()
    {
        QFETCH(QStringList, adapters);
        QFETCH(QStringList, openable);
        QFETCH(QStringList, expected);
        QCOMPARE(describe(encoderCapabilities(vendorMarks(adapters), opens(openable), windowsHardwareEncoders())),
                 expected);
    }

    // The whole report for known machines: GPU text, summary and the number of entries.
    void report_data()
    {
        QTest::addColumn<bool>("busReadable");
        QTest::addColumn<QStringList>("adapters");
        QTest::addColumn<QStringList>("openable");
        QTest::addColumn<QString>("gpuInfo");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<int>("entries");

        const QString available = QStringLiteral("[AVAILABLE] Hardware encoding supported");
        const QString unavailable = QStringLiteral("[UNAVAILABLE] Hardware encoding not found");

        QTest::newRow("NVIDIA and Intel")
            << true << QStringList{kNvidia, kIntel} << kEveryEncoder
            << kNvidia + QStringLiteral(" | ") + kIntel << available << 6;
        QTest::newRow("NVIDIA whose encoder does not open")
            << true << QStringList{kNvidia} << QStringList{QStringLiteral("libx264"), QStringLiteral("libx265")}
            << kNvidia << unavailable << 2;
        QTest::newRow("Radeon only")
            << true << QStringList{kAmd} << QStringList{QStringLiteral("h264_vaapi")}
            << kAmd << available << 3;
        QTest::newRow("virtual GPU")
            << true << QStringList{kVirtio} << kEveryEncoder << kVirtio << unavailable << 2;
        QTest::newRow("no display device")
            << true << QStringList{} << kEveryEncoder << QStringLiteral("No PCI GPU detected") << unavailable << 2;
        QTest::newRow("adapter without a name")
            << true << QStringList{QString()} << kEveryEncoder << QStringLiteral("No PCI GPU detected") << unavailable << 2;
        QTest::newRow("bus not readable")
            << false << QStringList{} << kEveryEncoder << QStringLiteral("PCI bus scan failed") << unavailable << 2;
    }
    void report()
    {
        QFETCH(bool, busReadable);
        QFETCH(QStringList, adapters);
        QFETCH(QStringList, openable);
        QFETCH(QString, gpuInfo);
        QFETCH(QString, summary);
        QFETCH(int, entries);

        GpuAdapterScan scan = scanOf(adapters);
        scan.isBusReadable = busReadable;
        CpuFacts cpu;
        cpu.architecture = QStringLiteral("x86_64");
        cpu.threads = 2;
        const HardwareReport report = buildHardwareReport(scan, cpu, opens(openable));
        QCOMPARE(report.gpuInfo, gpuInfo);
        QCOMPARE(report.summary, summary);
        QCOMPARE(report.encoderCapabilities.size(), entries);
        QCOMPARE(report.cpuInfo, QStringLiteral("x86_64 | 2 threads"));
    }

    void parseCpuInfo_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("cores");

        const QByteArray hyperThreaded =
            "processor\t: 0\nmodel name\t: Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz\nphysical id\t: 0\ncore id\t\t: 0\ncpu cores\t: 2\n\n"
            "processor\t: 1\nmodel name\t: Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz\nphysical id\t: 0\ncore id\t\t: 1\ncpu cores\t: 2\n\n"
            "processor\t: 2\nmodel name\t: Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz\nphysical id\t: 0\ncore id\t\t: 0\ncpu cores\t: 2\n\n"
            "processor\t: 3\nmodel name\t: Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz\nphysical id\t: 0\ncore id\t\t: 1\ncpu cores\t: 2\n\n";
        QTest::newRow("two cores, four threads") << hyperThreaded << QStringLiteral("Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz") << 2;

        const QByteArray twoSockets =
            "processor\t: 0\nmodel name\t: AMD EPYC 7763 64-Core Processor\nphysical id\t: 0\ncore id\t\t: 0\n\n"
            "processor\t: 1\nmodel name\t: AMD EPYC 7763 64-Core Processor\nphysical id\t: 1\ncore id\t\t: 0\n\n";
        QTest::newRow("same core id on two sockets") << twoSockets << QStringLiteral("AMD EPYC 7763 64-Core Processor") << 2;

        const QByteArray arm =
            "processor\t: 0\nBogoMIPS\t: 108.00\nFeatures\t: fp asimd\nCPU implementer\t: 0x41\n\n"
            "processor\t: 1\nBogoMIPS\t: 108.00\n\nHardware\t: BCM2835\nModel\t\t: Raspberry Pi 4 Model B Rev 1.4\n";
        QTest::newRow("ARM board") << arm << QStringLiteral("Raspberry Pi 4 Model B Rev 1.4") << 0;

        QTest::newRow("x86 \"model\" number is not the name")
            << QByteArray("processor\t: 0\nmodel\t\t: 17\nmodel name\t: AMD   EPYC\n") << QStringLiteral("AMD EPYC") << 0;
    }
    void parseCpuInfo()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, model);
        QFETCH(int, cores);
        const CpuFacts cpu = ::parseCpuInfo(text);
        QCOMPARE(cpu.modelName, model);
        QCOMPARE(cpu.physicalCores, cores);
    }

    void cpuText_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("architecture");
        QTest::addColumn<int>("cores");
        QTest::addColumn<int>("threads");
        QTest::addColumn<QString>("text");

        QTest::newRow("everything known") << QStringLiteral("AMD EPYC") << QStringLiteral("x86_64") << 2 << 4
                                          << QStringLiteral("AMD EPYC (x86_64) | 2 cores, 4 threads");
        QTest::newRow("one core, one thread") << QStringLiteral("Cortex-A53") << QStringLiteral("arm64") << 1 << 1
                                              << QStringLiteral("Cortex-A53 (arm64) | 1 core, 1 thread");
        QTest::newRow("no model name") << QString() << QStringLiteral("x86_64") << 0 << 8
                                       << QStringLiteral("x86_64 | 8 threads");
    }
    void cpuText()
    {
        QFETCH(QString, model);
        QFETCH(QString, architecture);
        QFETCH(int, cores);
        QFETCH(int, threads);
        QFETCH(QString, text);
        CpuFacts cpu;
        cpu.modelName = model;
        cpu.architecture = architecture;
        cpu.physicalCores = cores;
        cpu.threads = threads;
        QCOMPARE(cpuInfoText(cpu), text);
    }

    // The stored encoder index decides codec and encoder; an index the list no longer has
    // (a GPU removed since) records with software H.264 rather than failing.
    void choiceAtIndex_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("encoder");
        QTest::addColumn<QString>("codec");
        QTest::addColumn<bool>("isHardware");
        QTest::newRow("software H.264") << 0 << QStringLiteral("libx264") << QStringLiteral("h264") << false;
        QTest::newRow("software HEVC") << 1 << QStringLiteral("libx265") << QStringLiteral("hevc") << false;
        QTest::newRow("NVENC HEVC") << 3 << QStringLiteral("hevc_nvenc") << QStringLiteral("hevc") << true;
        QTest::newRow("past the end") << 4 << QStringLiteral("libx264") << QStringLiteral("h264") << false;
        QTest::newRow("negative") << -1 << QStringLiteral("libx264") << QStringLiteral("h264") << false;
    }
    void choiceAtIndex()
    {
        QFETCH(int, index);
        QFETCH(QString, encoder);
        QFETCH(QString, codec);
        QFETCH(bool, isHardware);
        const QVariantList list = encoderCapabilities(GpuVendorMarks{true, false, false}, opens(kEveryEncoder));
        const EncoderChoice choice = encoderChoiceAt(list, index);
        QCOMPARE(choice.encoder, encoder);
        QCOMPARE(choice.codec, codec);
        QCOMPARE(choice.isHardware, isHardware);
    }

};

QTEST_GUILESS_MAIN(TestHardwareReport)
#include "tst_hardwarereport.moc"
