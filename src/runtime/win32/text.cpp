#include "runtime/text.hpp"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/code_page_table.hpp"
#include "runtime/error.hpp"
#include "runtime/win32/wide.hpp"

namespace kbnset::runtime {

namespace {

// The system default locale by its name. Windows also takes the LOCALE_NAME_SYSTEM_DEFAULT
// alias, but Wine refuses it for LCMAP_UPPERCASE, and the name means the same on both.
const std::wstring& systemLocale() {
    static const std::wstring name = [] {
        wchar_t buffer[LOCALE_NAME_MAX_LENGTH] = {};
        if (GetSystemDefaultLocaleName(buffer, LOCALE_NAME_MAX_LENGTH) == 0)
            return std::wstring(LOCALE_NAME_SYSTEM_DEFAULT);
        return std::wstring(buffer);
    }();
    return name;
}

// The ANSI code page, one character at a time through the code-page functions; the table
// keeps the answers.
class AnsiCodePage : public CodePageConverter {
  public:
    bool isLeadByte(unsigned char b) const override { return IsDBCSLeadByte(b) != FALSE; }

    std::optional<char32_t> decode(std::string_view bytes) const override {
        try {
            return single(widenCodePage(bytes, CP_ACP));
        } catch (const ConversionError&) {
            return std::nullopt;
        }
    }

    std::optional<std::string> encode(char32_t c) const override {
        if (c >= 0x10000 || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
        try {
            return narrowCodePage(std::wstring(1, static_cast<wchar_t>(c)), CP_ACP);
        } catch (const ConversionError&) {
            return std::nullopt;
        }
    }

  private:
    static std::optional<char32_t> single(const std::wstring& wide) {
        if (wide.size() != 1 || (wide[0] >= 0xD800 && wide[0] <= 0xDFFF)) return std::nullopt;
        return static_cast<char32_t>(wide[0]);
    }
};

const AnsiCodePage kAnsi;

// The table holds code pages of one or two bytes a character (932 and the other ANSI ones);
// anything wider, such as UTF-8 set as the ANSI code page, is converted whole.
bool tableFits() {
    static const bool fits = [] {
        CPINFO info{};
        return GetCPInfo(CP_ACP, &info) && info.MaxCharSize <= 2;
    }();
    return fits;
}

void rejectNul(std::string_view text) {
    // The decoder would pass NUL through, and a NUL inside a value is never real text.
    if (text.find('\0') != std::string_view::npos) throw ConversionError("NUL in the text");
}

}  // namespace

namespace {

// Code pages that the table does not hold are converted whole, then copied; their
// conversions stay within the same room.
char* copyWithin(const std::string& converted, std::size_t room, char* out) {
    if (converted.size() > room) throw ConversionError("conversion longer than expected");
    return std::copy(converted.begin(), converted.end(), out);
}

}  // namespace

char* fromAnsi(std::string_view bytes, char* out) {
    if (!tableFits()) {
        rejectNul(bytes);
        return copyWithin(narrow(widenCodePage(bytes, CP_ACP)), kFromAnsiRoom * bytes.size(), out);
    }
    return decodeWithTable(kAnsi, bytes, out);
}

char* toAnsi(std::string_view utf8, char* out) {
    if (!tableFits()) {
        rejectNul(utf8);
        return copyWithin(narrowCodePage(widen(utf8), CP_ACP), kToAnsiRoom * utf8.size(), out);
    }
    return encodeWithTable(kAnsi, utf8, out);
}

std::string toUpperHalfwidth(std::string_view utf8) {
    if (utf8.empty()) return {};
    const std::wstring wide = widen(utf8);
    const int size = wide_detail::checkedSize(wide.size());
    constexpr DWORD kFlags = LCMAP_UPPERCASE | LCMAP_HALFWIDTH;
    const wchar_t* locale = systemLocale().c_str();
    const int n = LCMapStringEx(locale, kFlags, wide.data(), size, nullptr, 0, nullptr, nullptr, 0);
    if (n <= 0) throw ConversionError("case and width mapping failed");
    std::wstring mapped(static_cast<std::size_t>(n), L'\0');
    const int written =
        LCMapStringEx(locale, kFlags, wide.data(), size, mapped.data(), n, nullptr, nullptr, 0);
    if (written <= 0) throw ConversionError("case and width mapping failed");
    mapped.resize(static_cast<std::size_t>(written));
    return narrow(mapped);
}

}  // namespace kbnset::runtime
