#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "runtime/error.hpp"
#include "runtime/posix/posix_system.hpp"

namespace kbnset::runtime {

namespace {

class PosixInputFile final : public InputFile {
  public:
    PosixInputFile(int fd, std::string name, FileIdentity identity)
        : fd_(fd), name_(std::move(name)), identity_(identity) {}
    ~PosixInputFile() override { ::close(fd_); }
    PosixInputFile(const PosixInputFile&) = delete;
    PosixInputFile& operator=(const PosixInputFile&) = delete;

    std::size_t read(char* buffer, std::size_t size) override {
        for (;;) {
            ssize_t n = ::read(fd_, buffer, size);
            if (n >= 0) return static_cast<std::size_t>(n);
            if (errno != EINTR) throwIo("cannot read", name_);
        }
    }

    FileIdentity identity() const override { return identity_; }

  private:
    int fd_;
    std::string name_;
    FileIdentity identity_;
};

}  // namespace

std::string systemErrorText(int code) {
    return std::strerror(code);
}

void throwIo(std::string_view what, std::string_view name) {
    throw IoError(what, name, errno);
}

std::string PosixSystem::currentDirectory() {
    std::string buffer(256, '\0');
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size()) != nullptr) {
            buffer.resize(std::strlen(buffer.c_str()));
            return buffer;
        }
        if (errno != ERANGE) throwIo("cannot read the current directory", ".");
        buffer.resize(buffer.size() * 2);
    }
}

void PosixSystem::changeDrive(std::string_view) {}

void PosixSystem::changeDirectory(std::string_view path) {
    if (path.empty()) throw IoError("cannot change directory to", "", ENOENT);
    std::string name(path);
    if (::chdir(name.c_str()) != 0) throwIo("cannot change directory to", name);
}

bool PosixSystem::isOrdinaryFile(std::string_view name) {
    if (name.empty()) return false;
    std::string path(name);
    // The C call would see a shorter name than the one asked about.
    if (path.find('\0') != std::string::npos) throw IoError("a file name holds NUL");
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return S_ISREG(st.st_mode);
    // Only "not there" is an answer; access denied, a loop of links or a name too long say
    // nothing about whether the file exists.
    if (errno == ENOENT || errno == ENOTDIR) return false;
    throwIo("cannot look up", path);
}

std::unique_ptr<InputFile> PosixSystem::openRead(std::string_view name) {
    std::string path(name);
    // O_NONBLOCK keeps a FIFO from blocking the open; only regular files are read anyway.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) throwIo("cannot open", path);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        int error = errno;
        if (st.st_mode != 0) error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = error;
        throwIo("not a readable file", path);
    }
    return std::make_unique<PosixInputFile>(
        fd, path, FileIdentity{static_cast<std::uint64_t>(st.st_dev), st.st_ino});
}

void PosixSystem::removeFile(std::string_view name) noexcept {
    try {
        std::string path(name);
        if (!path.empty()) ::unlink(path.c_str());
    } catch (...) {
        // Only the copy of the name can fail (out of memory); there is nothing to remove then.
    }
}

std::string readWholeFile(std::string_view name, std::size_t limit) {
    auto file = nativeSystem().openRead(name);
    std::string content;
    char chunk[16 * 1024];
    while (std::size_t n = file->read(chunk, sizeof chunk)) {
        content.append(chunk, n);
        if (content.size() > limit) throw IoError("larger than expected: " + std::string(name));
    }
    return content;
}

System& nativeSystem() {
    static PosixSystem system;
    return system;
}

}  // namespace kbnset::runtime
