// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the program's VS_VERSIONINFO block at build time, from "key=value"
// arguments in the order they go into the string table:
//   make_versioninfo OUTPUT KEY=VALUE...
// The build then puts the block into the executable's .sortello_version section.
#include "base/Error.h"
#include "base/VersionInfo.h"

#include <QFile>
#include <QSaveFile>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT KEY=VALUE...\n", argv[0]);
        return 2;
    }
    sortello::VersionStrings strings;
    for (int i = 2; i < argc; ++i) {
        // UTF-8 whatever the build's locale, so every build writes the same bytes.
        const QString pair = QString::fromUtf8(argv[i]);
        const qsizetype at = pair.indexOf(QLatin1Char('='));
        if (at <= 0) {
            std::fprintf(stderr, "make_versioninfo: not KEY=VALUE: %s\n", argv[i]);
            return 2;
        }
        strings.append({pair.left(at), pair.mid(at + 1)});
    }
    try {
        const QByteArray block = sortello::buildVersionBlock(strings);
        QSaveFile out(QFile::decodeName(argv[1]));
        if (!out.open(QIODevice::WriteOnly) || out.write(block) != block.size() || !out.commit()) {
            std::fprintf(stderr, "make_versioninfo: cannot write %s\n", argv[1]);
            return 1;
        }
    } catch (const sortello::Error& error) {
        std::fprintf(stderr, "make_versioninfo: %s\n", qPrintable(error.message()));
        return 1;
    }
    return 0;
}
