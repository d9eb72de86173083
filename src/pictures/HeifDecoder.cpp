// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictures/HeifDecoder.h"
#include "pictures/Exif.h"
#include "pictures/HeifSizes.h"

#include "pictures/Picture.h"
#include "pictures/PictureFile.h"

#include <algorithm>
#include <cstring>
#include <libheif/heif.h>
#include <memory>
#include <vector>

namespace sortello {

namespace {

struct ContextFree {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleRelease {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageRelease {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
struct OptionsFree {
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};
using Context = std::unique_ptr<heif_context, ContextFree>;
using Handle = std::unique_ptr<heif_image_handle, HandleRelease>;

// Once per process, before the first context; the registered decoders then
// stay for the rest of the run.
void initialiseOnce() {
    [[maybe_unused]] static const bool initialised = [] {
        heif_init(nullptr);
        return true;
    }();
}

struct OpenFile {
    Context context;
    Handle primary;
};

// `bytes` must outlive the context: libheif reads them in place.
OpenFile openHeif(const QString& path, const QString& format, const QByteArray& bytes) {
    initialiseOnce();
    OpenFile file;
    file.context.reset(heif_context_alloc());
    if (!file.context)
        throw noMemoryError(path, 0, 0);
    // libheif's own bound on a side (32768) stays: it refuses larger images,
    // grid tiles included, before it allocates anything for them.
    heif_image_handle* primary = nullptr;
    if (heif_context_read_from_memory_without_copy(file.context.get(), bytes.constData(),
                                                   size_t(bytes.size()), nullptr)
                .code != heif_error_Ok ||
        heif_context_get_primary_image_handle(file.context.get(), &primary).code != heif_error_Ok)
        throw wrongContentError(path, format, bytes.left(64), headerUnreadable());
    file.primary.reset(primary);
    const int width = heif_image_handle_get_width(primary);
    const int height = heif_image_handle_get_height(primary);
    if (qint64(width) * height > MaxPicturePixels)
        throw tooLargeError(path, width, height);
    if (width <= 0 || height <= 0)
        throw wrongContentError(path, format, bytes.left(64), headerUnreadable());
    // libheif decodes to the size a stream or a grid gives, not the one the
    // image declares: one far larger than the image (before or after its
    // crop and turn) is damaged, and is refused before it asks for
    // gigabytes. Tiles and thumbnails are smaller than the image; coding pads
    // it by a few rows.
    const qint64 declared = std::max(qint64(width + 64) * (height + 64),
                                     qint64(heif_image_handle_get_ispe_width(primary) + 64) *
                                         (heif_image_handle_get_ispe_height(primary) + 64));
    if (std::max(largestHevcCodedArea(bytes), largestGridArea(bytes)) / 4 > declared)
        throw wrongContentError(path, format, bytes.left(64), pictureDataCorrupt());
    return file;
}

// The largest thumbnail of the primary image, or none.
Handle largestThumbnail(heif_image_handle* primary) {
    const int count = heif_image_handle_get_number_of_thumbnails(primary);
    if (count <= 0)
        return {};
    std::vector<heif_item_id> ids(static_cast<size_t>(count));
    const int listed = heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), count);
    Handle best;
    qint64 bestArea = 0;
    for (int i = 0; i < listed; ++i) {
        heif_image_handle* thumbnail = nullptr;
        if (heif_image_handle_get_thumbnail(primary, ids[size_t(i)], &thumbnail).code !=
            heif_error_Ok)
            continue;
        Handle held(thumbnail);
        const qint64 area = qint64(heif_image_handle_get_width(thumbnail)) *
                            heif_image_handle_get_height(thumbnail);
        if (area > bestArea && area <= MaxPicturePixels) {
            bestArea = area;
            best = std::move(held);
        }
    }
    return best;
}

// The first EXIF block of the image. HEIF puts a 4-byte offset to the TIFF
// header before it; a block larger than any EXIF we read is left alone.
QByteArray exifBlock(const heif_image_handle* handle) {
    heif_item_id id = 0;
    if (heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", &id, 1) != 1)
        return {};
    const size_t size = heif_image_handle_get_metadata_size(handle, id);
    if (size <= 4 || size > size_t(MaxExifBytes) + 4)
        return {};
    QByteArray block(qsizetype(size), Qt::Uninitialized);
    if (heif_image_handle_get_metadata(handle, id, block.data()).code != heif_error_Ok)
        return {};
    const auto* head = reinterpret_cast<const uchar*>(block.constData());
    const quint32 offset =
        quint32(head[0]) << 24 | quint32(head[1]) << 16 | quint32(head[2]) << 8 | quint32(head[3]);
    if (offset >= size - 4)
        return {};
    return block.mid(qsizetype(4 + offset));
}

} // namespace

HeifInfo readHeifInfo(const QString& path, const QString& format, const QByteArray& bytes) {
    const OpenFile file = openHeif(path, format, bytes);
    HeifInfo info;
    info.size = QSize(heif_image_handle_get_width(file.primary.get()),
                      heif_image_handle_get_height(file.primary.get()));
    if (const Handle thumbnail = largestThumbnail(file.primary.get()))
        info.thumbnail = QSize(heif_image_handle_get_width(thumbnail.get()),
                               heif_image_handle_get_height(thumbnail.get()));
    info.exif = exifBlock(file.primary.get());
    return info;
}

QImage decodeHeif(const QString& path, const QString& format, const QByteArray& bytes,
                  bool thumbnail) {
    const OpenFile file = openHeif(path, format, bytes);
    Handle chosen = thumbnail ? largestThumbnail(file.primary.get()) : Handle();
    heif_image_handle* const handle = chosen ? chosen.get() : file.primary.get();
    // A grid declares its own output size apart from the size the header
    // gives; libheif allocates what the grid says, up to 32768 a side, so a
    // few hundred bytes could ask for gigabytes. Nothing decoded may exceed
    // the image's declared sides.
    heif_context_set_maximum_image_size_limit(
        file.context.get(),
        std::max(heif_image_handle_get_width(handle), heif_image_handle_get_height(handle)) + 1);
    const bool alpha = heif_image_handle_has_alpha_channel(handle);
    const std::unique_ptr<heif_decoding_options, OptionsFree> options(
        heif_decoding_options_alloc());
    // Ten- and twelve-bit pictures (most AVIF, some HEIC) are shown in eight.
    options->convert_hdr_to_8bit = 1;
    heif_image* decoded = nullptr;
    if (heif_decode_image(handle, &decoded, heif_colorspace_RGB, heif_chroma_interleaved_RGBA,
                          options.get())
            .code != heif_error_Ok)
        throw wrongContentError(path, format, bytes.left(64), pictureDataCorrupt());
    const std::unique_ptr<heif_image, ImageRelease> image(decoded);
    const int width = heif_image_get_width(decoded, heif_channel_interleaved);
    const int height = heif_image_get_height(decoded, heif_channel_interleaved);
    int stride = 0;
    const uint8_t* pixels =
        heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
    if (!pixels || width <= 0 || height <= 0 || stride < width * 4)
        throw wrongContentError(path, format, bytes.left(64), pictureDataCorrupt());
    QImage shown(width, height, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888);
    if (shown.isNull())
        throw noMemoryError(path, width, height);
    for (int y = 0; y < height; ++y)
        std::memcpy(shown.scanLine(y), pixels + qsizetype(stride) * y, size_t(width) * 4);
    return shown;
}

} // namespace sortello
