#pragma once

#include <string>

#include "runtime/system.hpp"

// Start-up discovery of DATA_DIR, shared by the window and the console.
namespace kbnset::update {

inline constexpr char kSettingsFile[] = "ZORVEL.SEW";

// `dir` as an absolute path, a relative one taken from `current` and normalised; empty text
// stays empty. The steps switch the current directory between START_DIR and DATA_DIR, so a
// relative directory would be taken from wherever the last step left it.
std::string absoluteDirectory(const std::string& current, const std::string& dir);

// The data directory as the settings store gives it: "R-ZORVEL", then "ZORVEL"
// (section "SCHOOL", key "DIR_ME"); empty when neither holds one. A relative value is taken
// from the current directory, the start folder at start-up.
std::string readDataDirSetting(runtime::System& system);

// Replaces DATA_DIR by the eighth item of ZORVEL.SEW found in DATA_DIR, a relative item taken
// from DATA_DIR. Every failure is silent and leaves DATA_DIR as it was; the current directory
// stays at DATA_DIR when the switch to it succeeded.
void SF_LOAD(std::string& DATA_DIR, runtime::System& system);

// Both of the above, as the window does at start.
std::string findDataDirectory(runtime::System& system);

}  // namespace kbnset::update
