#pragma once

#include <cstdint>
#include <string_view>

namespace kbnset::runtime {

// An optionally signed run of decimal digits with blanks (space, tab) around it.
// Anything else raises ConversionError; a value outside 32 bits raises OverflowError.
std::int32_t toLong(std::string_view text);

}  // namespace kbnset::runtime
