#include <windows.h>
// clang-format off
#include <shlobj.h>  // needs windows.h first
// clang-format on

#include <memory>
#include <string>

#include "runtime/error.hpp"
#include "runtime/native_system.hpp"
#include "runtime/win32/os.hpp"
#include "runtime/win32/wide.hpp"

namespace kbnset::runtime {

namespace {

bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

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

}  // namespace

std::wstring withSeparator(std::wstring folder) {
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    return folder;
}

std::string NativeSystem::currentDirectory() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetCurrentDirectoryW(static_cast<DWORD>(path.size()), path.data());
        if (n == 0) throwLastError("cannot read the current directory", ".");
        if (n < path.size()) {
            path.resize(n);
            return narrow(path);
        }
        path.resize(n);  // n counts the terminator when the buffer was too small
    }
}

void NativeSystem::changeDrive(std::string_view path) {
    if (path.empty()) return;
    if (!isAsciiLetter(path[0])) throw IoError("no such drive", path, ERROR_INVALID_DRIVE);
    // "X:" alone goes to the directory that was last current on that drive, as ChDrive does.
    const wchar_t drive[] = {static_cast<wchar_t>(path[0]), L':', L'\0'};
    if (!SetCurrentDirectoryW(drive)) throwLastError("no such drive", path.substr(0, 1));
}

void NativeSystem::changeDirectory(std::string_view path) {
    if (path.empty()) throw IoError("cannot change directory to", path, ERROR_PATH_NOT_FOUND);
    if (!SetCurrentDirectoryW(widen(path).c_str()))
        throwLastError("cannot change directory to", path);
}

bool NativeSystem::isOrdinaryFile(std::string_view name) {
    if (name.empty()) return false;
    // The call would see a shorter name than the one asked about.
    if (name.find('\0') != std::string_view::npos)
        throw IoError("cannot look up", name, ERROR_INVALID_NAME);
    const DWORD attributes = GetFileAttributesW(widen(name).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // Only "not there" is an answer; access denied, a drive that is not ready or a bad
        // name say nothing about whether the file exists.
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return false;
        throwLastError("cannot look up", name);
    }
    constexpr DWORD kNotOrdinary =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    return (attributes & kNotOrdinary) == 0;
}

std::string NativeSystem::resolve(std::string_view name) {
    const std::wstring wide = widen(name);
    UniqueHandle handle = ownHandle(
        CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (handle) {
        const std::wstring path = finalPath(handle.get());
        if (path.empty()) throwLastError("cannot resolve", name);
        return narrow(path);
    }
    if (GetLastError() != ERROR_FILE_NOT_FOUND) throwLastError("cannot resolve", name);
    // Not there yet: the full name it will have.
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (n == 0) throwLastError("cannot resolve", name);
        if (n < full.size()) {
            full.resize(n);
            return narrow(full);
        }
        full.resize(n);
    }
}

std::string NativeSystem::userStateDirectory() {
    PWSTR local = nullptr;
    const HRESULT result =
        SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &local);
    const std::unique_ptr<wchar_t, decltype(&CoTaskMemFree)> owned(local, &CoTaskMemFree);
    if (FAILED(result))
        throw IoError("no folder for the user's files", "%LOCALAPPDATA%", HRESULT_CODE(result));
    const std::wstring folder = std::wstring(local) + L"\\kbnset";
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        throwLastError("cannot make the folder", narrow(folder));
    return narrow(folder);
}

}  // namespace kbnset::runtime
