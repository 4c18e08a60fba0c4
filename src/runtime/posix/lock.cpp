#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <string>

#include "runtime/error.hpp"
#include "runtime/native_system.hpp"
#include "runtime/posix/os.hpp"

namespace kbnset::runtime {

namespace {

class PosixFileLock final : public FileLock {
  public:
    explicit PosixFileLock(UniqueFd fd) : fd_(std::move(fd)) {}

  private:
    UniqueFd fd_;  // closing it releases the flock
};

class NoLock final : public FileLock {
  public:
    bool held() const override { return false; }
};

// Removes what an interrupted save of `file` left in `folder`, whose file the caller has
// locked. Best effort: a folder that may not be listed keeps its leftovers, which are only
// clutter.
void removeLeftovers(const std::string& folder, std::string_view file) {
    UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir) return;
    UniqueFd listing(::dup(dir.get()));
    if (!listing) return;
    UniqueDir entries(::fdopendir(listing.get()));
    if (entries == nullptr) return;
    static_cast<void>(listing.release());                     // the DIR owns it now
    while (const dirent* entry = ::readdir(entries.get())) {  // NOLINT(concurrency-mt-unsafe)
        if (!isTemporaryOf(entry->d_name, file)) continue;
        // A save in progress has swapped its locked file out under a temporary name, and moves
        // it to the backup name next: that one is no leftover.
        const UniqueFd held(
            ::openat(dir.get(), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (held && ::flock(held.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) continue;
        ::unlinkat(dir.get(), entry->d_name, 0);
    }
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

// flock on the resolved file itself, opened for reading: every name and link of it meets the
// same lock, nothing is created in the folder (which the user may be unable to list), and the
// kernel drops the lock with the process, however that ends. A save puts a new file under the
// name, so a lock won on a file that is no longer there is let go and the new one locked.
std::unique_ptr<FileLock> NativeSystem::lockFile(std::string_view directory, std::string_view file,
                                                 std::chrono::milliseconds patience) {
    std::string name(directory);
    if (!name.empty() && name.back() != '/') name += '/';
    const std::string path = resolve(name + std::string(file));
    const std::string folder = directoryOf(path);
    const std::string base = path.substr(folder.size());
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (!fd) {
            if (errno == ENOENT) return std::make_unique<FileLock>();  // the load says so
            throwLastError("cannot open", path);
        }
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
            struct stat locked {
            }, named{};
            if (::fstat(fd.get(), &locked) != 0) throwLastError("cannot examine", path);
            if (::lstat(path.c_str(), &named) == 0 && sameFile(locked, named)) {
                removeLeftovers(folder, base);
                return std::make_unique<PosixFileLock>(std::move(fd));
            }
            continue;
        }
        if (errno == EINTR) continue;
        // ENOLCK, EOPNOTSUPP; EBADF where a network file system locks only files open for
        // writing.
        if (errno != EWOULDBLOCK) return std::make_unique<NoLock>();
        if (std::chrono::steady_clock::now() >= deadline) return nullptr;
        const timespec pause{0, 10'000'000};
        ::nanosleep(&pause, nullptr);
    }
}

}  // namespace kbnset::runtime
