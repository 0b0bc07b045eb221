#include "platform/windows/ProcessCounters.h"

#include <windows.h>
#include <psapi.h>

namespace ProcessCounters {

long long workingSetBytes()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return -1;
    return static_cast<long long>(counters.WorkingSetSize);
}

long long cpuTimeNs()
{
    FILETIME creation{};
    FILETIME exit{};
    FILETIME kernel{};
    FILETIME user{};
    if (!GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user))
        return -1;
    // FILETIME counts 100-ns units.
    const auto ticks = [](const FILETIME &time) {
        return (static_cast<long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return (ticks(kernel) + ticks(user)) * 100;
}

} // namespace ProcessCounters
