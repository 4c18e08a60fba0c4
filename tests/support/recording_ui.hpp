#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "category/user_interface.hpp"

namespace kbnset::test {

// Plays the user: remembers what the steps showed and can act at each yield.
class RecordingUi : public category::UserInterface {
  public:
    void showMessage(std::string_view text) override {
        messages.emplace_back(text);
        busyAtMessage.push_back(busy);
    }
    void setBusy(bool on) override {
        busy = on;
        ++busyChanges;
    }
    void setStatus(std::string_view text) override { statuses.emplace_back(text); }
    void yield() override {
        ++yields;
        if (onYield) onYield(yields);
    }
    void passStarted(std::string_view file) override { passes.emplace_back(file); }

    std::vector<std::string> messages;
    std::vector<bool> busyAtMessage;  // a message must never show under the hourglass
    std::vector<std::string> statuses;
    std::vector<std::string> passes;
    bool busy = false;
    int busyChanges = 0;
    int yields = 0;
    std::function<void(int)> onYield;
};

}  // namespace kbnset::test
