#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "category/load.hpp"
#include "category/record.hpp"
#include "support/recording_ui.hpp"
#include "support/temp_dir.hpp"

// What the fuzz targets share: a private folder, a user that records what it was shown,
// and the checks whose failure is a crash.
namespace kbnset::fuzz {

// Stops the process with the broken rule on standard error; libFuzzer keeps the input.
[[noreturn]] void fail(std::string_view rule);
inline void require(bool holds, std::string_view rule) {
    if (!holds) fail(rule);
}

// One folder per process under the system's temporary folder (TMPDIR), removed at exit.
const test::TempDir& scratchDir();

// The tests' recording user, held to the rule that no message shows under the hourglass.
class RecordingUi : public test::RecordingUi {
  public:
    void showMessage(std::string_view text) override {
        require(!busy, "a message box under the hourglass pointer");
        test::RecordingUi::showMessage(text);
    }
    void setBusy(bool on) override { busy = on; }
    void clear() { *this = RecordingUi(); }

    bool busy = false;
};

// The rule of every load: success without a message, or a read failure with exactly one
// message `failureText` + "(n)" and the count as it was. `result` is the load's flag.
void checkLoad(category::LoadResult result, const RecordingUi& ui, std::string_view failureText,
               std::int32_t countBefore, std::int32_t countAfter);

// Whether two records hold the same values. Where a record was read from and its bytes as
// read are left out: only the category file's load keeps them, and a save rewrites them.
inline bool sameValues(const category::KBN_REC& a, const category::KBN_REC& b) {
    return a.REC_KIND == b.REC_KIND && a.VAL_2 == b.VAL_2 && a.KBN_NAME == b.KBN_NAME &&
           a.CODE_NUM == b.CODE_NUM && a.KBN_CODE == b.KBN_CODE && a.KBN_KEY2 == b.KBN_KEY2 &&
           a.KBN_CLASS == b.KBN_CLASS && a.VAL_6 == b.VAL_6 && a.VAL_8 == b.VAL_8 &&
           a.VAL_9 == b.VAL_9;
}

// The records that a successful load leaves are consistent with what the load works out.
void checkLoadedRecords(const std::vector<category::KBN_REC>& table, std::int32_t count);

}  // namespace kbnset::fuzz
