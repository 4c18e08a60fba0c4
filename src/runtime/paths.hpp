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

// `name` in the folder `dir`, as UTF-8; an absolute `name` stands alone.
inline std::string pathIn(std::string_view dir, std::string_view name) {
    return utf8Of(pathOf(dir) / pathOf(name));
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

// The unit of pathLength() and kDirectoryLimit as the user reads it.
#ifdef _WIN32
inline constexpr std::string_view kPathLengthUnit = " 文字";
#else
inline constexpr std::string_view kPathLengthUnit = " バイト";
#endif

// Whether `path` names a drive ("C:\\DATA", "d:x") where this system has none: on POSIX such a
// path means nothing and is kept as the suite wrote it; on Windows it never holds.
inline bool isForeignDrivePath(std::string_view path) {
#ifdef _WIN32
    static_cast<void>(path);
    return false;
#else
    const char c = path.size() >= 2 && path[1] == ':' ? path[0] : '\0';
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
#endif
}

// The key under which two spellings of one path meet: Windows file names do not tell ASCII
// case apart; POSIX ones do.
inline std::string pathKey(std::string key) {
#ifdef _WIN32
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
#endif
    return key;
}

}  // namespace kbnset::runtime
