#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "support/temp_dir.hpp"
#include "win32/driver.hpp"

namespace kbnset::test {

// A start folder and a data folder for one test, and the settings store pointing at the data
// folder (or at nothing).
struct Scene {
    TempDir tmp;
    std::filesystem::path start = tmp / "start";
    std::filesystem::path data = tmp / "data";
    DataDirSetting rzorvel;
    DataDirSetting zorvel;

    explicit Scene(bool withDataDir = true)
        : rzorvel(L"R-ZORVEL", withDataDir ? std::optional(data.wstring()) : std::nullopt),
          zorvel(L"ZORVEL", std::nullopt) {
        std::filesystem::create_directories(start);
        std::filesystem::create_directories(data);
    }
    std::wstring destination() const { return data.wstring() + L"\\KUBUN.KMT"; }
};

}  // namespace kbnset::test
