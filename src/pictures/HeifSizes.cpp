// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictures/HeifSizes.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

namespace sortello {

namespace {

struct Span {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

// Width times height for sides of up to 32 bits, each capped so that the
// product cannot overflow; any side that large is refused anyway.
qint64 areaOf(std::uint64_t width, std::uint64_t height) {
    constexpr std::uint64_t Cap = 1'000'000'000;
    return qint64(std::min(width, Cap) * std::min(height, Cap));
}

std::uint32_t bigEndian(const unsigned char* at, int bytes) {
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = value << 8 | at[i];
    return value;
}

// Calls `visit(type, payload)` for each child box of `parent` in turn, until
// it returns false or a box's size runs past its parent.
template <typename Visit> void forEachBox(Span parent, Visit visit) {
    std::size_t at = 0;
    while (parent.size - at >= 8) {
        std::uint64_t size = bigEndian(parent.data + at, 4);
        std::size_t header = 8;
        if (size == 1 && parent.size - at >= 16) {
            size = std::uint64_t(bigEndian(parent.data + at + 8, 4)) << 32 |
                   bigEndian(parent.data + at + 12, 4);
            header = 16;
        } else if (size == 0) {
            size = parent.size - at;
        }
        if (size < header || size > parent.size - at)
            return;
        const std::string_view type(reinterpret_cast<const char*>(parent.data + at + 4), 4);
        if (!visit(type, Span{parent.data + at + header, std::size_t(size) - header}))
            return;
        at += std::size_t(size);
    }
}

// The payload of the first child box of `parent` of type `type`, after
// `skip` bytes of its own header (a full box's version and flags).
Span childBox(Span parent, std::string_view type, std::size_t skip = 0) {
    Span found;
    forEachBox(parent, [&](std::string_view each, Span payload) {
        if (each != type)
            return true;
        if (payload.size >= skip)
            found = Span{payload.data + skip, payload.size - skip};
        return false;
    });
    return found;
}

// Reads a sequence parameter set's bits, emulation prevention bytes taken out.
class Bits {
public:
    explicit Bits(Span nal) {
        for (std::size_t i = 0; i < nal.size; ++i) {
            if (i >= 2 && nal.data[i] == 3 && nal.data[i - 1] == 0 && nal.data[i - 2] == 0)
                continue;
            bytes_.push_back(nal.data[i]);
        }
    }
    bool ok() const { return ok_; }
    std::uint32_t read(int count) {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i) {
            if (at_ >= bytes_.size() * 8) {
                ok_ = false;
                return 0;
            }
            value = value << 1 | ((bytes_[at_ / 8] >> (7 - at_ % 8)) & 1);
            ++at_;
        }
        return value;
    }
    void skip(int count) { at_ += std::size_t(count); }
    // Exp-Golomb; more than 31 leading zeros cannot be a size.
    std::uint32_t golomb() {
        int zeros = 0;
        while (ok_ && read(1) == 0)
            if (++zeros > 31)
                ok_ = false;
        return ok_ ? (std::uint32_t(1) << zeros) - 1 + read(zeros) : 0;
    }

private:
    std::vector<unsigned char> bytes_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

// Width times height from a sequence parameter set NAL unit (header included).
qint64 spsArea(Span nal) {
    if (nal.size < 3)
        return 0;
    Bits bits(Span{nal.data + 2, nal.size - 2});
    bits.skip(4); // video parameter set id
    const int subLayers = int(bits.read(3));
    bits.skip(1);
    bits.skip(96); // general profile, tier and level
    std::vector<bool> profile, level;
    for (int i = 0; i < subLayers; ++i) {
        profile.push_back(bits.read(1));
        level.push_back(bits.read(1));
    }
    if (subLayers > 0)
        bits.skip(2 * (8 - subLayers));
    for (int i = 0; i < subLayers; ++i)
        bits.skip((profile[std::size_t(i)] ? 88 : 0) + (level[std::size_t(i)] ? 8 : 0));
    bits.golomb(); // sequence parameter set id
    if (bits.golomb() == 3)
        bits.skip(1); // separate colour planes
    const std::uint64_t width = bits.golomb();
    const std::uint64_t height = bits.golomb();
    return bits.ok() ? areaOf(width, height) : 0;
}

qint64 hvcCArea(Span config) {
    if (config.size < 23)
        return 0;
    qint64 largest = 0;
    std::size_t at = 23;
    const int arrays = config.data[22];
    for (int a = 0; a < arrays && config.size - at >= 3; ++a) {
        const bool sps = (config.data[at] & 0x3F) == 33;
        const std::uint32_t units = bigEndian(config.data + at + 1, 2);
        at += 3;
        for (std::uint32_t u = 0; u < units && config.size - at >= 2; ++u) {
            const std::size_t length = bigEndian(config.data + at, 2);
            at += 2;
            if (length > config.size - at)
                return largest;
            if (sps)
                largest = std::max(largest, spsArea(Span{config.data + at, length}));
            at += length;
        }
    }
    return largest;
}

// Reads big-endian fields of `bytes` in turn; past the end, every field is 0
// and `ok` is false.
class Fields {
public:
    explicit Fields(Span bytes) : bytes_(bytes) {}
    bool ok() const { return ok_; }
    std::uint64_t read(int size) {
        if (size < 0 || size > 8 || bytes_.size - at_ < std::size_t(size)) {
            ok_ = false;
            return 0;
        }
        std::uint64_t value = 0;
        for (int i = 0; i < size; ++i)
            value = value << 8 | bytes_.data[at_++];
        return value;
    }

private:
    Span bytes_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

Span metaBox(const QByteArray& file) {
    return childBox(
        Span{reinterpret_cast<const unsigned char*>(file.constData()), std::size_t(file.size())},
        "meta", 4);
}

// The ids of the items of type 'grid', from the item information box.
std::vector<std::uint32_t> gridItems(Span meta) {
    std::vector<std::uint32_t> ids;
    const Span info = childBox(meta, "iinf");
    if (info.size < 4)
        return ids;
    const bool wide = info.data[0] != 0;
    Span entries{info.data + (wide ? 8 : 6),
                 info.size - std::min<std::size_t>(info.size, wide ? 8 : 6)};
    forEachBox(entries, [&](std::string_view, Span infe) {
        Fields entry(infe);
        const int version = int(entry.read(1));
        entry.read(3);
        if (version >= 2) {
            const std::uint64_t id = entry.read(version == 3 ? 4 : 2);
            entry.read(2);
            if (entry.read(4) == 0x67726964 && entry.ok()) // 'grid'
                ids.push_back(std::uint32_t(id));
        }
        return true;
    });
    return ids;
}

// An item's first bytes, from its first extent in the file or in 'idat'.
Span itemData(const QByteArray& file, Span meta, std::uint32_t item) {
    const Span location = childBox(meta, "iloc");
    Fields f(location);
    const int version = int(f.read(1));
    f.read(3);
    const int sizes = int(f.read(1)), more = int(f.read(1));
    const int offsetSize = sizes >> 4, lengthSize = sizes & 15, baseSize = more >> 4;
    const int indexSize = version >= 1 ? more & 15 : 0;
    const std::uint64_t count = f.read(version < 2 ? 2 : 4);
    for (std::uint64_t i = 0; i < count && f.ok(); ++i) {
        const std::uint64_t id = f.read(version < 2 ? 2 : 4);
        const int method = version >= 1 ? int(f.read(2) & 15) : 0;
        f.read(2);
        const std::uint64_t base = f.read(baseSize);
        const std::uint64_t extents = f.read(2);
        std::uint64_t offset = 0, length = 0;
        for (std::uint64_t e = 0; e < extents && f.ok(); ++e) {
            f.read(indexSize);
            const std::uint64_t o = f.read(offsetSize), l = f.read(lengthSize);
            if (e == 0)
                offset = o, length = l;
        }
        if (id != item || !f.ok() || extents == 0)
            continue;
        const Span source = method == 1 ? childBox(meta, "idat")
                            : method == 0
                                ? Span{reinterpret_cast<const unsigned char*>(file.constData()),
                                       std::size_t(file.size())}
                                : Span{};
        const std::uint64_t start = base + offset;
        if (start < base || start > source.size)
            return {};
        const std::size_t left = source.size - std::size_t(start);
        return Span{source.data + start,
                    length == 0 ? left : std::size_t(std::min<std::uint64_t>(length, left))};
    }
    return {};
}

} // namespace

qint64 largestGridArea(const QByteArray& file) {
    const Span meta = metaBox(file);
    qint64 largest = 0;
    for (const std::uint32_t id : gridItems(meta)) {
        Fields grid(itemData(file, meta, id));
        grid.read(1); // version
        const int fieldSize = grid.read(1) & 1 ? 4 : 2;
        grid.read(2); // rows and columns
        const std::uint64_t width = grid.read(fieldSize);
        const std::uint64_t height = grid.read(fieldSize);
        if (grid.ok())
            largest = std::max(largest, areaOf(width, height));
    }
    return largest;
}

qint64 largestHevcCodedArea(const QByteArray& file) {
    const Span properties = childBox(childBox(metaBox(file), "iprp"), "ipco");
    qint64 largest = 0;
    forEachBox(properties, [&](std::string_view type, Span payload) {
        if (type == "hvcC")
            largest = std::max(largest, hvcCArea(payload));
        return true;
    });
    return largest;
}

} // namespace sortello
