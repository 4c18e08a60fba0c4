#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "app/layout.hpp"
#include "app/view.hpp"
#include "runtime/error.hpp"

namespace kbnset::test {

// Plays the window: keeps what the logic set, logs the dialog and the status line, and lets a
// test act in the middle of a run through onYield. Any call after close() is counted, since
// the real window is gone by then.
class FakeView : public app::View {
  public:
    FakeView() {
        for (const auto& c : app::kLayout) {
            captions[c.control] = c.caption;
            visible[c.control] = c.visible;
            enabled[c.control] = true;
        }
    }

    void setCaption(app::Control control, std::string_view text) override {
        touch();
        captions[control] = std::string(text);
    }
    void setVisible(app::Control control, bool v) override {
        touch();
        visible[control] = v;
    }
    void setEnabled(app::Control control, bool e) override {
        touch();
        enabled[control] = e;
    }
    void setOuterHeight(int twips) override {
        touch();
        outerHeight = twips;
    }
    void setDialogStart(std::string_view location) override {
        touch();
        dialogLog.push_back("start:" + std::string(location));
        if (failDialogStart) throw runtime::Error("no such location");
    }
    void setDialogFilter(std::string_view filter) override {
        touch();
        dialogLog.push_back("filter:" + std::string(filter));
    }
    void showOpenDialog() override {
        touch();
        dialogLog.emplace_back("show");
    }
    std::string dialogFileName() override {
        touch();
        return dialogAnswer;
    }
    void close() override {
        touch();
        ++closeCount;
        closed = true;
    }
    void showMessage(std::string_view text) override {
        touch();
        messages.emplace_back(text);
    }
    void setBusy(bool busy) override {
        touch();
        busyLog.push_back(busy);
    }
    void setStatus(std::string_view text) override {
        touch();
        captions[app::Control::Label3] = std::string(text);
        statusLog.emplace_back(text);
    }
    void yield() override {
        touch();
        ++yields;
        if (onYield) onYield(yields);
    }

    std::string caption(app::Control c) const { return captions.at(c); }

    std::map<app::Control, std::string> captions;
    std::map<app::Control, bool> visible;
    std::map<app::Control, bool> enabled;
    int outerHeight = 0;
    std::vector<std::string> dialogLog;
    std::string dialogAnswer;
    bool failDialogStart = false;
    std::vector<std::string> messages;
    std::vector<bool> busyLog;
    std::vector<std::string> statusLog;
    int yields = 0;
    std::function<void(int)> onYield;
    bool closed = false;
    int closeCount = 0;
    int callsAfterClose = 0;

  private:
    void touch() {
        if (closed) ++callsAfterClose;
    }
};

}  // namespace kbnset::test
