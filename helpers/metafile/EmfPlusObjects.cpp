// SPDX-License-Identifier: GPL-3.0-or-later
#include "EmfPlusObjects.h"

#include "Dib.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace sortello::metafile {

bool EmfPlusReader::take(std::size_t count) {
    if (failed_ || count > left()) {
        failed_ = true;
        return false;
    }
    return true;
}

std::uint8_t EmfPlusReader::u8() {
    return take(1) ? bytes_[at_++] : 0;
}

std::uint16_t EmfPlusReader::u16() {
    if (!take(2))
        return 0;
    const std::uint16_t value = std::uint16_t(bytes_[at_] | bytes_[at_ + 1] << 8);
    at_ += 2;
    return value;
}

std::uint32_t EmfPlusReader::u32() {
    const std::uint32_t low = u16();
    return low | std::uint32_t(u16()) << 16;
}

float EmfPlusReader::f32() {
    const std::uint32_t bits = u32();
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    // Infinities and NaNs would poison every transform they meet.
    return std::isfinite(value) ? value : 0.0f;
}

std::span<const std::uint8_t> EmfPlusReader::bytes(std::size_t count) {
    if (!take(count))
        return {};
    const auto part = bytes_.subspan(at_, count);
    at_ += count;
    return part;
}

QTransform EmfPlusReader::transform() {
    const double m11 = f32(), m12 = f32(), m21 = f32(), m22 = f32(), dx = f32(), dy = f32();
    return QTransform(m11, m12, m21, m22, dx, dy);
}

QRectF EmfPlusReader::rect(bool compressed) {
    if (compressed) {
        const double x = i16(), y = i16(), w = i16(), h = i16();
        return QRectF(x, y, w, h);
    }
    const double x = f32(), y = f32(), w = f32(), h = f32();
    return QRectF(x, y, w, h);
}

namespace {

// A relative coordinate: seven bits with a sign, or fifteen when the top bit is set.
int relativeCoordinate(EmfPlusReader& in) {
    const std::uint8_t first = in.u8();
    if (!(first & 0x80))
        return std::int8_t(std::uint8_t(first << 1)) >> 1;
    const auto value = std::uint16_t((first & 0x7F) << 8 | in.u8());
    return std::int16_t(std::uint16_t(value << 1)) >> 1;
}

} // namespace

std::vector<QPointF> EmfPlusReader::points(std::uint32_t count, bool compressed, bool relative) {
    const std::size_t smallest = relative ? 2 : compressed ? 4 : 8;
    if (count > left() / smallest) {
        failed_ = true;
        return {};
    }
    std::vector<QPointF> out;
    out.reserve(count);
    QPointF last;
    for (std::uint32_t i = 0; i < count && ok(); ++i) {
        if (relative) {
            const int dx = relativeCoordinate(*this);
            last += QPointF(dx, relativeCoordinate(*this));
        } else if (compressed) {
            const double x = i16();
            last = QPointF(x, i16());
        } else {
            const double x = f32();
            last = QPointF(x, f32());
        }
        out.push_back(last);
    }
    return ok() ? out : std::vector<QPointF>();
}

double emfPlusUnitToPixels(std::uint32_t unit, double dpi) {
    switch (unit) {
    case 3: // point
        return dpi / 72.0;
    case 4: // inch
        return dpi;
    case 5: // document, 1/300 inch
        return dpi / 300.0;
    case 6: // millimetre
        return dpi / 25.4;
    default:
        return 1.0;
    }
}

namespace {

constexpr std::uint32_t ImageBitmap = 1;
constexpr std::uint32_t BitmapCompressed = 1;

QImage bitmapPixels(EmfPlusReader& in, std::int32_t width, std::int32_t height, std::int32_t stride,
                    std::uint32_t pixelFormat) {
    QImage::Format format;
    int bytesPerPixel = 4;
    switch (pixelFormat) {
    case 0x00021808:
        format = QImage::Format_BGR888, bytesPerPixel = 3;
        break;
    case 0x00022009:
        format = QImage::Format_RGB32;
        break;
    case 0x0026200A:
        format = QImage::Format_ARGB32;
        break;
    case 0x000E200B:
        format = QImage::Format_ARGB32_Premultiplied;
        break;
    default:
        return {}; // indexed, 16-bit and 48/64-bit pixels are rare in files
    }
    if (width <= 0 || height <= 0 || std::int64_t(width) * height > MaxDibPixels ||
        std::int64_t(stride) < std::int64_t(width) * bytesPerPixel ||
        std::int64_t(stride) * height > std::int64_t(in.left()))
        return {};
    const auto data = in.bytes(std::size_t(stride) * std::size_t(height));
    QImage image(width, height, format);
    if (image.isNull())
        return {};
    for (int y = 0; y < height; ++y)
        std::memcpy(image.scanLine(y), data.data() + std::size_t(stride) * std::size_t(y),
                    std::size_t(width) * std::size_t(bytesPerPixel));
    return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                         : QImage::Format_RGB32);
}

EmfPlusObject readFont(EmfPlusReader& in, const EmfPlusDpi& dpi) {
    in.u32();
    const double em = in.f32();
    const std::uint32_t unit = in.u32();
    const std::uint32_t style = in.u32();
    in.u32();
    const std::uint32_t length = in.u32();
    if (length > 256 || length * 2u > in.left())
        return {};
    QString family;
    for (std::uint32_t i = 0; i < length; ++i)
        family.append(QChar(in.u16()));
    const double emSize = em * emfPlusUnitToPixels(unit, dpi.y);
    if (!(emSize > 0))
        return {};
    QFont font(family);
    // A name of no family (empty, or only separators) leaves the font with
    // none, which recording it into a picture dereferences.
    if (font.families().isEmpty())
        font.setFamilies({QStringLiteral("Arial")});
    font.setPixelSize(FontPixels);
    font.setBold(style & 1);
    font.setItalic(style & 2);
    font.setUnderline(style & 4);
    font.setStrikeOut(style & 8);
    return EmfPlusFont{font, emSize};
}

EmfPlusObject readStringFormat(EmfPlusReader& in) {
    in.u32();
    const std::uint32_t flags = in.u32();
    in.u32(); // language
    const std::uint32_t along = in.u32();
    const std::uint32_t across = in.u32();
    EmfPlusStringFormat format;
    format.alignment = (along == 1   ? Qt::AlignHCenter
                        : along == 2 ? Qt::AlignRight
                                     : Qt::AlignLeft) |
                       (across == 1   ? Qt::AlignVCenter
                        : across == 2 ? Qt::AlignBottom
                                      : Qt::AlignTop);
    format.noWrap = flags & 0x1000;
    // Read from a copy: a format cut short before its margins still aligns.
    EmfPlusReader margins = in;
    margins.skip(4 * 4); // digit substitution and language, first tab, hotkey prefix
    const double leading = margins.f32(), trailing = margins.f32();
    if (margins.ok()) {
        format.leadingMargin = std::clamp(leading, 0.0, 100.0);
        format.trailingMargin = std::clamp(trailing, 0.0, 100.0);
    }
    return format;
}

constexpr int MaxRegionDepth = 32;

std::optional<QPainterPath> regionNode(EmfPlusReader& in, int depth, bool& failed) {
    const std::uint32_t type = in.u32();
    if (!in.ok() || depth > MaxRegionDepth) {
        failed = true;
        return QPainterPath();
    }
    if (type >= 1 && type <= 5) {
        const auto left = regionNode(in, depth + 1, failed);
        const auto right = regionNode(in, depth + 1, failed);
        constexpr double Far = 1e7;
        return combineAreas(left, right, CombineMode(type), QRectF(-Far, -Far, 2 * Far, 2 * Far));
    }
    QPainterPath path;
    switch (type) {
    case 0x10000000:
        path.addRect(in.rect(false));
        return path;
    case 0x10000001: {
        EmfPlusReader pathData(in.bytes(in.u32()));
        return emfPlusPath(pathData);
    }
    case 0x10000002:
        return path;
    case 0x10000003:
        return std::nullopt;
    default:
        failed = true;
        return path;
    }
}

} // namespace

QPainterPath emfPlusPath(EmfPlusReader& in) {
    in.u32(); // version
    const std::uint32_t count = in.u32();
    const std::uint32_t flags = in.u32();
    const std::vector<QPointF> points = in.points(count, flags & 0x4000, flags & 0x0800);
    std::vector<std::uint8_t> types;
    types.reserve(points.size());
    if (flags & 0x1000) { // run-length types: a count byte, then the type
        while (types.size() < points.size() && in.ok()) {
            const std::size_t run = in.u8() & 0x3F;
            const std::uint8_t type = in.u8();
            types.insert(types.end(), std::min(run, points.size() - types.size()), type);
        }
    } else {
        const auto bytes = in.bytes(points.size());
        types.assign(bytes.begin(), bytes.end());
    }
    QPainterPath path;
    if (!in.ok() || types.size() != points.size())
        return path;
    bool open = false;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const std::uint8_t kind = types[i] & 0x07;
        if (kind == 0 || !open) {
            path.moveTo(points[i]);
            open = true;
        } else if (kind == 3 && i + 2 < points.size()) {
            path.cubicTo(points[i], points[i + 1], points[i + 2]);
            i += 2;
        } else {
            path.lineTo(points[i]);
        }
        if (types[i] & 0x80) {
            path.closeSubpath();
            open = false;
        }
    }
    return path;
}

QImage emfPlusImage(EmfPlusReader& in) {
    in.u32(); // version
    if (in.u32() != ImageBitmap)
        return {}; // a metafile inside the metafile
    const std::int32_t width = in.i32();
    const std::int32_t height = in.i32();
    const std::int32_t stride = in.i32();
    const std::uint32_t pixelFormat = in.u32();
    const std::uint32_t kind = in.u32();
    if (!in.ok())
        return {};
    if (kind == BitmapCompressed)
        return decodeEmbeddedImage(in.bytes(in.left()));
    return bitmapPixels(in, width, height, stride, pixelFormat);
}

std::optional<QPainterPath> combineAreas(const std::optional<QPainterPath>& left,
                                         const std::optional<QPainterPath>& right, CombineMode mode,
                                         const QRectF& everything) {
    QPainterPath all;
    all.addRect(everything);
    const QPainterPath l = left.value_or(all), r = right.value_or(all);
    switch (mode) {
    case CombineMode::Replace:
        return right;
    case CombineMode::Intersect:
        return !left ? right : !right ? left : std::optional(l.intersected(r));
    case CombineMode::Union:
        return !left || !right ? std::nullopt : std::optional(l.united(r));
    case CombineMode::Xor:
        return l.subtracted(r).united(r.subtracted(l));
    case CombineMode::Exclude:
        return l.subtracted(r);
    case CombineMode::Complement:
        return r.subtracted(l);
    }
    return right;
}

EmfPlusObject readEmfPlusObject(EmfPlusObjectType type, std::span<const std::uint8_t> data,
                                const EmfPlusDpi& dpi) {
    EmfPlusReader in(data);
    EmfPlusObject object;
    switch (type) {
    case EmfPlusObjectType::Brush:
        object = EmfPlusBrush{readEmfPlusBrush(in)};
        break;
    case EmfPlusObjectType::Pen:
        object = readEmfPlusPen(in, dpi);
        break;
    case EmfPlusObjectType::Path:
        object = EmfPlusPath{emfPlusPath(in)};
        break;
    case EmfPlusObjectType::Region: {
        in.u32();
        in.u32(); // node count: the nodes say where they end
        bool failed = false;
        EmfPlusRegion region{regionNode(in, 0, failed)};
        if (!failed)
            object = region;
        break;
    }
    case EmfPlusObjectType::Image:
        object = EmfPlusImage{emfPlusImage(in)};
        break;
    case EmfPlusObjectType::Font:
        object = readFont(in, dpi);
        break;
    case EmfPlusObjectType::StringFormat:
        object = readStringFormat(in);
        break;
    default:
        break;
    }
    return in.ok() ? object : EmfPlusObject();
}

} // namespace sortello::metafile
