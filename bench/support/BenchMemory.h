// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The process's resident memory as the kernel counts it, for the benchmarks'
// peak figures.
#include <QtGlobal>

namespace sortello::bench {

// Kilobytes of a "VmRSS:"/"VmHWM:" line of /proc/self/status, 0 when unknown.
qint64 statusKilobytes(const char* field);

// Starts the peak ("VmHWM:") afresh from what is resident now; false when the
// system does not allow it.
bool resetPeakMemory();

} // namespace sortello::bench
