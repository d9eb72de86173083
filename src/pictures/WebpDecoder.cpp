// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictures/WebpDecoder.h"

#include "pictures/PictureFile.h"
#include "pictures/RasterDecoder.h"

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
    const double scale = qMin(
        1.0, qMax(double(target.width()) / own.width(), double(target.height()) / own.height()));
    return QSize(qBound(1, int(std::ceil(own.width() * scale)), own.width()),
                 qBound(1, int(std::ceil(own.height() * scale)), own.height()));
}

QImage decodeWebp(const QString& path, const QByteArray& bytes, const QSize& size) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        throw Error(QStringLiteral("The WebP library does not match the program"));
    if (WebPGetFeatures(dataOf(bytes), size_t(bytes.size()), &config.input) != VP8_STATUS_OK)
        throw wrongContentError(path, Format, bytes.left(64), headerUnreadable());
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
    const VP8StatusCode status = WebPDecode(dataOf(bytes), size_t(bytes.size()), &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK)
        throw wrongContentError(path, Format, bytes.left(64), pictureDataCorrupt());
    return image;
}

QList<AnimationFrame> decodeWebpAnimation(const QString& path, const QByteArray& bytes) {
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options))
        throw Error(QStringLiteral("The WebP library does not match the program"));
    options.color_mode = NativeArgb;
    const WebPData data{dataOf(bytes), size_t(bytes.size())};
    const std::unique_ptr<WebPAnimDecoder, AnimDecoderFree> decoder(
        WebPAnimDecoderNew(&data, &options));
    WebPAnimInfo info;
    if (!decoder || !WebPAnimDecoderGetInfo(decoder.get(), &info))
        throw wrongContentError(path, Format, bytes.left(64), headerUnreadable());
    const qint64 canvas = qint64(info.canvas_width) * info.canvas_height;
    if (canvas > MaxCompressedRasterPixels)
        throw tooLargeError(path, info.canvas_width, info.canvas_height);
    // Past the bound only the first frame is decoded, as for a GIF.
    const bool playable =
        canvas * info.frame_count <= MaxAnimationPixels && info.frame_count <= MaxAnimationFrames;
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
        if (!playable)
            break;
    }
    return frames;
}

} // namespace sortello
