// SPDX-License-Identifier: GPL-3.0-or-later
#include "WmfTextOut.h"
#include "WmfFunctions.h"

#include "CodePage.h"
#include "FaceMetrics.h"
#include "SvgText.h"
#include "WmfSvgStyle.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <numbers>
#include <string>

#include <fontconfig/fontconfig.h>
#include <libwmf/defs.h>

namespace sortello::metafile {

namespace {

constexpr std::uint8_t SymbolCharset = 2;

// The family fontconfig draws a face with on this machine: the face itself
// where it is installed, else the one that stands in for it.
std::string drawingFamily(const std::string& face) {
    static std::map<std::string, std::string> known;
    if (const auto found = known.find(face); found != known.end())
        return found->second;
    std::string family = face;
    if (FcPattern* pattern = FcPatternCreate()) {
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(face.c_str()));
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
            FcChar8* name = nullptr;
            if (FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch && name)
                family = reinterpret_cast<const char*>(name);
            FcPatternDestroy(match);
        }
        FcPatternDestroy(pattern);
    }
    return known[face] = family;
}

// The reference renderer places text by the metrics of the font it draws
// with. Where that is DejaVu, whose cell is taller than most, as it is here
// for faces not installed, the letters take DejaVu's ascent and descent; the
// stand-ins of the other common faces share their metrics.
const FaceMetrics& metricsOf(const char* face) {
    static constexpr FaceMetrics dejaVu{"dejavu", 0.928, 0.236};
    const std::string name = face ? face : "";
    if (!name.empty() && drawingFamily(name).rfind("DejaVu", 0) == 0)
        return dejaVu;
    return metricsOfFace(name);
}

constexpr double EstimatedAdvance = 0.5;

// The mean advance of the letters a-z and A-Z, in font sizes, in the faces
// that stand in for the common ones; a font record's width is that mean, and
// the reference renderer stretches the letters to give it.
double meanLetterAdvance(const char* face) {
    const std::string_view name = face ? face : "";
    for (const std::string_view serif : {"Times New Roman", "Times", "Liberation Serif", "Tinos"})
        if (name.size() == serif.size() &&
            std::equal(name.begin(), name.end(), serif.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            }))
            return 0.563;
    return 0.583; // Arial's, and the sans faces like it
}

} // namespace

std::vector<WmfFontRecord> readWmfFonts(std::string_view bytes, const WmfInfo& info) {
    std::vector<WmfFontRecord> fonts;
    forEachWmfRecord(bytes, info, [&](std::uint16_t function, std::string_view parameters) {
        if (function == wmf::CreateFontIndirect && parameters.size() >= 2)
            fonts.push_back({readS16(parameters, 0)});
        return true;
    });
    return fonts;
}

float estimatedWidth(wmfAPI* api, wmfFont*, char* text) {
    auto& canvas = *static_cast<WmfCanvas*>(api->device_data);
    // A second measure before anything is drawn is of a single letter.
    if (canvas.measuredSinceDrawn > 0 && text != canvas.lastMeasured)
        canvas.letterBuffer = text;
    canvas.lastMeasured = text;
    ++canvas.measuredSinceDrawn;
    return static_cast<float>(EstimatedAdvance * std::strlen(text));
}

void drawWmfText(wmfAPI*, WmfCanvas& canvas, wmfDrawText_t* text) {
    const bool letterByLetter = text->str && text->str == canvas.letterBuffer;
    const bool firstOfRecord = !letterByLetter || canvas.measuredSinceDrawn > 1;
    canvas.measuredSinceDrawn = 0;
    const wmfFont* font = text->dc->font;
    if (!text->str || !font)
        return;
    // ETO_OPAQUE: the record's rectangle is painted in the background colour
    // under the text, once for the whole string.
    if ((text->flags & ETO_OPAQUE) && firstOfRecord && text->TL.x != text->BR.x &&
        text->TL.y != text->BR.y) {
        std::string& out = canvas.svg;
        appendRectBetween(out, text->TL.x, text->TL.y, text->BR.x, text->BR.y);
        attribute(out, "fill", colorOf(text->dc->bgcolor));
        out += " stroke=\"none\"/>\n";
    }
    const auto* record = static_cast<const WmfFontRecord*>(font->user_data);
    const FaceMetrics& metrics = metricsOf(font->lfFaceName);
    const double height = std::abs(text->font_height);
    // A positive height is the cell's: ascent and descent together.
    double size =
        record && record->height > 0 ? height / (metrics.ascent + metrics.descent) : height;
    if (!(size > 0))
        size = 12 * canvas.onePixel();

    // The player puts top-aligned text a whole height below its point,
    // bottom-aligned text on it as if it were the baseline, and shifts
    // centred and right-aligned text by its estimated width. GDI puts the
    // baseline an ascent below the top or a descent above the bottom.
    const double angle = font->lfEscapement / 10.0 * std::numbers::pi / 180;
    const double along = std::cos(-angle);
    const double across = std::sin(-angle);
    double x = text->pt.x;
    double y = text->pt.y;
    const unsigned vertical = text->dc->textalign & TA_BASELINE;
    double down = 0;
    if (vertical == TA_TOP)
        down = size * metrics.ascent - height;
    else if (vertical == TA_BOTTOM)
        down = -size * metrics.descent;
    x -= down * across;
    y += down * along;
    const unsigned horizontal = text->dc->textalign & TA_CENTER;
    std::string_view anchor;
    if (!letterByLetter && horizontal != TA_LEFT) {
        const double shift =
            EstimatedAdvance * std::strlen(text->str) * text->font_height * text->font_ratio / 2;
        x += shift * along;
        y += shift * across;
        anchor = horizontal == TA_CENTER ? "middle" : "end";
    }

    // Letter by letter, each byte of a two-byte code page comes alone.
    std::string letters = text->str;
    if (firstOfRecord)
        canvas.heldLeadByte.clear();
    if (letterByLetter && !canvas.heldLeadByte.empty()) {
        letters.insert(0, canvas.heldLeadByte);
        canvas.heldLeadByte.clear();
        x = canvas.heldX;
        y = canvas.heldY;
    } else if (letterByLetter && letters.size() == 1 &&
               isLeadByte(font->lfCharSet, static_cast<unsigned char>(letters[0]))) {
        canvas.heldLeadByte = letters;
        canvas.heldX = x;
        canvas.heldY = y;
        return;
    }

    std::string& out = canvas.svg;
    out += "<text";
    attribute(out, "x", x);
    attribute(out, "y", y);
    if (font->lfFaceName && *font->lfFaceName)
        // The Symbol font's signs are given as OpenSymbol codes them, which
        // the fonts called Symbol here do not map; LibreOffice's own symbol
        // font does.
        // Other symbol fonts' names are in letters, not in their symbols.
        attribute(out, "font-family",
                  font->lfCharSet == SymbolCharset && isSymbolFont(font->lfFaceName)
                      ? "OpenSymbol"
                      : codePageToUtf8(font->lfFaceName,
                                       font->lfCharSet == SymbolCharset ? 0 : font->lfCharSet));
    attribute(out, "font-size", size);
    if (font->lfWeight >= 100 && font->lfWeight <= 900)
        attribute(out, "font-weight", std::round(font->lfWeight / 100.0) * 100);
    if (font->lfItalic)
        out += " font-style=\"italic\"";
    if (!anchor.empty())
        attribute(out, "text-anchor", anchor);
    attribute(out, "fill", colorOf(text->dc->textcolor));
    // The font size is in the device's vertical units; where the picture is
    // stretched to a shape other than its device area's, the letters keep
    // their own proportions, as GDI draws them at the size shown.
    double stretch = canvas.viewWidth / canvas.viewHeight / canvas.aspect;
    // libwmf gives a font of the face's own width as wide as it is high.
    const int fontHeight = std::abs(static_cast<std::int16_t>(font->lfHeight));
    const int fontWidth = std::abs(static_cast<std::int16_t>(font->lfWidth));
    if (fontWidth != 0 && fontWidth != fontHeight && height > 0) {
        const double sizeInUnits = size * fontHeight / height;
        stretch *= fontWidth / (meanLetterAdvance(font->lfFaceName) * sizeInUnits);
    }
    const bool rotated = font->lfEscapement != 0;
    const bool stretched = std::isfinite(stretch) && std::abs(stretch - 1) > 0.01;
    if (rotated || stretched) {
        out += " transform=\"translate(";
        appendPoint(out, x, y);
        out += ')';
        // Escapement is in tenths of a degree, counterclockwise on screen.
        if (rotated) {
            out += " rotate(";
            appendNumber(out, -font->lfEscapement / 10.0);
            out += ')';
        }
        if (stretched) {
            out += " scale(";
            appendNumber(out, stretch);
            out += " 1)";
        }
        out += " translate(";
        appendPoint(out, -x, -y);
        out += ")\"";
    }
    // GDI draws every space, and centres or right-aligns a string by its
    // width with the spaces at its ends; SVG would drop those.
    out += " xml:space=\"preserve\">";
    appendEscaped(
        out, codePageToUtf8(letters, font->lfCharSet, font->lfFaceName ? font->lfFaceName : ""));
    out += "</text>\n";
}

} // namespace sortello::metafile
