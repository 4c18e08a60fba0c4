#include "runtime/text.hpp"

#include <windows.h>

#include <limits>
#include <string>
#include <string_view>

#include "runtime/error.hpp"
#include "runtime/win32/wide.hpp"

namespace kbnset::runtime {

namespace {

int checkedSize(std::size_t size) {
    if (size > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        throw ConversionError("text too long");
    return static_cast<int>(size);
}

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

}  // namespace

std::string fromAnsi(std::string_view bytes) {
    if (bytes.empty()) return {};
    // The decoder would pass NUL through, and a NUL inside a value is never real text.
    if (bytes.find('\0') != std::string_view::npos) throw ConversionError("NUL in the text");
    const int size = checkedSize(bytes.size());
    const int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (n <= 0) throw ConversionError("bytes not valid in the ANSI code page");
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), size, wide.data(), n);
    return narrow(wide);
}

std::string toAnsi(std::string_view utf8) {
    if (utf8.empty()) return {};
    if (utf8.find('\0') != std::string_view::npos) throw ConversionError("NUL in the text");
    const std::wstring wide = widen(utf8);
    const int size = checkedSize(wide.size());
    // Without WC_NO_BEST_FIT_CHARS "é" would quietly become "e" and U+301C the wave dash of
    // U+FF5E; the used-default flag catches what has no exact encoding at all.
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr, 0,
                                      nullptr, &usedDefault);
    if (n <= 0 || usedDefault)
        throw ConversionError("text not representable in the ANSI code page");
    std::string bytes(static_cast<std::size_t>(n), '\0');
    usedDefault = FALSE;
    const int written = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size,
                                            bytes.data(), n, nullptr, &usedDefault);
    if (written != n || usedDefault)
        throw ConversionError("text not representable in the ANSI code page");
    return bytes;
}

std::string toUpperHalfwidth(std::string_view utf8) {
    if (utf8.empty()) return {};
    const std::wstring wide = widen(utf8);
    const int size = checkedSize(wide.size());
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
