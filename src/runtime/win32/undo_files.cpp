#include "runtime/win32/undo_files.hpp"

#include <windows.h>

#include <string>

#include "runtime/error.hpp"
#include "runtime/win32/files.hpp"
#include "runtime/win32/wide.hpp"

namespace kbnset::runtime {

namespace {

// "~<file>.kbnset-tmp-<pid>-<n>" beside `path`.
std::wstring heldName(const std::wstring& path, int attempt) {
    const auto cut = path.find_last_of(L"\\/");
    const std::wstring folder = cut == std::wstring::npos ? L"" : path.substr(0, cut + 1);
    return folder + L"~" + path.substr(folder.size()) + L".kbnset-tmp-" +
           std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt);
}

// A second name for the file at `path`: a hard link, or a copy where the volume has none
// (`linked` false). Empty when there is no file.
std::wstring holdFile(const std::wstring& path, std::string_view target, bool& linked) {
    linked = true;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring held = heldName(path, attempt);
        if (CreateHardLinkW(held.c_str(), path.c_str(), nullptr)) return held;
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) return {};
        if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) continue;
        linked = false;
        if (CopyFileW(path.c_str(), held.c_str(), TRUE)) return held;
        if (GetLastError() == ERROR_FILE_EXISTS) continue;
        throw lastIoError("cannot keep", target);
    }
    throw IoError("no free name beside", target, ERROR_FILE_EXISTS);
}

}  // namespace

// As on POSIX: the file to be replaced gets a second name first, which the check reads and
// which becomes the backup.
void replaceKeeping(System& system, std::string_view temporary, std::string_view target,
                    std::string_view backup, const ReplaceCheck& check) {
    if (!backup.empty()) system.checkReplaceable(target);
    bool linked = true;
    const std::wstring held =
        backup.empty() && !check ? std::wstring() : holdFile(widen(target), target, linked);
    if (held.empty()) return replaceFile(temporary, target);
    try {
        // A copy is another file: the check then looks at the target itself.
        if (check && !check(*openInputFile(linked ? narrow(held) : std::string(target))))
            throw ChangedError("changed since it was loaded", target, 0);
        if (backup.empty()) {
            DeleteFileW(held.c_str());
        } else if (!MoveFileExW(held.c_str(), widen(backup).c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            throw lastIoError("cannot keep", backup);
        }
    } catch (...) {
        DeleteFileW(held.c_str());
        throw;
    }
    replaceFile(temporary, target);
}

// Windows has no swap of two names in one step: three moves, undone on the way back from a
// failure.
void exchangeFiles(std::string_view first, std::string_view second) {
    const std::wstring a = widen(first), b = widen(second), aside = heldName(a, 0);
    if (!MoveFileExW(a.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH))
        throw lastIoError("cannot exchange", first);
    if (!MoveFileExW(b.c_str(), a.c_str(), MOVEFILE_WRITE_THROUGH)) {
        const IoError error = lastIoError("cannot exchange", second);
        MoveFileExW(aside.c_str(), a.c_str(), 0);
        throw error;
    }
    if (!MoveFileExW(aside.c_str(), b.c_str(), MOVEFILE_WRITE_THROUGH)) {
        const IoError error = lastIoError("cannot exchange", second);
        MoveFileExW(a.c_str(), b.c_str(), 0);
        MoveFileExW(aside.c_str(), a.c_str(), 0);
        throw error;
    }
}

}  // namespace kbnset::runtime
