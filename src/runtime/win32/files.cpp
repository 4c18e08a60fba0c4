#include "runtime/win32/files.hpp"

#include <windows.h>

#include <algorithm>
#include <atomic>
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
        : name_(std::move(name)), handle_(std::move(handle)) {}

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

// Follows a symbolic link, so that the replacement lands where the link points and the link
// itself stays. Anything that is not a link, or cannot be resolved, is taken as it is.
std::wstring resolveLink(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return path;
    UniqueHandle handle = ownHandle(
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) return path;
    std::wstring resolved(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetFinalPathNameByHandleW(handle.get(), resolved.data(),
                                                  static_cast<DWORD>(resolved.size()),
                                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n == 0) return path;
        if (n < resolved.size()) {
            resolved.resize(n);
            return resolved;
        }
        resolved.resize(n);
    }
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

IoError lastIoError(std::string_view what, std::string_view name) {
    const DWORD code = GetLastError();
    return IoError(std::string(what) + ": " + std::string(name) + " (error " +
                   std::to_string(code) + ")");
}

std::unique_ptr<InputFile> openInputFile(std::string_view name) {
    UniqueHandle handle =
        ownHandle(CreateFileW(widen(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!handle) throw lastIoError("cannot open", name);
    return std::make_unique<Win32InputFile>(std::string(name), std::move(handle));
}

std::unique_ptr<OutputFile> createTemporaryFile(std::string_view target) {
    const std::wstring real = resolveLink(widen(target));
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
    const std::wstring to = resolveLink(widen(target));

    const DWORD attributes = GetFileAttributesW(to.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_NOT_FOUND) throw lastIoError("cannot look up", target);
        if (!MoveFileExW(from.c_str(), to.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            throw lastIoError("cannot move the new file to", target);
        return;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) throw IoError("a directory: " + std::string(target));
    // The user marked the file read-only: the save must fail as an in-place write would.
    if (attributes & FILE_ATTRIBUTE_READONLY) throw IoError("read-only: " + std::string(target));

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
