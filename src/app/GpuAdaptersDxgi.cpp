// listGpuAdapters() of the Windows build: the adapters DXGI lists, named by their
// descriptions, which carry the vendor names the hardware report looks for.
#include "app/GpuAdapters.h"

#include "platform/windows/DxgiAdapters.h"

#include <QDebug>

GpuAdapterScan listGpuAdapters(const QString &)
{
    const DxgiAdapterList list = listDxgiAdapters();
    GpuAdapterScan scan;
    scan.isBusReadable = list.isFactoryCreated;
    scan.errorText = QString::fromStdString(list.errorText);
    if (!scan.errorText.isEmpty())
        qWarning().noquote() << "[GpuAdapters]" << scan.errorText;
    int index = 0;
    for (const DxgiAdapter &adapter : list.adapters) {
        GpuAdapter entry;
        entry.vendorId = quint16(adapter.vendorId);
        entry.deviceId = quint16(adapter.deviceId);
        // DXGI has no bus address; the position in its list stands in.
        entry.slot = QString::number(index++);
        entry.name = QString::fromStdWString(adapter.description).trimmed();
        scan.adapters.append(entry);
    }
    return scan;
}
