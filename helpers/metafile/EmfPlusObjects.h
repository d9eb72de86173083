// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The objects EMF+ records define and later draw with (brushes, pens, paths,
// regions, fonts, images, string formats), read from hostile bytes: every
// read is checked against the bytes there are, counts are held to what the
// bytes can hold before anything is allocated, and an object that does not
// fit comes back empty.
#include <QBrush>
#include <QFont>
#include <QImage>
#include <QPainterPath>
#include <QPen>
#include <QPointF>
#include <QRectF>
#include <QTransform>

#include <cstdint>
#include <optional>
#include <span>
#include <variant>
#include <vector>

namespace sortello::metafile {

// Little-endian fields in order; a read past the end gives zero and leaves
// the reader failed for good.
class EmfPlusReader {
public:
    explicit EmfPlusReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    bool ok() const { return !failed_; }
    std::size_t left() const { return bytes_.size() - at_; }
    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    std::int16_t i16() { return std::int16_t(u16()); }
    std::int32_t i32() { return std::int32_t(u32()); }
    float f32();
    std::span<const std::uint8_t> bytes(std::size_t count);
    void skip(std::size_t count) { bytes(count); }
    QTransform transform();
    QRectF rect(bool compressed);
    // Count points: whole numbers of 16 bits when compressed, offsets from
    // the point before when relative, floats otherwise.
    std::vector<QPointF> points(std::uint32_t count, bool compressed, bool relative);
    QColor colour() { return QColor::fromRgba(u32()); }

private:
    bool take(std::size_t count);

    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
    bool failed_ = false;
};

// Logical resolution of the recording device, from the EMF+ header.
struct EmfPlusDpi {
    double x = 96;
    double y = 96;
};

// How many device pixels one unit of `unit` is; world, display and unknown
// units count as pixels.
double emfPlusUnitToPixels(std::uint32_t unit, double dpi);

struct EmfPlusBrush {
    QBrush brush;
};

// A shape drawn at a line's end (an arrow head, say).
struct EmfPlusLineEnd {
    QPainterPath shape;  // its tip at the top, pointing out of the line
    double width = 0;    // across the line, in world units
    bool centred = true; // its middle on the line's end, else its tip
};

struct EmfPlusPen {
    QPen pen;
    std::optional<EmfPlusLineEnd> start;
    std::optional<EmfPlusLineEnd> end;
};

struct EmfPlusPath {
    QPainterPath path;
};

struct EmfPlusRegion {
    std::optional<QPainterPath> area; // nullopt: everything
};

struct EmfPlusFont {
    QFont font;    // at FontPixels, drawn scaled by emSize / FontPixels
    double emSize; // in world units
};

struct EmfPlusImage {
    QImage image; // null for what is not drawn (metafiles, odd pixel formats)
};

struct EmfPlusStringFormat {
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop;
    bool noWrap = false;
    // Space kept free at the start and the end of each line, in ems; a
    // string drawn without a format keeps GDI+'s default sixth of an em.
    double leadingMargin = 1.0 / 6;
    double trailingMargin = 1.0 / 6;
};

using EmfPlusObject = std::variant<std::monostate, EmfPlusBrush, EmfPlusPen, EmfPlusPath,
                                   EmfPlusRegion, EmfPlusFont, EmfPlusImage, EmfPlusStringFormat>;

inline constexpr int FontPixels = 64;

// Object types as the Object record's flags name them.
enum class EmfPlusObjectType : std::uint8_t {
    Brush = 1,
    Pen = 2,
    Path = 3,
    Region = 4,
    Image = 5,
    Font = 6,
    StringFormat = 7,
    ImageAttributes = 8,
    CustomLineCap = 9,
};

// Reads one whole object; monostate when it does not fit or is not drawn.
EmfPlusObject readEmfPlusObject(EmfPlusObjectType type, std::span<const std::uint8_t> data,
                                const EmfPlusDpi& dpi);

// Parts shared by several objects.
QPainterPath emfPlusPath(EmfPlusReader& in);
QImage emfPlusImage(EmfPlusReader& in);
QBrush readEmfPlusBrush(EmfPlusReader& in);
EmfPlusObject readEmfPlusPen(EmfPlusReader& in, const EmfPlusDpi& dpi);

// The combined area of two, for regions and clips; nullopt stands for
// everything.
enum class CombineMode : std::uint32_t { Replace, Intersect, Union, Xor, Exclude, Complement };
std::optional<QPainterPath> combineAreas(const std::optional<QPainterPath>& left,
                                         const std::optional<QPainterPath>& right, CombineMode mode,
                                         const QRectF& everything);

} // namespace sortello::metafile
