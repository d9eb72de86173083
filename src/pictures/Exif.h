// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two EXIF facts Sortello shows: which way up a picture is meant to be
// seen, and when it was taken. The block is read by libexif, which checks every
// offset against the block it is given; the block itself is found here in the
// file's bytes without trusting any length that points past them. Nothing here
// throws: damaged or missing EXIF gives the defaults, and the picture is shown
// as stored.
#include <QByteArrayView>
#include <QDateTime>
#include <QImage>
#include <QSize>
#include <optional>

namespace sortello {

// Larger blocks are refused unread: a JPEG segment cannot hold more, and no
// other format's EXIF needs more for the two tags we want.
inline constexpr qsizetype MaxExifBytes = 64 * 1024;

struct ExifFacts {
    // 1 to 8 as EXIF numbers them; 1 is as stored, and any other number read
    // counts as 1.
    int orientation = 1;
    // DateTimeOriginal: the camera's clock as it read. With OffsetTimeOriginal
    // the time carries that offset (Qt::OffsetFromUTC, or Qt::UTC for +00:00);
    // without one its zone is unknown, and it is Qt::LocalTime, the zone a
    // camera's clock is most often set to.
    std::optional<QDateTime> taken;
};

// The facts in a TIFF-structured EXIF block ("II*\0" or "MM\0*"), with or
// without the "Exif\0\0" that JPEG and some WebP writers put before it.
ExifFacts readExif(QByteArrayView block);

// The time from DateTimeOriginal's text and OffsetTimeOriginal's (which may
// be empty), as ExifFacts::taken holds it; nothing for a blank or wrong date.
std::optional<QDateTime> exifTakenAt(const QByteArray& dateTime, const QByteArray& offset);

// The EXIF block of a JPEG file (an APP1 segment starting "Exif\0\0") among
// the segments before its first frame; empty when there is none in `head`.
QByteArrayView jpegExifBlock(QByteArrayView head);
// A PNG's eXIf chunk (writers put it before or after the image data); empty
// when there is none.
QByteArrayView pngExifBlock(QByteArrayView file);
// A WebP's RIFF "EXIF" chunk; empty when there is none.
QByteArrayView webpExifBlock(QByteArrayView file);

// Whether showing a picture upright turns its stored width into its height.
bool orientationSwapsSides(int orientation);
// The size a picture of stored size `stored` is shown at.
QSize orientedSize(const QSize& stored, int orientation);
// The stored image turned and mirrored as its orientation says: meant for the
// image at the size it is shown, which costs far less than the whole picture.
QImage orientImage(const QImage& stored, int orientation);

} // namespace sortello
