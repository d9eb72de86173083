// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The pictures of one folder, read straight from the system so that no name is
// dropped or changed on the way.
#include <QByteArray>
#include <QString>
#include <cstddef>
#include <vector>

namespace sortello {

struct ListedFile {
    QByteArray rawName; // the name on disk, byte for byte
    QString name;
    // False when name does not turn back into rawName (e.g. invalid UTF-8):
    // such a file must not be acted on through name.
    bool representable = true;
};

struct ListingResult {
    bool ok = true;
    int error = 0;
    QString errorText;
    std::vector<ListedFile> files;
};

QString defaultPicturePatterns();
// The patterns of the formats listed only when the user asks for them: PNG,
// WebP, TIFF, HEIC/HEIF and AVIF.
QString modernPicturePatterns();
// The default patterns, followed by the modern ones when they are listed too.
QString picturePatterns(bool listModernFormats);

// Plain files (and links to plain files) whose names match one of the
// ";"-separated patterns in any letter case, hidden files left out, sorted by
// name ignoring case. No patterns at all match nothing. Stale hidden
// temporaries of moves (Temporaries.h) are removed on the way.
// The row a file of this name takes in a listing sorted as listPictureFiles
// sorts it.
std::size_t listingPlace(const std::vector<ListedFile>& files, const ListedFile& file);

ListingResult listPictureFiles(const QString& folder,
                               const QString& patterns = defaultPicturePatterns());

} // namespace sortello
