#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "runtime/error.hpp"

// UTF-8 inside the program, UTF-16 at every Win32 call. Header-only so that the window code
// can use it without pulling in the rest of the runtime.
namespace kbnset::runtime {

// Strict both ways: a malformed sequence is an error, never a replacement character that
// would later reach a file name or the disk.
inline std::wstring widen(std::string_view utf8) {
    if (utf8.empty()) return {};
    if (utf8.size() > 0x7fffffff) throw ConversionError("text too long");
    const int size = static_cast<int>(utf8.size());
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
    if (n <= 0) throw ConversionError("not valid UTF-8");
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, wide.data(), n);
    return wide;
}

inline std::string narrow(std::wstring_view wide) {
    if (wide.empty()) return {};
    if (wide.size() > 0x7fffffff) throw ConversionError("text too long");
    const int size = static_cast<int>(wide.size());
    int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size, nullptr, 0,
                                nullptr, nullptr);
    if (n <= 0) throw ConversionError("not valid UTF-16");
    std::string utf8(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size, utf8.data(), n, nullptr,
                        nullptr);
    return utf8;
}

}  // namespace kbnset::runtime
