#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/error.hpp"
#include "runtime/system.hpp"
#include "support/kmt.hpp"
#include "support/temp_dir.hpp"

namespace kbnset::test {

// The native system on real files, with the settings store answered from a map and every
// read of it logged. A directory named in `unreachable` cannot be made current.
class SettingsSystem : public runtime::System {
  public:
    std::map<std::string, std::string> settings;  // "application/section/key" -> value
    std::vector<std::string> settingsRead;
    std::string unreachable;

    std::string currentDirectory() override { return native().currentDirectory(); }
    void changeDrive(std::string_view path) override { native().changeDrive(path); }
    void changeDirectory(std::string_view path) override {
        if (!unreachable.empty() && path == unreachable) throw runtime::IoError("unreachable");
        native().changeDirectory(path);
    }
    bool isOrdinaryFile(std::string_view name) override { return native().isOrdinaryFile(name); }
    std::unique_ptr<runtime::InputFile> openRead(std::string_view name) override {
        return native().openRead(name);
    }
    std::unique_ptr<runtime::OutputFile> createTemporary(std::string_view target) override {
        return native().createTemporary(target);
    }
    void replace(std::string_view temporary, std::string_view target) override {
        native().replace(temporary, target);
    }
    void removeFile(std::string_view name) noexcept override { native().removeFile(name); }
    std::string readSetting(std::string_view application, std::string_view section,
                            std::string_view key, std::string_view fallback) override {
        std::string path =
            std::string(application) + "/" + std::string(section) + "/" + std::string(key);
        settingsRead.push_back(path);
        auto it = settings.find(path);
        return it == settings.end() ? std::string(fallback) : it->second;
    }

  private:
    static runtime::System& native() { return runtime::nativeSystem(); }
};

// UTF-8 text of a path, as the program takes it.
inline std::string utf8(const std::filesystem::path& p) {
    auto u8 = p.u8string();
    return std::string(u8.begin(), u8.end());
}

struct Row {
    std::string name, key2, klass;
};

// A category file of ordinary records, as disk bytes.
inline std::string categoryFile(const std::vector<Row>& rows) {
    std::vector<Rec> records;
    records.reserve(rows.size());
    for (const auto& r : rows) records.push_back({.name = r.name, .key2 = r.key2, .cls = r.klass});
    return kmt(records);
}

}  // namespace kbnset::test
