#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/error.hpp"
#include "runtime/native_system.hpp"
#include "runtime/posix/os.hpp"

namespace kbnset::runtime {

namespace {

constexpr int kMaxLinks = 40;  // as the kernel's own limit (ELOOP)

std::string readLink(const std::string& path) {
    std::string buffer(256, '\0');
    for (;;) {
        ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
        if (n < 0) throwLastError("cannot read the symbolic link", path);
        if (static_cast<std::size_t>(n) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(n));
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

// The absolute name of the file that `name` finally stands for: symbolic links are followed
// (a relative link from the link's own directory). The final file need not exist.
std::string finalFile(std::string_view name, System& system) {
    if (name.empty()) throw IoError("cannot resolve", name, ENOENT);
    std::string path(name);
    if (path.front() != '/') path = system.currentDirectory() + "/" + path;
    for (int links = 0; links < kMaxLinks; ++links) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::string target = readLink(path);
        path = !target.empty() && target.front() == '/' ? target : directoryOf(path) + target;
    }
    throw IoError("cannot follow", name, ELOOP);
}

}  // namespace

std::string directoryOf(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string NativeSystem::currentDirectory() {
    std::string buffer(256, '\0');
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size()) != nullptr) {
            buffer.resize(std::strlen(buffer.c_str()));
            return buffer;
        }
        if (errno != ERANGE) throwLastError("cannot read the current directory", ".");
        buffer.resize(buffer.size() * 2);
    }
}

void NativeSystem::changeDrive(std::string_view) {}

void NativeSystem::changeDirectory(std::string_view path) {
    if (path.empty()) throw IoError("cannot change directory to", "", ENOENT);
    std::string name(path);
    if (::chdir(name.c_str()) != 0) throwLastError("cannot change directory to", name);
}

bool NativeSystem::isOrdinaryFile(std::string_view name) {
    if (name.empty()) return false;
    std::string path(name);
    // The C call would see a shorter name than the one asked about.
    if (path.find('\0') != std::string::npos) throw IoError("cannot look up", path, EINVAL);
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return S_ISREG(st.st_mode);
    // Only "not there" is an answer; access denied, a loop of links or a name too long say
    // nothing about whether the file exists.
    if (errno == ENOENT || errno == ENOTDIR) return false;
    throwLastError("cannot look up", path);
}

std::string NativeSystem::resolve(std::string_view name) {
    std::string path = finalFile(name, *this);
    const std::string folder = directoryOf(path);
    // The folders on the way may be links too; their real path is fixed now.
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(folder.c_str(), nullptr),
                                                     &std::free);
    if (real == nullptr) throwLastError("cannot resolve", folder);
    std::string resolved(real.get());
    if (resolved.back() != '/') resolved += '/';
    return resolved + path.substr(folder.size());
}

std::string NativeSystem::userStateDirectory() {
    // A relative XDG_STATE_HOME is to be ignored, as the base directory rules say.
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    std::string folder;
    if (state && state[0] == '/')
        folder = state;
    else if (home && home[0] == '/')
        folder = std::string(home) + "/.local/state";
    else
        throw IoError("no folder for the user's files", "$HOME", ENOENT);
    folder += "/kbnset";
    // Each missing level made as the base directory rules ask: for this user alone.
    for (std::size_t slash = 0; slash != std::string::npos;) {
        slash = folder.find('/', slash + 1);
        const std::string level = folder.substr(0, slash);
        struct stat st {};
        if (::stat(level.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
        if (::mkdir(level.c_str(), 0700) != 0 && errno != EEXIST)
            throwLastError("cannot make the folder", level);
    }
    return folder;
}

}  // namespace kbnset::runtime
