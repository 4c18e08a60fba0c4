#include <windows.h>

#include <string>

#include "runtime/native_system.hpp"
#include "runtime/win32/wide.hpp"

namespace kbnset::runtime {

// Where the suite's VB programs keep GetSetting values. Any failure (no key, no value, not a
// string) gives the fallback, as GetSetting does.
std::string NativeSystem::readSetting(std::string_view application, std::string_view section,
                                      std::string_view key, std::string_view fallback) {
    const std::wstring subkey =
        L"Software\\VB and VBA Program Settings\\" + widen(application) + L"\\" + widen(section);
    const std::wstring value = widen(key);
    std::wstring text(64, L'\0');
    for (;;) {
        auto bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        const LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, subkey.c_str(), value.c_str(),
                                            RRF_RT_REG_SZ, nullptr, text.data(), &bytes);
        if (status == ERROR_MORE_DATA) {
            text.resize(bytes / sizeof(wchar_t) + 1);
            continue;
        }
        if (status != ERROR_SUCCESS) return std::string(fallback);
        text.resize(bytes / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0') text.pop_back();
        return narrow(text);
    }
}

}  // namespace kbnset::runtime
