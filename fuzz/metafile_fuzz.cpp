// SPDX-License-Identifier: GPL-3.0-or-later
// The metafile helper's conversion, run in this process so that the sanitizers
// see our header checks, the WMF drawing layer and the EMF player. The helper
// starts from detectKind just like this does.
#include "EmfPlayer.h"
#include "FuzzSupport.h"
#include "MetafileFormat.h"
#include "WmfToSvg.h"

#include <new>
#include <string_view>

using namespace sortello::metafile;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // The EMF player draws text, which needs Qt's fonts.
    sortello::fuzz::startGuiApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const Kind wanted = SORTELLO_FUZZ_METAFILE;
    if (detectKind(bytes) != wanted)
        return 0;
    try {
        const std::size_t drawn = wanted == Kind::Wmf ? convertWmf(bytes).svg.size()
                                                      : std::size_t(playEmf(bytes).picture.size());
        if (drawn > MaxSvgBytes)
            __builtin_trap();
    } catch (const ConversionError&) {
    } catch (const std::bad_alloc&) {
        // The helper reports both as a damaged file.
    }
    return 0;
}
