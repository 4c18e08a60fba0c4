#include "runtime/win32/files.hpp"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "runtime/win32/handle.hpp"
#include "runtime/win32/wide.hpp"

namespace kbnset::runtime {

namespace {

// Large enough that a full table of 5,011 records goes out in a few WriteFile calls.
constexpr std::size_t kBufferSize = std::size_t{64} * 1024;
constexpr DWORD kMaxChunk = 1u << 30;

class Win32InputFile : public InputFile {
  public:
    Win32InputFile(std::string name, UniqueHandle handle)
        : name_(std::move(name)), handle_(std::move(handle)) {
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(handle_.get(), &info))
            throw lastIoError("cannot examine", name_);
        identity_ = {info.dwVolumeSerialNumber,
                     (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
    }

    FileIdentity identity() const override { return identity_; }

    std::size_t read(char* buffer, std::size_t size) override {
        DWORD done = 0;
        const auto want = static_cast<DWORD>(std::min<std::size_t>(size, kMaxChunk));
        if (!ReadFile(handle_.get(), buffer, want, &done, nullptr))
            throw lastIoError("cannot read", name_);
        return done;
    }

  private:
    std::string name_;
    UniqueHandle handle_;
    FileIdentity identity_;
};

class Win32OutputFile : public OutputFile {
  public:
    Win32OutputFile(std::string name, UniqueHandle handle)
        : name_(std::move(name)), handle_(std::move(handle)) {
        buffer_.reserve(kBufferSize);
    }

    const std::string& name() const override { return name_; }

    void write(std::string_view bytes) override {
        if (!handle_) throw IoError("write after commit: " + name_);
        buffer_.append(bytes);
        if (buffer_.size() >= kBufferSize) flush();
    }

    void commit() override {
        if (!handle_) throw IoError("commit twice: " + name_);
        flush();
        if (!FlushFileBuffers(handle_.get())) throw lastIoError("cannot flush", name_);
        // A close that fails may have lost data; it is not left to the destructor.
        if (!CloseHandle(handle_.release())) throw lastIoError("cannot close", name_);
    }

  private:
    void flush() {
        std::size_t offset = 0;
        while (offset < buffer_.size()) {
            const auto chunk =
                static_cast<DWORD>(std::min<std::size_t>(buffer_.size() - offset, kMaxChunk));
            DWORD done = 0;
            if (!WriteFile(handle_.get(), buffer_.data() + offset, chunk, &done, nullptr) ||
                done == 0)
                throw lastIoError("cannot write", name_);
            offset += done;
        }
        buffer_.clear();
    }

    std::string name_;
    UniqueHandle handle_;
    std::string buffer_;
};

// The final path of an open file or folder, links and junctions followed; "\\?\C:\..." is
// given back as "C:\...", the form the rest of the program uses.
std::wstring finalPath(HANDLE handle) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(n);
    }
    if (path.size() > 6 && path.starts_with(L"\\\\?\\") && path[5] == L':') path.erase(0, 4);
    return path;
}

std::wstring withSeparator(std::wstring folder) {
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    return folder;
}

bool isHexDigit(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f');
}

class Win32FolderLock : public FolderLock {
  public:
    explicit Win32FolderLock(UniqueHandle handle) : handle_(std::move(handle)) {}

  private:
    UniqueHandle handle_;  // the lock file, deleted when this closes it
};

// Removes "~<file>.<16 hex digits>.tmp" files that an interrupted save left in the locked
// folder, and ".bak" ones while the file itself is there (otherwise a .bak may be the only
// copy left by a replace that failed half-way). Best effort.
void removeLeftovers(const std::wstring& folder, const std::wstring& file) {
    const std::wstring stem = L"~" + file + L".";
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((folder + stem + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    const bool fileThere = GetFileAttributesW((folder + file).c_str()) != INVALID_FILE_ATTRIBUTES;
    do {
        const std::wstring_view name = found.cFileName;
        if (name.size() != stem.size() + 16 + 4 || !name.starts_with(stem)) continue;
        const std::wstring_view digits = name.substr(stem.size(), 16);
        const std::wstring_view suffix = name.substr(stem.size() + 16);
        if (!std::all_of(digits.begin(), digits.end(), isHexDigit)) continue;
        if (suffix == L".tmp" || (suffix == L".bak" && fileThere))
            DeleteFileW((folder + std::wstring(name)).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// A name beside `target` ("~KUBUN.KMT.<hex><suffix>") that no other process or call will
// pick at the same moment.
std::wstring siblingName(const std::wstring& target, const wchar_t* suffix) {
    std::size_t cut = target.find_last_of(L"\\/");
    if (cut == std::wstring::npos && target.size() >= 2 && target[1] == L':') cut = 1;
    const std::wstring directory = cut == std::wstring::npos ? L"" : target.substr(0, cut + 1);
    const std::wstring base = cut == std::wstring::npos ? target : target.substr(cut + 1);

    static std::atomic<std::uint64_t> counter{0};
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    // splitmix64 of the process id, the clock and a counter.
    std::uint64_t x = (std::uint64_t{GetCurrentProcessId()} << 40) ^
                      static_cast<std::uint64_t>(now.QuadPart) ^ (counter++ * 0x9E3779B97F4A7C15u);
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
    x ^= x >> 31;

    wchar_t hex[17] = {};
    for (int i = 15; i >= 0; --i, x >>= 4) hex[i] = L"0123456789abcdef"[x & 0xF];
    return directory + L"~" + base + L"." + hex + suffix;
}

}  // namespace

std::string systemErrorText(int code) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    std::wstring text = n > 0 && buffer != nullptr ? std::wstring(buffer, n) : std::wstring();
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    try {
        if (!text.empty()) return narrow(text);
    } catch (const ConversionError&) {
    }
    return "unknown error";
}

IoError lastIoError(std::string_view what, std::string_view name) {
    const auto code = static_cast<int>(GetLastError());
    return IoError(what, name, code);
}

std::string resolvePath(std::string_view name) {
    const std::wstring wide = widen(name);
    UniqueHandle handle = ownHandle(
        CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (handle) {
        const std::wstring path = finalPath(handle.get());
        if (path.empty()) throw lastIoError("cannot resolve", name);
        return narrow(path);
    }
    const DWORD code = GetLastError();
    if (code != ERROR_FILE_NOT_FOUND) {
        SetLastError(code);
        throw lastIoError("cannot resolve", name);
    }
    // Not there yet: the full name it will have.
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (n == 0) throw lastIoError("cannot resolve", name);
        if (n < full.size()) {
            full.resize(n);
            return narrow(full);
        }
        full.resize(n);
    }
}

// A hidden lock file opened without sharing and deleted on close: it works between any two
// processes on the machine, and on a shared folder between machines, since the server
// enforces the sharing mode; and it goes away with the process, however that ends.
std::unique_ptr<FolderLock> lockFolderOf(std::string_view directory, std::string_view file,
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
                throw lastIoError("cannot open the folder", directory);
            }
            // A folder where no file can be made (read only): nothing to lock, nothing to clean.
            return std::make_unique<FolderLock>();
        }
        if (std::chrono::steady_clock::now() >= deadline) return nullptr;
        Sleep(10);
    }
}

std::unique_ptr<InputFile> openInputFile(std::string_view name) {
    UniqueHandle handle =
        ownHandle(CreateFileW(widen(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!handle) throw lastIoError("cannot open", name);
    return std::make_unique<Win32InputFile>(std::string(name), std::move(handle));
}

std::unique_ptr<OutputFile> createTemporaryFile(std::string_view target) {
    const std::wstring real = widen(target);
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::wstring name = siblingName(real, L".tmp");
        UniqueHandle handle = ownHandle(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr,
                                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (handle) return std::make_unique<Win32OutputFile>(narrow(name), std::move(handle));
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS)
            throw lastIoError("cannot create a temporary file beside", target);
    }
    throw IoError("no free temporary name beside " + std::string(target));
}

void replaceFile(std::string_view temporary, std::string_view target) {
    const std::wstring from = widen(temporary);
    const std::wstring to = widen(target);

    const DWORD attributes = GetFileAttributesW(to.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_NOT_FOUND) throw lastIoError("cannot look up", target);
        if (!MoveFileExW(from.c_str(), to.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            throw lastIoError("cannot move the new file to", target);
        return;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) throw IoError("not a file", target, ERROR_DIRECTORY);
    // The user marked the file read-only: the save must fail as an in-place write would.
    if (attributes & FILE_ATTRIBUTE_READONLY)
        throw IoError("read-only file", target, ERROR_ACCESS_DENIED);

    // Without a backup name, one failure of ReplaceFileW (ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)
    // leaves the old file under a name we cannot know; with one, it can be put back.
    const std::wstring backup = siblingName(to, L".bak");
    if (!ReplaceFileW(to.c_str(), from.c_str(), backup.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS,
                      nullptr, nullptr)) {
        const DWORD code = GetLastError();
        if (code == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) MoveFileExW(backup.c_str(), to.c_str(), 0);
        SetLastError(code);
        throw lastIoError("cannot replace", target);
    }
    // ReplaceFileW carries the attributes over on Windows; Wine does not.
    SetFileAttributesW(to.c_str(), attributes);
    DeleteFileW(backup.c_str());
}

}  // namespace kbnset::runtime
