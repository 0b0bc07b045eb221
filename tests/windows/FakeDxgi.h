// A DXGI factory and adapters made up by the checks, so the adapter listing can be tried on
// machines DXGI cannot describe (Wine without a display): adapters whose description cannot be
// read, factories that fail part-way or never say "not found". Stack objects; Release never
// deletes, so the checks can see every reference come back.
#pragma once

#include <dxgi.h>

#include <atomic>
#include <cwchar>
#include <string>
#include <vector>

template <typename Interface>
class FakeDxgiObject : public Interface
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override
    {
        if (!object)
            return E_POINTER;
        if (!IsEqualIID(iid, __uuidof(Interface)) && !IsEqualIID(iid, IID_IUnknown)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<Interface *>(this);
        this->AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_references; }
    ULONG references() const { return m_references; }

    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID, UINT, const void *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPrivateDataInterface(REFGUID, const IUnknown *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID, UINT *, void *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetParent(REFIID, void **parent) override
    {
        *parent = nullptr;
        return E_NOTIMPL;
    }

private:
    std::atomic<ULONG> m_references{1};
};

class FakeAdapter : public FakeDxgiObject<IDXGIAdapter1>
{
public:
    FakeAdapter(const wchar_t *description, UINT vendorId, HRESULT descriptionResult = S_OK, UINT flags = 0)
        : m_description(description), m_vendorId(vendorId), m_descriptionResult(descriptionResult), m_flags(flags)
    {
    }

    HRESULT STDMETHODCALLTYPE EnumOutputs(UINT, IDXGIOutput **output) override
    {
        *output = nullptr;
        return DXGI_ERROR_NOT_FOUND;
    }
    HRESULT STDMETHODCALLTYPE GetDesc(DXGI_ADAPTER_DESC *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CheckInterfaceSupport(REFGUID, LARGE_INTEGER *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDesc1(DXGI_ADAPTER_DESC1 *description) override
    {
        if (FAILED(m_descriptionResult))
            return m_descriptionResult;
        *description = DXGI_ADAPTER_DESC1{};
        std::wcsncpy(description->Description, m_description.c_str(), 127);
        description->VendorId = m_vendorId;
        description->DeviceId = 0x1234;
        description->Flags = m_flags;
        return S_OK;
    }

private:
    std::wstring m_description;
    UINT m_vendorId;
    HRESULT m_descriptionResult;
    UINT m_flags;
};

class FakeFactory : public FakeDxgiObject<IDXGIFactory1>
{
public:
    std::vector<FakeAdapter *> adapters;
    // Index at which EnumAdapters1 fails with something other than "not found"; -1 for none.
    int failAt = -1;
    // Hands out the first adapter for every index, never "not found".
    bool endless = false;
    UINT enumerations = 0;

    HRESULT STDMETHODCALLTYPE EnumAdapters(UINT, IDXGIAdapter **adapter) override
    {
        *adapter = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE MakeWindowAssociation(HWND, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetWindowAssociation(HWND *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateSwapChain(IUnknown *, DXGI_SWAP_CHAIN_DESC *, IDXGISwapChain **) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateSoftwareAdapter(HMODULE, IDXGIAdapter **) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumAdapters1(UINT index, IDXGIAdapter1 **adapter) override
    {
        ++enumerations;
        *adapter = nullptr;
        if (int(index) == failAt)
            return E_FAIL;
        FakeAdapter *chosen = nullptr;
        if (endless && !adapters.empty())
            chosen = adapters.front();
        else if (index < adapters.size())
            chosen = adapters[index];
        if (!chosen)
            return DXGI_ERROR_NOT_FOUND;
        chosen->AddRef();
        *adapter = chosen;
        return S_OK;
    }
    BOOL STDMETHODCALLTYPE IsCurrent() override { return TRUE; }
};
