// Resident memory of this process, for the RAM read-out and the performance log.
#pragma once

#include <QtGlobal>

// Resident set size of this process in bytes (the working set on Windows), -1 when it cannot
// be read.
qint64 residentSetBytes();
