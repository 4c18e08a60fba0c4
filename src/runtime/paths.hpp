#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// UTF-8 text to std::filesystem paths and back; on Windows a path is UTF-16 inside.
namespace kbnset::runtime {

inline std::filesystem::path pathOf(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string utf8Of(const std::filesystem::path& path) {
    std::u8string u8 = path.u8string();
    return std::string(u8.begin(), u8.end());
}

}  // namespace kbnset::runtime
