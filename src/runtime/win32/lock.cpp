#include <windows.h>

#include <chrono>
#include <string>

#include "runtime/error.hpp"
#include "runtime/native_system.hpp"
#include "runtime/win32/os.hpp"
#include "runtime/win32/wide.hpp"

namespace kbnset::runtime {

namespace {

class Win32FolderLock : public FolderLock {
  public:
    explicit Win32FolderLock(UniqueHandle handle) : handle_(std::move(handle)) {}

  private:
    UniqueHandle handle_;  // the lock file, deleted when this closes it
};

// Removes the temporary files that an interrupted save left in the locked folder, and the
// backups while the file itself is there (otherwise a backup may be the only copy left by a
// replace that failed half-way). Best effort.
void removeLeftovers(const std::wstring& folder, const std::wstring& file) {
    WIN32_FIND_DATAW found{};
    UniqueFind search = ownFind(FindFirstFileW((folder + L"~" + file + L".*").c_str(), &found));
    if (!search) return;
    const bool fileThere = GetFileAttributesW((folder + file).c_str()) != INVALID_FILE_ATTRIBUTES;
    do {
        const std::wstring_view name = found.cFileName;
        if (isTemporaryOf(name, file, L".tmp") || (fileThere && isTemporaryOf(name, file, L".bak")))
            DeleteFileW((folder + std::wstring(name)).c_str());
    } while (FindNextFileW(search.get(), &found));
}

}  // namespace

// A hidden lock file opened without sharing and deleted on close: it works between any two
// processes on the machine, and on a shared folder between machines, since the server
// enforces the sharing mode; and it goes away with the process, however that ends.
std::unique_ptr<FolderLock> NativeSystem::lockFolder(std::string_view directory,
                                                     std::string_view file,
                                                     std::chrono::milliseconds patience) {
    const std::wstring folder = withSeparator(widen(directory));
    const std::wstring lockName = folder + L"~" + widen(file) + L".lock";
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        UniqueHandle handle = ownHandle(
            CreateFileW(lockName.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        if (handle) {
            removeLeftovers(folder, widen(file));
            return std::make_unique<Win32FolderLock>(std::move(handle));
        }
        const DWORD code = GetLastError();
        // Access is denied, too, while the last holder's lock file is being deleted.
        const bool held = code == ERROR_SHARING_VIOLATION ||
                          (code == ERROR_ACCESS_DENIED &&
                           GetFileAttributesW(lockName.c_str()) != INVALID_FILE_ATTRIBUTES);
        if (!held) {
            const DWORD attributes = GetFileAttributesW(widen(directory).c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                SetLastError(code);
                throwLastError("cannot open the folder", directory);
            }
            // A folder where no file can be made (read only): nothing to lock, nothing to clean.
            return std::make_unique<FolderLock>();
        }
        if (std::chrono::steady_clock::now() >= deadline) return nullptr;
        Sleep(10);
    }
}

}  // namespace kbnset::runtime
