// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A picture file opened by its extension, as a value: its own size, its kind,
// and images of it at the sizes it is shown. Opening reads as little as it can
// (a JPEG's header gives its size); an image at a given size is decoded once
// and kept, so repainting or resizing a pane does not decode again. Failures
// are sortello::Error exceptions carrying the text the user is shown.
#include <QDateTime>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace sortello {

// No picture may declare more pixels than this; larger ones are refused before
// any large allocation, so a hostile file cannot take gigabytes of memory.
inline constexpr qint64 MaxPicturePixels = 300'000'000;

// A metafile declares a size but is drawn at the size it is shown, so its
// declared size is never refused; its images, though, never have more pixels
// than this. A larger one (the viewer asks for the picture's own size) is
// drawn scaled down with its aspect kept, in bounded memory and time.
inline constexpr qint64 MaxMetafileImagePixels = 16'000'000;

enum class PictureKind {
    Jpeg,     // decoded by libjpeg at the scale it is shown
    Bitmap,   // BMP: the bottom-left pixel's colour is its transparent colour
    Gif,      // may be animated
    Icon,     // keeps its own transparency
    Metafile, // WMF or EMF, drawn from vectors; keeps its own transparency
    Png,      // an APNG shows its first frame; keeps its own transparency
    WebP,     // scaled while it decodes; may be animated
    Tiff,     // the first page
    Heif,     // HEIC, HEIF or AVIF; from its thumbnail where that is large enough
};

// Whether a picture of this kind keeps its file's bytes for later decodes.
constexpr bool keepsFileBytes(PictureKind kind) {
    return kind == PictureKind::Jpeg || kind >= PictureKind::Png;
}

// Called while a large picture decodes: the image so far (rows below
// `rowsDone` not yet decoded), so a control can paint bands as they arrive.
using DecodeProgress = std::function<void(const QImage& partial, int rowsDone)>;

struct AnimationFrame {
    QImage image;
    int delayMs = 100;
};

class Picture {
public:
    // An empty picture (no file): size 0 x 0, draws nothing.
    Picture();

    // Opens path with the decoder its extension (letter case ignored) names.
    // Throws Error("Unknown picture file extension (.ext)") for other
    // extensions, Error("JPEG error #n") for a damaged JPEG, and an Error with
    // a clear text naming the file's problem for anything else. PNG, WebP,
    // TIFF, HEIC, HEIF and AVIF files are read whole here.
    static Picture open(const QString& path);

    bool isNull() const;
    QString path() const;
    PictureKind kind() const;
    // The picture's width and height in pixels as it is shown: a picture whose
    // EXIF orientation turns it by a quarter has its stored sides swapped. Every
    // image below is upright too, and every target is in these terms.
    QSize size() const;
    int width() const { return size().width(); }
    int height() const { return size().height(); }

    // The picture at least as large as `target` where it can be (JPEG: the
    // smallest DCT scale covering it; metafiles: rendered at exactly the
    // target, scaled down to MaxMetafileImagePixels keeping its aspect when
    // larger), never larger than its own size for bitmaps. Cached per target
    // size. `progress`, when given, sees bands of a JPEG as they decode; not
    // for a turned or mirrored one, whose bands do not arrive top to bottom.
    // Throws Error like open() when the file turns out damaged.
    QImage imageFor(const QSize& target, const DecodeProgress& progress = {}) const;

    // The picture at its own size, decoded in full (the viewer's need); a
    // metafile at its largestImageSize().
    QImage fullImage(const DecodeProgress& progress = {}) const;

    // The largest image the picture gives: its own size, or for a metafile
    // with more than MaxMetafileImagePixels that size scaled down to them.
    QSize largestImageSize() const;

    // The EXIF orientation applied (1 to 8; 1 when there is none).
    int orientation() const;
    // When the picture was taken, from EXIF; nothing when the file does not say.
    std::optional<QDateTime> taken() const;

    // Frames of an animated GIF or WebP with their delays; empty for a still picture.
    const QList<AnimationFrame>& frames() const;

private:
    struct Data;
    std::shared_ptr<Data> d;
};

} // namespace sortello
