// What kbnset adds to the window's system menu (the icon at the top left, Alt+Space), and the
// message boxes that its items and the logic show.
#include <windows.h>
// clang-format off
#include <shellapi.h>  // needs windows.h first
// clang-format on

#include <string>

#include "app/layout.hpp"
#include "app/win32/main_window.hpp"
#include "runtime/win32/wide.hpp"

namespace kbnset::app {

namespace {

// Below 0xF000, the low four bits left to the system, as WM_SYSCOMMAND wants.
constexpr UINT kUndoCommand = 0x0110;
constexpr UINT kLastRunCommand = 0x0120;

void enableItem(HWND hwnd, UINT command, bool enabled) {
    const UINT state = enabled ? UINT{MF_ENABLED} : UINT{MF_GRAYED};
    EnableMenuItem(GetSystemMenu(hwnd, FALSE), command, MF_BYCOMMAND | state);
}

}  // namespace

// Greyed until the menu opens: the logic decides then.
void MainWindow::addSystemMenuItems() {
    HMENU systemMenu = GetSystemMenu(hwnd_, FALSE);
    AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(systemMenu, MF_STRING | MF_GRAYED, kUndoCommand, L"元に戻す(&U)");
    // &R is the system's own 元のサイズに戻す.
    AppendMenuW(systemMenu, MF_STRING | MF_GRAYED, kLastRunCommand, L"前回の結果(&L)");
}

bool MainWindow::onSystemCommand(WPARAM wp) {
    switch (wp & 0xFFF0) {
        case kUndoCommand:
            form_.onUndoChosen();
            return true;
        case kLastRunCommand:
            form_.onLastRunChosen();
            return true;
        default:
            return false;
    }
}

void MainWindow::setUndoEnabled(bool enabled) {
    enableItem(hwnd_, kUndoCommand, enabled);
}

void MainWindow::setLastRunEnabled(bool enabled) {
    enableItem(hwnd_, kLastRunCommand, enabled);
}

bool MainWindow::openWithAssociatedProgram(std::string_view path) {
    const auto started = reinterpret_cast<INT_PTR>(ShellExecuteW(
        hwnd_, L"open", runtime::widen(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return started > 32;  // smaller values are the error codes
}

bool MainWindow::confirm(std::string_view text) {
    return MessageBoxW(hwnd_, runtime::widen(text).c_str(), runtime::widen(kTitle).c_str(),
                       MB_YESNO | MB_DEFBUTTON2) == IDYES;
}

void MainWindow::showMessage(std::string_view text) {
    MessageBoxW(hwnd_, runtime::widen(text).c_str(), runtime::widen(kTitle).c_str(), MB_OK);
}

}  // namespace kbnset::app
