// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictures/Exif.h"

#include <QTransform>
#include <cstring>
#include <memory>

#include <libexif/exif-data.h>
#include <libexif/exif-utils.h>

namespace sortello {

namespace {

constexpr char ExifHeader[] = "Exif\0\0"; // 6 bytes, the last two zero
constexpr qsizetype ExifHeaderSize = 6;

bool startsWithExifHeader(QByteArrayView bytes) {
    return bytes.size() >= ExifHeaderSize && std::memcmp(bytes.data(), ExifHeader, 6) == 0;
}

struct ExifDataUnref {
    void operator()(ExifData* data) const { exif_data_unref(data); }
};

// "YYYY:MM:DD HH:MM:SS"; cameras without a set clock write blanks or zeros,
// which are no date.
std::optional<QDateTime> parseExifDateTime(const QByteArray& text) {
    if (text.size() < 19 || text[4] != ':' || text[7] != ':' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':')
        return std::nullopt;
    const auto number = [&text](int at, int length) {
        int value = 0;
        for (int i = at; i < at + length; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return -1;
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    const QDate date(number(0, 4), number(5, 2), number(8, 2));
    const QTime time(number(11, 2), number(14, 2), number(17, 2));
    if (!date.isValid() || !time.isValid() || date.year() < 1)
        return std::nullopt;
    return QDateTime(date, time, Qt::LocalTime);
}

// "+HH:MM" or "-HH:MM" in seconds east of UTC; nothing for blanks.
std::optional<int> parseExifOffset(const QByteArray& text) {
    if (text.size() < 6 || (text[0] != '+' && text[0] != '-') || text[3] != ':')
        return std::nullopt;
    for (const int i : {1, 2, 4, 5})
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
    const int hours = (text[1] - '0') * 10 + (text[2] - '0');
    const int minutes = (text[4] - '0') * 10 + (text[5] - '0');
    if (hours > 14 || minutes > 59)
        return std::nullopt;
    const int seconds = (hours * 60 + minutes) * 60;
    return text[0] == '-' ? -seconds : seconds;
}

// An ASCII entry's text up to its first NUL, or empty.
QByteArray asciiEntry(ExifData* data, ExifIfd ifd, ExifTag tag) {
    ExifEntry* entry = exif_content_get_entry(data->ifd[ifd], tag);
    if (!entry || entry->format != EXIF_FORMAT_ASCII || !entry->data)
        return {};
    const auto* begin = reinterpret_cast<const char*>(entry->data);
    const auto* end = static_cast<const char*>(std::memchr(begin, '\0', entry->size));
    return QByteArray(begin, end ? end - begin : qsizetype(entry->size));
}

int orientationOf(ExifData* data) {
    ExifEntry* entry = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
    if (!entry || entry->format != EXIF_FORMAT_SHORT || entry->components < 1 || !entry->data ||
        entry->size < 2)
        return 1;
    const int value = exif_get_short(entry->data, exif_data_get_byte_order(data));
    return value >= 1 && value <= 8 ? value : 1;
}

std::optional<QDateTime> takenOf(ExifData* data) {
    // Some writers put it in the first directory rather than the EXIF one.
    QByteArray text = asciiEntry(data, EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL);
    if (text.isEmpty())
        text = asciiEntry(data, EXIF_IFD_0, EXIF_TAG_DATE_TIME_ORIGINAL);
    return exifTakenAt(text, asciiEntry(data, EXIF_IFD_EXIF, EXIF_TAG_OFFSET_TIME_ORIGINAL));
}

quint32 bigEndian32(const char* p) {
    return quint32(uchar(p[0])) << 24 | quint32(uchar(p[1])) << 16 | quint32(uchar(p[2])) << 8 |
           quint32(uchar(p[3]));
}

quint32 littleEndian32(const char* p) {
    return quint32(uchar(p[3])) << 24 | quint32(uchar(p[2])) << 16 | quint32(uchar(p[1])) << 8 |
           quint32(uchar(p[0]));
}

} // namespace

std::optional<QDateTime> exifTakenAt(const QByteArray& dateTime, const QByteArray& offset) {
    std::optional<QDateTime> taken = parseExifDateTime(dateTime);
    if (!taken)
        return std::nullopt;
    if (const std::optional<int> seconds = parseExifOffset(offset))
        return QDateTime(taken->date(), taken->time(), Qt::OffsetFromUTC, *seconds);
    return taken;
}

ExifFacts readExif(QByteArrayView block) {
    ExifFacts facts;
    if (block.size() > MaxExifBytes + ExifHeaderSize)
        return facts;
    // libexif takes a block only after the header JPEG gives it.
    QByteArray loaded;
    if (!startsWithExifHeader(block))
        loaded.append(ExifHeader, ExifHeaderSize);
    loaded.append(block);
    if (loaded.size() > MaxExifBytes + ExifHeaderSize || loaded.size() < ExifHeaderSize + 8)
        return facts;
    const std::unique_ptr<ExifData, ExifDataUnref> data(exif_data_new());
    if (!data)
        return facts;
    // libexif's default fills in the tags EXIF calls mandatory, a made-up
    // capture time among them; we want only what the file says.
    exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(data.get(), reinterpret_cast<const unsigned char*>(loaded.constData()),
                        unsigned(loaded.size()));
    facts.orientation = orientationOf(data.get());
    facts.taken = takenOf(data.get());
    return facts;
}

QByteArrayView jpegExifBlock(QByteArrayView head) {
    if (head.size() < 4 || uchar(head[0]) != 0xFF || uchar(head[1]) != 0xD8)
        return {};
    qsizetype at = 2;
    // Only the application segments and comments that come before the tables
    // are looked at: EXIF belongs right after the start of the file.
    while (at + 4 <= head.size() && uchar(head[at]) == 0xFF) {
        const uchar marker = uchar(head[at + 1]);
        if (marker == 0xFF) {
            ++at; // fill byte
            continue;
        }
        if (!((marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE))
            return {};
        const qsizetype length = uchar(head[at + 2]) << 8 | uchar(head[at + 3]);
        if (length < 2 || at + 2 + length > head.size())
            return {};
        const QByteArrayView payload = head.sliced(at + 4, length - 2);
        if (marker == 0xE1 && startsWithExifHeader(payload))
            return payload;
        at += 2 + length;
    }
    return {};
}

QByteArrayView pngExifBlock(QByteArrayView file) {
    if (file.size() < 8 || std::memcmp(file.data(), "\x89PNG\r\n\x1A\n", 8) != 0)
        return {};
    qsizetype at = 8;
    while (at + 12 <= file.size()) {
        const quint32 length = bigEndian32(file.data() + at);
        const QByteArrayView type = file.sliced(at + 4, 4);
        if (length > quint32(file.size() - at - 12))
            return {};
        if (type == QByteArrayView("eXIf"))
            return file.sliced(at + 8, length);
        if (type == QByteArrayView("IEND"))
            return {};
        at += 12 + qsizetype(length);
    }
    return {};
}

QByteArrayView webpExifBlock(QByteArrayView file) {
    if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 ||
        std::memcmp(file.data() + 8, "WEBP", 4) != 0)
        return {};
    qsizetype at = 12;
    while (at + 8 <= file.size()) {
        const quint32 length = littleEndian32(file.data() + at + 4);
        if (length > quint32(file.size() - at - 8))
            return {};
        if (std::memcmp(file.data() + at, "EXIF", 4) == 0)
            return file.sliced(at + 8, length);
        at += 8 + qsizetype(length) + (length & 1); // chunks are padded to even sizes
    }
    return {};
}

bool orientationSwapsSides(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

QSize orientedSize(const QSize& stored, int orientation) {
    return orientationSwapsSides(orientation) ? stored.transposed() : stored;
}

QImage orientImage(const QImage& stored, int orientation) {
    // Qt turns by right angles with its fast row-to-column copy; 5 and 7 are
    // a turn and a mirror.
    const auto turned = [&stored](qreal degrees) {
        return stored.transformed(QTransform().rotate(degrees));
    };
    switch (orientation) {
    case 2:
        return stored.mirrored(true, false);
    case 3:
        return stored.mirrored(true, true);
    case 4:
        return stored.mirrored(false, true);
    case 5:
        return turned(90).mirrored(true, false);
    case 6:
        return turned(90);
    case 7:
        return turned(270).mirrored(true, false);
    case 8:
        return turned(270);
    default:
        return stored;
    }
}

} // namespace sortello
