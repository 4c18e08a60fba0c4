#include <windows.h>

#include <chrono>
#include <string>

#include "runtime/error.hpp"
#include "runtime/native_system.hpp"
#include "runtime/win32/os.hpp"
#include "runtime/win32/wide.hpp"

namespace kbnset::runtime {

namespace {

class Win32FileLock : public FileLock {
  public:
    Win32FileLock(UniqueHandle lock, UniqueHandle file)
        : lock_(std::move(lock)), file_(std::move(file)) {}

  private:
    UniqueHandle lock_;  // the lock file, deleted when this closes it
    UniqueHandle file_;  // the file itself, which no one may open for writing meanwhile
};

// The file, opened so that no other program may open it for writing while the lock holds:
// what a run loaded is what its replace takes away. Read access, since a handle without data
// access takes no part in the sharing check; delete shared, since ReplaceFileW opens it for
// delete to rename it to the backup name. Null when the file cannot be opened otherwise (not
// there, a folder, not readable): the load meets that and says so.
UniqueHandle holdAgainstWriters(const std::wstring& path) {
    UniqueHandle file =
        ownHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    // Another program has it open for writing: no pass may start without the hold.
    if (!file && GetLastError() == ERROR_SHARING_VIOLATION)
        throwLastError("cannot open", narrow(path));
    return file;
}

// Removes the temporary files that an interrupted save left in the locked folder, and the
// backups while the file itself is there (otherwise a backup may be the only copy left by a
// replace that failed half-way). Best effort.
void removeLeftovers(const std::wstring& folder, const std::wstring& file) {
    WIN32_FIND_DATAW found{};
    UniqueFind search =
        ownFind(FindFirstFileW((folder + L"~" + file + L".kbnset-*").c_str(), &found));
    if (!search) return;
    const bool fileThere = GetFileAttributesW((folder + file).c_str()) != INVALID_FILE_ATTRIBUTES;
    do {
        const std::wstring_view name = found.cFileName;
        if (isTemporaryOf(name, file, L".tmp") || (fileThere && isTemporaryOf(name, file, L".bak")))
            DeleteFileW((folder + std::wstring(name)).c_str());
    } while (FindNextFileW(search.get(), &found));
}

}  // namespace

// A hidden lock file beside the resolved file, opened without sharing and deleted on close:
// every name and link of the file meets it; it works between any two processes on the machine,
// and on a shared folder between machines, since the server enforces the sharing mode; and it
// goes away with the process, however that ends. Once it is won, the file itself is held open
// against writers too: no other program writes it in place between the load and the replace.
std::unique_ptr<FileLock> NativeSystem::lockFile(std::string_view directory, std::string_view file,
                                                 std::chrono::milliseconds patience) {
    const std::wstring path =
        widen(resolve(narrow(withSeparator(widen(directory))) + std::string(file)));
    const std::size_t cut = path.find_last_of(L"\\/");
    const std::wstring folder = cut == std::wstring::npos ? L"" : path.substr(0, cut + 1);
    const std::wstring base = cut == std::wstring::npos ? path : path.substr(cut + 1);
    const std::wstring lockName = folder + L"~" + base + L".lock";
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        UniqueHandle handle = ownHandle(
            CreateFileW(lockName.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        if (handle) {
            UniqueHandle kept = holdAgainstWriters(path);
            removeLeftovers(folder, base);
            return std::make_unique<Win32FileLock>(std::move(handle), std::move(kept));
        }
        const DWORD code = GetLastError();
        // Access is denied, too, while the last holder's lock file is being deleted.
        const bool held = code == ERROR_SHARING_VIOLATION ||
                          (code == ERROR_ACCESS_DENIED &&
                           GetFileAttributesW(lockName.c_str()) != INVALID_FILE_ATTRIBUTES);
        if (!held) {
            const DWORD attributes = GetFileAttributesW(folder.c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                SetLastError(code);
                throwLastError("cannot open the folder", directory);
            }
            // A folder where no file can be made: no save can make its temporary file there
            // either, so there is nothing to keep out.
            return std::make_unique<FileLock>();
        }
        if (std::chrono::steady_clock::now() >= deadline) return nullptr;
        Sleep(10);
    }
}

}  // namespace kbnset::runtime
