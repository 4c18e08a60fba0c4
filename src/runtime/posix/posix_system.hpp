#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/system.hpp"

// The POSIX side of the runtime services, split over system.cpp (directories, look-up,
// reading), files.cpp (temporary file and replace) and settings.cpp (the INI store).
namespace kbnset::runtime {

class PosixSystem final : public System {
  public:
    std::string currentDirectory() override;
    void changeDrive(std::string_view path) override;
    void changeDirectory(std::string_view path) override;
    bool isOrdinaryFile(std::string_view name) override;
    std::unique_ptr<InputFile> openRead(std::string_view name) override;
    std::string resolve(std::string_view name) override;
    std::unique_ptr<FolderLock> lockFolder(std::string_view directory, std::string_view file,
                                           std::chrono::milliseconds patience) override;
    std::unique_ptr<OutputFile> createTemporary(std::string_view target) override;
    void replace(std::string_view temporary, std::string_view target) override;
    void removeFile(std::string_view name) noexcept override;
    void checkReplaceable(std::string_view target) override;
    std::string readSetting(std::string_view application, std::string_view section,
                            std::string_view key, std::string_view fallback) override;
};

// Throws IoError with `what`, the file name and errno.
[[noreturn]] void throwIo(std::string_view what, std::string_view name);

// Reads the whole file; IoError when it cannot be opened or read, or holds more than `limit`
// bytes.
std::string readWholeFile(std::string_view name, std::size_t limit);

}  // namespace kbnset::runtime
