#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "runtime/error.hpp"

// Strict UTF-8, shared by the conversions that have to read it character by character.
namespace kbnset::runtime::utf8 {

// The character that begins at `pos`, moving `pos` past it. A truncated, overlong or
// surrogate sequence, or one beyond U+10FFFF, raises ConversionError.
inline char32_t next(std::string_view s, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(s[pos]);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    // Japanese text is mostly three-byte sequences: those that are valid pass in one test.
    if ((lead & 0xF0) == 0xE0 && s.size() - pos >= 3) {
        const auto t1 = static_cast<unsigned char>(s[pos + 1]);
        const auto t2 = static_cast<unsigned char>(s[pos + 2]);
        const char32_t c = (lead & 0x0Fu) << 12 | (t1 & 0x3Fu) << 6 | (t2 & 0x3Fu);
        if (((t1 & 0xC0) | (t2 & 0xC0) >> 2) == 0xA0 && c >= 0x800 && (c < 0xD800 || c > 0xDFFF)) {
            pos += 3;
            return c;
        }
    }
    const std::size_t length = lead < 0xC2   ? 0
                               : lead < 0xE0 ? 2
                               : lead < 0xF0 ? 3
                               : lead < 0xF5 ? 4
                                             : 0;
    if (length == 0 || pos + length > s.size()) throw ConversionError("invalid UTF-8");
    char32_t c = lead & (0x7Fu >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const auto t = static_cast<unsigned char>(s[pos + k]);
        if ((t & 0xC0) != 0x80) throw ConversionError("invalid UTF-8");
        c = (c << 6) | (t & 0x3Fu);
    }
    constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kMinimum[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        throw ConversionError("invalid UTF-8");
    pos += length;
    return c;
}

// Writes `c` at `p` (room for four bytes) and returns the end.
inline char* write(char32_t c, char* p) {
    auto byte = [&p](char32_t v) { *p++ = static_cast<char>(v); };
    if (c < 0x80) {
        byte(c);
    } else if (c < 0x800) {
        byte(0xC0 | (c >> 6));
        byte(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        byte(0xE0 | (c >> 12));
        byte(0x80 | ((c >> 6) & 0x3F));
        byte(0x80 | (c & 0x3F));
    } else {
        byte(0xF0 | (c >> 18));
        byte(0x80 | ((c >> 12) & 0x3F));
        byte(0x80 | ((c >> 6) & 0x3F));
        byte(0x80 | (c & 0x3F));
    }
    return p;
}

inline void append(char32_t c, std::string& out) {
    char bytes[4];
    out.append(bytes, static_cast<std::size_t>(write(c, bytes) - bytes));
}

}  // namespace kbnset::runtime::utf8
