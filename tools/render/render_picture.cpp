// SPDX-License-Identifier: GPL-3.0-or-later
// sortello-render FILE OUT.png [WIDTH HEIGHT]: draws a picture through the
// program's own picture layer into a PNG, so that real files can be compared
// with what other renderers make of them. Without a size the picture is drawn
// at its own size (a metafile at the size Sortello gives it); with one, at
// exactly that size. Exits 0 when drawn, 2 when the picture is refused (its
// error text on stderr), 1 on a usage or write error.
#include "pictures/Picture.h"
#include "base/Error.h"

#include <QGuiApplication>
#include <QImage>
#include <QTextStream>
#include <cstdio>

int main(int argc, char* argv[]) {
    // Drawing needs fonts but no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream err(stderr);
    QSize wanted;
    if (args.size() == 5)
        wanted = QSize(args[3].toInt(), args[4].toInt());
    if ((args.size() != 3 && args.size() != 5) || (args.size() == 5 && wanted.isEmpty())) {
        err << "usage: sortello-render FILE OUT.png [WIDTH HEIGHT]\n";
        return 1;
    }
    QImage image;
    try {
        const sortello::Picture picture = sortello::Picture::open(args[1]);
        // The size line lets a caller compare proportions with another renderer.
        std::printf("%d %d\n", picture.width(), picture.height());
        if (wanted.isEmpty())
            image = picture.kind() == sortello::PictureKind::Metafile
                        ? picture.imageFor(picture.size())
                        : picture.fullImage();
        else
            image = picture.imageFor(wanted);
    } catch (const sortello::Error& error) {
        err << error.message() << '\n';
        return 2;
    }
    // Bitmaps are never enlarged by the picture layer, and a metafile larger
    // than its pixel bound comes back scaled down: bring both to the size asked.
    if (!wanted.isEmpty() && image.size() != wanted)
        image = image.scaled(wanted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (!image.save(args[2], "PNG")) {
        err << "cannot write " << args[2] << '\n';
        return 1;
    }
    return 0;
}
