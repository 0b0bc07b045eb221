// DirectShowDevices: the video capture devices of this machine and the formats each offers,
// through the system device enumerator. Neither listing initialises COM: on a thread without
// a COM apartment they return empty lists (with the reason in *error), like every other
// failure here. Plain C++ over the DirectShow headers; call from the thread that owns the
// apartment (the GUI thread in the program).
#pragma once

#include "platform/windows/ComPtr.h"
#include "platform/windows/DirectShowFormats.h"

#include <dshow.h>

#include <string>
#include <vector>

struct DirectShowDevice
{
    // The "FriendlyName" property; empty when it cannot be read.
    std::wstring friendlyName;
    // The "DevicePath" property; a copy of friendlyName when the device has none. This is the
    // key that listDirectShowFormats() and DirectShowCapture::open() take.
    std::wstring devicePath;
};

// Devices in the system's enumeration order. Empty when the enumerator cannot be created or
// the category holds no device; *error (if given) is set only for a failure.
std::vector<DirectShowDevice> listDirectShowDevices(std::string *error = nullptr);

// The formats of the device with this key (first exact match in enumeration order), from
// every output pin that offers IAMStreamConfig, in the device's order: not yet de-duplicated
// or sorted. Empty for an unknown key, a device that will not bind or one without formats.
std::vector<DirectShowFormat> listDirectShowFormats(const std::wstring &deviceKey,
                                                    std::string *error = nullptr);

// The capture filter of the device with this key; empty (and *error set) when no device has
// it or it cannot be bound.
ComPtr<IBaseFilter> bindDirectShowDevice(const std::wstring &deviceKey, std::string *error = nullptr);

// The IAMStreamConfig of every output pin of a filter that offers one, in pin order.
std::vector<ComPtr<IAMStreamConfig>> outputStreamConfigs(IBaseFilter *filter);

// The formats every output pin of a filter offers through IAMStreamConfig, pin after pin.
std::vector<DirectShowFormat> directShowFormatsOfFilter(IBaseFilter *filter);
