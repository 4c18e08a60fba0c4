#pragma once

#include <string>
#include <string_view>

namespace kbnset::test {

// UTF-8 text to the bytes of code page 932, independent of the code under test.
std::string cp932(std::string_view utf8);

}  // namespace kbnset::test
