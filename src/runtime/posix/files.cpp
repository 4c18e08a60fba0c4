#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <random>
#include <string>

#include "runtime/error.hpp"
#include "runtime/native_system.hpp"
#include "runtime/posix/os.hpp"

// The save writes a sibling temporary file and renames it over the target, so a crash or a
// failed write never leaves half a category file behind.
namespace kbnset::runtime {

namespace {

class PosixInputFile final : public InputFile {
  public:
    PosixInputFile(UniqueFd fd, std::string name, FileIdentity identity)
        : fd_(std::move(fd)), name_(std::move(name)), identity_(identity) {}

    std::size_t read(char* buffer, std::size_t size) override {
        for (;;) {
            ssize_t n = ::read(fd_.get(), buffer, size);
            if (n >= 0) return static_cast<std::size_t>(n);
            if (errno != EINTR) throwLastError("cannot read", name_);
        }
    }

    FileIdentity identity() const override { return identity_; }

  private:
    UniqueFd fd_;
    std::string name_;
    FileIdentity identity_;
};

class PosixOutputFile final : public OutputFile {
  public:
    static constexpr std::size_t kBufferSize = std::size_t{64} * 1024;

    PosixOutputFile(UniqueFd fd, std::string name) : fd_(std::move(fd)), name_(std::move(name)) {
        buffer_.reserve(kBufferSize);
    }

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
        if (::fsync(fd_.get()) != 0) fail("cannot flush");
        fd_.close(name_);
    }

  private:
    void checkUsable() const {
        if (!fd_) throw IoError("already committed", name_, 0);
        // After a failed write the file holds an unknown part of the data.
        if (failed_) throw IoError("an earlier write failed", name_, 0);
    }

    void flush() {
        writeAll(buffer_);
        buffer_.clear();
    }

    void writeAll(std::string_view bytes) {
        while (!bytes.empty()) {
            ssize_t n = ::write(fd_.get(), bytes.data(), bytes.size());
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
        throwLastError(what, name_);
    }

    UniqueFd fd_;
    bool failed_ = false;
    std::string name_;
    std::string buffer_;
};

constexpr std::size_t kSuffixLength = 6;

bool isSuffixLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
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

mode_t currentUmask() {
    // umask can only be read by setting it; the program has a single thread.
    mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

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
        if ((group & ~others) != 0) throwLastError("cannot keep the group of", temporary);
    }
    if (::fchmod(fd, target.st_mode & 07777) != 0)
        throwLastError("cannot set the mode of", temporary);
}

// Gives the temporary file `fd` what replacing `target` takes: the target's group, mode and
// owner, after making sure that this user may write the target at all.
void prepareReplacement(int fd, const std::string& source, const std::string& target) {
    // Opening for writing (nothing is written or truncated) asks the kernel whether this user
    // may write the file, with every rule it has (ACLs, read-only mounts, immutable files).
    UniqueFd existing(::open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (existing) {
        struct stat st {};
        if (::fstat(existing.get(), &st) != 0) throwLastError("cannot examine", target);
        if (!S_ISREG(st.st_mode)) throw IoError("not a regular file", target, EINVAL);
        // No write bit at all is the read-only mark; root could write, but must not.
        if ((st.st_mode & 0222) == 0) throw ReadOnlyError("read-only file", target, EACCES);
        takeOwnership(fd, source, st);
    } else if (errno == ENOENT) {
        if (::fchmod(fd, 0666 & ~currentUmask()) != 0)
            throwLastError("cannot set the mode of", source);
    } else {
        throwLastError("may not write", target);  // EACCES, EROFS; ELOOP when a link took its place
    }
}

}  // namespace

bool isTemporaryOf(std::string_view entry, std::string_view file) {
    const std::size_t stem = file.size() + 2;
    if (entry.size() != stem + kSuffixLength || entry[0] != '.' ||
        entry.substr(1, file.size()) != file || entry[stem - 1] != '.')
        return false;
    for (char c : entry.substr(stem))
        if (!isSuffixLetter(c)) return false;
    return true;
}

std::unique_ptr<InputFile> NativeSystem::openRead(std::string_view name) {
    std::string path(name);
    // O_NONBLOCK keeps a FIFO from blocking the open; only regular files are read anyway.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) throwLastError("cannot open", path);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) throwLastError("cannot examine", path);
    if (!S_ISREG(st.st_mode))
        throw IoError("not a readable file", path, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    return std::make_unique<PosixInputFile>(
        std::move(fd), path, FileIdentity{static_cast<std::uint64_t>(st.st_dev), st.st_ino});
}

std::string readWholeFile(std::string_view name, std::size_t limit) {
    NativeSystem system;
    auto file = system.openRead(name);
    std::string content;
    char chunk[16 * 1024];
    while (std::size_t n = file->read(chunk, sizeof chunk)) {
        content.append(chunk, n);
        if (content.size() > limit) throw IoError("larger than expected", name, EFBIG);
    }
    return content;
}

void NativeSystem::removeFile(std::string_view name) noexcept {
    try {
        std::string path(name);
        if (!path.empty()) ::unlink(path.c_str());
    } catch (...) {
        // Only the copy of the name can fail (out of memory); there is nothing to remove then.
    }
}

std::unique_ptr<OutputFile> NativeSystem::createTemporary(std::string_view target) {
    if (target.empty()) throw IoError("cannot create a temporary file for", target, ENOENT);
    const std::string path(target);
    const std::string folder = directoryOf(path);
    const std::string prefix = folder + "." + path.substr(folder.size()) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = prefix + randomSuffix();
        UniqueFd fd(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (fd) return std::make_unique<PosixOutputFile>(std::move(fd), name);
        if (errno != EEXIST) throwLastError("cannot create a temporary file for", target);
    }
    throwLastError("cannot create a temporary file for", target);
}

// The dry run's view of replace(): also refused where this user may not write the file.
void NativeSystem::checkReplaceable(std::string_view target) {
    System::checkReplaceable(target);
    const std::string path(target);
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd && errno != ENOENT) throwLastError("may not write", target);
}

void NativeSystem::replace(std::string_view temporary, std::string_view target) {
    const std::string path(target);
    const std::string source(temporary);
    {
        UniqueFd fd(::open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd) throwLastError("cannot open", source);
        prepareReplacement(fd.get(), source, path);
    }
    if (::rename(source.c_str(), path.c_str()) != 0) throwLastError("cannot replace", target);

    // Make the new name durable. Best effort: the file is already in place, and reporting a
    // failed save now would be wrong.
    UniqueFd dir(::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir) ::fsync(dir.get());
}

}  // namespace kbnset::runtime
