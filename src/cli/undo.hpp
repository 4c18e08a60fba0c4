#pragma once

#include "cli/console_ui.hpp"
#include "cli/options.hpp"
#include "runtime/system.hpp"

namespace kbnset::cli {

// kbnset-cli --undo: puts KUBUN.KMT back as it was before the last run, or with --dry-run says
// whether it could. The data folder is found as for a run.
int runUndo(const Options& options, runtime::System& system, Console& console);

}  // namespace kbnset::cli
