#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "category/load.hpp"
#include "category/record.hpp"

namespace kbnset::update {

inline constexpr char kCompletionText[] = "備品区分機能設定が終了しました";

// What the main window owns across its life.
struct Session {
    category::Tables tables;
    std::string START_DIR;
    std::string DATA_DIR;
    std::int16_t STOP_FLG = 0;  // 1 asks the run in progress to stop
    bool running = false;       // a run is in progress (the window ignores its buttons then)
};

struct PassReport {
    std::string referenceFile;  // as the pass named it: E_KUBUN.KMT, J_KUBUN.KMT or the source
    bool merged = false;        // both loads succeeded and the merge ran
    bool saveReached = false;
    std::int32_t filled = 0;  // classifications filled by the merge
};

struct RunReport {
    std::vector<PassReport> passes;
    bool completed = false;  // the completion text was shown
    bool stopped = false;    // a stop request ended the run
    // Ordinary records of KBN_TBL still without a classification after the last merge, or -1
    // when no merge ran.
    std::int32_t stillEmpty = -1;
};

// The start button: with an empty `sourcePath` a pass with E_KUBUN.KMT and then one with
// J_KUBUN.KMT, otherwise one pass with that file. Each pass loads, merges and saves; the
// completion text follows the final pass's save.
RunReport run(Session& session, const std::string& sourcePath, category::Context ctx);

}  // namespace kbnset::update
