// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether two files hold the same bytes: the sizes first, then both read side
// by side until the first difference, so two different photos of one size
// usually part within the first block. Only regular files compare. One file
// reached by two names (the same device and inode, through a link or a source
// folder that is its own destination) is no second copy: removing either name
// as a duplicate could lose the picture, so it never counts as identical.
#include <QString>

namespace sortello {

enum class Sameness {
    Identical,  // two files, the same bytes
    Different,  // two files whose bytes differ
    SameFile,   // both names lead to one file
    Unreadable, // either is missing, no regular file, or cannot be read
};

Sameness compareBytes(const QString& first, const QString& second);

} // namespace sortello
