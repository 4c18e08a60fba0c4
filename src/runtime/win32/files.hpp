#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/error.hpp"
#include "runtime/system.hpp"

// The file half of the Win32 system services; system.cpp forwards to these.
namespace kbnset::runtime {

// An IoError naming the operation, the file and GetLastError's code.
IoError lastIoError(std::string_view what, std::string_view name);

std::unique_ptr<InputFile> openInputFile(std::string_view name);
std::string resolvePath(std::string_view name);
std::unique_ptr<FolderLock> lockFolderOf(std::string_view directory, std::string_view file,
                                         std::chrono::milliseconds patience);
std::unique_ptr<OutputFile> createTemporaryFile(std::string_view target);
void replaceFile(std::string_view temporary, std::string_view target);

}  // namespace kbnset::runtime
