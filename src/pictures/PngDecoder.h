// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// PNG files through libpng's row-by-row interface, from the file's bytes.
// For a pane, each row is averaged into the smaller image as soon as libpng
// gives it, so a large picture is never held whole; only an interlaced file,
// whose rows are complete after its last pass, is decoded whole first. Each
// call has a reader of its own, so workers may decode at once. An APNG gives
// its default image, its first frame.
#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace sortello {

// The picture's own size from its header. `path` only names the file in errors.
QSize readPngSize(const QString& path, const QByteArray& bytes);

// The picture at `size` (its own, or a smaller one with its aspect). At its own size
// Format_ARGB32 when it has transparency, else Format_RGB32; reduced, the
// average of the pixels each one covers, Format_ARGB32_Premultiplied when it
// has transparency, so that clear pixels lend no colour to their neighbours.
QImage decodePng(const QString& path, const QByteArray& bytes, const QSize& size);

} // namespace sortello
