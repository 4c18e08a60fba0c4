#pragma once

#include <string>

namespace kbnset::runtime {

// The local time now, as Japanese Windows shows it: "2026/12/07 17:31:26".
std::string localTimeText();

}  // namespace kbnset::runtime
