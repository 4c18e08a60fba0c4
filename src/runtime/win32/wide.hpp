#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "runtime/error.hpp"

// Every conversion between UTF-8 or a code page and UTF-16 at the Win32 calls. Header-only so
// that the window code can use it without pulling in the rest of the runtime.
//
// Strict by default: a malformed sequence, or a character that the target cannot hold
// exactly, raises ConversionError, never a replacement that would later reach a file name or
// the disk. Only text shown on the console may be converted leniently (the ...ForDisplay
// functions): there a replacement character beats losing the line.
namespace kbnset::runtime {

namespace wide_detail {

inline int checkedSize(std::size_t size) {
    if (size > 0x7fffffff) throw ConversionError("text too long");
    return static_cast<int>(size);
}

// `bytes` in `codePage` to UTF-16 with `flags`; none when the call fails.
inline bool toWide(std::string_view bytes, UINT codePage, DWORD flags, std::wstring& wide) {
    wide.clear();
    if (bytes.empty()) return true;
    const int size = checkedSize(bytes.size());
    const int n = MultiByteToWideChar(codePage, flags, bytes.data(), size, nullptr, 0);
    if (n <= 0) return false;
    wide.resize(static_cast<std::size_t>(n));
    return MultiByteToWideChar(codePage, flags, bytes.data(), size, wide.data(), n) == n;
}

// UTF-16 to `codePage` with `flags`; `usedDefault` is asked for only where Windows allows it
// (not for UTF-8). False when the call fails or had to put in the default character.
inline bool fromWide(std::wstring_view wide, UINT codePage, DWORD flags, bool checkDefault,
                     std::string& bytes) {
    bytes.clear();
    if (wide.empty()) return true;
    const int size = checkedSize(wide.size());
    BOOL usedDefault = FALSE;
    BOOL* used = checkDefault ? &usedDefault : nullptr;
    const int n =
        WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, used);
    if (n <= 0 || usedDefault) return false;
    bytes.resize(static_cast<std::size_t>(n));
    return WideCharToMultiByte(codePage, flags, wide.data(), size, bytes.data(), n, nullptr,
                               used) == n &&
           !usedDefault;
}

}  // namespace wide_detail

inline std::wstring widen(std::string_view utf8) {
    std::wstring wide;
    if (!wide_detail::toWide(utf8, CP_UTF8, MB_ERR_INVALID_CHARS, wide))
        throw ConversionError("not valid UTF-8");
    return wide;
}

inline std::string narrow(std::wstring_view wide) {
    std::string utf8;
    if (!wide_detail::fromWide(wide, CP_UTF8, WC_ERR_INVALID_CHARS, false, utf8))
        throw ConversionError("not valid UTF-16");
    return utf8;
}

// Bytes of `codePage` (the ANSI one for files) to UTF-16 and back, strictly. Without
// WC_NO_BEST_FIT_CHARS "é" would quietly become "e" and U+301C the wave dash of U+FF5E; the
// used-default flag catches what has no exact encoding at all.
inline std::wstring widenCodePage(std::string_view bytes, UINT codePage) {
    std::wstring wide;
    if (!wide_detail::toWide(bytes, codePage, MB_ERR_INVALID_CHARS, wide))
        throw ConversionError("bytes not valid in the code page");
    return wide;
}

inline std::string narrowCodePage(std::wstring_view wide, UINT codePage) {
    std::string bytes;
    if (!wide_detail::fromWide(wide, codePage, WC_NO_BEST_FIT_CHARS, true, bytes))
        throw ConversionError("text not representable in the code page");
    return bytes;
}

// Console output only: never fails, and what does not convert becomes a replacement.
inline std::wstring widenForDisplay(std::string_view utf8) {
    std::wstring wide;
    if (!wide_detail::toWide(utf8, CP_UTF8, 0, wide)) wide.clear();
    return wide;
}

inline std::string narrowForDisplay(std::wstring_view wide, UINT codePage) {
    std::string bytes;
    if (!wide_detail::fromWide(wide, codePage, 0, false, bytes)) bytes.clear();
    return bytes;
}

}  // namespace kbnset::runtime
