// DxgiAdapters: the graphics adapters DXGI lists, for the hardware report, whose vendor marks
// (NVIDIA / AMD, Radeon / Intel) are read from the descriptions. Every adapter counts,
// including the system's software renderer, whose name matches no vendor.
// Plain C++ over the DXGI headers; any thread (each call makes its own factory).
#pragma once

#include <dxgi.h>

#include <string>
#include <vector>

struct DxgiAdapter
{
    // DXGI_ADAPTER_DESC1::Description, for example "NVIDIA GeForce RTX 3080".
    std::wstring description;
    unsigned int vendorId = 0;
    unsigned int deviceId = 0;
    // DXGI_ADAPTER_FLAG_SOFTWARE: the Basic Render Driver and its kind.
    bool isSoftware = false;
};

struct DxgiAdapterList
{
    // False when no DXGI factory could be made; adapters is then empty.
    bool isFactoryCreated = false;
    // Why the factory could not be made or the enumeration ended early; empty otherwise.
    std::string errorText;
    // In DXGI's order (the primary adapter first); adapters whose description cannot be read
    // are left out.
    std::vector<DxgiAdapter> adapters;
};

// CreateDXGIFactory1's signature; tests pass a factory of their own.
using DxgiFactoryCreator = HRESULT(WINAPI *)(REFIID iid, void **factory);

// Enumerates until DXGI reports that no adapter has the next index. Any other failure ends
// the list there (errorText says which), so a misbehaving driver cannot keep it going.
DxgiAdapterList listDxgiAdapters(DxgiFactoryCreator createFactory = CreateDXGIFactory1);
