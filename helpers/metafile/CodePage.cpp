// SPDX-License-Identifier: GPL-3.0-or-later
#include "CodePage.h"

#include "SvgText.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>

namespace sortello::metafile {

namespace {

constexpr std::uint8_t SymbolCharset = 2;

struct CharsetCodePage {
    std::uint8_t charset;
    const char* codePage;
};

constexpr CharsetCodePage codePages[] = {
    {128, "CP932"},                    // Shift-JIS
    {129, "CP949"},                    // Hangul
    {130, "JOHAB"},                    // Johab
    {134, "CP936"},                    // GB2312
    {136, "CP950"},                    // Big5
    {161, "CP1253"},                   // Greek
    {162, "CP1254"},                   // Turkish
    {163, "CP1258"},                   // Vietnamese
    {177, "CP1255"},                   // Hebrew
    {178, "CP1256"},                   // Arabic
    {186, "CP1257"},                   // Baltic
    {204, "CP1251"},                   // Russian
    {222, "CP874"},                    // Thai
    {238, "CP1250"},                   // Central European
    {77, "MACINTOSH"}, {255, "CP437"}, // OEM
};

constexpr std::string_view replacement = "\xEF\xBF\xBD";

class Converter {
public:
    explicit Converter(const char* codePage) : handle(iconv_open("UTF-8", codePage)) {}
    ~Converter() {
        if (valid())
            iconv_close(handle);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return handle != reinterpret_cast<iconv_t>(-1); }

    // No code page makes more than four UTF-8 bytes of one input byte, so
    // the output is bounded by the input and nothing is allocated per step.
    std::string convert(std::string_view text) {
        std::string out;
        out.reserve(text.size() * 4);
        char* in = const_cast<char*>(text.data());
        std::size_t inLeft = text.size();
        char buffer[256];
        while (inLeft > 0) {
            char* to = buffer;
            std::size_t toLeft = sizeof buffer;
            const std::size_t result = iconv(handle, &in, &inLeft, &to, &toLeft);
            out.append(buffer, to);
            if (result != static_cast<std::size_t>(-1))
                continue;
            if (errno == E2BIG)
                continue;
            // An unassigned byte, or a lead byte with its trail cut off.
            out += replacement;
            if (errno == EINVAL) {
                break;
            }
            ++in;
            --inLeft;
            iconv(handle, nullptr, nullptr, nullptr, nullptr);
        }
        return out;
    }

private:
    iconv_t handle;
};

// The Symbol font's letters are Greek and its upper half mathematics; the
// fonts installed here have them at their Unicode places only.
constexpr char16_t symbolUpper[26] = {0x0391, 0x0392, 0x03A7, 0x0394, 0x0395, 0x03A6, 0x0393,
                                      0x0397, 0x0399, 0x03D1, 0x039A, 0x039B, 0x039C, 0x039D,
                                      0x039F, 0x03A0, 0x0398, 0x03A1, 0x03A3, 0x03A4, 0x03A5,
                                      0x03C2, 0x03A9, 0x039E, 0x03A8, 0x0396};
constexpr char16_t symbolLower[26] = {0x03B1, 0x03B2, 0x03C7, 0x03B4, 0x03B5, 0x03C6, 0x03B3,
                                      0x03B7, 0x03B9, 0x03D5, 0x03BA, 0x03BB, 0x03BC, 0x03BD,
                                      0x03BF, 0x03C0, 0x03B8, 0x03C1, 0x03C3, 0x03C4, 0x03C5,
                                      0x03D6, 0x03C9, 0x03BE, 0x03C8, 0x03B6};
constexpr char16_t symbolHigh[96] = {
    0x20AC, 0x03D2, 0x2032, 0x2264, 0x2044, 0x221E, 0x0192, 0x2663, 0x2666, 0x2665, 0x2660, 0x2194,
    0x2190, 0x2191, 0x2192, 0x2193, 0x00B0, 0x00B1, 0x2033, 0x2265, 0x00D7, 0x221D, 0x2202, 0x2022,
    0x00F7, 0x2260, 0x2261, 0x2248, 0x2026, 0x23D0, 0x23AF, 0x21B5, 0x2135, 0x2111, 0x211C, 0x2118,
    0x2297, 0x2295, 0x2205, 0x2229, 0x222A, 0x2283, 0x2287, 0x2284, 0x2282, 0x2286, 0x2208, 0x2209,
    0x2220, 0x2207, 0x00AE, 0x00A9, 0x2122, 0x220F, 0x221A, 0x22C5, 0x00AC, 0x2227, 0x2228, 0x21D4,
    0x21D0, 0x21D1, 0x21D2, 0x21D3, 0x25CA, 0x2329, 0x00AE, 0x00A9, 0x2122, 0x2211, 0x239B, 0x239C,
    0x239D, 0x23A1, 0x23A2, 0x23A3, 0x23A7, 0x23A8, 0x23A9, 0x23AA, 0xF0F0, 0x232A, 0x222B, 0x2320,
    0x23AE, 0x2321, 0x239E, 0x239F, 0x23A0, 0x23A4, 0x23A5, 0x23A6, 0x23AB, 0x23AC, 0x23AD, 0xF0FF,
};

// The Symbol font's own forms of punctuation, arithmetic and most signs are
// drawn with OpenSymbol, which keeps them in its private-use area: its
// brackets, minus and arrows there are the Symbol font's (a minus as wide as
// a hyphen, not the long Unicode one), and the reference renderer draws them
// from there. A run of bytes maps onto a run of codes.
struct SymbolRun {
    unsigned char first;
    unsigned char last;
    char32_t code;
};
constexpr SymbolRun openSymbolRuns[] = {
    {0x21, 0x25, 0xE100}, {0x26, 0x26, 0xE16A}, {0x27, 0x2F, 0xE105}, {0x3A, 0x3E, 0xE10E},
    {0x40, 0x40, 0xE113}, {0x5B, 0x5B, 0xE114}, {0x5D, 0x5E, 0xE115}, {0x60, 0x60, 0x00AF},
    {0x66, 0x66, 0x03D5}, {0x6A, 0x6A, 0x03C6}, {0x7B, 0x7B, 0xE117}, {0x7D, 0x7E, 0xE118},
    {0xA0, 0xA0, 0xE11A}, {0xA3, 0xA3, 0xE11B}, {0xA4, 0xA4, 0x2215}, {0xA5, 0xA7, 0xE11C},
    {0xA9, 0xB1, 0xE11F}, {0xB3, 0xBC, 0xE128}, {0xBD, 0xBD, 0x2502}, {0xBE, 0xBE, 0x2500},
    {0xBF, 0xBF, 0x21B2}, {0xC0, 0xCF, 0xE132}, {0xD1, 0xD1, 0xE142}, {0xD4, 0xDC, 0xE143},
    {0xDE, 0xDE, 0xE14C}, {0xE1, 0xE5, 0xE14D}, {0xE6, 0xEF, 0xF8EB}, {0xF4, 0xF4, 0xF8F5},
    {0xF6, 0xFE, 0xF8F6},
};

char32_t symbolFontCode(unsigned char byte) {
    for (const SymbolRun& run : openSymbolRuns) {
        if (byte >= run.first && byte <= run.last)
            return run.code + (byte - run.first);
    }
    switch (byte) {
    case 0x22:
        return 0x2200;
    case 0x24:
        return 0x2203;
    case 0x27:
        return 0x220B;
    case 0x2A:
        return 0x2217;
    case 0x2D:
        return 0x2212;
    case 0x40:
        return 0x2245;
    case 0x5C:
        return 0x2234;
    case 0x5E:
        return 0x22A5;
    case 0x60:
        return 0x203E;
    case 0x7E:
        return 0x223C;
    default:
        break;
    }
    if (byte >= 'A' && byte <= 'Z')
        return symbolUpper[byte - 'A'];
    if (byte >= 'a' && byte <= 'z')
        return symbolLower[byte - 'a'];
    if (byte >= 0xA0)
        return symbolHigh[byte - 0xA0];
    if (byte >= 0x20 && byte < 0x7F)
        return byte;
    return 0xF000 + byte;
}

} // namespace

bool isSymbolFont(std::string_view face) {
    constexpr std::string_view symbol = "symbol";
    return face.size() == symbol.size() &&
           std::equal(face.begin(), face.end(), symbol.begin(),
                      [](char a, char b) { return (a | 0x20) == b; });
}

namespace {

std::string symbolsToUtf8(std::string_view text, std::string_view face) {
    const bool symbolFont = isSymbolFont(face);
    std::string out;
    out.reserve(text.size() * 3);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        appendUtf8(out, symbolFont ? symbolFontCode(byte) : 0xF000 + byte);
    }
    return out;
}

} // namespace

const char* codePageOf(std::uint8_t charset) {
    for (const CharsetCodePage& entry : codePages) {
        if (entry.charset == charset)
            return entry.codePage;
    }
    return "CP1252";
}

bool isLeadByte(std::uint8_t charset, unsigned char byte) {
    switch (charset) {
    case 128: // Shift-JIS
        return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 129: // Hangul
    case 134: // GB2312
    case 136: // Big5
        return byte >= 0x81 && byte <= 0xFE;
    case 130: // Johab
        return (byte >= 0x84 && byte <= 0xD3) || (byte >= 0xD8 && byte <= 0xF9);
    default:
        return false;
    }
}

std::string codePageToUtf8(std::string_view text, std::uint8_t charset, std::string_view face) {
    if (charset == SymbolCharset)
        return symbolsToUtf8(text, face);
    const char* codePage = codePageOf(charset);
    if (std::string_view(codePage) == "CP1252")
        return windows1252ToUtf8(text);
    Converter converter(codePage);
    // Without the conversion module, Western is closer than nothing.
    if (!converter.valid())
        return windows1252ToUtf8(text);
    return converter.convert(text);
}

} // namespace sortello::metafile
