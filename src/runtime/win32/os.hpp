#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

// What the Win32 files of the runtime share: owners of handles and the one way to raise an
// error of the system.
namespace kbnset::runtime {

// Throws IoError with `operation`, `name` and GetLastError().
[[noreturn]] void throwLastError(std::string_view operation, std::string_view name);

// CreateFileW reports failure as INVALID_HANDLE_VALUE, which unique_ptr would take for a
// live handle; ownHandle stores nullptr instead.
struct HandleClose {
    void operator()(HANDLE handle) const noexcept { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleClose>;

inline UniqueHandle ownHandle(HANDLE handle) {
    return UniqueHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

struct FindCloser {
    void operator()(HANDLE search) const noexcept { ::FindClose(search); }
};
using UniqueFind = std::unique_ptr<std::remove_pointer_t<HANDLE>, FindCloser>;

inline UniqueFind ownFind(HANDLE search) {
    return UniqueFind(search == INVALID_HANDLE_VALUE ? nullptr : search);
}

// `folder` with a trailing backslash.
std::wstring withSeparator(std::wstring folder);

// Whether `entry` is a temporary file that a save of `file` names "~<file>.<16 hex><suffix>".
bool isTemporaryOf(std::wstring_view entry, std::wstring_view file, std::wstring_view suffix);

}  // namespace kbnset::runtime
