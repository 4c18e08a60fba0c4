#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// The operating-system services that the rest of the program calls. One interface, with a
// POSIX and a Win32 implementation; tests wrap it to make any call fail. Every failure is
// thrown as a runtime::Error (see error.hpp). Names are UTF-8; a relative name is taken
// from the current directory, as the working-directory switch intends.
namespace kbnset::runtime {

// What tells one file from another on the same machine: device and inode on POSIX, volume
// serial and file index on Windows. Another file put under the same name differs.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

class InputFile {
  public:
    virtual ~InputFile() = default;
    // Reads up to `size` bytes; returns 0 only at the end of the file.
    virtual std::size_t read(char* buffer, std::size_t size) = 0;
    // The open file's identity; all zero for a file that is not on a disk.
    virtual FileIdentity identity() const { return {}; }
};

// Held while one kbnset run works on a category file; destroying it lets the next one in.
class FileLock {
  public:
    virtual ~FileLock() = default;
    // False where the file system gives no locks at all: nothing keeps another run out.
    virtual bool held() const { return true; }
};

// Whether the file that a replace took away is still the one the caller loaded.
using ReplaceCheck = std::function<bool(InputFile& replaced)>;

class OutputFile {
  public:
    // Closes the file if commit() was not reached, and never throws.
    virtual ~OutputFile() = default;
    virtual const std::string& name() const = 0;
    virtual void write(std::string_view bytes) = 0;
    // Flushes everything to the disk and closes the file.
    virtual void commit() = 0;
};

class System {
  public:
    virtual ~System() = default;

    // Full path, with its drive on Windows, of the current directory.
    virtual std::string currentDirectory() = 0;
    // Makes the drive named by the first character current. Empty text changes nothing;
    // a drive that does not exist is an error. POSIX has no drives: nothing happens.
    virtual void changeDrive(std::string_view path) = 0;
    // A missing directory or empty text is an error.
    virtual void changeDirectory(std::string_view path) = 0;
    // True for an ordinary file only: not a directory, and on Windows not hidden or system;
    // false when nothing is there. A look-up that fails otherwise (access denied, a device
    // not ready, a bad name) is an IoError.
    virtual bool isOrdinaryFile(std::string_view name) = 0;

    virtual std::unique_ptr<InputFile> openRead(std::string_view name) = 0;
    // The absolute name of the file that `name` stands for at this moment, with every
    // symbolic link on the way followed; the file itself need not exist. The load resolves
    // once and the save writes to that name, so a link repointed in between changes nothing.
    virtual std::string resolve(std::string_view name) = 0;

    // Keeps every other kbnset (this process or another, console or window) from the file
    // that `file` in `directory` resolves to, whatever folder or link it is reached through,
    // until the lock is destroyed; waits at most `patience`: nullptr when another one still
    // holds it then. Once held, the temporary files that an interrupted save left beside the
    // file are removed, since no running save can own them. A file that is not there is
    // nothing to keep: the lock holds nothing. Where the file system gives no locks, the lock
    // says so (held() false) and removes nothing. IoError when the file cannot be opened.
    virtual std::unique_ptr<FileLock> lockFile(std::string_view directory, std::string_view file,
                                               std::chrono::milliseconds patience) = 0;

    // A new, empty file in the folder of `target`, to be moved over `target` by replace().
    // `target` is taken as it is (a name from resolve()): a link there is not followed.
    virtual std::unique_ptr<OutputFile> createTemporary(std::string_view target) = 0;
    // Puts a committed temporary file in the place of the name `target` in one step. The
    // new file keeps target's permission bits, group and, where allowed, owner (POSIX) or
    // its attributes, owner and ACL (Windows). A target that the user may not write (no
    // permission, or marked read-only, which binds root too) is never replaced: IoError
    // (ReadOnlyError). With `check`, the target must be there, and `check` sees the file that
    // was replaced; when it answers false that file is put back, the new one is under
    // `temporary` again, and ChangedError is thrown. Without `check` (empty), the target must
    // not be there: the new file is created, never over one that appears meanwhile
    // (ChangedError). With a non-empty `backup`, the replaced file stays under that name (an
    // older one of that name goes).
    virtual void replace(std::string_view temporary, std::string_view target,
                         std::string_view backup, const ReplaceCheck& check) = 0;
    // Swaps what two existing names stand for, in one step where the system can.
    virtual void exchange(std::string_view first, std::string_view second) = 0;
    // Removes a file if it is there; never throws (used on the way out of a failure).
    virtual void removeFile(std::string_view name) noexcept = 0;

    // The folder where kbnset keeps this user's own files (the window's last report), made
    // when missing: %LOCALAPPDATA%\kbnset on Windows; $XDG_STATE_HOME/kbnset, or
    // ~/.local/state/kbnset, on POSIX. IoError when the system names none or it cannot be made.
    virtual std::string userStateDirectory() = 0;

    // The per-user settings store, read only: the stored text or `fallback`.
    virtual std::string readSetting(std::string_view application, std::string_view section,
                                    std::string_view key, std::string_view fallback) = 0;

    // Throws the IoError that replace() would meet for `target`, asking the system without
    // opening anything for writing: a folder where no file may be created, a target that is
    // not an ordinary file or is read-only (ReadOnlyError), one this user may not write (with
    // the effective ids, ACLs and a read-only mount), the sticky-folder rule, a mount point or
    // a bind-mounted file, a group the new file could not keep. A missing target in a writable
    // folder passes. False where a rule could not be asked: the save may still fail.
    virtual bool checkReplaceable(std::string_view target) = 0;

    // The two below serve the console's checks and its dry run; std::filesystem does them
    // alike on both platforms (system.cpp).
    // True for a directory, following a symbolic link; false also when it cannot be told.
    virtual bool isDirectory(std::string_view name);
    // The absolute, normalised path of `name`, symbolic links resolved as far as it exists.
    virtual std::string fullPath(std::string_view name);
};

// The implementation for the platform the program was built for.
System& nativeSystem();

// A small file of kbnset's own, written whole beside `target` and then put in its place, any
// older one replaced: a reader never meets half a file. Throws as the steps do.
void writeWhole(System& system, const std::string& target, std::string_view bytes);
// The bytes of a small file; nullopt when it holds more than `limit` (not one kbnset wrote).
std::optional<std::string> readSmall(System& system, const std::string& name, std::size_t limit);

}  // namespace kbnset::runtime
