// SPDX-License-Identifier: GPL-3.0-or-later
// One decoder behind Picture, picked by the extension this target is built
// with: pictures come from cameras, the web and mail, so any bytes at all may
// sit behind a familiar extension.
#include "FuzzSupport.h"
#include "base/Error.h"
#include "pictures/Picture.h"

using namespace sortello;

namespace {

// Decoding a large picture in full for every input would leave little time
// for anything else; the scaled image already covers the decoder.
constexpr qint64 FullImagePixels = 1'000'000;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::startGuiApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const QString path =
        fuzz::scratchPath(QStringLiteral("picture." SORTELLO_FUZZ_EXTENSION));
    if (!fuzz::writeScratch(path, data, size))
        return 0;
    try {
        const Picture picture = Picture::open(path);
        const QSize own = picture.size();
        picture.imageFor(QSize(400, 300));
        if (qint64(own.width()) * own.height() <= FullImagePixels)
            picture.fullImage();
        picture.frames();
    } catch (const Error&) {
        // Refusing a damaged picture is the expected answer.
    }
    return 0;
}
