// The graphics adapters of this machine: the PCI devices of the display class (0x03), each
// named as libpci names it from the PCI ID database ("<vendor> <device>", for example
// "NVIDIA Corporation GA102 [GeForce RTX 3080]"). These names are what the hardware report
// reads its vendor marks from.
//
// listGpuAdapters() opens a libpci session of its own for each call, so any thread may call
// it; it reads sysfs and the ID database and takes a few milliseconds. Everything else here
// is pure. The Windows build lists the DXGI adapters instead (GpuAdaptersDxgi.cpp): names are
// their descriptions, isBusReadable says whether a DXGI factory could be made.
#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

struct GpuAdapter
{
    quint16 vendorId = 0;
    quint16 deviceId = 0;
    // PCI address, "dddd:bb:dd.f".
    QString slot;
    // Vendor and device name as libpci gives them; libpci falls back to the numeric ids
    // ("Device 10de:2206") when the ID database lacks the device.
    QString name;
};

struct GpuAdapterScan
{
    // False when the PCI bus could not be read at all (no sysfs, no access method).
    bool isBusReadable = false;
    // libpci's own message when the bus could not be read.
    QString errorText;
    // Display devices in bus-address order.
    QList<GpuAdapter> adapters;
};

// Lists the display-class PCI devices. `sysfsRoot` is the tree to read in place of the
// system's /sys/bus/pci (tests pass a made-up tree); empty means the system's own, found by
// libpci's usual detection. Never aborts: every libpci error ends the scan and is returned.
GpuAdapterScan listGpuAdapters(const QString &sysfsRoot = QString());

// True for a PCI class word (base class << 8 | sub-class, as libpci stores it) of the display
// base class: VGA, XGA, 3D and other display controllers.
bool isDisplayClass(quint16 deviceClass);
