// SPDX-License-Identifier: GPL-3.0-or-later
// sortello-lookprint FILE...: prints, for each picture, the look print the
// comparison view works out for it: "BITS RED GREEN BLUE FILE", BITS in hex.
// The picture is decoded as a pane of 640 x 480 would show it, through the
// program's own picture layer. A refused file prints "- FILE" and its error
// on stderr. Used by tools/lookalike/measure.
#include "base/Error.h"
#include "pictures/PerceptualHash.h"
#include "pictures/Picture.h"

#include <QGuiApplication>
#include <QTextStream>
#include <cstdio>

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList files = app.arguments().mid(1);
    for (const QString& file : files) {
        try {
            const sortello::Picture picture = sortello::Picture::open(file);
            const QSize pane = picture.size().scaled(640, 480, Qt::KeepAspectRatio);
            const auto print = sortello::lookPrintOf(picture.imageFor(pane));
            if (!print)
                throw sortello::Error(QStringLiteral("empty picture"));
            out << QString::number(print->bits, 16) << ' ' << print->meanColour[0] << ' '
                << print->meanColour[1] << ' ' << print->meanColour[2] << ' ' << file << '\n';
        } catch (const sortello::Error& error) {
            out << "- " << file << '\n';
            err << file << ": " << error.message() << '\n';
        }
    }
    return 0;
}
