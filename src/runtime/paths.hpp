#pragma once

#include <climits>
#include <cstddef>
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

// The longest directory name the system takes in a call, in the units of pathLength(): bytes
// on POSIX (PATH_MAX less its terminator), UTF-16 units on Windows (MAX_PATH less the
// terminator and the backslash that a current directory is given).
#ifdef _WIN32
inline constexpr std::size_t kDirectoryLimit = 260 - 2;
#else
inline constexpr std::size_t kDirectoryLimit = PATH_MAX - 1;
#endif

inline std::size_t pathLength(std::string_view utf8) {
    return pathOf(utf8).native().size();
}

}  // namespace kbnset::runtime
