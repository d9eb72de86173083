// SPDX-License-Identifier: GPL-3.0-or-later
// The metafile helper's conversion, run in this process so that the sanitizers
// see our header checks and drawing layer. The helper starts from detectKind
// just like this does.
#include "EmfToSvg.h"
#include "MetafileFormat.h"
#include "WmfToSvg.h"

#include <new>
#include <string_view>

using namespace sortello::metafile;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const Kind wanted = SORTELLO_FUZZ_METAFILE;
    if (detectKind(bytes) != wanted)
        return 0;
    try {
        const Conversion drawing = wanted == Kind::Wmf ? convertWmf(bytes) : convertEmf(bytes);
        if (drawing.svg.size() > MaxSvgBytes)
            __builtin_trap();
    } catch (const ConversionError&) {
    } catch (const std::bad_alloc&) {
        // The helper reports both as a damaged file.
    }
    return 0;
}
