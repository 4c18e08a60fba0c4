#include "update/data_directory.hpp"

#include <exception>

#include "category/load.hpp"
#include "runtime/sequential.hpp"

namespace kbnset::update {

std::string readDataDirSetting(runtime::System& system) {
    std::string dir = system.readSetting("R-ZORVEL", "SCHOOL", "DIR_ME", "");
    if (dir.empty()) dir = system.readSetting("ZORVEL", "SCHOOL", "DIR_ME", "");
    return dir;
}

void SF_LOAD(std::string& DATA_DIR, runtime::System& system) {
    try {
        category::switchTo(system, DATA_DIR);
        if (!system.isOrdinaryFile(kSettingsFile)) return;
        runtime::SequentialReader in(system.openRead(kSettingsFile));
        for (int item = 1; item <= 5; ++item) in.readText();
        in.readInteger();
        in.readInteger();
        // Assigned only once read in full, so a failure leaves the settings-store value.
        DATA_DIR = in.readText();
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
