#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "update/user_interface.hpp"

namespace kbnset::test {

// Plays the user: remembers what the steps showed and can act at each yield. `Ui` is the
// interface played, update::UserInterface or the window's View (tests/app/fake_view.hpp).
template <class Ui>
class Recording : public Ui {
  public:
    void showMessage(std::string_view text) override {
        messages.emplace_back(text);
        busyAtMessage.push_back(busy);
    }
    void setBusy(bool on) override {
        busy = on;
        ++busyChanges;
    }
    void yield() override {
        ++yields;
        if (onYield) onYield(yields);
    }
    void passStarted(std::string_view file) override { passes.emplace_back(file); }

    std::vector<std::string> messages;
    std::vector<bool> busyAtMessage;  // a message must never show under the hourglass
    std::vector<std::string> passes;
    bool busy = false;
    int busyChanges = 0;
    int yields = 0;
    std::function<void(int)> onYield;
};

class RecordingUi : public Recording<update::UserInterface> {
  public:
    void progress(std::int32_t done, std::int32_t total) override {
        progressed.push_back(std::to_string(done) + "/" + std::to_string(total));
    }
    void runFinished(const update::RunReport& report) override {
        finished.push_back(report.completed);
    }
    void waitingForAnotherRun() override { ++waits; }

    std::vector<std::string> progressed;  // "done/total"
    std::vector<bool> finished;           // whether each finished run completed
    int waits = 0;                        // times the run found the data folder held by another
};

}  // namespace kbnset::test
