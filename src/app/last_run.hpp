#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "update/run.hpp"

// What the window keeps of its last run that saved, for the system menu's 「前回の結果(&L)」: the
// run's report as CSV, and beside it the counts. The counts are a file of their own because
// the CSV cannot carry them: a pass that filled nothing has no row, nor has the run's time, and
// the user may open the CSV in Excel and save it back in another form.
namespace kbnset::app {

// In the user's folder (runtime::System::userStateDirectory), not in the shared data folder.
inline constexpr char kLastReportFile[] = "前回の結果.csv";
inline constexpr char kLastCountsFile[] = "前回の結果.ini";

struct LastRun {
    struct Pass {
        std::string referenceFile;  // the file the pass read
        bool saved = false;
        std::int32_t filled = 0;  // classifications that its save wrote
        friend bool operator==(const Pass&, const Pass&) = default;
    };
    std::string time;  // when the run began, "2026/12/07 17:31:26"
    std::string dataDir;
    std::vector<Pass> passes;
    std::int32_t codesFixed = 0;   // by the saves
    std::int32_t stillEmpty = -1;  // -1: not known, the last load of KUBUN.KMT failed
    friend bool operator==(const LastRun&, const LastRun&) = default;
};

// Whether a run changed anything worth keeping a record of: one of its passes saved.
bool worthKeeping(const update::RunReport& report);
LastRun lastRunOf(const update::RunReport& report, std::string time, std::string dataDir);

std::string countsText(const LastRun& run);
// nullopt for a text that is not a whole record.
std::optional<LastRun> parseCounts(std::string_view text);

// The message box's text, without what it says of the report file.
std::string lastRunSummary(const LastRun& run);

}  // namespace kbnset::app
