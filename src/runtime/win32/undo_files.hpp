#pragma once

#include <string_view>

#include "runtime/system.hpp"

// What undo needs of the files on Win32; system.cpp forwards to these.
namespace kbnset::runtime {

void replaceKeeping(System& system, std::string_view temporary, std::string_view target,
                    std::string_view backup, const ReplaceCheck& check);
void exchangeFiles(std::string_view first, std::string_view second);

}  // namespace kbnset::runtime
