#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "category/record.hpp"
#include "runtime/system.hpp"
#include "update/report.hpp"
#include "update/user_interface.hpp"

namespace kbnset::update {

// STOP_FLG: set by the user interface while the merge yields.
enum class StopFlag : std::int16_t {
    none = 0,
    requested = 1,  // the run in progress stops after its current record
};

struct PassReport {
    std::string referenceFile;  // as the pass named it: E_KUBUN.KMT, J_KUBUN.KMT or the source
    std::string fileRead;       // what REF_LOAD read instead when that was missing, else empty
    bool merged = false;        // both loads succeeded and the merge ran
    bool saveReached = false;
    bool saved = false;           // the save wrote KUBUN.KMT
    std::int32_t filled = 0;      // classifications filled by the merge
    std::int32_t codesFixed = 0;  // codes that this pass's save normalised, or would
};

struct RunReport {
    std::vector<PassReport> passes;
    bool completed = false;  // the final pass reached its save: the completion text shows
    bool stopped = false;    // a stop request ended the run
    // Ordinary records without a classification in KUBUN.KMT as the last load found it and
    // the last save left it; -1 when the last category load failed or none ran.
    std::int32_t stillEmpty = -1;
    // The classification and code changes of the passes that saved (or, in a dry run, would),
    // in pass order then line order, then the still-empty rows of the file as it is at the end.
    std::vector<Change> changes;
};

inline constexpr char kCompletionText[] = "備品区分機能設定が終了しました";
// The status line while another kbnset works on the same data folder.
inline constexpr char kWaitingText[] = "他の備品区分機能設定の終了を待っています";

// What a front end keeps across runs: the tables, the two folders and the stop request (the
// window for its whole life, the console for its one run).
struct Session {
    category::Tables tables;
    std::string START_DIR;
    std::string DATA_DIR;
    StopFlag STOP_FLG = StopFlag::none;
    bool running = false;  // a run is in progress (the window ignores its buttons then)
    // Whether the run's record row by row (RunReport::changes) is wanted; the counts always are.
    bool recordChanges = true;
};

// The start button: with an empty `sourcePath` a pass with E_KUBUN.KMT and then one with
// J_KUBUN.KMT, otherwise one pass with that file. Each pass loads, merges and saves; the run
// completes with the final pass's save. The report goes to the user interface as well as to
// the caller.
RunReport run(Session& session, const std::string& sourcePath, runtime::System& system,
              UserInterface& ui);

}  // namespace kbnset::update
