#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "update/user_interface.hpp"

namespace kbnset::app {

// The status line's text when the data folder gives no lock.
inline constexpr char kLockUnavailableStatus[] = "ロックが使えないフォルダです";

// The controls of the main window. F_NAME and B_SET are control arrays: element 0 is the
// destination row, element 1 the source row.
enum class Control {
    Label3,
    B_START,
    B_STOP,
    B_END,
    Label2,
    F_NAME0,
    B_SET0,
    Label1,
    F_NAME1,
    B_SET1,
    B_CHG,
};

inline constexpr Control F_NAME(int index) {
    return index == 0 ? Control::F_NAME0 : Control::F_NAME1;
}
inline constexpr Control B_SET(int index) {
    return index == 0 ? Control::B_SET0 : Control::B_SET1;
}

// Shift state of a mouse event, as a bit set.
inline constexpr int kShiftMask = 1;
inline constexpr int kCtrlMask = 2;
inline constexpr int kAltMask = 4;

// What the window's logic asks of the screen. The real window and the tests' recording fake
// implement it. As an update::UserInterface it also serves the update run: message box,
// hourglass pointer, the status line Label3 and the yield.
class View : public update::UserInterface {
  public:
    // The status line, Label3.
    virtual void setStatus(std::string_view text) = 0;
    // "k/N" on the status line.
    void progress(std::int32_t done, std::int32_t total) override;
    // The completion text on the status line when the run completed.
    void waitingForAnotherRun() override;
    // A folder that gives no lock, said on the status line (short enough for its width).
    void lockUnavailable(std::string_view folder) override;
    void runFinished(const update::RunReport& report) override;

    virtual void setCaption(Control control, std::string_view text) = 0;
    virtual void setVisible(Control control, bool visible) = 0;
    virtual void setEnabled(Control control, bool enabled) = 0;
    // Outer height of the window, title bar and frame included.
    virtual void setOuterHeight(int twips) = 0;

    // The file-open dialog, always used in this order. A failure to take the starting
    // location may throw runtime::Error; a dialog that cannot open counts as cancelled.
    virtual void setDialogStart(std::string_view location) = 0;
    // description|pattern|description|pattern
    virtual void setDialogFilter(std::string_view filter) = 0;
    virtual void showOpenDialog() = 0;
    // The chosen file's full path; empty when the dialog was cancelled.
    virtual std::string dialogFileName() = 0;

    // A Yes/No question titled like the message boxes, No the default; true for Yes.
    virtual bool confirm(std::string_view text) = 0;
    // Whether the system menu's 「元に戻す(&U)」 can be chosen.
    virtual void setUndoEnabled(bool enabled) = 0;
    // Whether the system menu's 「前回の結果(&L)」 can be chosen.
    virtual void setLastRunEnabled(bool enabled) = 0;
    // Opens the file in the program that the system associates with its kind (Excel for a
    // .csv); false when none could be started.
    virtual bool openWithAssociatedProgram(std::string_view path) = 0;

    // Unloads the window; the logic calls nothing on the view afterwards.
    virtual void close() = 0;
};

}  // namespace kbnset::app
