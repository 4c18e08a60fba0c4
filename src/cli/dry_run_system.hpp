#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/forwarding_system.hpp"

namespace kbnset::cli {

// The system for --dry-run: everything is read from the real one, but what a save would
// write stays in memory. A replaced file is then read back from memory under its full path,
// so a later pass sees what an earlier one would have saved, and the disk is never touched.
class DryRunSystem final : public runtime::ForwardingSystem {
  public:
    explicit DryRunSystem(runtime::System& real) : ForwardingSystem(real) {}

    bool isOrdinaryFile(std::string_view name) override;
    std::unique_ptr<runtime::InputFile> openRead(std::string_view name) override;
    // A dry run only reads, and saves replace files in one step: it need not wait for
    // anyone, and it must not clear another run's leftovers from the disk.
    std::unique_ptr<runtime::FileLock> lockFile(std::string_view, std::string_view,
                                                std::chrono::milliseconds) override {
        return std::make_unique<runtime::FileLock>();
    }
    std::unique_ptr<runtime::OutputFile> createTemporary(std::string_view target) override;
    void replace(std::string_view temporary, std::string_view target, std::string_view backup,
                 const runtime::ReplaceCheck& check) override;
    // Swaps the two files as this run sees them; the disk keeps both.
    void exchange(std::string_view first, std::string_view second) override;
    void removeFile(std::string_view name) noexcept override;

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
    std::string readAll(std::string_view name);

    std::map<std::string, std::string> saved_;
    std::map<std::string, std::shared_ptr<Pending>> pending_;
    unsigned temporaries_ = 0;
};

}  // namespace kbnset::cli
