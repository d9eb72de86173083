// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// PNG files through libpng's simplified reading interface, from the file's
// bytes: libpng keeps its own setjmp inside that interface, so no longjmp
// crosses our code, and each call has a reader of its own, so workers may
// decode at once. An APNG gives its default image, its first frame.
#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace sortello {

// The picture's own size from its header. `path` only names the file in errors.
QSize readPngSize(const QString& path, const QByteArray& bytes);

// The whole picture: Format_ARGB32 when it has transparency, else Format_RGB32.
QImage decodePng(const QString& path, const QByteArray& bytes);

} // namespace sortello
