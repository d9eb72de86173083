// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The records of an EMF rewritten into the ones libemf2svg draws as GDI would.
#include <string>
#include <string_view>

namespace sortello::metafile {

struct PreparedEmf {
    std::string bytes;
    // Whether any record would put something on the page: a GDI drawing
    // record, or an EMF+ one inside a comment.
    bool drawsWithGdi = false;
    bool drawsWithEmfPlus = false;
};

// bytes is a whole EMF whose header readEmfHeader() accepted. Records past a
// damaged one are copied as they are, for libemf2svg to judge.
PreparedEmf prepareEmfRecords(std::string_view bytes);

} // namespace sortello::metafile
