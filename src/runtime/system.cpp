#include "runtime/system.hpp"

#include <filesystem>
#include <string>
#include <system_error>

#include "runtime/error.hpp"
#include "runtime/paths.hpp"

namespace kbnset::runtime {

namespace fs = std::filesystem;

bool System::isDirectory(std::string_view name) {
    std::error_code ec;
    return fs::is_directory(pathOf(name), ec);
}

std::string System::fullPath(std::string_view name) {
    fs::path path = pathOf(name);
    if (!path.is_absolute()) path = pathOf(currentDirectory()) / path;
    std::error_code ec;
    fs::path canonical = fs::weakly_canonical(path, ec);
    return utf8Of(ec ? path.lexically_normal() : canonical);
}

void System::checkReplaceable(std::string_view target) {
    std::error_code ec;
    fs::file_status status = fs::status(pathOf(target), ec);
    if (ec || !fs::exists(status)) return;
    if (!fs::is_regular_file(status)) throw IoError("not a file: " + std::string(target));
    constexpr auto kWrite =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if ((status.permissions() & kWrite) == fs::perms::none)
        throw IoError("read-only: " + std::string(target));
}

}  // namespace kbnset::runtime
