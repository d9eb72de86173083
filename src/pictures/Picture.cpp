// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictures/Picture.h"

#include "base/Error.h"
#include "base/Misc.h"
#include "pictures/Exif.h"
#include "pictures/JpegDecoder.h"
#include "pictures/LibraryPicture.h"
#include "pictures/MetafileDecoder.h"
#include "pictures/RasterDecoder.h"

#include <QPainter>
#include <QPicture>
#include <QSvgRenderer>
#include <cmath>

namespace sortello {

namespace {

// A pane, the other pane, the viewer and one size being resized to: more would
// only hold memory.
constexpr int CachedSizes = 4;

// The size within MaxMetafileImagePixels closest to `wanted`, same aspect.
QSize boundedMetafileSize(const QSize& wanted) {
    const double pixels = double(wanted.width()) * wanted.height();
    if (pixels <= double(MaxMetafileImagePixels))
        return wanted;
    const double scale = std::sqrt(double(MaxMetafileImagePixels) / pixels);
    return {qMax(1, int(wanted.width() * scale)), qMax(1, int(wanted.height() * scale))};
}

struct CachedImage {
    QSize key;
    QImage image;
};

} // namespace

struct Picture::Data {
    QString path;
    PictureKind kind = PictureKind::Bitmap;
    QSize size;   // as shown
    QSize stored; // as decoded, before the orientation turns it
    int orientation = 1;
    std::optional<QDateTime> taken;
    QImage still; // BMP, GIF, ICO: decoded in full when opened
    QList<AnimationFrame> frames;
    QByteArray svg;     // WMF
    QByteArray picture; // EMF, a QPicture's data
    // A JPEG's file, read at its first decode: every later size, the viewer's
    // among them, comes from the same bytes, even once the file has been
    // moved or removed.
    QByteArray jpegFile;
    LibraryPicture library; // PNG, WebP, TIFF, HEIF: the file and its header

    QList<CachedImage> cache; // most recently used first

    QImage cached(const QSize& key) {
        for (qsizetype i = 0; i < cache.size(); ++i) {
            if (cache[i].key == key) {
                cache.move(i, 0);
                return cache.first().image;
            }
        }
        return {};
    }

    void keep(const QSize& key, const QImage& image) {
        for (qsizetype i = 0; i < cache.size(); ++i)
            if (cache[i].key == key)
                cache.removeAt(i--);
        cache.prepend({key, image});
        while (cache.size() > CachedSizes)
            cache.removeLast();
    }

    QImage renderMetafileAt(const QSize& target) const;
};

QImage Picture::Data::renderMetafileAt(const QSize& target) const {
    // A picture of its own per call: playing one moves its read position,
    // and images of several sizes may be drawn at once.
    QPicture played;
    played.setData(picture.constData(), uint(picture.size()));
    QSvgRenderer renderer;
    if (picture.isEmpty() && !renderer.load(svg))
        throw Error(QStringLiteral("The drawing in \"%1\" cannot be shown").arg(path));
    QImage image(target, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        throw Error(QStringLiteral("There is not enough memory to show \"%1\" at %2 x %3 pixels")
                        .arg(path)
                        .arg(target.width())
                        .arg(target.height()));
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!picture.isEmpty()) {
        // Drawn in the picture's own pixels, stretched to the target.
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.scale(double(target.width()) / size.width(),
                      double(target.height()) / size.height());
        painter.drawPicture(0, 0, played);
        return image;
    }
    renderer.setAspectRatioMode(Qt::IgnoreAspectRatio);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(target)));
    return image;
}

Picture::Picture() = default;

Picture Picture::open(const QString& path) {
    const QString extension = extensionOf(path);
    const QString lower = asciiLower(extension);
    auto data = std::make_shared<Data>();
    data->path = path;
    if (lower == QLatin1String(".jpg") || lower == QLatin1String(".jpeg")) {
        data->kind = PictureKind::Jpeg;
        JpegHeader header = readJpegHeader(path);
        const ExifFacts exif = readExif(header.exif);
        data->stored = header.size;
        data->orientation = exif.orientation;
        data->taken = exif.taken;
        data->size = orientedSize(header.size, exif.orientation);
    } else if (lower == QLatin1String(".bmp") || lower == QLatin1String(".gif") ||
               lower == QLatin1String(".ico")) {
        data->kind = lower == QLatin1String(".bmp")   ? PictureKind::Bitmap
                     : lower == QLatin1String(".gif") ? PictureKind::Gif
                                                      : PictureKind::Icon;
        RasterImage raster = decodeRaster(path, data->kind);
        data->still = raster.image;
        data->frames = raster.frames;
        data->size = raster.image.size();
    } else if (lower == QLatin1String(".wmf") || lower == QLatin1String(".emf")) {
        data->kind = PictureKind::Metafile;
        MetafileRendering rendering = renderMetafile(path);
        data->size = rendering.size;
        data->svg = rendering.svg;
        data->picture = rendering.picture;
    } else if (const auto kind = libraryKindOf(lower)) {
        data->kind = *kind;
        data->library = openLibraryPicture(path, lower);
        const ExifFacts& exif = data->library.facts;
        // libheif has turned the picture by the file's own rotation already;
        // its EXIF orientation only repeats that.
        data->orientation = data->kind == PictureKind::Heif ? 1 : exif.orientation;
        data->taken = exif.taken;
        data->stored = data->library.size;
        data->size = orientedSize(data->stored, data->orientation);
        data->frames = data->library.frames;
        for (AnimationFrame& frame : data->frames)
            frame.image = orientImage(frame.image, data->orientation);
    } else {
        throw Error(QStringLiteral("Unknown picture file extension (.%1)").arg(extension.mid(1)));
    }
    Picture picture;
    picture.d = std::move(data);
    return picture;
}

bool Picture::isNull() const {
    return !d;
}

QString Picture::path() const {
    return d ? d->path : QString();
}

PictureKind Picture::kind() const {
    return d ? d->kind : PictureKind::Bitmap;
}

QSize Picture::size() const {
    return d ? d->size : QSize(0, 0);
}

QImage Picture::imageFor(const QSize& target, const DecodeProgress& progress) const {
    if (!d)
        return {};
    switch (d->kind) {
    case PictureKind::Jpeg: {
        // Keyed by the scale's output, so targets that share a scale share it.
        // The scale is chosen in stored terms; only the scaled image is turned.
        const int eighths = jpegScaleFor(d->stored, orientedSize(target, d->orientation));
        const QSize key = jpegScaledSize(d->stored, eighths);
        QImage image = d->cached(key);
        if (image.isNull()) {
            if (d->jpegFile.isEmpty())
                d->jpegFile = readJpegFile(d->path);
            image = orientImage(decodeJpeg(d->path, d->jpegFile, eighths,
                                           d->orientation == 1 ? progress : DecodeProgress()),
                                d->orientation);
            d->keep(key, image);
        }
        return image;
    }
    case PictureKind::Metafile: {
        const QSize key = boundedMetafileSize(target.isEmpty() ? d->size : target);
        QImage image = d->cached(key);
        if (image.isNull()) {
            image = d->renderMetafileAt(key);
            d->keep(key, image);
        }
        return image;
    }
    case PictureKind::Png:
    case PictureKind::WebP:
    case PictureKind::Tiff:
    case PictureKind::Heif: {
        const QSize key = libraryImageSize(
            d->library, target.isEmpty() ? target : orientedSize(target, d->orientation));
        QImage image = d->cached(key);
        if (image.isNull()) {
            image = orientImage(decodeLibraryPicture(d->library, d->path, key), d->orientation);
            d->keep(key, image);
        }
        return image;
    }
    default:
        return d->still;
    }
}

QImage Picture::fullImage(const DecodeProgress& progress) const {
    if (!d)
        return {};
    if (d->kind != PictureKind::Bitmap && d->kind != PictureKind::Gif &&
        d->kind != PictureKind::Icon)
        return imageFor(d->size, progress);
    return d->still;
}

QSize Picture::largestImageSize() const {
    if (d && d->kind == PictureKind::Metafile)
        return boundedMetafileSize(d->size);
    return size();
}

int Picture::orientation() const {
    return d ? d->orientation : 1;
}

std::optional<QDateTime> Picture::taken() const {
    return d ? d->taken : std::nullopt;
}

const QList<AnimationFrame>& Picture::frames() const {
    static const QList<AnimationFrame> none;
    return d ? d->frames : none;
}

} // namespace sortello
