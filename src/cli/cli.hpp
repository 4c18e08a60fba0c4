#pragma once

#include <string>
#include <vector>

#include "cli/console_ui.hpp"
#include "runtime/system.hpp"
#include "update/run.hpp"

// kbnset-cli: the update run of the start button, from a command line.
namespace kbnset::cli {

inline constexpr int kExitOk = 0;  // completion text reached, no message shown
inline constexpr int kExitFailed =
    1;  // a message was shown, the run ended early, or an output failed
inline constexpr int kExitUsage = 2;  // bad arguments, or a folder or --source not there
inline constexpr int kExitInterrupted =
    128;  // plus the signal, as a shell reports it: 130 for Ctrl+C

// The whole program; `args` leaves out the program name.
int runCli(const std::vector<std::string>& args, runtime::System& system, Console& console);

// What the run did, a line per pass and the classifications still empty at the end.
// `passMessages`: the first message each pass showed (empty for none), which tells which
// file a pass could not load; `busy`: the run ended because another kbnset held the folder.
std::string summary(const update::RunReport& report, bool dryRun,
                    const std::vector<std::string>& passMessages = {}, bool busy = false);

}  // namespace kbnset::cli
