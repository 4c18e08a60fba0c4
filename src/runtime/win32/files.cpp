#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>

#include "runtime/error.hpp"
#include "runtime/native_system.hpp"
#include "runtime/win32/os.hpp"
#include "runtime/win32/wide.hpp"

namespace kbnset::runtime {

namespace {

// Large enough that a full table of 5,011 records goes out in a few WriteFile calls.
constexpr std::size_t kBufferSize = std::size_t{64} * 1024;
constexpr DWORD kMaxChunk = 1u << 30;
constexpr std::size_t kHexDigits = 16;

class Win32InputFile : public InputFile {
  public:
    Win32InputFile(std::string name, UniqueHandle handle)
        : name_(std::move(name)), handle_(std::move(handle)) {
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(handle_.get(), &info))
            throwLastError("cannot examine", name_);
        identity_ = {info.dwVolumeSerialNumber,
                     (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
    }

    FileIdentity identity() const override { return identity_; }

    std::size_t read(char* buffer, std::size_t size) override {
        DWORD done = 0;
        const auto want = static_cast<DWORD>(std::min<std::size_t>(size, kMaxChunk));
        if (!ReadFile(handle_.get(), buffer, want, &done, nullptr))
            throwLastError("cannot read", name_);
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
        checkUsable();
        buffer_.append(bytes);
        if (buffer_.size() >= kBufferSize) flush();
    }

    void commit() override {
        checkUsable();
        flush();
        if (!FlushFileBuffers(handle_.get())) fail("cannot flush");
        // A close that fails may have lost data; it is not left to the destructor.
        if (!CloseHandle(handle_.release())) throwLastError("cannot close", name_);
    }

  private:
    void checkUsable() const {
        if (!handle_) throw IoError("already committed", name_, 0);
        // After a failed write the file holds an unknown part of the data.
        if (failed_) throw IoError("an earlier write failed", name_, 0);
    }

    void flush() {
        std::size_t offset = 0;
        while (offset < buffer_.size()) {
            const auto chunk =
                static_cast<DWORD>(std::min<std::size_t>(buffer_.size() - offset, kMaxChunk));
            DWORD done = 0;
            if (!WriteFile(handle_.get(), buffer_.data() + offset, chunk, &done, nullptr))
                fail("cannot write");
            if (done == 0) {
                SetLastError(ERROR_WRITE_FAULT);
                fail("cannot write");
            }
            offset += done;
        }
        buffer_.clear();
    }

    [[noreturn]] void fail(std::string_view what) {
        failed_ = true;
        throwLastError(what, name_);
    }

    std::string name_;
    UniqueHandle handle_;
    bool failed_ = false;
    std::string buffer_;
};

bool isHexDigit(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f');
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

    wchar_t hex[kHexDigits + 1] = {};
    for (int i = kHexDigits - 1; i >= 0; --i, x >>= 4) hex[i] = L"0123456789abcdef"[x & 0xF];
    return directory + L"~" + base + L"." + hex + suffix;
}

}  // namespace

bool isTemporaryOf(std::wstring_view entry, std::wstring_view file, std::wstring_view suffix) {
    const std::size_t stem = file.size() + 2;
    if (entry.size() != stem + kHexDigits + suffix.size() || entry[0] != L'~' ||
        entry.substr(1, file.size()) != file || entry[stem - 1] != L'.' ||
        entry.substr(stem + kHexDigits) != suffix)
        return false;
    const std::wstring_view digits = entry.substr(stem, kHexDigits);
    return std::all_of(digits.begin(), digits.end(), isHexDigit);
}

std::unique_ptr<InputFile> NativeSystem::openRead(std::string_view name) {
    UniqueHandle handle =
        ownHandle(CreateFileW(widen(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!handle) throwLastError("cannot open", name);
    return std::make_unique<Win32InputFile>(std::string(name), std::move(handle));
}

void NativeSystem::removeFile(std::string_view name) noexcept {
    try {
        DeleteFileW(widen(name).c_str());
    } catch (...) {
        // A name that does not convert names no file.
    }
}

std::unique_ptr<OutputFile> NativeSystem::createTemporary(std::string_view target) {
    const std::wstring real = widen(target);
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::wstring name = siblingName(real, L".tmp");
        UniqueHandle handle = ownHandle(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr,
                                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (handle) return std::make_unique<Win32OutputFile>(narrow(name), std::move(handle));
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS)
            throwLastError("cannot create a temporary file for", target);
    }
    throw IoError("cannot create a temporary file for", target, ERROR_FILE_EXISTS);
}

void NativeSystem::checkReplaceable(std::string_view target) {
    System::checkReplaceable(target);
}

void NativeSystem::exchange(std::string_view first, std::string_view second) {
    const std::wstring a = widen(first), b = widen(second);
    const std::wstring spare = siblingName(a, L".tmp");
    if (!MoveFileExW(a.c_str(), spare.c_str(), 0)) throwLastError("cannot rename", first);
    if (!MoveFileExW(b.c_str(), a.c_str(), 0)) {
        const DWORD code = GetLastError();
        MoveFileExW(spare.c_str(), a.c_str(), 0);
        SetLastError(code);
        throwLastError("cannot rename", second);
    }
    if (!MoveFileExW(spare.c_str(), b.c_str(), MOVEFILE_WRITE_THROUGH))
        throwLastError("cannot rename", second);
}

// ReplaceFileW keeps the old file under a backup name, where it is looked at after the
// replace; when it is not the one loaded, it goes back.
void NativeSystem::replace(std::string_view temporary, std::string_view target,
                           std::string_view backup, const ReplaceCheck& check) {
    const std::wstring from = widen(temporary);
    const std::wstring to = widen(target);

    const DWORD attributes = GetFileAttributesW(to.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES && GetLastError() != ERROR_FILE_NOT_FOUND)
        throwLastError("cannot look up", target);
    if ((attributes == INVALID_FILE_ATTRIBUTES) == static_cast<bool>(check))
        throw ChangedError("changed since it was loaded", target, 0);
    if (!check) {
        // Never over a file that appeared meanwhile.
        if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return;
        const DWORD code = GetLastError();
        if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS)
            throw ChangedError("changed since it was loaded", target, 0);
        throwLastError("cannot move the new file to", target);
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        throw IoError("not a regular file", target, ERROR_DIRECTORY);
    // The user marked the file read-only: the save must fail as an in-place write would.
    if (attributes & FILE_ATTRIBUTE_READONLY)
        throw ReadOnlyError("read-only file", target, ERROR_ACCESS_DENIED);

    // Without a backup name, one failure of ReplaceFileW (ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)
    // leaves the old file under a name we cannot know; with one, it can be put back.
    const std::wstring aside = siblingName(to, L".bak");
    if (!ReplaceFileW(to.c_str(), from.c_str(), aside.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS,
                      nullptr, nullptr)) {
        const DWORD code = GetLastError();
        if (code == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) MoveFileExW(aside.c_str(), to.c_str(), 0);
        SetLastError(code);
        throwLastError("cannot replace", target);
    }
    // Puts the old file back and the new one under `temporary` again.
    auto putBack = [&] {
        MoveFileExW(to.c_str(), from.c_str(), 0);
        MoveFileExW(aside.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH);
    };
    bool same = false;
    try {
        same = check(*openRead(narrow(aside)));
    } catch (...) {
        putBack();
        throw;
    }
    if (!same) {
        putBack();
        throw ChangedError("changed since it was loaded", target, 0);
    }
    // ReplaceFileW carries the attributes over on Windows; Wine does not.
    SetFileAttributesW(to.c_str(), attributes);
    if (backup.empty()) {
        DeleteFileW(aside.c_str());
    } else if (!MoveFileExW(aside.c_str(), widen(backup).c_str(), MOVEFILE_REPLACE_EXISTING)) {
        throwLastError("cannot keep the backup", backup);
    }
}

}  // namespace kbnset::runtime
