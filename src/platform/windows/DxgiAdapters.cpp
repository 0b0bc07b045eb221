#include "platform/windows/DxgiAdapters.h"

#include "platform/windows/ComPtr.h"
#include "platform/windows/WinText.h"

#include <cwchar>

namespace {

// No machine has this many; a factory that never says "not found" stops here.
constexpr UINT MaxAdapters = 64;

} // namespace

DxgiAdapterList listDxgiAdapters(DxgiFactoryCreator createFactory)
{
    DxgiAdapterList list;
    ComPtr<IDXGIFactory1> factory;
    const HRESULT created = createFactory ? createFactory(__uuidof(IDXGIFactory1), factory.putVoid())
                                          : E_POINTER;
    if (FAILED(created) || !factory) {
        list.errorText = "DXGI factory creation failed: " + hresultText(FAILED(created) ? created : E_POINTER);
        return list;
    }
    list.isFactoryCreated = true;

    for (UINT index = 0;; ++index) {
        if (index == MaxAdapters) {
            list.errorText = "DXGI lists more than " + std::to_string(MaxAdapters) + " adapters; the rest are ignored";
            break;
        }
        ComPtr<IDXGIAdapter1> adapter;
        const HRESULT result = factory->EnumAdapters1(index, adapter.put());
        if (result == DXGI_ERROR_NOT_FOUND)
            break;
        if (FAILED(result) || !adapter) {
            list.errorText = "DXGI adapter " + std::to_string(index) + " cannot be listed: "
                           + hresultText(FAILED(result) ? result : E_POINTER);
            break;
        }
        DXGI_ADAPTER_DESC1 description{};
        if (FAILED(adapter->GetDesc1(&description)))
            continue;
        DxgiAdapter entry;
        const size_t length = wcsnlen(description.Description, sizeof description.Description / sizeof(WCHAR));
        entry.description.assign(description.Description, length);
        entry.vendorId = description.VendorId;
        entry.deviceId = description.DeviceId;
        entry.isSoftware = (description.Flags & DXGI_ADAPTER_FLAG_SOFTWARE) != 0;
        list.adapters.push_back(std::move(entry));
    }
    return list;
}
