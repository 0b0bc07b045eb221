// The Windows layers against the system they run on (under Wine: no camera, no real graphics
// adapter) and against made-up DXGI objects: every failure ends in an empty list with a
// reason, never a crash; process counters read; socket start-ups and clean-ups pair up.
// winsock2.h before anything that brings in windows.h.
#include <winsock2.h>

#include "Check.h"
#include "FakeDxgi.h"

#include "platform/windows/DirectShowCapture.h"
#include "platform/windows/DirectShowDevices.h"
#include "platform/windows/DxgiAdapters.h"
#include "platform/windows/ProcessCounters.h"
#include "platform/windows/WinText.h"
#include "platform/windows/WinsockSession.h"

#include <cstdio>

namespace {

FakeFactory *g_fakeFactory = nullptr;

HRESULT WINAPI createFakeFactory(REFIID iid, void **factory)
{
    if (!IsEqualIID(iid, __uuidof(IDXGIFactory1))) {
        *factory = nullptr;
        return E_NOINTERFACE;
    }
    g_fakeFactory->AddRef();
    *factory = static_cast<IDXGIFactory1 *>(g_fakeFactory);
    return S_OK;
}

HRESULT WINAPI failToCreateFactory(REFIID, void **factory)
{
    *factory = nullptr;
    return DXGI_ERROR_UNSUPPORTED;
}

HRESULT WINAPI succeedWithoutFactory(REFIID, void **factory)
{
    *factory = nullptr;
    return S_OK;
}

DWORD WINAPI listOnFreshThread(void *result)
{
    auto *outcome = static_cast<std::pair<size_t, std::string> *>(result);
    std::string error;
    outcome->first = listDirectShowDevices(&error).size();
    outcome->second = error;
    return 0;
}

} // namespace

// Runs first (cases run in registration order within this file): the main thread has no COM
// apartment yet.
TEST_CASE(deviceListsWithoutAComApartmentAreEmpty)
{
    std::string error;
    CHECK(listDirectShowDevices(&error).empty());
    CHECK(!error.empty());
    std::printf("    without COM: %s\n", error.c_str());

    error.clear();
    CHECK(listDirectShowFormats(L"\\\\?\\usb#vid_046d&pid_082d", &error).empty());
    CHECK(!error.empty());

    // The same on a thread of its own.
    std::pair<size_t, std::string> outcome{99, {}};
    HANDLE thread = CreateThread(nullptr, 0, listOnFreshThread, &outcome, 0, nullptr);
    CHECK(thread != nullptr);
    if (thread) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    CHECK_EQ(outcome.first, size_t(0));
    CHECK(!outcome.second.empty());
}

TEST_CASE(deviceListsInAComApartment)
{
    const HRESULT initialised = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    CHECK(SUCCEEDED(initialised));

    std::string error;
    const std::vector<DirectShowDevice> devices = listDirectShowDevices(&error);
    std::printf("    %d video input device(s)%s%s\n", int(devices.size()), error.empty() ? "" : ": ", error.c_str());
    for (const DirectShowDevice &device : devices) {
        // Every device has a key, its path or else its name.
        CHECK(!device.devicePath.empty() || device.friendlyName.empty());
        std::printf("    \"%s\" at \"%s\"\n", utf8FromWide(device.friendlyName).c_str(),
                    utf8FromWide(device.devicePath).c_str());
    }

    error.clear();
    CHECK(listDirectShowFormats(L"no such camera", &error).empty());
    CHECK(error.find("no such camera") != std::string::npos);
    CHECK(!bindDirectShowDevice(L"no such camera"));
    CHECK(directShowFormatsOfFilter(nullptr).empty());
}

TEST_CASE(captureOfAMissingDeviceFailsAndStaysStopped)
{
    DirectShowCapture capture;
    // Nothing open: nothing to run, no dialog, stop is harmless (twice).
    CHECK(!capture.run([](const BYTE *, long) {}));
    CHECK(!capture.lastError().empty());
    CHECK(!capture.showPropertyPage());
    capture.stop();
    capture.stop();

    CHECK(!capture.open(L"no such camera", 0, 1280, 720));
    CHECK(!capture.lastError().empty());
    std::printf("    open: %s\n", capture.lastError().c_str());
    CHECK(!capture.isRunning());
    // The picture keeps its previous (here: initial) size.
    CHECK_EQ(capture.picture().width, 0);
    CHECK_EQ(capture.picture().height, 0);
    CHECK(!capture.run([](const BYTE *, long) {}));
    CHECK(!capture.showPropertyPage());
}

TEST_CASE(dxgiListingOnThisSystem)
{
    const DxgiAdapterList list = listDxgiAdapters();
    std::printf("    factory %s, %d adapter(s)%s%s\n", list.isFactoryCreated ? "created" : "not created",
                int(list.adapters.size()), list.errorText.empty() ? "" : ": ", list.errorText.c_str());
    for (const DxgiAdapter &adapter : list.adapters)
        std::printf("    \"%s\" vendor %04x%s\n", utf8FromWide(adapter.description).c_str(), adapter.vendorId,
                    adapter.isSoftware ? " (software)" : "");
    if (!list.isFactoryCreated) {
        CHECK(list.adapters.empty());
        CHECK(!list.errorText.empty());
    }
}

TEST_CASE(dxgiFactoryFailureGivesAnEmptyListWithAReason)
{
    DxgiAdapterList list = listDxgiAdapters(failToCreateFactory);
    CHECK(!list.isFactoryCreated);
    CHECK(list.adapters.empty());
    CHECK(list.errorText.find("DXGI factory creation failed") == 0);

    list = listDxgiAdapters(succeedWithoutFactory);
    CHECK(!list.isFactoryCreated && list.adapters.empty() && !list.errorText.empty());
    list = listDxgiAdapters(nullptr);
    CHECK(!list.isFactoryCreated && list.adapters.empty());
}

TEST_CASE(dxgiAdaptersAreListedInOrderAndAllReleased)
{
    FakeAdapter nvidia(L"NVIDIA GeForce RTX 3080", 0x10de);
    FakeAdapter unreadable(L"never read", 0x1002, E_FAIL);
    FakeAdapter intel(L"Intel(R) UHD Graphics 630", 0x8086);
    FakeAdapter basic(L"Microsoft Basic Render Driver", 0x1414, S_OK, DXGI_ADAPTER_FLAG_SOFTWARE);
    FakeFactory factory;
    factory.adapters = {&nvidia, &unreadable, &intel, &basic};
    g_fakeFactory = &factory;

    const DxgiAdapterList list = listDxgiAdapters(createFakeFactory);
    CHECK(list.isFactoryCreated);
    CHECK(list.errorText.empty());
    CHECK_EQ(list.adapters.size(), size_t(3));
    if (list.adapters.size() == 3) {
        CHECK(list.adapters[0].description == L"NVIDIA GeForce RTX 3080");
        CHECK_EQ(list.adapters[0].vendorId, 0x10deu);
        CHECK(list.adapters[1].description == L"Intel(R) UHD Graphics 630");
        CHECK(list.adapters[2].isSoftware && !list.adapters[0].isSoftware);
    }
    // Skipped or not, every adapter and the factory got their references back.
    CHECK_EQ(nvidia.references(), ULONG(1));
    CHECK_EQ(unreadable.references(), ULONG(1));
    CHECK_EQ(intel.references(), ULONG(1));
    CHECK_EQ(factory.references(), ULONG(1));
    CHECK_EQ(factory.enumerations, 5u);
}

TEST_CASE(dxgiEnumerationStopsAtAFailureOrALimit)
{
    FakeAdapter first(L"AMD Radeon RX 6800", 0x1002);
    FakeAdapter second(L"Intel(R) Arc A380", 0x8086);
    FakeFactory failing;
    failing.adapters = {&first, &second};
    failing.failAt = 1;
    g_fakeFactory = &failing;
    DxgiAdapterList list = listDxgiAdapters(createFakeFactory);
    CHECK_EQ(list.adapters.size(), size_t(1));
    CHECK(!list.errorText.empty());
    CHECK_EQ(failing.enumerations, 2u);

    FakeFactory endless;
    endless.adapters = {&first};
    endless.endless = true;
    g_fakeFactory = &endless;
    list = listDxgiAdapters(createFakeFactory);
    CHECK_EQ(list.adapters.size(), size_t(64));
    CHECK(!list.errorText.empty());
    CHECK_EQ(first.references(), ULONG(1));
    g_fakeFactory = nullptr;
}

TEST_CASE(processCountersRead)
{
    const long long workingSet = ProcessCounters::workingSetBytes();
    std::printf("    working set %.1f MB\n", double(workingSet) / 1048576.0);
    CHECK(workingSet > 0);

    const long long before = ProcessCounters::cpuTimeNs();
    CHECK(before >= 0);
    // Some work, so the clock has something to count.
    volatile unsigned long long sink = 0;
    const ULONGLONG start = GetTickCount64();
    while (GetTickCount64() - start < 100)
        sink = sink + 1;
    const long long after = ProcessCounters::cpuTimeNs();
    CHECK(after >= before);
    CHECK(after > 0);
}

TEST_CASE(socketLayerStartAndCleanUpArePaired)
{
    {
        WinsockSession session;
        CHECK(session.isStarted());
        CHECK_EQ(session.startResult(), 0);
        const SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        CHECK(probe != INVALID_SOCKET);
        if (probe != INVALID_SOCKET)
            closesocket(probe);
    }
    // The session's clean-up matched its start-up: the layer is down again.
    CHECK_EQ(WSACleanup(), SOCKET_ERROR);
    CHECK_EQ(WSAGetLastError(), WSANOTINITIALISED);

    // A start-up that fails is not cleaned up: our own start-up still needs exactly one.
    WSADATA data{};
    CHECK_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    {
        WinsockSession refused(0x0000); // version 0.0 does not exist
        CHECK(!refused.isStarted());
        CHECK(refused.startResult() != 0);
    }
    CHECK_EQ(WSACleanup(), 0);
    CHECK_EQ(WSACleanup(), SOCKET_ERROR);
}
