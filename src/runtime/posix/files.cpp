#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
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

namespace {

// renameat2's flags where the kernel has them; elsewhere the plain steps below stand in.
#ifdef RENAME_EXCHANGE
constexpr bool kExchange = true;
int renameWith(const std::string& from, const std::string& to, unsigned flags) {
    return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), flags);
}
#else
constexpr bool kExchange = false;
constexpr unsigned RENAME_EXCHANGE = 0, RENAME_NOREPLACE = 0;
int renameWith(const std::string&, const std::string&, unsigned) {
    errno = ENOSYS;
    return -1;
}
#endif

// The file system cannot swap or refuse to overwrite in one call (some network ones).
bool unsupported(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// Makes the new names durable. Best effort: the files are already in place, and reporting a
// failed save now would be wrong.
void syncFolder(const std::string& path) {
    UniqueFd dir(::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir) ::fsync(dir.get());
}

// Three renames through a spare name, where the system cannot swap in one call.
void exchangeInSteps(const std::string& first, const std::string& second) {
    const std::string spare = directoryOf(first) + ".kbnset-exchange." + randomSuffix();
    if (::rename(first.c_str(), spare.c_str()) != 0) throwLastError("cannot rename", first);
    if (::rename(second.c_str(), first.c_str()) != 0) {
        const int error = errno;
        ::rename(spare.c_str(), first.c_str());
        throw IoError("cannot rename", second, error);
    }
    if (::rename(spare.c_str(), second.c_str()) != 0) throwLastError("cannot rename", spare);
}

// What a replace does with the file it took away from `target`, now under `aside`: keeps it
// as `backup`, or removes it.
void setAside(const std::string& aside, std::string_view backup) {
    if (backup.empty()) {
        ::unlink(aside.c_str());
    } else if (::rename(aside.c_str(), std::string(backup).c_str()) != 0) {
        throwLastError("cannot keep the backup", backup);
    }
}

}  // namespace

void NativeSystem::exchange(std::string_view first, std::string_view second) {
    const std::string a(first), b(second);
    if (renameWith(a, b, RENAME_EXCHANGE) == 0) return syncFolder(a);
    if (!unsupported(errno)) throwLastError("cannot exchange", first);
    exchangeInSteps(a, b);
    syncFolder(a);
}

// The old file is swapped out and looked at after the swap, so that no other writer can slip
// in between the check and the replace; when it is not the one loaded, it goes back.
void NativeSystem::replace(std::string_view temporary, std::string_view target,
                           std::string_view backup, const ReplaceCheck& check) {
    const std::string path(target);
    const std::string source(temporary);
    {
        UniqueFd fd(::open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd) throwLastError("cannot open", source);
        prepareReplacement(fd.get(), source, path);
    }
    const unsigned how = check ? RENAME_EXCHANGE : RENAME_NOREPLACE;
    if (kExchange && renameWith(source, path, how) == 0) {
        if (!check) return syncFolder(path);
        try {
            if (!check(*openRead(source)))
                throw ChangedError("changed since it was loaded", target, 0);
            setAside(source, backup);
        } catch (...) {
            renameWith(source, path, RENAME_EXCHANGE);  // nothing changed, as the error says
            throw;
        }
        return syncFolder(path);
    }
    // EEXIST: a file appeared; ENOENT: the file loaded is gone (the temporary is there).
    if (kExchange && (errno == EEXIST || errno == ENOENT))
        throw ChangedError("changed since it was loaded", target, 0);
    if (kExchange && !unsupported(errno)) throwLastError("cannot replace", target);

    // No swap on this file system: the check comes just before the rename.
    struct stat st {};
    const bool there = ::lstat(path.c_str(), &st) == 0;
    if (there != static_cast<bool>(check) || (check && !check(*openRead(path))))
        throw ChangedError("changed since it was loaded", target, 0);
    if (there && !backup.empty()) {
        const std::string keep(backup);
        ::unlink(keep.c_str());
        if (::link(path.c_str(), keep.c_str()) != 0)
            throwLastError("cannot keep the backup", backup);
    }
    if (::rename(source.c_str(), path.c_str()) != 0) throwLastError("cannot replace", target);
    syncFolder(path);
}

}  // namespace kbnset::runtime
