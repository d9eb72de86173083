// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictures/WebpDecoder.h"

#include "pictures/PictureFile.h"
#include "pictures/RasterDecoder.h"

#include <QPainter>
#include <cmath>
#include <cstring>
#include <memory>
#include <webp/decode.h>
#include <webp/demux.h>

namespace sortello {

namespace {

#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr WEBP_CSP_MODE NativeArgb = MODE_BGRA;
#else
constexpr WEBP_CSP_MODE NativeArgb = MODE_ARGB;
#endif

const QString Format = QStringLiteral("WebP");

// How many times the target's pixels a decode that covers it may take; only
// strips and slivers far past any panorama's shape come near it.
constexpr double FitInsteadOfCover = 64;

// Twice an 8K screen's pixels.
constexpr qint64 MaxPlayedCanvasPixels = 16'000'000;

const uint8_t* dataOf(const QByteArray& bytes) {
    return reinterpret_cast<const uint8_t*>(bytes.constData());
}

// As for GIF: frames that ask for no delay are shown for 100 ms, as browsers do.
int frameDelay(int delayMs) {
    return delayMs <= 10 ? 100 : delayMs;
}

struct AnimDecoderFree {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

struct DemuxFree {
    void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
};

struct IteratorRelease {
    void operator()(WebPIterator* iterator) const { WebPDemuxReleaseIterator(iterator); }
};

// A still bitstream (a whole file or an animation frame's) at `size`; `head`
// is the file's start, which errors describe.
QImage decodeStill(const QString& path, const QByteArray& head, const uint8_t* data, size_t length,
                   const QSize& size) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        throw Error(QStringLiteral("The WebP library does not match the program"));
    if (WebPGetFeatures(data, length, &config.input) != VP8_STATUS_OK)
        throw wrongContentError(path, Format, head, pictureDataCorrupt());
    if (size != QSize(config.input.width, config.input.height)) {
        config.options.use_scaling = 1;
        config.options.scaled_width = size.width();
        config.options.scaled_height = size.height();
    }
    QImage image(size, config.input.has_alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull())
        throw noMemoryError(path, size.width(), size.height());
    config.output.colorspace = NativeArgb;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = image.bits();
    config.output.u.RGBA.stride = int(image.bytesPerLine());
    config.output.u.RGBA.size = size_t(image.sizeInBytes());
    const VP8StatusCode status = WebPDecode(data, length, &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK)
        throw wrongContentError(path, Format, head, pictureDataCorrupt());
    return image;
}

// An animation too large to play shows its first frame: only that frame is
// decoded, at the scale the canvas is shown at, and placed on a clear canvas,
// so a few bytes declaring a vast canvas cost no more than the pane's pixels.
QImage decodeFirstFrame(const QString& path, const QByteArray& bytes, const QSize& size) {
    const WebPData data{dataOf(bytes), size_t(bytes.size())};
    const std::unique_ptr<WebPDemuxer, DemuxFree> demux(WebPDemux(&data));
    if (!demux)
        throw wrongContentError(path, Format, bytes.left(64), headerUnreadable());
    WebPIterator iterator;
    if (!WebPDemuxGetFrame(demux.get(), 1, &iterator))
        throw wrongContentError(path, Format, bytes.left(64), pictureDataCorrupt());
    const std::unique_ptr<WebPIterator, IteratorRelease> release(&iterator);
    const double sx = double(size.width()) / WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH);
    const double sy = double(size.height()) / WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT);
    const QRectF place(iterator.x_offset * sx, iterator.y_offset * sy, iterator.width * sx,
                       iterator.height * sy);
    const QSize frameSize(qBound(1, int(std::ceil(place.width())), iterator.width),
                          qBound(1, int(std::ceil(place.height())), iterator.height));
    const QImage frame = decodeStill(path, bytes.left(64), iterator.fragment.bytes,
                                     iterator.fragment.size, frameSize);
    if (place == QRectF(QPointF(0, 0), QSizeF(size)) && frame.size() == size)
        return frame;
    QImage canvas(size, QImage::Format_ARGB32);
    if (canvas.isNull())
        throw noMemoryError(path, size.width(), size.height());
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(place, frame);
    return canvas;
}

} // namespace

WebpInfo readWebpInfo(const QString& path, const QByteArray& bytes) {
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(dataOf(bytes), size_t(bytes.size()), &features) != VP8_STATUS_OK)
        throw wrongContentError(path, Format, bytes.left(64), headerUnreadable());
    const qint64 limit = features.has_animation ? MaxCompressedRasterPixels : MaxPicturePixels;
    if (qint64(features.width) * features.height > limit)
        throw tooLargeError(path, features.width, features.height);
    if (features.width <= 0 || features.height <= 0)
        throw wrongContentError(path, Format, bytes.left(64), headerUnreadable());
    return {QSize(features.width, features.height), bool(features.has_animation)};
}

QSize webpScaledSize(const QSize& own, const QSize& target) {
    if (target.isEmpty() || (target.width() >= own.width() && target.height() >= own.height()))
        return own;
    // Never above 1: a sliver of a picture one pixel wide would otherwise ask
    // for a height far beyond any int.
    const double across = double(target.width()) / own.width();
    const double down = double(target.height()) / own.height();
    double scale = qMin(1.0, qMax(across, down));
    // Covering the target with a picture of a far other shape would keep
    // nearly all of it (a 7,000,000 x 6 strip for a 400 x 300 pane) where the
    // pane shows it at the size that fits.
    if (scale * own.width() * scale * own.height() >
        FitInsteadOfCover * target.width() * double(target.height()))
        scale = qMin(across, down);
    return QSize(qBound(1, int(std::ceil(own.width() * scale)), own.width()),
                 qBound(1, int(std::ceil(own.height() * scale)), own.height()));
}

QImage decodeWebp(const QString& path, const QByteArray& bytes, const QSize& size) {
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(dataOf(bytes), size_t(bytes.size()), &features) != VP8_STATUS_OK)
        throw wrongContentError(path, Format, bytes.left(64), headerUnreadable());
    if (features.has_animation)
        return decodeFirstFrame(path, bytes, size);
    return decodeStill(path, bytes.left(64), dataOf(bytes), size_t(bytes.size()), size);
}

QList<AnimationFrame> decodeWebpAnimation(const QString& path, const QByteArray& bytes) {
    const WebPData data{dataOf(bytes), size_t(bytes.size())};
    {
        // Counted before libwebp's decoder takes canvases of its own.
        const std::unique_ptr<WebPDemuxer, DemuxFree> demux(WebPDemux(&data));
        if (!demux)
            throw wrongContentError(path, Format, bytes.left(64), headerUnreadable());
        const quint32 width = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH);
        const quint32 height = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT);
        const quint32 count = WebPDemuxGetI(demux.get(), WEBP_FF_FRAME_COUNT);
        if (qint64(width) * height > MaxCompressedRasterPixels)
            throw tooLargeError(path, width, height);
        // One frame needs no canvases to play, and a canvas past a large
        // screen's pixels, even of a few frames, costs seconds to put together
        // for each: both show their first frame at the size asked.
        if (count < 2 || qint64(width) * height > MaxPlayedCanvasPixels ||
            qint64(width) * height * count > MaxAnimationPixels || count > MaxAnimationFrames)
            return {};
    }
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options))
        throw Error(QStringLiteral("The WebP library does not match the program"));
    options.color_mode = NativeArgb;
    const std::unique_ptr<WebPAnimDecoder, AnimDecoderFree> decoder(
        WebPAnimDecoderNew(&data, &options));
    WebPAnimInfo info;
    if (!decoder || !WebPAnimDecoderGetInfo(decoder.get(), &info))
        throw wrongContentError(path, Format, bytes.left(64), headerUnreadable());
    QList<AnimationFrame> frames;
    int shownUntil = 0;
    while (WebPAnimDecoderHasMoreFrames(decoder.get())) {
        uint8_t* pixels = nullptr;
        int timestamp = 0;
        if (!WebPAnimDecoderGetNext(decoder.get(), &pixels, &timestamp)) {
            if (frames.isEmpty())
                throw wrongContentError(path, Format, bytes.left(64), pictureDataCorrupt());
            break; // damaged further on: the frames before it still play
        }
        QImage frame(int(info.canvas_width), int(info.canvas_height), QImage::Format_ARGB32);
        if (frame.isNull())
            throw noMemoryError(path, info.canvas_width, info.canvas_height);
        const qsizetype row = qsizetype(info.canvas_width) * 4;
        for (int y = 0; y < frame.height(); ++y)
            std::memcpy(frame.scanLine(y), pixels + row * y, size_t(row));
        frames.append({frame, frameDelay(timestamp - shownUntil)});
        shownUntil = timestamp;
    }
    return frames;
}

} // namespace sortello
