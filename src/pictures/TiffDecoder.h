// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TIFF files through libtiff, from the file's bytes: the first page, in full,
// through libtiff's RGBA interface, which knows every photometric and
// compression libtiff reads. Each call opens a reader of its own with its own
// error handlers and memory bound, so workers may decode at once and nothing
// is printed.
#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace sortello {

// The first page's size. `path` only names the file in errors.
QSize readTiffSize(const QString& path, const QByteArray& bytes);

// The first page, Format_ARGB32_Premultiplied when it has transparency,
// else Format_RGB32.
QImage decodeTiff(const QString& path, const QByteArray& bytes);

} // namespace sortello
