#include "runtime/system.hpp"

#include <windows.h>

#include <string>

#include "runtime/error.hpp"
#include "runtime/win32/files.hpp"
#include "runtime/win32/wide.hpp"

namespace kbnset::runtime {

namespace {

bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

class Win32System : public System {
  public:
    std::string currentDirectory() override {
        std::wstring path(MAX_PATH, L'\0');
        for (;;) {
            const DWORD n = GetCurrentDirectoryW(static_cast<DWORD>(path.size()), path.data());
            if (n == 0) throw lastIoError("cannot read", "the current directory");
            if (n < path.size()) {
                path.resize(n);
                return narrow(path);
            }
            path.resize(n);  // n counts the terminator when the buffer was too small
        }
    }

    void changeDrive(std::string_view path) override {
        if (path.empty()) return;
        if (!isAsciiLetter(path[0])) throw IoError("no such drive", path, ERROR_INVALID_DRIVE);
        // "X:" alone goes to the directory that was last current on that drive, as ChDrive does.
        const wchar_t drive[] = {static_cast<wchar_t>(path[0]), L':', L'\0'};
        if (!SetCurrentDirectoryW(drive)) throw lastIoError("no such drive", path.substr(0, 1));
    }

    void changeDirectory(std::string_view path) override {
        if (path.empty()) throw IoError("cannot change to", path, ERROR_PATH_NOT_FOUND);
        if (!SetCurrentDirectoryW(widen(path).c_str())) throw lastIoError("cannot change to", path);
    }

    bool isOrdinaryFile(std::string_view name) override {
        if (name.empty()) return false;
        // The call would see a shorter name than the one asked about.
        if (name.find('\0') != std::string_view::npos) throw IoError("a file name holds NUL");
        const DWORD attributes = GetFileAttributesW(widen(name).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            // Only "not there" is an answer; access denied, a drive that is not ready or a bad
            // name say nothing about whether the file exists.
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return false;
            throw lastIoError("cannot look up", name);
        }
        constexpr DWORD kNotOrdinary =
            FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
        return (attributes & kNotOrdinary) == 0;
    }

    std::unique_ptr<InputFile> openRead(std::string_view name) override {
        return openInputFile(name);
    }

    std::string resolve(std::string_view name) override { return resolvePath(name); }

    std::unique_ptr<FolderLock> lockFolder(std::string_view directory, std::string_view file,
                                           std::chrono::milliseconds patience) override {
        return lockFolderOf(directory, file, patience);
    }

    std::unique_ptr<OutputFile> createTemporary(std::string_view target) override {
        return createTemporaryFile(target);
    }

    void replace(std::string_view temporary, std::string_view target) override {
        replaceFile(temporary, target);
    }

    void removeFile(std::string_view name) noexcept override {
        try {
            DeleteFileW(widen(name).c_str());
        } catch (...) {
            // A name that does not convert names no file.
        }
    }

    // Where the suite's VB programs keep GetSetting values. Any failure (no key, no value,
    // not a string) gives the fallback, as GetSetting does.
    std::string readSetting(std::string_view application, std::string_view section,
                            std::string_view key, std::string_view fallback) override {
        const std::wstring subkey = L"Software\\VB and VBA Program Settings\\" +
                                    widen(application) + L"\\" + widen(section);
        const std::wstring value = widen(key);
        std::wstring text(64, L'\0');
        for (;;) {
            auto bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
            const LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, subkey.c_str(), value.c_str(),
                                                RRF_RT_REG_SZ, nullptr, text.data(), &bytes);
            if (status == ERROR_MORE_DATA) {
                text.resize(bytes / sizeof(wchar_t) + 1);
                continue;
            }
            if (status != ERROR_SUCCESS) return std::string(fallback);
            text.resize(bytes / sizeof(wchar_t));
            while (!text.empty() && text.back() == L'\0') text.pop_back();
            return narrow(text);
        }
    }
};

}  // namespace

System& nativeSystem() {
    static Win32System system;
    return system;
}

}  // namespace kbnset::runtime
