// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/BenchPictures.h"

#include <QFile>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include <jpeglib.h>

namespace sortello::bench {

void writeSampleJpeg(const QString& path, const JpegSample& sample, int width, int height) {
    std::FILE* out = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!out)
        std::abort();
    jpeg_compress_struct c;
    jpeg_error_mgr errors;
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, out);
    c.image_width = width;
    c.image_height = height;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c); // baseline, 4:2:0
    jpeg_set_quality(&c, sample.quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::mt19937 random(42);
    std::uniform_int_distribution<int> noise(-sample.noise, sample.noise);
    std::vector<unsigned char> row(width * 3);
    while (c.next_scanline < c.image_height) {
        const int y = int(c.next_scanline);
        for (int x = 0; x < width; ++x) {
            const int base[3] = {x * 255 / width, y * 255 / height,
                                 (x + y) * 255 / (width + height)};
            for (int i = 0; i < 3; ++i)
                row[3 * x + i] = static_cast<unsigned char>(
                    std::clamp(base[i] + (sample.noise ? noise(random) : 0), 0, 255));
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(out);
}

void decodeAtOneEighth(const QByteArray& jpeg) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(jpeg.constData()),
                 static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.scale_num = 1;
    cinfo.scale_denom = 8;
    cinfo.dct_method = JDCT_IFAST;
    cinfo.do_fancy_upsampling = FALSE;
    cinfo.out_color_space = JCS_EXT_BGRA;
    jpeg_start_decompress(&cinfo);
    const size_t stride = size_t(cinfo.output_width) * 4;
    std::vector<unsigned char> buffer(stride * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[16];
        const unsigned count = std::min(16u, cinfo.output_height - cinfo.output_scanline);
        for (unsigned i = 0; i < count; ++i)
            rows[i] = buffer.data() + (cinfo.output_scanline + i) * stride;
        jpeg_read_scanlines(&cinfo, rows, count);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    benchmark::DoNotOptimize(buffer.data());
}

} // namespace sortello::bench
