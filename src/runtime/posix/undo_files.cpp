#include <fcntl.h>
#include <stdio.h>  // renameat2
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "runtime/error.hpp"
#include "runtime/posix/posix_system.hpp"

// What undo needs of the files: a replace that keeps the replaced file under another name and
// looks at it first, and a swap of two names.
namespace kbnset::runtime {

namespace {

// ".<file>.kbnset-tmp-<pid>-<n>" beside `path`: removed with the other leftovers of a save.
std::string heldName(const std::string& path, int attempt) {
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    return folder + "." + path.substr(folder.size()) + ".kbnset-tmp-" + std::to_string(::getpid()) +
           "-" + std::to_string(attempt);
}

// A copy of `from` under the new name `to`, for file systems without hard links. It loses the
// owner, so it is only the second choice.
void copyFile(const std::string& from, const std::string& to) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) throwIo("cannot open", from);
    struct stat st {};
    const int out =
        ::fstat(in, &st) == 0
            ? ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777)
            : -1;
    if (out < 0) {
        ::close(in);
        throwIo("cannot create", to);
    }
    char buffer[64 * 1024];
    bool ok = true;
    for (ssize_t n = 0; ok && (n = ::read(in, buffer, sizeof buffer)) != 0;)
        ok = n > 0 && ::write(out, buffer, static_cast<std::size_t>(n)) == n;
    ok = ok && ::fsync(out) == 0;
    ::close(in);
    if (::close(out) != 0 || !ok) {
        ::unlink(to.c_str());
        throw IoError("cannot copy", from, errno != 0 ? errno : EIO);
    }
}

// A second name for the file at `path`: a hard link, or a copy where links are not made
// (`linked` false). Empty when there is no file.
std::string holdFile(const std::string& path, bool& linked) {
    linked = true;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string held = heldName(path, attempt);
        if (::link(path.c_str(), held.c_str()) == 0) return held;
        if (errno == ENOENT) return {};
        if (errno == EEXIST) continue;
        if (errno != EPERM && errno != EOPNOTSUPP && errno != EXDEV && errno != EMLINK)
            throwIo("cannot keep", path);
        copyFile(path, held);
        linked = false;
        return held;
    }
    throw IoError("no free name beside", path, EEXIST);
}

}  // namespace

// The file to be replaced gets a second name first, so that the check reads that very file
// and the backup is that file, whatever takes the target's name meanwhile.
void PosixSystem::replace(std::string_view temporary, std::string_view target,
                          std::string_view backup, const ReplaceCheck& check) {
    const std::string path(target);
    // A target that cannot be replaced must not cost the backup kept by an earlier run.
    if (!backup.empty()) checkReplaceable(target);
    bool linked = true;
    const std::string held = backup.empty() && !check ? std::string() : holdFile(path, linked);
    if (held.empty()) return replaceUnchecked(temporary, target);
    try {
        // A copy is another file: the check then looks at the target itself.
        if (check && !check(*openRead(linked ? held : path)))
            throw ChangedError("changed since it was loaded", target, 0);
        if (backup.empty()) {
            ::unlink(held.c_str());
        } else if (::rename(held.c_str(), std::string(backup).c_str()) != 0) {
            throwIo("cannot keep", backup);
        }
    } catch (...) {
        ::unlink(held.c_str());
        throw;
    }
    replaceUnchecked(temporary, target);
}

void PosixSystem::exchange(std::string_view first, std::string_view second) {
    const std::string a(first), b(second);
    if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0) return;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) throwIo("cannot exchange", a);
    // A file system without the swap: three renames, undone on the way back from a failure.
    const std::string aside = heldName(a, 0);
    if (::rename(a.c_str(), aside.c_str()) != 0) throwIo("cannot exchange", a);
    if (::rename(b.c_str(), a.c_str()) != 0) {
        const int code = errno;
        ::rename(aside.c_str(), a.c_str());
        throw IoError("cannot exchange", b, code);
    }
    if (::rename(aside.c_str(), b.c_str()) != 0) {
        const int code = errno;
        ::rename(a.c_str(), b.c_str());
        ::rename(aside.c_str(), a.c_str());
        throw IoError("cannot exchange", b, code);
    }
}

}  // namespace kbnset::runtime
