// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// WebP files through libwebp, from the file's bytes: a still picture is
// scaled by libwebp while it decodes, straight into the QImage's rows; an
// animation is put together frame by frame by libwebpdemux's decoder, within
// the bounds an animated GIF keeps. Every call has decoders of its own.
#include "pictures/Picture.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

namespace sortello {

struct WebpInfo {
    QSize size; // an animation's canvas
    bool animated = false;
};

// What the header says. `path` only names the file in errors.
WebpInfo readWebpInfo(const QString& path, const QByteArray& bytes);

// The size a still picture of size `own` is decoded at for `target`: the
// smallest with its aspect that covers the target, never larger than `own`.
QSize webpScaledSize(const QSize& own, const QSize& target);

// A still picture, or an animation's first frame on its canvas, at `size`
// (from webpScaledSize); Format_ARGB32 when it has transparency, else
// Format_RGB32.
QImage decodeWebp(const QString& path, const QByteArray& bytes, const QSize& size);

// An animation's frames as whole canvases with their delays; none when it has
// one frame, a canvas larger than a screen shows, or frames that together
// would take more than MaxAnimationPixels (or number more than
// MaxAnimationFrames): decodeWebp then shows its first frame.
QList<AnimationFrame> decodeWebpAnimation(const QString& path, const QByteArray& bytes);

} // namespace sortello
