// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictures/JpegDecoder.h"

#include "base/Error.h"
#include "pictures/Exif.h"
#include "pictures/PictureFile.h"

#include <QtGlobal>
#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <exception>
#include <unistd.h>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>
// After jpeglib.h, which it relies on.
#include <jerror.h>

namespace sortello {

namespace {

// Rows decoded between two progress calls: a few paints per large picture,
// no measurable cost for a small one.
constexpr JDIMENSION BandRows = 64;

// QImage::Format_RGB32 is 0xffRRGGBB in native byte order; the alpha variant
// makes libjpeg-turbo write the 0xff the format promises.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr J_COLOR_SPACE NativeRgb32 = JCS_EXT_BGRA;
#else
constexpr J_COLOR_SPACE NativeRgb32 = JCS_EXT_ARGB;
#endif

enum class RunResult { Done, JpegFailed, TooLarge, NoMemory, TooManyScans, Stopped };

// One libjpeg run, as plain data only: a run can end in a longjmp, which must
// not skip a destructor on its way.
struct JpegRun {
    std::FILE* file = nullptr; // read through stdio when set (the header alone)
    const unsigned char* data = nullptr;
    unsigned long dataSize = 0;
    int eighths = 0; // 0 reads the header only
    void* context = nullptr;
    // The first of outHeight rows of `stride` bytes to decode into, or null.
    unsigned char* (*prepare)(void* context, JpegRun& run) = nullptr;
    // Sees the rows done after each band; false stops the run.
    bool (*band)(void* context, int rowsDone) = nullptr;

    int width = 0;
    int height = 0;
    int outWidth = 0;
    int outHeight = 0;
    long stride = 0;
    bool cmyk = false;
    bool adobe = false;
    int messageCode = 0;
};

struct ErrorTrap {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    RunResult result;
};

[[noreturn]] void leave(j_common_ptr cinfo, RunResult result) {
    auto* trap = reinterpret_cast<ErrorTrap*>(cinfo->err);
    trap->result = result;
    std::longjmp(trap->jump, 1);
}

void onError(j_common_ptr cinfo) {
    leave(cinfo, RunResult::JpegFailed);
}

// libjpeg decodes past damage and fills the rest with grey; a user deciding
// whether to replace a file must see that it is damaged, so the warnings that
// mean damaged data end the run like errors. Only metadata oddities pass.
void onMessage(j_common_ptr cinfo, int level) {
    const int code = cinfo->err->msg_code;
    if (level < 0 && code != JWRN_JFIF_MAJOR && code != JWRN_ADOBE_XFORM)
        leave(cinfo, RunResult::JpegFailed);
}

void stayQuiet(j_common_ptr) {}

void watchScans(j_common_ptr cinfo) {
    if (cinfo->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > MaxJpegScans)
        leave(cinfo, RunResult::TooManyScans);
}

// Everything between setjmp and a possible longjmp: plain C data only.
RunResult readAndDecode(j_decompress_ptr cinfo, jpeg_progress_mgr* scans, JpegRun& run) {
    jpeg_create_decompress(cinfo);
    cinfo->mem->max_memory_to_use = MaxJpegMemory;
    cinfo->progress = scans;
    if (run.file)
        jpeg_stdio_src(cinfo, run.file);
    else
        jpeg_mem_src(cinfo, run.data, run.dataSize);
    jpeg_read_header(cinfo, TRUE);
    run.width = static_cast<int>(cinfo->image_width);
    run.height = static_cast<int>(cinfo->image_height);
    if (qint64(cinfo->image_width) * cinfo->image_height > MaxPicturePixels)
        return RunResult::TooLarge;
    if (run.eighths <= 0)
        return RunResult::Done;

    cinfo->scale_num = static_cast<unsigned>(run.eighths);
    cinfo->scale_denom = 8;
    // Measured: at the panes' 1/8 neither setting changes the time (the IDCT
    // is the DC term alone), and at full size the faster ones gain a few
    // percent at a visible cost in quality.
    cinfo->dct_method = JDCT_ISLOW;
    cinfo->do_fancy_upsampling = TRUE;
    run.cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    run.adobe = cinfo->saw_Adobe_marker;
    cinfo->out_color_space = run.cmyk ? JCS_CMYK : NativeRgb32;
    jpeg_calc_output_dimensions(cinfo);
    run.outWidth = static_cast<int>(cinfo->output_width);
    run.outHeight = static_cast<int>(cinfo->output_height);
    unsigned char* const first = run.prepare(run.context, run);
    if (first == nullptr)
        return RunResult::NoMemory;

    jpeg_start_decompress(cinfo);
    JSAMPROW rows[16];
    JDIMENSION nextBand = BandRows;
    while (cinfo->output_scanline < cinfo->output_height) {
        const JDIMENSION y = cinfo->output_scanline;
        const JDIMENSION count = std::min<JDIMENSION>(16, cinfo->output_height - y);
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = first + static_cast<long>(y + i) * run.stride;
        if (jpeg_read_scanlines(cinfo, rows, count) == 0) {
            // Our sources never suspend; no rows means no more data.
            run.messageCode = JWRN_JPEG_EOF;
            return RunResult::JpegFailed;
        }
        const JDIMENSION done = cinfo->output_scanline;
        if (done >= nextBand || done == cinfo->output_height) {
            if (!run.band(run.context, static_cast<int>(done)))
                return RunResult::Stopped;
            nextBand = done + BandRows;
        }
    }
    jpeg_finish_decompress(cinfo);
    return RunResult::Done;
}

// The only setjmp: libjpeg reports failure by calling error_exit, which must
// not return, and aborting the process on a damaged file is not an option.
RunResult runJpeg(JpegRun& run) {
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    ErrorTrap trap;
    cinfo.err = jpeg_std_error(&trap.pub);
    trap.pub.error_exit = onError;
    trap.pub.emit_message = onMessage;
    trap.pub.output_message = stayQuiet;
    trap.result = RunResult::JpegFailed;
    jpeg_progress_mgr scans;
    std::memset(&scans, 0, sizeof scans);
    scans.progress_monitor = watchScans;

    if (setjmp(trap.jump)) {
        if (trap.result == RunResult::JpegFailed)
            run.messageCode = trap.pub.msg_code;
        jpeg_destroy_decompress(&cinfo);
        return trap.result;
    }
    const RunResult result = readAndDecode(&cinfo, &scans, run);
    jpeg_destroy_decompress(&cinfo);
    return result;
}

[[noreturn]] void throwFor(const QString& path, RunResult result, const JpegRun& run) {
    switch (result) {
    case RunResult::TooLarge:
        throw tooLargeError(path, run.width, run.height);
    case RunResult::NoMemory:
        throw Error(QStringLiteral("There is not enough memory to show \"%1\" at %2 x %3 pixels")
                        .arg(path)
                        .arg(run.outWidth)
                        .arg(run.outHeight));
    case RunResult::TooManyScans:
        throw Error(QStringLiteral("\"%1\" is damaged: it has more than %2 progressive scans")
                        .arg(path)
                        .arg(MaxJpegScans));
    default:
        throw Error(QStringLiteral("JPEG error #%1").arg(run.messageCode));
    }
}

void checkStartsLikeJpeg(const QString& path, const QByteArray& head) {
    if (head.size() < 2 || uchar(head[0]) != 0xFF || uchar(head[1]) != 0xD8)
        throw wrongContentError(path, QStringLiteral("JPEG"), head, {});
}

} // namespace

// The whole file in one read: libjpeg then never waits on a system call.
QByteArray readJpegFile(const QString& path) {
    return readPictureBytes(path);
}

namespace {

// Photoshop and most other writers store CMYK inverted when they write an
// Adobe marker; files without one hold plain CMYK.
void cmykToRgb32(unsigned char* first, long stride, int width, int fromRow, int toRow,
                 bool inverted) {
    const auto scale = [](unsigned a, unsigned b) {
        const unsigned t = a * b + 128;
        return static_cast<unsigned char>((t + (t >> 8)) >> 8);
    };
    for (int y = fromRow; y < toRow; ++y) {
        unsigned char* p = first + static_cast<long>(y) * stride;
        for (int x = 0; x < width; ++x, p += 4) {
            unsigned c = p[0], m = p[1], ye = p[2], k = p[3];
            if (!inverted) {
                c = 255 - c;
                m = 255 - m;
                ye = 255 - ye;
                k = 255 - k;
            }
            const QRgb rgb = qRgb(scale(c, k), scale(m, k), scale(ye, k));
            std::memcpy(p, &rgb, 4);
        }
    }
}

struct DecodeContext {
    const DecodeProgress* progress = nullptr;
    QImage image;
    unsigned char* first = nullptr;
    long stride = 0;
    int width = 0;
    bool cmyk = false;
    bool adobe = false;
    int converted = 0;
    std::exception_ptr failure;
};

unsigned char* prepareImage(void* context, JpegRun& run) {
    auto& c = *static_cast<DecodeContext*>(context);
    try {
        c.image = QImage(run.outWidth, run.outHeight, QImage::Format_RGB32);
    } catch (...) {
        return nullptr;
    }
    if (c.image.isNull())
        return nullptr;
    // Rows are written through this pointer from now on: a progress receiver
    // may hold a copy of the image, and any non-const call here would detach.
    c.first = c.image.bits();
    c.stride = static_cast<long>(c.image.bytesPerLine());
    c.width = run.outWidth;
    c.cmyk = run.cmyk;
    c.adobe = run.adobe;
    run.stride = c.stride;
    return c.first;
}

bool bandDone(void* context, int rowsDone) {
    auto& c = *static_cast<DecodeContext*>(context);
    try {
        if (c.cmyk)
            cmykToRgb32(c.first, c.stride, c.width, c.converted, rowsDone, c.adobe);
        c.converted = rowsDone;
        if (c.progress && *c.progress)
            (*c.progress)(c.image, rowsDone);
        return true;
    } catch (...) {
        c.failure = std::current_exception();
        return false;
    }
}

} // namespace

QSize readJpegSize(const QString& path) {
    return readJpegHeader(path).size;
}

JpegHeader readJpegHeader(const QString& path) {
    qint64 size = 0;
    const FileHandle file = openPictureFile(path, size);
    // EXIF comes right after the start of the file, at most behind a JFIF
    // segment: a few segments' worth of bytes hold it whenever it is there.
    const QByteArray head = fileHead(file.get(), int(qMin<qint64>(size, 3 * MaxExifBytes)));
    checkStartsLikeJpeg(path, head);
    JpegRun run;
    run.file = file.get();
    const RunResult result = runJpeg(run);
    if (result != RunResult::Done)
        throwFor(path, result, run);
    return {QSize(run.width, run.height), jpegExifBlock(head).toByteArray()};
}

QSize jpegScaledSize(const QSize& own, int eighths) {
    const auto scaled = [eighths](int length) { return int((qint64(length) * eighths + 7) / 8); };
    return QSize(scaled(own.width()), scaled(own.height()));
}

int jpegScaleFor(const QSize& own, const QSize& target) {
    for (const int eighths : {1, 2, 4}) {
        const QSize out = jpegScaledSize(own, eighths);
        if (out.width() >= target.width() && out.height() >= target.height())
            return eighths;
    }
    return 8;
}

QImage decodeJpeg(const QString& path, int eighths, const DecodeProgress& progress) {
    return decodeJpeg(path, readJpegFile(path), eighths, progress);
}

QImage decodeJpeg(const QString& path, const QByteArray& bytes, int eighths,
                  const DecodeProgress& progress) {
    checkStartsLikeJpeg(path, bytes.left(16));
    DecodeContext context;
    context.progress = &progress;
    JpegRun run;
    run.data = reinterpret_cast<const unsigned char*>(bytes.constData());
    run.dataSize = static_cast<unsigned long>(bytes.size());
    run.eighths = std::clamp(eighths, 1, 8);
    run.context = &context;
    run.prepare = prepareImage;
    run.band = bandDone;
    const RunResult result = runJpeg(run);
    if (context.failure)
        std::rethrow_exception(context.failure);
    if (result != RunResult::Done)
        throwFor(path, result, run);
    return context.image;
}

} // namespace sortello
