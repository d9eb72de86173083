// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/BenchPictures.h"

#include <QFile>
#include <algorithm>
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

void decodeAtOneEighth(const QString& path) {
    std::FILE* in = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!in)
        std::abort();
    jpeg_decompress_struct d;
    jpeg_error_mgr errors;
    d.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&d);
    jpeg_stdio_src(&d, in);
    jpeg_read_header(&d, TRUE);
    d.scale_num = 1;
    d.scale_denom = 8;
    d.out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(&d);
    std::vector<unsigned char> buffer(size_t(d.output_width) * 4 * d.output_height);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = buffer.data() + size_t(d.output_scanline) * d.output_width * 4;
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    std::fclose(in);
}

} // namespace sortello::bench
