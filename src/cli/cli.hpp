#pragma once

#include <string>
#include <vector>

#include "cli/console_ui.hpp"
#include "runtime/system.hpp"
#include "update/run.hpp"

// kbnset-cli: the update run of the start button, from a command line.
namespace kbnset::cli {

inline constexpr int kExitOk = 0;      // completion text reached, no message shown
inline constexpr int kExitFailed = 1;  // a message was shown or the run ended early
inline constexpr int kExitUsage = 2;   // bad arguments, or no data directory
inline constexpr int kExitInterrupted =
    128;  // plus the signal, as a shell reports it: 130 for Ctrl+C

// The whole program; `args` leaves out the program name.
int runCli(const std::vector<std::string>& args, runtime::System& system, Console& console);

// What the run did, a line per pass and the classifications still empty at the end.
std::string summary(const update::RunReport& report, bool dryRun);

}  // namespace kbnset::cli
