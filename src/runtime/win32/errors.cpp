#include <windows.h>

#include <string>

#include "runtime/error.hpp"
#include "runtime/win32/os.hpp"
#include "runtime/win32/wide.hpp"

namespace kbnset::runtime {

std::string systemErrorText(int code) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    std::wstring text = n > 0 && buffer != nullptr ? std::wstring(buffer, n) : std::wstring();
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    try {
        if (!text.empty()) return narrow(text);
    } catch (const ConversionError&) {
    }
    return "unknown error";
}

void throwLastError(std::string_view operation, std::string_view name) {
    const auto code = static_cast<int>(GetLastError());
    throw IoError(operation, name, code);
}

}  // namespace kbnset::runtime
