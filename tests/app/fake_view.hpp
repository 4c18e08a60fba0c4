#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "app/layout.hpp"
#include "app/main_form.hpp"
#include "runtime/error.hpp"
#include "support/faulty_system.hpp"
#include "support/recording_ui.hpp"
#include "support/temp_dir.hpp"

namespace kbnset::test {

// Plays the window: keeps what the logic set and logs the dialog and the status line.
class FakeView : public Recording<app::View> {
  public:
    FakeView() {
        for (const auto& c : app::kLayout) {
            captions[c.control] = c.caption;
            visible[c.control] = c.visible;
            enabled[c.control] = true;
        }
    }
    void setCaption(app::Control c, std::string_view text) override { captions[c] = text; }
    void setVisible(app::Control c, bool v) override { visible[c] = v; }
    void setEnabled(app::Control c, bool e) override { enabled[c] = e; }
    void setOuterHeight(int twips) override { outerHeight = twips; }
    void setDialogStart(std::string_view location) override {
        dialogLog.push_back("start:" + std::string(location));
        if (failDialogStart) throw runtime::Error("no such location");
    }
    void setDialogFilter(std::string_view filter) override {
        dialogLog.push_back("filter:" + std::string(filter));
    }
    void showOpenDialog() override { dialogLog.emplace_back("show"); }
    std::string dialogFileName() override { return dialogAnswer; }
    void close() override { ++closeCount; }
    void setStatus(std::string_view text) override {
        captions[app::Control::Label3] = text;
        statusLog.emplace_back(text);
    }

    std::map<app::Control, std::string> captions;
    std::map<app::Control, bool> visible, enabled;
    int outerHeight = 0;
    std::vector<std::string> dialogLog, statusLog;
    std::string dialogAnswer;  // the dialog's answer; empty: cancelled
    bool failDialogStart = false;
    int closeCount = 0;
};

// The real files, with the settings store answered from `settings`
// ("application/section/key" to value).
class SettingsSystem : public FaultySystem {
  public:
    SettingsSystem() : FaultySystem(runtime::nativeSystem()) {}
    std::string readSetting(std::string_view application, std::string_view section,
                            std::string_view key, std::string_view fallback) override {
        auto it = settings.find(std::string(application) + "/" + std::string(section) + "/" +
                                std::string(key));
        return it == settings.end() ? std::string(fallback) : it->second;
    }
    std::map<std::string, std::string> settings;
};

inline constexpr char kDirMe[] = "R-ZORVEL/SCHOOL/DIR_ME";

// The window in a fresh folder: a start folder, made current, and a data folder beside it.
struct Window {
    TempDir tmp;
    std::filesystem::path start = tmp / "start", data = tmp / "data";
    SettingsSystem system;
    FakeView view;
    app::MainForm form{view, system};

    Window() {
        std::filesystem::create_directories(start);
        std::filesystem::create_directories(data);
        std::filesystem::current_path(start);
    }
    // Loaded with this DATA_DIR in the settings store (none when empty) and shown.
    void open(const std::string& dataDir) {
        if (!dataDir.empty()) system.settings[kDirMe] = dataDir;
        form.onLoad();
        form.onActivate();
    }
};

}  // namespace kbnset::test
