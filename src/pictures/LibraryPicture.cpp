// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictures/LibraryPicture.h"

#include "pictures/HeifDecoder.h"
#include "pictures/PictureFile.h"
#include "pictures/PngDecoder.h"
#include "pictures/TiffDecoder.h"
#include "pictures/WebpDecoder.h"

namespace sortello {

std::optional<PictureKind> libraryKindOf(const QString& lowerExtension) {
    if (lowerExtension == QLatin1String(".png"))
        return PictureKind::Png;
    if (lowerExtension == QLatin1String(".webp"))
        return PictureKind::WebP;
    if (lowerExtension == QLatin1String(".tif") || lowerExtension == QLatin1String(".tiff"))
        return PictureKind::Tiff;
    if (lowerExtension == QLatin1String(".heic") || lowerExtension == QLatin1String(".heif") ||
        lowerExtension == QLatin1String(".avif"))
        return PictureKind::Heif;
    return std::nullopt;
}

LibraryPicture openLibraryPicture(const QString& path, const QString& lowerExtension) {
    LibraryPicture picture;
    picture.kind = libraryKindOf(lowerExtension).value();
    picture.bytes = readPictureBytes(path);
    switch (picture.kind) {
    case PictureKind::Png:
        picture.format = QStringLiteral("PNG");
        picture.size = readPngSize(path, picture.bytes);
        picture.facts = readExif(pngExifBlock(picture.bytes));
        break;
    case PictureKind::WebP: {
        picture.format = QStringLiteral("WebP");
        const WebpInfo info = readWebpInfo(path, picture.bytes);
        picture.size = info.size;
        picture.facts = readExif(webpExifBlock(picture.bytes));
        // An animation is put together whole now, as a GIF is, so that it
        // plays without decoding as it goes; one too large to play is left to
        // show its first frame at the size asked.
        if (info.animated) {
            picture.frames = decodeWebpAnimation(path, picture.bytes);
            if (!picture.frames.isEmpty())
                picture.still = picture.frames.first().image;
            if (picture.frames.size() < 2)
                picture.frames.clear();
        }
        break;
    }
    case PictureKind::Tiff: {
        picture.format = QStringLiteral("TIFF");
        const TiffInfo info = readTiffInfo(path, picture.bytes);
        picture.size = info.size;
        picture.facts = info.facts;
        break;
    }
    default: {
        picture.format = lowerExtension == QLatin1String(".avif") ? QStringLiteral("AVIF")
                                                                  : QStringLiteral("HEIF");
        const HeifInfo info = readHeifInfo(path, picture.format, picture.bytes);
        picture.size = info.size;
        picture.thumbnail = info.thumbnail;
        picture.facts = readExif(info.exif);
        break;
    }
    }
    return picture;
}

QSize libraryImageSize(const LibraryPicture& picture, const QSize& target) {
    if (target.isEmpty() || !picture.still.isNull())
        return picture.size;
    // PNG and TIFF are reduced while they are read, to the size libwebp
    // would scale to.
    if (picture.kind == PictureKind::WebP || picture.kind == PictureKind::Png ||
        picture.kind == PictureKind::Tiff)
        return webpScaledSize(picture.size, target);
    if (picture.kind == PictureKind::Heif && !picture.thumbnail.isEmpty() &&
        picture.thumbnail.width() >= target.width() &&
        picture.thumbnail.height() >= target.height())
        return picture.thumbnail;
    return picture.size;
}

QImage decodeLibraryPicture(const LibraryPicture& picture, const QString& path, const QSize& size) {
    switch (picture.kind) {
    case PictureKind::Png:
        return decodePng(path, picture.bytes, size);
    case PictureKind::WebP:
        // An animation's first frame is its picture, at its own size.
        if (!picture.still.isNull())
            return picture.still;
        return decodeWebp(path, picture.bytes, size);
    case PictureKind::Tiff:
        return decodeTiff(path, picture.bytes, size);
    default:
        return decodeHeif(path, picture.format, picture.bytes,
                          size == picture.thumbnail && size != picture.size);
    }
}

} // namespace sortello
