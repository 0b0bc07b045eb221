#include "app/GpuAdapters.h"

#include <QDebug>

#include <algorithm>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <tuple>
#include <vector>

extern "C" {
#include <pci/pci.h>
}

bool isDisplayClass(quint16 deviceClass)
{
    return (deviceClass >> 8) == 0x03;
}

namespace {

// libpci's error callback must not return: its default one prints and calls exit(), and the
// library's code after each call assumes it never comes back (a failed opendir() is followed
// by readdir() on the null handle). Ours jumps back to the scan instead. The jump target is
// per thread, so two threads may scan at once.
thread_local std::jmp_buf *t_errorJump = nullptr;
thread_local char t_errorText[512];

[[noreturn]] void onPciError(char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(t_errorText, sizeof t_errorText, format, args);
    va_end(args);
    std::longjmp(*t_errorJump, 1);
}

void onPciWarning(char *format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    qWarning().noquote() << "[GpuAdapters] libpci:" << QString::fromLocal8Bit(text);
}

void onPciDebug(char *, ...) {}

// One display device as read from libpci, before it becomes Qt values.
struct RawAdapter
{
    int domain = 0;
    int bus = 0;
    int device = 0;
    int function = 0;
    quint16 vendorId = 0;
    quint16 deviceId = 0;
    char name[256] = {};
};

// Every libpci call of one scan. The error handler may leave this frame through longjmp at
// any libpci call, so the frame holds only trivially destructible locals (no destructor is
// skipped) and the results go to a vector that lives in the caller.
bool scanDisplayDevices(pci_access *access, std::vector<RawAdapter> *found)
{
    std::jmp_buf jump;
    std::jmp_buf *const previous = t_errorJump;
    t_errorJump = &jump;
    if (setjmp(jump) != 0) {
        t_errorJump = previous;
        return false;
    }

    pci_init(access);
    pci_scan_bus(access);
    for (pci_dev *dev = access->devices; dev != nullptr; dev = dev->next) {
        pci_fill_info(dev, PCI_FILL_IDENT | PCI_FILL_CLASS);
        if (!isDisplayClass(dev->device_class))
            continue;
        RawAdapter raw;
        raw.domain = dev->domain;
        raw.bus = dev->bus;
        raw.device = dev->dev;
        raw.function = dev->func;
        raw.vendorId = dev->vendor_id;
        raw.deviceId = dev->device_id;
        char buffer[sizeof raw.name];
        const char *name = pci_lookup_name(access, buffer, int(sizeof buffer),
                                           PCI_LOOKUP_VENDOR | PCI_LOOKUP_DEVICE,
                                           int(dev->vendor_id), int(dev->device_id));
        if (name != nullptr)
            std::snprintf(raw.name, sizeof raw.name, "%s", name);
        found->push_back(raw);
    }

    t_errorJump = previous;
    return true;
}

} // namespace

GpuAdapterScan listGpuAdapters(const QString &sysfsRoot)
{
    GpuAdapterScan scan;
    std::vector<RawAdapter> found;
    QByteArray sysfsPath = sysfsRoot.toLocal8Bit();
    QByteArray sysfsParam("sysfs.path");

    pci_access *access = pci_alloc();
    if (access == nullptr) {
        scan.errorText = QStringLiteral("pci_alloc() failed");
        qWarning().noquote() << "[GpuAdapters] PCI bus scan failed:" << scan.errorText;
        return scan;
    }
    access->error = onPciError;
    access->warning = onPciWarning;
    access->debug = onPciDebug;
    if (!sysfsRoot.isEmpty()) {
        access->method = PCI_ACCESS_SYS_BUS_PCI;
        pci_set_param(access, sysfsParam.data(), sysfsPath.data());
    }

    scan.isBusReadable = scanDisplayDevices(access, &found);
    if (!scan.isBusReadable) {
        scan.errorText = QString::fromLocal8Bit(t_errorText);
        qWarning().noquote() << "[GpuAdapters] PCI bus scan failed:" << scan.errorText;
    }
    pci_cleanup(access);

    // libpci lists devices in directory order; bus-address order is stable from run to run.
    std::sort(found.begin(), found.end(), [](const RawAdapter &a, const RawAdapter &b) {
        return std::tie(a.domain, a.bus, a.device, a.function)
            < std::tie(b.domain, b.bus, b.device, b.function);
    });
    for (const RawAdapter &raw : found) {
        GpuAdapter adapter;
        adapter.vendorId = raw.vendorId;
        adapter.deviceId = raw.deviceId;
        adapter.slot = QString::asprintf("%04x:%02x:%02x.%d", raw.domain, raw.bus, raw.device,
                                         raw.function);
        adapter.name = QString::fromUtf8(raw.name).trimmed();
        scan.adapters.append(adapter);
    }
    return scan;
}
