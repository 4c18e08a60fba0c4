#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace kbnset::category {

// Where and why a step failed, for a front end that can show more than the message text.
struct Failure {
    std::string path;          // full path of the file concerned; empty when none
    std::int32_t line = 0;     // read failure: the line as an editor counts it (header = 1); 0 none
    std::exception_ptr cause;  // what was thrown; null when nothing was
};

// What the loads and the save show the user. The window and the console each implement it;
// the steps do not know which one they talk to.
class UserInterface {
  public:
    virtual ~UserInterface() = default;
    // A modal message box titled "備品区分機能設定", OK only, no icon.
    virtual void showMessage(std::string_view text) = 0;
    // A step's failure: `text` exactly as the window shows it, and where and why. The window
    // shows `text` alone.
    virtual void showFailure(std::string_view text, const Failure& /*failure*/) {
        showMessage(text);
    }
    // The hourglass pointer while a file is read or written.
    virtual void setBusy(bool busy) = 0;
};

// Shows the hourglass for its lifetime.
class BusyPointer {
  public:
    explicit BusyPointer(UserInterface& ui) : ui_(ui) { ui_.setBusy(true); }
    ~BusyPointer() { ui_.setBusy(false); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;

  private:
    UserInterface& ui_;
};

}  // namespace kbnset::category
