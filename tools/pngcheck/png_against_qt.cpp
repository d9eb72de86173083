// SPDX-License-Identifier: GPL-3.0-or-later
// sortello-pngcheck [-v] < LIST: decodes each PNG named on a line of LIST whole
// through Sortello's PNG decoder and through Qt's own reader, and compares
// them pixel for pixel as 0xAARRGGBB. Prints one line for each file that is
// not equal ("different", "refused" by Sortello, "qt-refused") and a closing
// count; each is decoded reduced to half its size as well, which must not
// fail. Pixels that both see as fully transparent count as equal whatever
// colour each gives them, as nothing of it is ever seen; -v names those files.
#include "base/Error.h"
#include "pictures/PngDecoder.h"

#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QTextStream>

namespace {

// The first pixel that differs, or an empty string.
QString firstDifference(const QImage& ours, const QImage& qt, bool strict = false) {
    if (ours.size() != qt.size())
        return QStringLiteral("size %1x%2 against %3x%4")
            .arg(ours.width())
            .arg(ours.height())
            .arg(qt.width())
            .arg(qt.height());
    for (int y = 0; y < ours.height(); ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(ours.constScanLine(y));
        const auto* b = reinterpret_cast<const QRgb*>(qt.constScanLine(y));
        for (int x = 0; x < ours.width(); ++x)
            if (a[x] != b[x] && (strict || qAlpha(a[x]) != 0 || qAlpha(b[x]) != 0))
                return QStringLiteral("at %1,%2 %3 against %4")
                    .arg(x)
                    .arg(y)
                    .arg(a[x], 8, 16, QLatin1Char('0'))
                    .arg(b[x], 8, 16, QLatin1Char('0'));
    }
    return {};
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QImageReader::setAllocationLimit(0);
    const bool verbose = app.arguments().contains(QStringLiteral("-v"));
    QTextStream in(stdin);
    QTextStream out(stdout);
    int files = 0, equal = 0, different = 0, refused = 0, qtRefused = 0;
    int equalWhereSeen = 0; // of the equal, those whose clear pixels' colours differ
    for (QString path = in.readLine(); !path.isNull(); path = in.readLine()) {
        QFile file(path);
        if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = file.readAll();
        ++files;
        QImageReader reader(path, "png");
        const QImage qt = reader.read().convertToFormat(QImage::Format_ARGB32);
        QImage ours;
        try {
            const QSize own = sortello::readPngSize(path, bytes);
            ours = sortello::decodePng(path, bytes, own).convertToFormat(QImage::Format_ARGB32);
            // The pane's way too, row by row into a smaller image: it must
            // take every file the whole decode takes.
            if (sortello::decodePng(path, bytes, (own + QSize(1, 1)) / 2).isNull())
                out << "no-reduced " << path << "\n";
        } catch (const sortello::Error& e) {
            ++refused;
            out << "refused " << path << ": " << e.message() << (qt.isNull() ? " (Qt too)" : "")
                << "\n";
            continue;
        }
        if (qt.isNull()) {
            ++qtRefused;
            out << "qt-refused " << path << ": " << reader.errorString() << "\n";
            continue;
        }
        const QString difference = firstDifference(ours, qt);
        if (difference.isEmpty()) {
            ++equal;
            if (const QString clear = firstDifference(ours, qt, true); !clear.isEmpty()) {
                ++equalWhereSeen;
                if (verbose)
                    out << "clear-differs " << path << ": " << clear << "\n";
            }
        } else {
            ++different;
            out << "different " << path << ": " << difference << "\n";
        }
    }
    out << "files " << files << " equal " << equal << " (" << equalWhereSeen
        << " of them only where fully transparent) different " << different << " refused "
        << refused << " qt-refused " << qtRefused << "\n";
    return 0;
}
