// SPDX-License-Identifier: GPL-3.0-or-later
// The EXIF reader behind every photo's orientation and capture time, fed as
// the files carry it: a JPEG's segments, a PNG's or a WebP's chunks, or the
// bare block. The input is copied to a buffer of exactly its size, so that a
// read past the block is a read past the buffer.
#include "pictures/Exif.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

using namespace sortello;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::unique_ptr<char[]> copy(new char[size ? size : 1]);
    std::memcpy(copy.get(), data, size);
    const QByteArrayView input(copy.get(), qsizetype(size));
    QByteArrayView block = jpegExifBlock(input);
    if (block.isEmpty())
        block = pngExifBlock(input);
    if (block.isEmpty())
        block = webpExifBlock(input);
    if (block.isEmpty())
        block = input;
    const ExifFacts facts = readExif(block);
    // A small image turned as the block says: every orientation value a block
    // can give must be one orientImage handles.
    const QImage turned = orientImage(QImage(3, 2, QImage::Format_RGB32), facts.orientation);
    if (turned.size() != orientedSize(QSize(3, 2), facts.orientation))
        __builtin_trap();
    if (facts.taken && !facts.taken->isValid())
        __builtin_trap();
    return 0;
}
