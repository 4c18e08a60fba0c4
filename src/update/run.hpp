#pragma once

#include <cstdint>
#include <string>

#include "category/record.hpp"
#include "runtime/system.hpp"
#include "update/user_interface.hpp"

namespace kbnset::update {

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
};

// The start button: with an empty `sourcePath` a pass with E_KUBUN.KMT and then one with
// J_KUBUN.KMT, otherwise one pass with that file. Each pass loads, merges and saves; the run
// completes with the final pass's save. The report goes to the user interface as well as to
// the caller.
RunReport run(Session& session, const std::string& sourcePath, runtime::System& system,
              UserInterface& ui);

}  // namespace kbnset::update
