#pragma once

#include <cstdint>
#include <string>

namespace kbnset::category {

// The number of a category code: K codes from 1000, P codes from 2000, other letters from
// 3000 in steps of 1000, plain numbers as they are. Raises runtime::ConversionError for a
// code that is not of that form and runtime::OverflowError beyond 32 bits.
std::int32_t CODE_NO(std::string s);

}  // namespace kbnset::category
