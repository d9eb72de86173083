// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/ExifFixtures.h"

#include <QBuffer>
#include <cstdlib>
#include <vector>

namespace sortello::test {

namespace {

struct Writer {
    bool big;
    QByteArray out;

    void u16(quint32 v) {
        if (big)
            out.append(char(v >> 8)).append(char(v));
        else
            out.append(char(v)).append(char(v >> 8));
    }
    void u32(quint32 v) {
        if (big) {
            u16(v >> 16);
            u16(v & 0xFFFF);
        } else {
            u16(v & 0xFFFF);
            u16(v >> 16);
        }
    }
};

struct Entry {
    quint16 tag;
    quint16 type; // 2 ASCII, 3 SHORT, 4 LONG
    QByteArray ascii;
    quint32 value = 0;
};

// One directory at `at` with its out-of-line values after it; returns the
// offset just past them.
quint32 writeDirectory(Writer& w, quint32 at, const std::vector<Entry>& entries) {
    quint32 extra = at + 2 + 12 * quint32(entries.size()) + 4;
    QByteArray values;
    w.u16(quint16(entries.size()));
    for (const Entry& e : entries) {
        w.u16(e.tag);
        w.u16(e.type);
        if (e.type == 2) {
            const QByteArray text = e.ascii + '\0';
            w.u32(quint32(text.size()));
            if (text.size() <= 4) {
                w.out.append(text.leftJustified(4, '\0'));
            } else {
                w.u32(extra + quint32(values.size()));
                values.append(text);
                if (values.size() % 2)
                    values.append('\0');
            }
        } else if (e.type == 3) {
            w.u32(1);
            w.u16(e.value);
            w.u16(0);
        } else {
            w.u32(1);
            w.u32(e.value);
        }
    }
    w.u32(0); // no next directory
    w.out.append(values);
    return extra + quint32(values.size());
}

} // namespace

QByteArray exifBlock(int orientation, const QByteArray& taken, const QByteArray& offset,
                     bool bigEndian) {
    Writer w{bigEndian, {}};
    w.out.append(bigEndian ? "MM" : "II");
    w.u16(42);
    w.u32(8);
    std::vector<Entry> exif;
    if (!taken.isEmpty())
        exif.push_back({0x9003, 2, taken});
    if (!offset.isEmpty())
        exif.push_back({0x9011, 2, offset});
    std::vector<Entry> first;
    if (orientation != 0)
        first.push_back({0x0112, 3, {}, quint32(orientation)});
    // The EXIF directory follows the first one, whose size is known already.
    const quint32 exifAt = 8 + 2 + 12 * quint32(first.size() + (exif.empty() ? 0 : 1)) + 4;
    if (!exif.empty())
        first.push_back({0x8769, 4, {}, exifAt});
    const quint32 end = writeDirectory(w, 8, first);
    if (!exif.empty() && end != exifAt)
        std::abort();
    if (!exif.empty())
        writeDirectory(w, exifAt, exif);
    return w.out;
}

QByteArray withExif(const QByteArray& jpeg, const QByteArray& block) {
    const QByteArray payload = QByteArray("Exif\0\0", 6) + block;
    QByteArray segment("\xFF\xE1", 2);
    const int length = int(payload.size()) + 2;
    segment.append(char(length >> 8)).append(char(length)).append(payload);
    return jpeg.left(2) + segment + jpeg.mid(2);
}

QByteArray jpegOf(const QImage& image, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "JPEG", quality))
        std::abort();
    return bytes;
}

} // namespace sortello::test
