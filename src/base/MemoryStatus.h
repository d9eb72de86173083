// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The memory figures of the about box, in bytes and in 64 bits: a 32-bit count
// would be wrong on any machine with 4 GiB or more. QtCore only.
#include <QByteArray>
#include <QLocale>
#include <QString>

namespace sortello {

struct MemoryFigures {
    quint64 totalPhysical = 0;
    quint64 availablePhysical = 0;
    quint64 totalPageFile = 0; // swap stands for the page file
    quint64 availablePageFile = 0;
    quint64 totalVirtual = 0; // the process's address space
    quint64 availableVirtual = 0;
};

// The figures of this machine and process now: /proc/meminfo (sysinfo where
// it cannot be read), the address space limit and /proc/self/status.
MemoryFigures GetMemoryStatus();

// The figures from the texts of /proc/meminfo and /proc/self/status and the
// address space limit; a figure missing from the texts is 0.
MemoryFigures memoryFiguresFrom(const QByteArray& meminfo, const QByteArray& processStatus,
                                quint64 addressSpaceLimit);

// RLIMIT_AS when the process has one, else the user address space of the
// architecture (2^47 bytes on x86-64).
quint64 addressSpaceLimit();

// A whole number with the locale's thousands separator, even for a locale
// that leaves it out by default (536870912 -> "536,870,912" in English).
QString formatByteCount(quint64 bytes, const QLocale& locale = QLocale());

} // namespace sortello
