#include "app/HardwareReport.h"

#include <QFile>
#include <QMap>
#include <QSet>
#include <QSysInfo>
#include <QThread>
#include <QVariantMap>

#include <algorithm>
#include <utility>

namespace {

const QString kNoteSoftware = QStringLiteral("CPU Encoding");
const QString kNoteHardware = QStringLiteral("Hardware Accelerated");

QVariantMap makeEntry(const QString &name, const QString &note, const QString &codec,
                      const QString &encoder)
{
    return QVariantMap{{QStringLiteral("name"), name},
                       {QStringLiteral("note"), note},
                       {QStringLiteral("codec"), codec},
                       {QStringLiteral("encoder"), encoder}};
}

// One vendor's hardware entries: "<family> H.264" and "<family> HEVC" with the first encoder
// of each list that opens. Returns the encoders of the entries added.
QStringList appendHardwarePair(QVariantList &list, const QString &family, const QStringList &h264Encoders,
                               const QStringList &hevcEncoders, const EncoderUsableFn &canOpen)
{
    QStringList added;
    const std::pair<QString, QStringList> codecs[] = {{QStringLiteral("h264"), h264Encoders},
                                                      {QStringLiteral("hevc"), hevcEncoders}};
    for (const auto &[codec, encoders] : codecs) {
        for (const QString &encoder : encoders) {
            if (!canOpen || !canOpen(encoder))
                continue;
            const QString display = codec == QLatin1String("h264") ? QStringLiteral("H.264")
                                                                    : QStringLiteral("HEVC");
            list.append(makeEntry(family + QLatin1Char(' ') + display, kNoteHardware, codec, encoder));
            added.append(encoder);
            break;
        }
    }
    return added;
}

// Value of a "key : value" line of /proc/cpuinfo, or a null string for other keys.
QString cpuInfoValue(const QByteArray &line, const char *key)
{
    const int colon = line.indexOf(':');
    if (colon < 0 || line.left(colon).trimmed() != key)
        return {};
    return QString::fromUtf8(line.mid(colon + 1).trimmed());
}

} // namespace

GpuVendorMarks vendorMarks(const QStringList &adapterNames)
{
    GpuVendorMarks marks;
    for (const QString &name : adapterNames) {
        if (name.contains(QLatin1String("NVIDIA"), Qt::CaseInsensitive))
            marks.nvidia = true;
        if (name.contains(QLatin1String("AMD"), Qt::CaseInsensitive)
            || name.contains(QLatin1String("Radeon"), Qt::CaseInsensitive))
            marks.amd = true;
        if (name.contains(QLatin1String("Intel"), Qt::CaseInsensitive))
            marks.intel = true;
    }
    return marks;
}

GpuVendorMarks vendorMarks(const QList<GpuAdapter> &adapters)
{
    QStringList names;
    for (const GpuAdapter &adapter : adapters)
        names.append(adapter.name);
    return vendorMarks(names);
}

QString gpuInfoText(const GpuAdapterScan &scan)
{
#ifdef Q_OS_WIN
    const QString failed = QStringLiteral("DXGI Factory creation failed");
    const QString none = QStringLiteral("No DXGI GPU detected");
#else
    const QString failed = QStringLiteral("PCI bus scan failed");
    const QString none = QStringLiteral("No PCI GPU detected");
#endif
    if (!scan.isBusReadable)
        return failed;
    QStringList names;
    for (const GpuAdapter &adapter : scan.adapters) {
        if (!adapter.name.isEmpty())
            names.append(adapter.name);
    }
    if (names.isEmpty())
        return none;
    return names.join(QStringLiteral(" | "));
}

CpuFacts parseCpuInfo(const QByteArray &procCpuInfo)
{
    CpuFacts cpu;
    QString armModel;
    QSet<QString> coreKeys;          // "physical id/core id"
    QMap<QString, int> coresPerPackage; // physical id -> "cpu cores"
    QString physicalId;
    QString coreId;
    int packageCores = 0;

    auto closeProcessor = [&]() {
        if (!coreId.isEmpty())
            coreKeys.insert(physicalId + QLatin1Char('/') + coreId);
        if (packageCores > 0)
            coresPerPackage.insert(physicalId, packageCores);
        physicalId.clear();
        coreId.clear();
        packageCores = 0;
    };

    const QList<QByteArray> lines = procCpuInfo.split('\n');
    for (const QByteArray &line : lines) {
        if (line.trimmed().isEmpty()) {
            closeProcessor();
            continue;
        }
        QString value;
        if (!(value = cpuInfoValue(line, "model name")).isNull()) {
            if (cpu.modelName.isEmpty())
                cpu.modelName = value.simplified();
        } else if (!(value = cpuInfoValue(line, "Model")).isNull()) {
            if (armModel.isEmpty())
                armModel = value.simplified();
        } else if (!(value = cpuInfoValue(line, "physical id")).isNull()) {
            physicalId = value;
        } else if (!(value = cpuInfoValue(line, "core id")).isNull()) {
            coreId = value;
        } else if (!(value = cpuInfoValue(line, "cpu cores")).isNull()) {
            packageCores = value.toInt();
        }
    }
    closeProcessor();

    if (cpu.modelName.isEmpty())
        cpu.modelName = armModel;
    if (!coreKeys.isEmpty()) {
        cpu.physicalCores = int(coreKeys.size());
    } else {
        for (int cores : std::as_const(coresPerPackage))
            cpu.physicalCores += cores;
    }
    return cpu;
}

CpuFacts readCpuFacts()
{
    CpuFacts cpu;
    QFile file(QStringLiteral("/proc/cpuinfo"));
    // /proc files report size 0, so read until the end rather than by size.
    if (file.open(QIODevice::ReadOnly))
        cpu = parseCpuInfo(file.readAll());
    cpu.architecture = QSysInfo::currentCpuArchitecture();
    cpu.threads = std::max(1, QThread::idealThreadCount());
    return cpu;
}

QString cpuInfoText(const CpuFacts &cpu)
{
    QString processor = cpu.architecture;
    if (!cpu.modelName.isEmpty())
        processor = cpu.architecture.isEmpty()
            ? cpu.modelName
            : QStringLiteral("%1 (%2)").arg(cpu.modelName, cpu.architecture);
    const QString threads = QStringLiteral("%1 %2").arg(cpu.threads).arg(
        cpu.threads == 1 ? QStringLiteral("thread") : QStringLiteral("threads"));
    if (cpu.physicalCores <= 0)
        return QStringLiteral("%1 | %2").arg(processor, threads);
    const QString cores = QStringLiteral("%1 %2").arg(cpu.physicalCores).arg(
        cpu.physicalCores == 1 ? QStringLiteral("core") : QStringLiteral("cores"));
    return QStringLiteral("%1 | %2, %3").arg(processor, cores, threads);
}

HardwareEncoderNames linuxHardwareEncoders()
{
    return {QStringLiteral("_nvenc"), QStringLiteral("_vaapi"), QStringLiteral("_qsv"), QStringLiteral("_vaapi")};
}

HardwareEncoderNames windowsHardwareEncoders()
{
    return {QStringLiteral("_nvenc"), QStringLiteral("_amf"), QStringLiteral("_qsv"), QStringLiteral("_mf")};
}

HardwareEncoderNames platformHardwareEncoders()
{
#ifdef Q_OS_WIN
    return windowsHardwareEncoders();
#else
    return linuxHardwareEncoders();
#endif
}

QVariantList encoderCapabilities(const GpuVendorMarks &marks, const EncoderUsableFn &canOpen,
                                 const HardwareEncoderNames &names)
{
    QVariantList list;
    list.append(makeEntry(QStringLiteral("Software H.264"), kNoteSoftware, QStringLiteral("h264"),
                          QStringLiteral("libx264")));
    list.append(makeEntry(QStringLiteral("Software HEVC"), kNoteSoftware, QStringLiteral("hevc"),
                          QStringLiteral("libx265")));

    const auto encodersOf = [](const QString &suffix) {
        return std::pair<QStringList, QStringList>{{QStringLiteral("h264") + suffix}, {QStringLiteral("hevc") + suffix}};
    };
    const auto addShared = [&names](std::pair<QStringList, QStringList> &encoders) {
        if (!encoders.first.contains(QStringLiteral("h264") + names.shared)) {
            encoders.first.append(QStringLiteral("h264") + names.shared);
            encoders.second.append(QStringLiteral("hevc") + names.shared);
        }
    };

    if (marks.nvidia) {
        const auto encoders = encodersOf(names.nvidia);
        appendHardwarePair(list, QStringLiteral("NVENC"), encoders.first, encoders.second, canOpen);
    }
    // The shared path opens the system's default device, which cannot be told apart by vendor;
    // one pair of entries on it is enough.
    bool sharedTaken = false;
    if (marks.amd) {
        auto encoders = encodersOf(names.amd);
        addShared(encoders);
        const QStringList added = appendHardwarePair(list, QStringLiteral("AMF"), encoders.first, encoders.second, canOpen);
        sharedTaken = std::any_of(added.cbegin(), added.cend(),
                                  [&names](const QString &encoder) { return encoder.endsWith(names.shared); });
    }
    if (marks.intel) {
        auto encoders = encodersOf(names.intel);
        if (!sharedTaken)
            addShared(encoders);
        appendHardwarePair(list, QStringLiteral("QuickSync"), encoders.first, encoders.second, canOpen);
    }
    return list;
}

int hardwareEntryCount(const QVariantList &capabilities)
{
    return int(std::count_if(capabilities.cbegin(), capabilities.cend(), [](const QVariant &entry) {
        return entry.toMap().value(QStringLiteral("note")).toString() == kNoteHardware;
    }));
}

QString hardwareSummaryText(const QVariantList &capabilities)
{
    return hardwareEntryCount(capabilities) > 0
        ? QStringLiteral("[AVAILABLE] Hardware encoding supported")
        : QStringLiteral("[UNAVAILABLE] Hardware encoding not found");
}

EncoderChoice encoderChoiceAt(const QVariantList &capabilities, int index)
{
    QVariantMap entry;
    if (index >= 0 && index < capabilities.size())
        entry = capabilities.at(index).toMap();
    else if (!capabilities.isEmpty())
        entry = capabilities.first().toMap();

    EncoderChoice choice;
    choice.name = entry.value(QStringLiteral("name")).toString();
    choice.codec = entry.value(QStringLiteral("codec")).toString();
    choice.encoder = entry.value(QStringLiteral("encoder")).toString();
    choice.isHardware = entry.value(QStringLiteral("note")).toString() == kNoteHardware;
    if (choice.codec.isEmpty() || choice.encoder.isEmpty()) {
        choice.name = QStringLiteral("Software H.264");
        choice.codec = QStringLiteral("h264");
        choice.encoder = QStringLiteral("libx264");
        choice.isHardware = false;
    }
    return choice;
}

QString softwareEncoderFor(const QString &codec)
{
    return codec == QLatin1String("hevc") ? QStringLiteral("libx265") : QStringLiteral("libx264");
}

HardwareReport buildHardwareReport(const GpuAdapterScan &scan, const CpuFacts &cpu,
                                   const EncoderUsableFn &canOpen)
{
    HardwareReport report;
    report.gpuInfo = gpuInfoText(scan);
    report.cpuInfo = cpuInfoText(cpu);
    report.encoderCapabilities = encoderCapabilities(vendorMarks(scan.adapters), canOpen);
    report.summary = hardwareSummaryText(report.encoderCapabilities);
    return report;
}
