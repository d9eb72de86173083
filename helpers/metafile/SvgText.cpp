// SPDX-License-Identifier: GPL-3.0-or-later
#include "SvgText.h"

#include <array>
#include <charconv>
#include <cmath>

namespace sortello::metafile {

void appendNumber(std::string& out, double value) {
    if (!std::isfinite(value) || std::abs(value) < 0.0005)
        value = 0;
    std::array<char, 64> text{};
    auto [end, error] =
        std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, 3);
    if (error != std::errc()) {
        out += '0';
        return;
    }
    char* last = end;
    while (last > text.data() && last[-1] == '0')
        --last;
    if (last > text.data() && last[-1] == '.')
        --last;
    out.append(text.data(), last);
}

void appendViewBoxAndClose(std::string& out, double x, double y, double width, double height) {
    out += " viewBox=\"";
    for (const double value : {x, y, width, height}) {
        appendNumber(out, value);
        out += ' ';
    }
    out.back() = '"';
    out += " preserveAspectRatio=\"none\">";
}

void appendEscaped(std::string& out, std::string_view utf8) {
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            if (byte >= 0x20 || c == '\t')
                out += c;
        }
    }
}

void appendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

namespace {

// Code points of bytes 0x80..0x9F; the rest of the code page equals Latin-1.
// Unassigned bytes become U+FFFD.
constexpr std::array<char32_t, 32> windows1252High = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

} // namespace

std::string windows1252ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        appendUtf8(out, byte >= 0x80 && byte < 0xA0 ? windows1252High[byte - 0x80] : byte);
    }
    return out;
}

std::string colorText(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text = "#";
    for (const std::uint8_t part : {red, green, blue}) {
        text += digits[part >> 4];
        text += digits[part & 0x0F];
    }
    return text;
}

} // namespace sortello::metafile
