#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

// What the POSIX files of the runtime share: owners of descriptors and the one way to raise
// an error of the system.
namespace kbnset::runtime {

// Throws IoError with `operation`, `name` and errno.
[[noreturn]] void throwLastError(std::string_view operation, std::string_view name);

// An open descriptor. The destructor closes quietly (an error path, or a file only read);
// close() is for a file written, where a failed close may have lost data.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const noexcept { return fd_; }
    explicit operator bool() const noexcept { return fd_ >= 0; }

    int release() noexcept { return std::exchange(fd_, -1); }
    void reset() noexcept {
        if (fd_ >= 0) ::close(std::exchange(fd_, -1));
    }
    // Closes the descriptor, which is gone even when the call reports an error.
    void close(std::string_view name) {
        if (::close(std::exchange(fd_, -1)) != 0) throwLastError("cannot close", name);
    }

  private:
    int fd_ = -1;
};

struct DirClose {
    void operator()(DIR* dir) const noexcept { ::closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirClose>;

// The folder part of `path`, with its slash ("./" for a bare name).
std::string directoryOf(const std::string& path);

// Reads the whole file; IoError when it cannot be opened or read, or holds more than `limit`
// bytes.
std::string readWholeFile(std::string_view name, std::size_t limit);

// The temporary files of a save of `file` are ".<file>.XXXXXX"; nothing else matches.
bool isTemporaryOf(std::string_view entry, std::string_view file);

}  // namespace kbnset::runtime
