// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/MemoryStatus.h"

#include <QFile>
#include <optional>
#include <sys/resource.h>
#include <sys/sysinfo.h>

namespace sortello {

namespace {

// The value of a "Name:   123 kB" line in bytes; nothing when it is missing.
std::optional<quint64> kilobytes(const QByteArray& text, const QByteArray& name) {
    for (const QByteArray& line : text.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0 || line.left(colon).trimmed() != name)
            continue;
        const QList<QByteArray> fields = line.mid(colon + 1).simplified().split(' ');
        bool ok = false;
        const quint64 value = fields.value(0).toULongLong(&ok);
        if (!ok)
            return std::nullopt;
        const bool inKb = fields.size() > 1 && fields[1].toLower() == "kb";
        return inKb ? value * 1024 : value;
    }
    return std::nullopt;
}

// Small proc files only: their size reads as 0, so read to the end, bounded.
QByteArray readProcFile(const char* path) {
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(1024 * 1024);
}

} // namespace

MemoryFigures memoryFiguresFrom(const QByteArray& meminfo, const QByteArray& processStatus,
                                quint64 limit) {
    MemoryFigures m;
    m.totalPhysical = kilobytes(meminfo, "MemTotal").value_or(0);
    // Older kernels have no MemAvailable; free memory is the nearest figure.
    m.availablePhysical =
        kilobytes(meminfo, "MemAvailable").value_or(kilobytes(meminfo, "MemFree").value_or(0));
    m.totalPageFile = kilobytes(meminfo, "SwapTotal").value_or(0);
    m.availablePageFile = kilobytes(meminfo, "SwapFree").value_or(0);
    m.totalVirtual = limit;
    const quint64 used = kilobytes(processStatus, "VmSize").value_or(0);
    m.availableVirtual = used < limit ? limit - used : 0;
    return m;
}

quint64 addressSpaceLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        return quint64(limit.rlim_cur);
    return sizeof(void*) == 8 ? quint64(1) << 47 : quint64(1) << 32;
}

MemoryFigures GetMemoryStatus() {
    const QByteArray meminfo = readProcFile("/proc/meminfo");
    MemoryFigures m =
        memoryFiguresFrom(meminfo, readProcFile("/proc/self/status"), addressSpaceLimit());
    struct sysinfo info {};
    if (m.totalPhysical == 0 && sysinfo(&info) == 0) {
        const quint64 unit = info.mem_unit ? info.mem_unit : 1;
        m.totalPhysical = quint64(info.totalram) * unit;
        m.availablePhysical = quint64(info.freeram + info.bufferram) * unit;
        m.totalPageFile = quint64(info.totalswap) * unit;
        m.availablePageFile = quint64(info.freeswap) * unit;
    }
    return m;
}

QString formatByteCount(quint64 bytes, const QLocale& locale) {
    QLocale grouped = locale;
    grouped.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return grouped.toString(qulonglong(bytes));
}

} // namespace sortello
