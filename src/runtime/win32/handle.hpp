#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace kbnset::runtime {

// CreateFileW reports failure as INVALID_HANDLE_VALUE, which unique_ptr would take for a
// live handle; callers store nullptr instead (see ownHandle).
struct HandleClose {
    void operator()(HANDLE handle) const noexcept { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleClose>;

inline UniqueHandle ownHandle(HANDLE handle) {
    return UniqueHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

}  // namespace kbnset::runtime
