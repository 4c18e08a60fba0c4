#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/layout.hpp"
#include "app/main_form.hpp"
#include "app/progress_display.hpp"
#include "app/view.hpp"
#include "app/win32/file_dialog.hpp"
#include "app/win32/handles.hpp"
#include "runtime/system.hpp"

namespace kbnset::app {

// MAIN_F on Win32: one top-level window with static and button children. The window
// procedure only unpacks messages; MainForm decides, and talks back through the View.
class MainWindow final : public View {
  public:
    MainWindow(HINSTANCE instance, runtime::System& system);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates the window, runs the load step and shows it.
    bool create(int showCommand);
    // Until the window is gone; returns the process's exit code.
    int messageLoop();

    void setCaption(Control control, std::string_view text) override;
    void setVisible(Control control, bool visible) override;
    void setEnabled(Control control, bool enabled) override;
    void setOuterHeight(int twips) override;
    void setDialogStart(std::string_view location) override;
    void setDialogFilter(std::string_view filter) override;
    void showOpenDialog() override;
    std::string dialogFileName() override;
    bool confirm(std::string_view text) override;
    void setUndoEnabled(bool enabled) override;
    void setLastRunEnabled(bool enabled) override;
    bool openWithAssociatedProgram(std::string_view path) override;
    void close() override;

    void showMessage(std::string_view text) override;
    void setBusy(bool busy) override;
    void setStatus(std::string_view text) override;
    void progress(std::int32_t done, std::int32_t total) override;
    void yield() override;

  private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp);
    LRESULT handle(UINT message, WPARAM wp, LPARAM lp);
    void createControls();
    void onCommand(int id);
    void onMouseDown(WPARAM wp, LPARAM lp);
    void onActivate(bool active);
    // system_menu.cpp: the items kbnset adds, and their commands; false for the system's own.
    void addSystemMenuItems();
    bool onSystemCommand(WPARAM wp);
    // message_loop.cpp
    bool dispatchDialogMessage(MSG& msg);
    void pump();
    int pixels(int twips) const;
    // No window for a control without a row in the layout table.
    HWND control(Control c) const {
        const auto i = static_cast<std::size_t>(c);
        return i < controls_.size() ? controls_[i] : nullptr;
    }
    void pressFocusedButton();
    HWND focusedButton() const;

    HINSTANCE instance_;
    HWND hwnd_ = nullptr;
    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
    int outerWidth_ = 0;
    std::array<HWND, kLayout.size()> controls_{};
    UniqueFont smallFont_;
    UniqueFont largeFont_;
    UniqueBrush pathBrush_;
    HWND focus_ = nullptr;  // the control to give the focus back to on activation
    bool busy_ = false;
    ProgressDisplay display_;
    OpenFileDialog dialog_;
    MainForm form_;
};

}  // namespace kbnset::app
