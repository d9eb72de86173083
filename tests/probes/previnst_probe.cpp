// SPDX-License-Identifier: GPL-3.0-or-later
// The second start, as the PrevInst tests run it: exit code 0 after a hand-off,
// 1 with the error text on stdout, 3 and "continue" when no instance answered.
#include "shell/Error.h"
#include "shell/PrevInst.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList parameters;
    for (int i = 1; i < argc; ++i)
        parameters << QFile::decodeName(argv[i]);
    try {
        if (sortello::CheckPrevInstance(QStringLiteral("TFrmSRMain"), 123471, parameters))
            return 0;
    } catch (const sortello::Error& error) {
        std::fputs(error.message().toUtf8().constData(), stdout);
        return 1;
    }
    std::fputs("continue", stdout);
    return 3;
}
