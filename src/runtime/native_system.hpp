#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/system.hpp"

// The system the program was built for. Declared once; each member is defined in the file of
// its concern under runtime/posix/ or runtime/win32/ (directories.cpp, files.cpp, lock.cpp,
// settings.cpp), the same file names on both sides.
namespace kbnset::runtime {

class NativeSystem final : public System {
  public:
    // directories.cpp
    std::string currentDirectory() override;
    void changeDrive(std::string_view path) override;
    void changeDirectory(std::string_view path) override;
    bool isOrdinaryFile(std::string_view name) override;
    std::string resolve(std::string_view name) override;
    std::string userStateDirectory() override;
    // files.cpp
    std::unique_ptr<InputFile> openRead(std::string_view name) override;
    std::unique_ptr<OutputFile> createTemporary(std::string_view target) override;
    void replace(std::string_view temporary, std::string_view target, std::string_view backup,
                 const ReplaceCheck& check) override;
    void exchange(std::string_view first, std::string_view second) override;
    void removeFile(std::string_view name) noexcept override;
    bool checkReplaceable(std::string_view target) override;
    // lock.cpp
    std::unique_ptr<FileLock> lockFile(std::string_view directory, std::string_view file,
                                       std::chrono::milliseconds patience) override;
    // settings.cpp
    std::string readSetting(std::string_view application, std::string_view section,
                            std::string_view key, std::string_view fallback) override;
};

}  // namespace kbnset::runtime
