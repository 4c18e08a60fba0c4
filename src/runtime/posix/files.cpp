#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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
// (a relative link from the link's own directory) so that the file is replaced and the
// link stays. The final file need not exist.
std::string finalFile(std::string_view name, System& system) {
    if (name.empty()) throw IoError("empty file name");
    std::string path(name);
    if (path.front() != '/') path = system.currentDirectory() + "/" + path;
    for (int links = 0; links < kMaxLinks; ++links) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::string target = readLink(path);
        path = !target.empty() && target.front() == '/' ? target : directoryOf(path) + target;
    }
    errno = ELOOP;
    throwIo("cannot follow", name);
}

std::string randomSuffix() {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    std::string suffix(6, 'X');
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

}  // namespace

std::unique_ptr<OutputFile> PosixSystem::createTemporary(std::string_view target) {
    std::string path = finalFile(target, *this);
    std::string prefix = directoryOf(path) + "." + path.substr(directoryOf(path).size()) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = prefix + randomSuffix();
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) return std::make_unique<PosixOutputFile>(fd, name);
        if (errno != EEXIST) throwIo("cannot create a temporary file for", target);
    }
    throwIo("cannot create a temporary file for", target);
}

void PosixSystem::replace(std::string_view temporary, std::string_view target) {
    std::string path = finalFile(target, *this);
    std::string source(temporary);
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        // No write bit at all is the read-only mark; root could write, but must not.
        if ((st.st_mode & 0222) == 0) {
            errno = EACCES;
            throwIo("read-only file", target);
        }
        // Owner first: chown() clears set-id bits that chmod() then puts back.
        if (::geteuid() == 0) {
            int ignored = ::chown(source.c_str(), st.st_uid, st.st_gid);  // not worth a failed save
            static_cast<void>(ignored);
        }
        if (::chmod(source.c_str(), st.st_mode & 07777) != 0)
            throwIo("cannot set the mode of", source);
    } else if (errno == ENOENT) {
        if (::chmod(source.c_str(), 0666 & ~currentUmask()) != 0)
            throwIo("cannot set the mode of", source);
    } else {
        throwIo("cannot examine", target);
    }

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
