#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>

#include "runtime/error.hpp"
#include "runtime/posix/posix_system.hpp"

// The save writes a sibling temporary file and renames it over the target, so a crash or a
// failed write never leaves half a category file behind.
namespace kbnset::runtime {

namespace {

constexpr int kMaxLinks = 40;  // as the kernel's own limit (ELOOP)

std::string directoryOf(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string readLink(const std::string& path) {
    std::string buffer(256, '\0');
    for (;;) {
        ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
        if (n < 0) throwIo("cannot read the symbolic link", path);
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

constexpr std::size_t kSuffixLength = 6;

bool isSuffixLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// The temporary files of a save of `file` are ".<file>.XXXXXX"; nothing else matches.
bool isTemporaryOf(std::string_view entry, std::string_view file) {
    const std::size_t stem = file.size() + 2;
    if (entry.size() != stem + kSuffixLength || entry[0] != '.' ||
        entry.substr(1, file.size()) != file || entry[stem - 1] != '.')
        return false;
    for (char c : entry.substr(stem))
        if (!isSuffixLetter(c)) return false;
    return true;
}

std::string randomSuffix() {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    std::string suffix(kSuffixLength, 'X');
    for (char& c : suffix) c = kLetters[pick(random)];
    return suffix;
}

class PosixOutputFile final : public OutputFile {
  public:
    static constexpr std::size_t kBufferSize = std::size_t{64} * 1024;

    PosixOutputFile(int fd, std::string name) : fd_(fd), name_(std::move(name)) {
        buffer_.reserve(kBufferSize);
    }
    ~PosixOutputFile() override {
        if (fd_ >= 0) ::close(fd_);
    }
    PosixOutputFile(const PosixOutputFile&) = delete;
    PosixOutputFile& operator=(const PosixOutputFile&) = delete;

    const std::string& name() const override { return name_; }

    void write(std::string_view bytes) override {
        checkUsable();
        if (buffer_.size() + bytes.size() > kBufferSize) {
            flush();
            if (bytes.size() >= kBufferSize) return writeAll(bytes);
        }
        buffer_.append(bytes);
    }

    void commit() override {
        checkUsable();
        flush();
        if (::fsync(fd_) != 0) fail("cannot flush");
        int fd = fd_;
        fd_ = -1;  // closed even when close() reports an error
        if (::close(fd) != 0) throwIo("cannot close", name_);
    }

  private:
    void checkUsable() const {
        if (fd_ < 0) throw IoError("file already closed: " + name_);
        // After a failed write the file holds an unknown part of the data.
        if (failed_) throw IoError("earlier write failed: " + name_);
    }

    void flush() {
        writeAll(buffer_);
        buffer_.clear();
    }

    void writeAll(std::string_view bytes) {
        while (!bytes.empty()) {
            ssize_t n = ::write(fd_, bytes.data(), bytes.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (n == 0) errno = EIO;
                fail("cannot write");
            }
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
    }

    [[noreturn]] void fail(std::string_view what) {
        failed_ = true;
        throwIo(what, name_);
    }

    int fd_;
    bool failed_ = false;
    std::string name_;
    std::string buffer_;
};

mode_t currentUmask() {
    // umask can only be read by setting it; the program has a single thread.
    mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

class PosixFolderLock final : public FolderLock {
  public:
    explicit PosixFolderLock(int fd) : fd_(fd) {}
    ~PosixFolderLock() override { ::close(fd_); }  // releases the flock
    PosixFolderLock(const PosixFolderLock&) = delete;
    PosixFolderLock& operator=(const PosixFolderLock&) = delete;

  private:
    int fd_;
};

// Removes what an interrupted save of `file` left in the locked folder `dir`. Best effort:
// a leftover that stays is only clutter.
void removeLeftovers(int dir, std::string_view file) {
    int listing = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0) return;
    DIR* entries = ::fdopendir(listing);
    if (entries == nullptr) {
        ::close(listing);
        return;
    }
    while (const dirent* entry = ::readdir(entries))  // NOLINT(concurrency-mt-unsafe)
        if (isTemporaryOf(entry->d_name, file)) ::unlinkat(dir, entry->d_name, 0);
    ::closedir(entries);
}

}  // namespace

std::string PosixSystem::resolve(std::string_view name) {
    std::string path = finalFile(name, *this);
    const std::string folder = directoryOf(path);
    // The folders on the way may be links too; their real path is fixed now.
    char* real = ::realpath(folder.c_str(), nullptr);
    if (real == nullptr) throwIo("cannot resolve", folder);
    std::string resolved(real);
    std::free(real);  // NOLINT(cppcoreguidelines-no-malloc): realpath allocates with malloc
    if (resolved.back() != '/') resolved += '/';
    return resolved + path.substr(folder.size());
}

// flock on the folder itself: nothing to create or leave behind, works in a folder the user
// may only read, and the kernel drops it with the process, however that ends.
std::unique_ptr<FolderLock> PosixSystem::lockFolder(std::string_view directory,
                                                    std::string_view file,
                                                    std::chrono::milliseconds patience) {
    const std::string name(directory);
    const int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throwIo("cannot open the folder", name);
    auto lock = std::make_unique<PosixFolderLock>(fd);
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            removeLeftovers(fd, file);
            return lock;
        }
        if (errno != EWOULDBLOCK) return lock;  // no locks here (some network file systems)
        if (std::chrono::steady_clock::now() >= deadline) return nullptr;
        const timespec pause{0, 10'000'000};
        ::nanosleep(&pause, nullptr);
    }
}

std::unique_ptr<OutputFile> PosixSystem::createTemporary(std::string_view target) {
    if (target.empty()) throw IoError("cannot create a temporary file for", target, ENOENT);
    const std::string path(target);
    const std::string folder = directoryOf(path);
    const std::string prefix = folder + "." + path.substr(folder.size()) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = prefix + randomSuffix();
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) return std::make_unique<PosixOutputFile>(fd, name);
        if (errno != EEXIST) throwIo("cannot create a temporary file for", target);
    }
    throwIo("cannot create a temporary file for", target);
}

namespace {

// Gives the committed temporary file what the target has: group, mode and, where the
// process may, owner. Fails rather than take access away from the target's group.
void takeOwnership(int fd, const std::string& temporary, const struct stat& target) {
    // Owner first: chown() clears set-id bits that fchmod() then puts back.
    if (::fchown(fd, target.st_uid, target.st_gid) != 0 &&
        ::fchown(fd, static_cast<uid_t>(-1), target.st_gid) != 0) {
        // Not a member of the group: the new file would have the user's own group. Only
        // acceptable when the group's members lose nothing by that.
        const mode_t group = (target.st_mode & 070) >> 3;
        const mode_t others = target.st_mode & 07;
        if ((group & ~others) != 0) throwIo("cannot keep the group of", temporary);
    }
    if (::fchmod(fd, target.st_mode & 07777) != 0) throwIo("cannot set the mode of", temporary);
}

// Gives the temporary file `fd` what replacing `target` takes: the target's group, mode and
// owner, after making sure that this user may write the target at all.
void prepareReplacement(int fd, const std::string& source, const std::string& target) {
    // Opening for writing (nothing is written or truncated) asks the kernel whether this user
    // may write the file, with every rule it has (ACLs, read-only mounts, immutable files).
    const int existing = ::open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (existing >= 0) {
        struct stat st {};
        const bool known = ::fstat(existing, &st) == 0;
        ::close(existing);
        if (!known) throwIo("cannot examine", target);
        if (!S_ISREG(st.st_mode)) throw IoError("not a regular file", target, EINVAL);
        // No write bit at all is the read-only mark; root could write, but must not.
        if ((st.st_mode & 0222) == 0) throw IoError("read-only file", target, EACCES);
        takeOwnership(fd, source, st);
    } else if (errno == ENOENT) {
        if (::fchmod(fd, 0666 & ~currentUmask()) != 0) throwIo("cannot set the mode of", source);
    } else {
        throwIo("may not write", target);  // EACCES, EROFS; ELOOP when a link took its place
    }
}

}  // namespace

// The dry run's view of replace(): also refused where this user may not write the file.
void PosixSystem::checkReplaceable(std::string_view target) {
    System::checkReplaceable(target);
    const std::string path(target);
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
    } else if (errno != ENOENT) {
        throwIo("may not write", target);
    }
}

void PosixSystem::replace(std::string_view temporary, std::string_view target) {
    const std::string path(target);
    const std::string source(temporary);
    const int fd = ::open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) throwIo("cannot open", source);
    try {
        prepareReplacement(fd, source, path);
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);

    if (::rename(source.c_str(), path.c_str()) != 0) throwIo("cannot replace", target);

    // Make the new name durable. Best effort: the file is already in place, and reporting a
    // failed save now would be wrong.
    int dir = ::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

}  // namespace kbnset::runtime
