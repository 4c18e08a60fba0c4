#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/system.hpp"

namespace kbnset::cli {

// The system for --dry-run: everything is read from the real one, but what a save would
// write stays in memory. A replaced file is then read back from memory under its full path,
// so a later pass sees what an earlier one would have saved, and the disk is never touched.
class DryRunSystem final : public runtime::System {
  public:
    explicit DryRunSystem(runtime::System& real) : real_(real) {}

    std::string currentDirectory() override { return real_.currentDirectory(); }
    void changeDrive(std::string_view path) override { real_.changeDrive(path); }
    void changeDirectory(std::string_view path) override { real_.changeDirectory(path); }
    bool isOrdinaryFile(std::string_view name) override;
    std::unique_ptr<runtime::InputFile> openRead(std::string_view name) override;
    std::unique_ptr<runtime::OutputFile> createTemporary(std::string_view target) override;
    void replace(std::string_view temporary, std::string_view target) override;
    void removeFile(std::string_view name) noexcept override;
    std::string readSetting(std::string_view application, std::string_view section,
                            std::string_view key, std::string_view fallback) override {
        return real_.readSetting(application, section, key, fallback);
    }

    // The bytes that a save would have left under `name`, or nullptr when none was saved.
    const std::string* saved(std::string_view name);

    // A temporary file being written; shared with the OutputFile the save holds, since the
    // save may let go of that before it calls replace().
    struct Pending {
        std::string bytes;
        bool committed = false;
    };

  private:
    // The key under which a saved file is kept: its full, normalised path.
    std::string keyFor(std::string_view name);

    runtime::System& real_;
    std::map<std::string, std::string> saved_;
    std::map<std::string, std::shared_ptr<Pending>> pending_;
    unsigned temporaries_ = 0;
};

}  // namespace kbnset::cli
