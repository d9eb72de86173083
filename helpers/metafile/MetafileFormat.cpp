// SPDX-License-Identifier: GPL-3.0-or-later
#include "MetafileFormat.h"

#include <climits>
#include <cmath>

namespace sortello::metafile {

namespace {

constexpr std::uint32_t PlaceableKey = 0x9AC6CDD7;
constexpr std::size_t PlaceableHeaderBytes = 22;
constexpr std::size_t WmfHeaderBytes = 18;
constexpr std::uint32_t EmfSignature = 0x464D4520; // " EMF"
constexpr std::size_t EmfHeaderBytes = 88;
constexpr std::uint32_t EmrHeader = 1;
constexpr std::uint32_t EmrEof = 14;

bool isWmfHeader(std::string_view bytes, std::size_t offset) {
    if (bytes.size() < offset + WmfHeaderBytes)
        return false;
    const std::uint16_t type = readU16(bytes, offset);
    const std::uint16_t version = readU16(bytes, offset + 4);
    return (type == 1 || type == 2) && readU16(bytes, offset + 2) == 9 &&
           (version == 0x0100 || version == 0x0300);
}

EmfRect readRect(std::string_view bytes, std::size_t offset) {
    return {readS32(bytes, offset), readS32(bytes, offset + 4), readS32(bytes, offset + 8),
            readS32(bytes, offset + 12)};
}

} // namespace

std::uint16_t readU16(std::string_view bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[offset]) |
                                      static_cast<unsigned char>(bytes[offset + 1]) << 8);
}

std::uint32_t readU32(std::string_view bytes, std::size_t offset) {
    return readU16(bytes, offset) | std::uint32_t{readU16(bytes, offset + 2)} << 16;
}

std::optional<Kind> detectKind(std::string_view bytes) {
    if (bytes.size() >= 4 && readU32(bytes, 0) == PlaceableKey)
        return Kind::Wmf;
    if (bytes.size() >= 44 && readU32(bytes, 0) == EmrHeader && readU32(bytes, 40) == EmfSignature)
        return Kind::Emf;
    if (isWmfHeader(bytes, 0))
        return Kind::Wmf;
    return std::nullopt;
}

int pixelsAt96Dpi(double length, double unitsPerInch) {
    const double pixels = std::round(std::abs(length) * 96.0 / unitsPerInch);
    if (!std::isfinite(pixels) || pixels > INT_MAX)
        throw ConversionError("it declares an impossible size");
    return static_cast<int>(pixels);
}

WmfInfo readWmfLayout(std::string_view bytes) {
    WmfInfo info;
    std::size_t header = 0;
    if (bytes.size() >= 4 && readU32(bytes, 0) == PlaceableKey) {
        if (bytes.size() < PlaceableHeaderBytes + WmfHeaderBytes)
            throw ConversionError("the file is truncated");
        info.placeable = true;
        info.left = readS16(bytes, 6);
        info.top = readS16(bytes, 8);
        info.right = readS16(bytes, 10);
        info.bottom = readS16(bytes, 12);
        info.unitsPerInch = readU16(bytes, 14);
        header = PlaceableHeaderBytes;
    }
    if (!isWmfHeader(bytes, header))
        throw ConversionError("its header is damaged");
    // libwmf allocates a buffer of the declared largest record before reading
    // any; no record can be larger than the file.
    if (std::uint64_t{readU32(bytes, header + 12)} * 2 > bytes.size())
        throw ConversionError("its header is damaged");
    info.firstRecord = header + std::size_t{readU16(bytes, header + 2)} * 2;

    std::size_t offset = info.firstRecord;
    while (true) {
        if (offset + 6 > bytes.size())
            throw ConversionError("the file is truncated");
        const std::uint64_t recordBytes = std::uint64_t{readU32(bytes, offset)} * 2;
        if (recordBytes < 6)
            throw ConversionError("a record has an impossible size");
        if (recordBytes > bytes.size() - offset)
            throw ConversionError("the file is truncated");
        if (readU16(bytes, offset + 4) == 0)
            return info;
        offset += recordBytes;
    }
}

void forEachWmfRecord(std::string_view bytes, const WmfInfo& info,
                      const std::function<bool(std::uint16_t, std::string_view)>& visit) {
    std::size_t offset = info.firstRecord;
    while (offset + 6 <= bytes.size()) {
        const std::size_t recordBytes = std::size_t{readU32(bytes, offset)} * 2;
        const std::uint16_t function = readU16(bytes, offset + 4);
        if (function == 0 || recordBytes < 6 || recordBytes > bytes.size() - offset)
            return;
        if (!visit(function, bytes.substr(offset + 6, recordBytes - 6)))
            return;
        offset += recordBytes;
    }
}

EmfHeader readEmfHeader(std::string_view bytes) {
    if (bytes.size() < EmfHeaderBytes)
        throw ConversionError("the file is truncated");
    if (readU32(bytes, 4) < EmfHeaderBytes)
        throw ConversionError("its header is damaged");
    EmfHeader header;
    header.bounds = readRect(bytes, 8);
    header.frame = readRect(bytes, 24);
    header.devicePixelsX = readS32(bytes, 72);
    header.devicePixelsY = readS32(bytes, 76);
    header.deviceMillimetersX = readS32(bytes, 80);
    header.deviceMillimetersY = readS32(bytes, 84);

    // The header's count of the file's bytes is not trusted either way: the
    // records themselves must reach an end-of-file record within the file.
    std::size_t offset = 0;
    while (true) {
        if (offset + 8 > bytes.size())
            throw ConversionError("the file is truncated");
        const std::uint32_t type = readU32(bytes, offset);
        const std::uint32_t recordBytes = readU32(bytes, offset + 4);
        if (recordBytes < 8 || recordBytes % 4 != 0 || (offset > 0 && type == EmrHeader))
            throw ConversionError("a record is damaged");
        if (recordBytes > bytes.size() - offset)
            throw ConversionError("the file is truncated");
        if (type == EmrEof)
            return header;
        offset += recordBytes;
    }
}

PictureSize emfPictureSize(const EmfHeader& header) {
    const EmfRect& frame = header.frame;
    const double frameWidth = double(frame.right) - frame.left;
    const double frameHeight = double(frame.bottom) - frame.top;
    if (frameWidth > 0 && frameHeight > 0) {
        // 2540 hundredths of a millimetre make an inch.
        const PictureSize size{pixelsAt96Dpi(frameWidth, 2540), pixelsAt96Dpi(frameHeight, 2540)};
        if (size.width > 0 && size.height > 0)
            return size;
    }
    const EmfRect& bounds = header.bounds;
    const double width = double(bounds.right) - bounds.left + 1;
    const double height = double(bounds.bottom) - bounds.top + 1;
    if (width < 1 || height < 1 || width > INT_MAX || height > INT_MAX)
        throw ConversionError("it declares no size");
    return {static_cast<int>(width), static_cast<int>(height)};
}

} // namespace sortello::metafile
