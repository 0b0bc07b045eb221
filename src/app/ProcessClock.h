// CPU time of this process (all threads), for the CPU read-out, the performance log and the
// encoder benchmark.
#pragma once

#include <QtGlobal>

#ifdef _WIN32
#include "platform/windows/ProcessCounters.h"
#else
#include <ctime>
#endif

inline qint64 processCpuTimeNs()
{
#ifdef _WIN32
    return ProcessCounters::cpuTimeNs();
#else
    timespec ts{};
    if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts) != 0)
        return -1;
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
#endif
}
