#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "update/progress.hpp"
#include "update/user_interface.hpp"

namespace kbnset::test {

// Plays the user: remembers what the steps showed and can act at each yield. `Ui` is the
// interface played, update::UserInterface or the window's View.
template <class Ui>
class Recording : public Ui {
  public:
    void showMessage(std::string_view text) override { messages.emplace_back(text); }
    void showFailure(std::string_view text, const category::Failure& failure) override {
        failures.push_back(failure);
        showMessage(text);
    }
    void setBusy(bool) override {}
    void yield() override {
        ++yields;
        if (onYield) onYield(yields);
    }

    std::vector<std::string> messages;
    std::vector<category::Failure> failures;  // beside the messages that came with one
    int yields = 0;
    std::function<void(int)> onYield;
};

class RecordingUi : public Recording<update::UserInterface> {
  public:
    void progress(std::int32_t done, std::int32_t total) override {
        progressed.push_back(update::progressText(done, total));
    }

    std::vector<std::string> progressed;  // "done/total"
};

}  // namespace kbnset::test
