#include "runtime/system.hpp"

#include <filesystem>
#include <string>
#include <system_error>

#include "runtime/error.hpp"
#include "runtime/native_system.hpp"
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

System& nativeSystem() {
    static NativeSystem system;
    return system;
}

}  // namespace kbnset::runtime
