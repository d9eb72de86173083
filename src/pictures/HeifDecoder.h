// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// HEIC, HEIF and AVIF files through libheif, from the file's bytes: the
// primary image, turned and mirrored as the file says (libheif applies irot
// and imir), or the file's own thumbnail where that is large enough. Every
// call has a libheif context of its own, so workers may decode at once.
#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace sortello {

struct HeifInfo {
    QSize size;      // the primary image as shown
    QSize thumbnail; // its largest thumbnail, or empty when it has none
    QByteArray exif; // the primary image's EXIF block from the TIFF header on, or empty
};

// `format` names the format the file's extension promises ("HEIF", "AVIF")
// in errors, `path` the file.
HeifInfo readHeifInfo(const QString& path, const QString& format, const QByteArray& bytes);

// The primary image, or its largest thumbnail, as Format_RGBA8888 when it has
// transparency, else Format_RGBX8888.
QImage decodeHeif(const QString& path, const QString& format, const QByteArray& bytes,
                  bool thumbnail);

} // namespace sortello
