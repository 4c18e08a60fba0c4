#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
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

class PosixFolderLock final : public FolderLock {
  public:
    explicit PosixFolderLock(UniqueFd fd) : fd_(std::move(fd)) {}

  private:
    UniqueFd fd_;  // closing it releases the flock
};

// Removes what an interrupted save of `file` left in the locked folder `dir`. Best effort:
// a leftover that stays is only clutter.
void removeLeftovers(int dir, std::string_view file) {
    UniqueFd listing(::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!listing) return;
    UniqueDir entries(::fdopendir(listing.get()));
    if (entries == nullptr) return;
    static_cast<void>(listing.release());                   // the DIR owns it now
    while (const dirent* entry = ::readdir(entries.get()))  // NOLINT(concurrency-mt-unsafe)
        if (isTemporaryOf(entry->d_name, file)) ::unlinkat(dir, entry->d_name, 0);
}

}  // namespace

// flock on the folder itself: nothing to create or leave behind, works in a folder the user
// may only read, and the kernel drops it with the process, however that ends.
std::unique_ptr<FolderLock> NativeSystem::lockFolder(std::string_view directory,
                                                     std::string_view file,
                                                     std::chrono::milliseconds patience) {
    const std::string name(directory);
    UniqueFd fd(::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd) throwLastError("cannot open the folder", name);
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
            removeLeftovers(fd.get(), file);
            return std::make_unique<PosixFolderLock>(std::move(fd));
        }
        // No locks here (some network file systems).
        if (errno != EWOULDBLOCK) return std::make_unique<PosixFolderLock>(std::move(fd));
        if (std::chrono::steady_clock::now() >= deadline) return nullptr;
        const timespec pause{0, 10'000'000};
        ::nanosleep(&pause, nullptr);
    }
}

}  // namespace kbnset::runtime
