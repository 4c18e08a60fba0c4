#pragma once

#include <string>
#include <string_view>

#include "runtime/text.hpp"

namespace kbnset::test {

// UTF-8 text to the bytes of code page 932. The conversion itself is held to Windows's own
// table by the code page test, so the fixtures may use it.
inline std::string cp932(std::string_view utf8) {
    return runtime::toAnsi(utf8);
}

}  // namespace kbnset::test
