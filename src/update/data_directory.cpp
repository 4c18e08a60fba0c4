#include "update/data_directory.hpp"

#include <exception>
#include <filesystem>

#include "category/load.hpp"
#include "runtime/paths.hpp"
#include "runtime/sequential.hpp"

namespace kbnset::update {

namespace fs = std::filesystem;

namespace {

// Text that needs no current directory: empty (no data directory), absolute, or on POSIX a
// Windows path with its drive ("C:\\DATA"), which means nothing here and stays as the suite
// wrote it rather than becoming a folder under the current one.
bool keptAsGiven(const std::string& dir) {
    return dir.empty() || runtime::pathOf(dir).is_absolute() || runtime::isForeignDrivePath(dir);
}

// Only a relative value needs the current directory, so an absolute one is used exactly as
// stored, also when the current directory cannot be read.
std::string madeAbsolute(runtime::System& system, const std::string& dir) {
    return keptAsGiven(dir) ? dir : absoluteDirectory(system.currentDirectory(), dir);
}

}  // namespace

std::string absoluteDirectory(const std::string& current, const std::string& dir) {
    if (keptAsGiven(dir)) return dir;
    fs::path full = (runtime::pathOf(current) / runtime::pathOf(dir)).lexically_normal();
    if (full.has_relative_path() && !full.has_filename()) full = full.parent_path();
    return runtime::utf8Of(full);
}

std::string readDataDirSetting(runtime::System& system) {
    std::string dir = system.readSetting("R-ZORVEL", "SCHOOL", "DIR_ME", "");
    if (dir.empty()) dir = system.readSetting("ZORVEL", "SCHOOL", "DIR_ME", "");
    return madeAbsolute(system, dir);
}

void SF_LOAD(std::string& DATA_DIR, runtime::System& system) {
    try {
        category::switchTo(system, DATA_DIR);
        if (!system.isOrdinaryFile(kSettingsFile)) return;
        runtime::SequentialReader in(system.openRead(kSettingsFile));
        for (int item = 1; item <= 5; ++item) in.readText();
        in.readInteger();
        in.readInteger();
        // Assigned only once read in full, so a failure leaves the settings-store value. The
        // current directory is the settings folder here.
        DATA_DIR = madeAbsolute(system, in.readText());
    } catch (const std::exception&) {
        // The settings file is optional; start-up goes on with what the store gave.
    }
}

std::string findDataDirectory(runtime::System& system) {
    std::string dir = readDataDirSetting(system);
    SF_LOAD(dir, system);
    return dir;
}

}  // namespace kbnset::update
