#pragma once

#include <string_view>

namespace kbnset::category {

// What the loads and the save show the user. The window and the console each implement it;
// the steps do not know which one they talk to.
class UserInterface {
  public:
    virtual ~UserInterface() = default;
    // A modal message box titled "備品区分機能設定", OK only, no icon.
    virtual void showMessage(std::string_view text) = 0;
    // The hourglass pointer while a file is read or written.
    virtual void setBusy(bool busy) = 0;
};

// Shows the hourglass for its lifetime; restore() ends it early, before a message box.
class BusyPointer {
  public:
    explicit BusyPointer(UserInterface& ui) : ui_(ui) { ui_.setBusy(true); }
    ~BusyPointer() { restore(); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
    void restore() {
        if (active_) ui_.setBusy(false);
        active_ = false;
    }

  private:
    UserInterface& ui_;
    bool active_ = true;
};

}  // namespace kbnset::category
