#include "runtime/system.hpp"

#include <filesystem>
#include <string>
#include <system_error>

#include "runtime/error.hpp"
#include "runtime/native_system.hpp"
#include "runtime/paths.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace kbnset::runtime {

namespace fs = std::filesystem;

namespace {

// Whether the save could create its temporary file in `dir`, asked without creating one.
// Only a refusal counts: anything else is left for the save itself to meet.
bool mayCreateIn(const fs::path& dir) {
#ifdef _WIN32
    HANDLE handle = CreateFileW(dir.c_str(), FILE_ADD_FILE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return GetLastError() != ERROR_ACCESS_DENIED;
    CloseHandle(handle);
    return true;
#else
    if (::faccessat(AT_FDCWD, dir.c_str(), W_OK | X_OK, AT_EACCESS) == 0) return true;
    return errno != EACCES && errno != EROFS && errno != EPERM;
#endif
}

}  // namespace

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
    const fs::path path = pathOf(target);
    const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
    if (!mayCreateIn(dir)) throw IoError("no file can be created in", utf8Of(dir), 0);
    std::error_code ec;
    fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status)) return;
    if (!fs::is_regular_file(status)) throw IoError("not a regular file", target, 0);
    constexpr auto kWrite =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if ((status.permissions() & kWrite) == fs::perms::none)
        throw ReadOnlyError("read-only file", target, 0);
}

System& nativeSystem() {
    static NativeSystem system;
    return system;
}

}  // namespace kbnset::runtime
