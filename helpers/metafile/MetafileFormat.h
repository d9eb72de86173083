// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the helper learns from a metafile's bytes before any library sees them:
// its kind, its header and whether its records fit inside the file. Checking
// the record chain first turns a truncated file into a clear message instead
// of a library reading past the end.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace sortello::metafile {

// A failure the helper reports to Sortello; what() says what is wrong with
// the file in words a user understands, completing the sentence
// "... is a damaged WMF file: ".
class ConversionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// No SVG document larger than this is sent; Sortello refuses larger ones too.
inline constexpr std::size_t MaxSvgBytes = std::size_t{64} << 20;

enum class Kind { Wmf, Emf };

struct PictureSize {
    int width = 0;
    int height = 0;
};

// The result of a conversion: the picture's own size and its drawing.
struct Conversion {
    PictureSize size;
    std::string svg;
};

std::optional<Kind> detectKind(std::string_view bytes);

// Pixels of a length given in 1/unitsPerInch inches, shown at 96 dpi.
// Throws when the result cannot be a picture's side.
int pixelsAt96Dpi(double length, double unitsPerInch);

struct WmfInfo {
    bool placeable = false;
    // The placeable header's bounding box, in metafile units.
    std::int16_t left = 0;
    std::int16_t top = 0;
    std::int16_t right = 0;
    std::int16_t bottom = 0;
    std::uint16_t unitsPerInch = 0;
    std::size_t firstRecord = 0;
};

// Reads the headers and follows the records up to the end record; throws
// ConversionError when they do not fit the file.
WmfInfo readWmfLayout(std::string_view bytes);

// Calls visit(function, parameters) for each record before the end record,
// until visit returns false. The bytes must have passed readWmfLayout().
void forEachWmfRecord(std::string_view bytes, const WmfInfo& info,
                      const std::function<bool(std::uint16_t, std::string_view)>& visit);

struct EmfRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

struct EmfHeader {
    EmfRect bounds; // device pixels, inclusive
    EmfRect frame;  // 0.01 mm
    std::int32_t devicePixelsX = 0;
    std::int32_t devicePixelsY = 0;
    std::int32_t deviceMillimetersX = 0;
    std::int32_t deviceMillimetersY = 0;
};

// Reads the header and follows the records up to the end record; throws
// ConversionError when they do not fit the file.
EmfHeader readEmfHeader(std::string_view bytes);

// The picture's own size: its frame at 96 dpi, or its bounds when the frame is
// empty.
PictureSize emfPictureSize(const EmfHeader& header);

// Little-endian fields; the caller has checked that they lie inside bytes.
std::uint16_t readU16(std::string_view bytes, std::size_t offset);
std::uint32_t readU32(std::string_view bytes, std::size_t offset);
inline std::int16_t readS16(std::string_view bytes, std::size_t offset) {
    return static_cast<std::int16_t>(readU16(bytes, offset));
}
inline std::int32_t readS32(std::string_view bytes, std::size_t offset) {
    return static_cast<std::int32_t>(readU32(bytes, offset));
}

// Little-endian fields written into records the converters rewrite.
inline void appendU32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}
inline void writeU32(std::string& bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

} // namespace sortello::metafile
