// CPU time of this process (all threads), for the CPU read-out, the performance log and the
// encoder benchmark.
#pragma once

#include <QtGlobal>

#include <ctime>

inline qint64 processCpuTimeNs()
{
    timespec ts{};
    if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts) != 0)
        return -1;
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}
