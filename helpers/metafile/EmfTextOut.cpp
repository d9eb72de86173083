// SPDX-License-Identifier: GPL-3.0-or-later
// Text records. Each character is placed at the advance the file gives it, so
// that labels keep the width their writer laid them out in even where the
// font standing in for theirs is wider. The glyphs become outlines here, so
// the picture needs no font where it is shown and looks the same at any size.
#include "CodePage.h"
#include "EmfDevice.h"
#include "FaceMetrics.h"

#include <QFontMetricsF>

#include <cmath>
#include <numbers>
#include <vector>

#include <uemf.h>

namespace sortello::metafile {

namespace {

// Glyph outlines are taken at this many pixels to the em, and scaled.
constexpr int OutlineEm = 256;
constexpr std::uint32_t MaxChars = 65536;

struct Glyphs {
    QString text;
    std::vector<double> dx; // per character of text, logical units
    std::vector<double> dy;
};

// The characters and their advances. An 8-bit text gives one advance per
// byte; a two-byte character takes the sum of its two.
Glyphs readGlyphs(const Record& r, std::size_t at, bool wide, const LogFont& font) {
    Glyphs glyphs;
    const std::uint32_t count = r.u32(at + 8);
    const std::uint32_t offString = r.u32(at + 12);
    const std::uint32_t options = r.u32(at + 16);
    const std::uint32_t offDx = r.u32(at + 36);
    if (count == 0 || count > MaxChars || !r.holds(offString, count, wide ? 2 : 1))
        return glyphs;
    const bool pairs = options & U_ETO_PDY;
    std::vector<double> advances;
    if (offDx != 0 && r.holds(offDx, count, pairs ? 8 : 4))
        for (std::uint32_t i = 0; i < count * (pairs ? 2u : 1u); ++i)
            advances.push_back(r.s32(offDx + 4 * i));
    auto addAdvance = [&](std::uint32_t unit, std::uint32_t units) {
        if (advances.empty())
            return;
        double x = 0, y = 0;
        for (std::uint32_t k = unit; k < unit + units && k < count; ++k) {
            x += advances[pairs ? 2 * k : k];
            y += pairs ? advances[2 * k + 1] : 0;
        }
        glyphs.dx.push_back(x);
        glyphs.dy.push_back(y);
    };
    const std::string_view bytes = r.bytes.substr(offString, std::size_t(count) * (wide ? 2 : 1));
    const std::string face = font.face.toStdString();
    if (wide) {
        const bool symbol = isSymbolFont(face);
        for (std::uint32_t i = 0; i < count; ++i) {
            char16_t unit = char16_t(readU16(bytes, i * 2));
            // The Symbol font's characters, in whichever of its two places
            // they are given, are the Greek letters and signs it shows.
            if (symbol && (unit < 0x100 || (unit >= 0xF000 && unit <= 0xF0FF))) {
                const char byte = char(unit & 0xFF);
                const QString mapped =
                    QString::fromStdString(codePageToUtf8(std::string_view(&byte, 1), 2, face));
                glyphs.text += mapped.isEmpty() ? QChar(unit) : mapped.at(0);
            } else {
                glyphs.text += QChar(unit);
            }
            addAdvance(i, 1);
        }
        return glyphs;
    }
    for (std::uint32_t i = 0; i < count;) {
        const std::uint32_t units =
            isLeadByte(font.charset, static_cast<unsigned char>(bytes[i])) && i + 1 < count ? 2 : 1;
        const QString piece =
            QString::fromStdString(codePageToUtf8(bytes.substr(i, units), font.charset, face));
        glyphs.text += piece.isEmpty() ? QStringLiteral(" ") : piece.left(1);
        addAdvance(i, units);
        i += units;
    }
    return glyphs;
}

struct LaidOut {
    QPainterPath outline; // in logical units, y downwards, from the reference point
    double x = 0;         // where the advances end
    double y = 0;
};

// The glyphs along the baseline, each at the advance the file gives it when
// it gives them. sx and sy are logical units per outline pixel.
LaidOut layOut(const Glyphs& glyphs, const QFont& font, double sx, double sy) {
    LaidOut laid;
    // Glyphs packed closer than their own width overlap; where they do, both
    // are ink, not a hole as an even-odd fill would leave.
    laid.outline.setFillRule(Qt::WindingFill);
    if (glyphs.dx.empty()) {
        laid.outline.addText(0, 0, font, glyphs.text);
        laid.outline = QTransform::fromScale(sx, sy).map(laid.outline);
        laid.outline.setFillRule(Qt::WindingFill);
        laid.x = QFontMetricsF(font).horizontalAdvance(glyphs.text) * sx;
        return laid;
    }
    for (qsizetype i = 0; i < glyphs.text.size(); ++i) {
        // Control characters (a closing NUL, most often) show nothing.
        if (glyphs.text.at(i).unicode() >= 0x20) {
            QPainterPath glyph;
            glyph.addText(0, 0, font, glyphs.text.mid(i, 1));
            laid.outline.addPath(QTransform(sx, 0, 0, sy, laid.x, laid.y).map(glyph));
        }
        if (std::size_t(i) < glyphs.dx.size()) {
            laid.x += glyphs.dx[std::size_t(i)];
            laid.y -= glyphs.dy[std::size_t(i)];
        }
    }
    return laid;
}

// Where the reference point puts the text's start and baseline.
QPointF alignmentShift(std::uint32_t align, double width, double ascent, double descent) {
    const std::uint32_t horizontal = align & (U_TA_CENTER | U_TA_RIGHT);
    const double x = horizontal == U_TA_CENTER ? -width / 2 : horizontal == U_TA_RIGHT ? -width : 0;
    const std::uint32_t vertical = align & U_TA_BASELINE;
    const double y = vertical == U_TA_BASELINE ? 0 : (vertical & U_TA_BOTTOM) ? -descent : ascent;
    return {x, y};
}

// The mapping's scale and turn without its flips: text stands upright on the
// page whichever way the mapping runs.
QTransform upright(const QTransform& toDevice) {
    QTransform linear(toDevice.m11(), toDevice.m12(), toDevice.m21(), toDevice.m22(), 0, 0);
    if (linear.m11() < 0 && linear.m12() == 0)
        linear = QTransform(-linear.m11(), -linear.m12(), linear.m21(), linear.m22(), 0, 0);
    if (linear.m22() < 0 && linear.m21() == 0)
        linear = QTransform(linear.m11(), linear.m12(), -linear.m21(), -linear.m22(), 0, 0);
    return linear;
}

double emOf(const LogFont& font) {
    const FaceMetrics& metrics = metricsOfFace(font.face.toStdString());
    if (font.height < 0)
        return -double(font.height);
    if (font.height > 0)
        return font.height / (metrics.ascent + metrics.descent);
    return 12;
}

} // namespace

double EmfDevice::naturalWidthFactor(const QTransform& toDevice) const {
    // A font of no given width keeps its own proportions on paper: on a
    // device whose pixels are not square, or through a mapping that scales
    // across and down unevenly, its glyphs are as wide in millimetres as the
    // face makes them for their height, as the reference draws them.
    const double mmPerPixelX = deviceMm.width() / devicePixels.width();
    const double mmPerPixelY = deviceMm.height() / devicePixels.height();
    const double across = std::hypot(toDevice.m11() * mmPerPixelX, toDevice.m12() * mmPerPixelY);
    const double down = std::hypot(toDevice.m21() * mmPerPixelX, toDevice.m22() * mmPerPixelY);
    if (!(across > 0) || !(down > 0) || !std::isfinite(across / down))
        return 1;
    return down / across;
}

QFont EmfDevice::fontFor(double) const {
    const std::string face = dc.font.face.toStdString();
    QString family = dc.font.face;
    // The Symbol font's signs are given as Unicode, which the fonts called
    // Symbol here do not map; LibreOffice's own symbol font does.
    if (dc.font.charset == 2 && isSymbolFont(face))
        family = QStringLiteral("OpenSymbol");
    QFont font(family.isEmpty() ? QStringLiteral("Arial") : family);
    font.setPixelSize(OutlineEm);
    font.setWeight(QFont::Weight(std::clamp(dc.font.weight == 0 ? 400 : dc.font.weight, 1, 1000)));
    font.setItalic(dc.font.italic);
    font.setUnderline(dc.font.underline);
    font.setStrikeOut(dc.font.strikeOut);
    font.setKerning(false);
    return font;
}

void EmfDevice::textOut(const Record& r, std::size_t at, bool wide, QPointF) {
    const std::uint32_t options = r.u32(at + 16);
    const Glyphs glyphs = readGlyphs(r, at, wide, dc.font);
    const bool updatePosition = dc.textAlign & U_TA_UPDATECP;
    const QPointF reference = updatePosition ? dc.position : r.point(at);
    const QRectF box = EmfDevice::box(r, at + 20);
    const QTransform toDevice = logicalToDevice();

    // ETO_NO_RECT: the writer asks for no box, opaque or clipping, at all.
    const bool noBox = options & U_ETO_NO_RECT;
    if ((options & U_ETO_OPAQUE) && !noBox && !box.isEmpty() &&
        withinReach((toDevice * deviceToPicture).mapRect(box)) && beginDrawing(toDevice)) {
        painter.fillRect(box, dc.backColor);
        endDrawing();
    }
    if (glyphs.text.isEmpty())
        return;

    const double em = emOf(dc.font);
    const double k = em / OutlineEm; // logical units per outline pixel
    const QFont font = fontFor(em);
    const QFontMetricsF metrics(font);
    double stretch = 1;
    if (dc.font.width > 0 && metrics.averageCharWidth() > 0)
        stretch = dc.font.width / (metrics.averageCharWidth() * k);
    else
        stretch = naturalWidthFactor(toDevice);

    const auto [outline, x, y] = layOut(glyphs, font, k * stretch, k);
    // Text is aligned by the ascent of the font that draws it, as the
    // reference aligns it: a face missing here (Segoe UI, say) stands in
    // with a shorter one than its own.
    const double ascent = metrics.ascent() * k, descent = metrics.descent() * k;
    const std::uint32_t horizontal = dc.textAlign & (U_TA_CENTER | U_TA_RIGHT);
    // A centred or right-aligned text is as wide as the advances up to its
    // last character and that character's own width, as the reference
    // measures it: the last advance often holds a space the writer added.
    double alignedWidth = x;
    if (horizontal != 0 && !glyphs.dx.empty() &&
        glyphs.dx.size() == std::size_t(glyphs.text.size()))
        alignedWidth =
            x - glyphs.dx.back() + metrics.horizontalAdvance(glyphs.text.back()) * k * stretch;
    const QPointF shift = alignmentShift(dc.textAlign, alignedWidth, ascent, descent);
    const QTransform linear = upright(toDevice);
    const QPointF origin = toDevice.map(reference);
    // Tenths of a degree anticlockwise, negated as a double: a file may hold
    // any 32-bit value, the most negative one included.
    const double turn = -double(dc.font.escapement) / 10.0;
    const QTransform local = QTransform::fromTranslate(shift.x(), shift.y()) *
                             QTransform().rotate(turn) * linear *
                             QTransform::fromTranslate(origin.x(), origin.y());
    if (updatePosition && horizontal != U_TA_CENTER) {
        // The advance, vertical ones included, taken back into logical units.
        const QTransform along = QTransform().rotate(turn) * linear;
        const QTransform deviceLinear(toDevice.m11(), toDevice.m12(), toDevice.m21(),
                                      toDevice.m22(), 0, 0);
        bool invertible = false;
        const QTransform back = deviceLinear.inverted(&invertible);
        const QPointF advance = (along * back).map(QPointF(x, y));
        if (invertible)
            dc.position = horizontal == U_TA_RIGHT ? reference - advance : reference + advance;
    }

    if (path) {
        bool invertible = false;
        const QTransform back = toDevice.inverted(&invertible);
        if (invertible)
            path->addPath((local * back).map(outline));
        return;
    }
    if (!withinReach((local * deviceToPicture).mapRect(outline.boundingRect())) ||
        !beginDrawing(toDevice))
        return;
    painter.setWorldTransform(local * deviceToPicture);
    QPainterPath background;
    if (dc.opaqueBack && !noBox)
        background.addRect(QRectF(0, -ascent, x, ascent + descent));
    QPainterPath drawn = outline;
    if ((options & U_ETO_CLIPPED) && !noBox && !box.isEmpty()) {
        // The box is in logical units; the glyphs in the text's own.
        bool invertible = false;
        const QTransform toLocal = toDevice * local.inverted(&invertible);
        QPainterPath clip;
        clip.addRect(box);
        const QPainterPath localClip = toLocal.map(clip);
        if (invertible && !localClip.contains(drawn.boundingRect())) {
            drawn = drawn.intersected(localClip);
            background = background.intersected(localClip);
        }
    }
    if (!background.isEmpty())
        painter.fillPath(background, dc.backColor);
    painter.fillPath(drawn, dc.textColor);
    endDrawing();
}

void EmfDevice::smallTextOut(const Record& r) {
    // The compact form of ExtTextOutW: no advances, the box only when asked
    // for and, with ETO_SMALL_CHARS, each UTF-16 unit stored as its low byte.
    // It is rewritten into the long form and drawn as that.
    const std::uint32_t count = r.u32(16);
    const std::uint32_t options = r.u32(20);
    const bool hasBox = !(options & U_ETO_NO_RECT);
    const std::size_t textAt = hasBox ? 52 : 36;
    const bool small = options & U_ETO_SMALL_CHARS;
    if (count == 0 || count > 65536 || !r.holds(textAt, count, small ? 1 : 2))
        return;
    std::string text;
    appendU32(text, U_EMR_EXTTEXTOUTW);
    appendU32(text, 0); // its size, once known
    for (int i = 0; i < 4; ++i)
        appendU32(text, 0); // bounds, unused
    for (std::size_t at = 24; at < 36; at += 4)
        appendU32(text, r.u32(at)); // graphics mode and scales
    appendU32(text, r.u32(8));
    appendU32(text, r.u32(12));
    appendU32(text, count);
    appendU32(text, 76);
    appendU32(text, options & ~std::uint32_t(U_ETO_SMALL_CHARS));
    for (std::size_t at = 36; at < 52; at += 4)
        appendU32(text, hasBox ? r.u32(at) : 0);
    appendU32(text, 0); // no advances
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint16_t unit =
            small ? std::uint8_t(r.bytes[textAt + i]) : readU16(r.bytes, textAt + 2 * i);
        text.push_back(char(unit & 0xFF));
        text.push_back(char(unit >> 8));
    }
    writeU32(text, 4, std::uint32_t(text.size()));
    textOut(Record(text), 36, true, QPointF(r.f32(28), r.f32(32)));
}

bool EmfDevice::playText(std::uint32_t type, const Record& r) {
    switch (type) {
    case U_EMR_EXTTEXTOUTA:
    case U_EMR_EXTTEXTOUTW:
        textOut(r, 36, type == U_EMR_EXTTEXTOUTW, QPointF(r.f32(28), r.f32(32)));
        break;
    case U_EMR_SMALLTEXTOUT:
        smallTextOut(r);
        break;
    case U_EMR_POLYTEXTOUTA:
    case U_EMR_POLYTEXTOUTW: {
        const std::uint32_t strings = r.u32(36);
        if (strings > 4096 || !r.holds(40, strings, 40))
            break;
        for (std::uint32_t i = 0; i < strings; ++i)
            textOut(r, 40 + std::size_t(i) * 40, type == U_EMR_POLYTEXTOUTW, {});
        break;
    }
    default:
        return false;
    }
    return true;
}

} // namespace sortello::metafile
