// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the fuzz targets share: a scratch file per process, written again for
// every input, and the application object that Qt's image readers need.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <unistd.h>

namespace sortello::fuzz {

// One fixed path per process and name: creating a new file for each of
// millions of inputs would only measure the file system.
inline QString scratchPath(const QString& fileName) {
    static const QString folder = [] {
        const QString path = QDir::tempPath() + QStringLiteral("/sortello-fuzz-%1").arg(::getpid());
        QDir().mkpath(path);
        return path;
    }();
    return folder + QLatin1Char('/') + fileName;
}

inline bool writeScratch(const QString& path, const std::uint8_t* data, std::size_t size) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size);
}

// Picture decoding goes through QImageReader, whose plug-ins need a
// QGuiApplication; the offscreen platform needs no display.
inline void startGuiApplication(int* argc, char*** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication application(*argc, *argv);
}

} // namespace sortello::fuzz
