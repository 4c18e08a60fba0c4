#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "category/load.hpp"
#include "category/record.hpp"
#include "update/user_interface.hpp"

// What the fuzz targets share: a private folder, a user that records what it was shown,
// and the checks whose failure is a crash.
namespace kbnset::fuzz {

// Stops the process with the broken rule on standard error; libFuzzer keeps the input.
[[noreturn]] void fail(std::string_view rule);
inline void require(bool holds, std::string_view rule) {
    if (!holds) fail(rule);
}

// One folder per process under the system's temporary folder (TMPDIR), removed at exit.
const std::filesystem::path& scratchDir();
std::string scratchDirText();
void writeFile(const std::filesystem::path& file, std::string_view bytes);

class RecordingUi : public update::UserInterface {
  public:
    void showMessage(std::string_view text) override {
        require(!busy, "a message box under the hourglass pointer");
        messages.emplace_back(text);
    }
    void setBusy(bool on) override { busy = on; }
    void progress(std::int32_t done, std::int32_t total) override {
        lastProgress = {done, total};
        ++progressed;
    }
    void yield() override { ++yields; }

    void clear() {
        messages.clear();
        lastProgress = {};
        progressed = 0;
        yields = 0;
        busy = false;
    }

    std::vector<std::string> messages;
    std::pair<std::int32_t, std::int32_t> lastProgress;  // done, total
    int progressed = 0;
    int yields = 0;
    bool busy = false;
};

// The rule of every load: success without a message, or a read failure with exactly one
// message `failureText` + "(n)" and the count as it was. `result` is the load's flag.
void checkLoad(category::LoadResult result, const RecordingUi& ui, std::string_view failureText,
               std::int32_t countBefore, std::int32_t countAfter);

// The records that a successful load leaves are consistent with what the load works out.
void checkLoadedRecords(const std::vector<category::KBN_REC>& table, std::int32_t count);

}  // namespace kbnset::fuzz
