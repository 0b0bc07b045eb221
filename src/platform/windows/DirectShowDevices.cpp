#include "platform/windows/DirectShowDevices.h"

#include "platform/windows/WinText.h"

#include <functional>

namespace {

void setError(std::string *error, const std::string &text)
{
    if (error)
        *error = text;
}

// A string property of a device, empty when it is missing or not a string.
std::wstring readProperty(IPropertyBag *bag, const wchar_t *name)
{
    VARIANT value;
    VariantInit(&value);
    std::wstring text;
    if (SUCCEEDED(bag->Read(name, &value, nullptr)) && value.vt == VT_BSTR && value.bstrVal)
        text.assign(value.bstrVal, SysStringLen(value.bstrVal));
    VariantClear(&value);
    return text;
}

// The key a device is known by: its path, or its friendly name when it has no path.
std::wstring deviceKeyOf(IPropertyBag *bag, std::wstring *friendlyName = nullptr)
{
    std::wstring key = readProperty(bag, L"DevicePath");
    if (friendlyName)
        *friendlyName = readProperty(bag, L"FriendlyName");
    if (key.empty())
        key = friendlyName ? *friendlyName : readProperty(bag, L"FriendlyName");
    return key;
}

// Calls visit for each video input device, in enumeration order, until it returns false.
// Returns false (with *error) only when the enumeration itself could not be made.
bool forEachVideoInput(const std::function<bool(IMoniker *, IPropertyBag *)> &visit, std::string *error)
{
    ComPtr<ICreateDevEnum> enumerator;
    HRESULT result = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_ICreateDevEnum, enumerator.putVoid());
    if (FAILED(result) || !enumerator) {
        setError(error, "Cannot create the system device enumerator: " + hresultText(result));
        return false;
    }
    ComPtr<IEnumMoniker> monikers;
    result = enumerator->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.put(), 0);
    if (FAILED(result)) {
        setError(error, "Cannot enumerate video input devices: " + hresultText(result));
        return false;
    }
    // S_FALSE with no enumerator: the category is empty (no camera was ever installed).
    if (!monikers)
        return true;

    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, moniker.put(), nullptr) == S_OK && moniker) {
        ComPtr<IPropertyBag> bag;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.putVoid())) || !bag)
            continue;
        if (!visit(moniker.get(), bag.get()))
            break;
    }
    return true;
}

} // namespace

std::vector<DirectShowDevice> listDirectShowDevices(std::string *error)
{
    std::vector<DirectShowDevice> devices;
    forEachVideoInput(
        [&devices](IMoniker *, IPropertyBag *bag) {
            DirectShowDevice device;
            device.devicePath = deviceKeyOf(bag, &device.friendlyName);
            devices.push_back(std::move(device));
            return true;
        },
        error);
    return devices;
}

ComPtr<IBaseFilter> bindDirectShowDevice(const std::wstring &deviceKey, std::string *error)
{
    ComPtr<IBaseFilter> filter;
    bool found = false;
    HRESULT bindResult = S_OK;
    const bool enumerated = forEachVideoInput(
        [&](IMoniker *moniker, IPropertyBag *bag) {
            if (deviceKeyOf(bag) != deviceKey)
                return true;
            found = true;
            bindResult = moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.putVoid());
            return false;
        },
        error);
    if (!enumerated)
        return {};
    if (!found) {
        setError(error, "No video capture device \"" + utf8FromWide(deviceKey) + "\"");
        return {};
    }
    if (FAILED(bindResult) || !filter) {
        setError(error, "Cannot open video capture device \"" + utf8FromWide(deviceKey)
                            + "\": " + hresultText(bindResult));
        return {};
    }
    return filter;
}

std::vector<ComPtr<IAMStreamConfig>> outputStreamConfigs(IBaseFilter *filter)
{
    std::vector<ComPtr<IAMStreamConfig>> configs;
    ComPtr<IEnumPins> pins;
    if (!filter || FAILED(filter->EnumPins(pins.put())) || !pins)
        return configs;
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.put(), nullptr) == S_OK && pin) {
        PIN_DIRECTION direction = PINDIR_INPUT;
        if (FAILED(pin->QueryDirection(&direction)) || direction != PINDIR_OUTPUT)
            continue;
        if (ComPtr<IAMStreamConfig> config = pin.query<IAMStreamConfig>(IID_IAMStreamConfig))
            configs.push_back(std::move(config));
    }
    return configs;
}

std::vector<DirectShowFormat> directShowFormatsOfFilter(IBaseFilter *filter)
{
    std::vector<DirectShowFormat> formats;
    for (const ComPtr<IAMStreamConfig> &config : outputStreamConfigs(filter)) {
        for (DirectShowFormat &format : directShowFormatsOf(config.get()))
            formats.push_back(std::move(format));
    }
    return formats;
}

std::vector<DirectShowFormat> listDirectShowFormats(const std::wstring &deviceKey, std::string *error)
{
    const ComPtr<IBaseFilter> filter = bindDirectShowDevice(deviceKey, error);
    if (!filter)
        return {};
    return directShowFormatsOfFilter(filter.get());
}
