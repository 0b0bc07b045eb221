// ProcessCounters: this process's memory and CPU time as Windows counts them, for the RAM
// and CPU read-outs. Plain C++ over the Win32 headers; any thread.
#pragma once

namespace ProcessCounters {

// The working set in bytes (K32GetProcessMemoryInfo); -1 when the system does not tell.
long long workingSetBytes();

// User plus kernel time of all threads so far, in nanoseconds (GetProcessTimes); -1 when the
// system does not tell.
long long cpuTimeNs();

} // namespace ProcessCounters
