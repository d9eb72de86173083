// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/BenchMemory.h"

#include <QByteArray>
#include <QFile>
#include <QList>

namespace sortello::bench {

qint64 statusKilobytes(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

bool resetPeakMemory() {
    QFile reset(QStringLiteral("/proc/self/clear_refs"));
    return reset.open(QIODevice::WriteOnly) && reset.write("5") == 1;
}

} // namespace sortello::bench
