// The message loop, and the keys that move between the buttons as in a dialog.
#include <windows.h>

#include "app/layout.hpp"
#include "app/win32/main_window.hpp"

namespace kbnset::app {

int MainWindow::messageLoop() {
    MSG msg{};
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!dispatchDialogMessage(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}

// Tab, Shift+Tab and the arrow keys move between the buttons as in a dialog; Enter presses
// the focused button. The dialog manager would press it only once Tab had made it the
// default, and would send IDOK otherwise.
bool MainWindow::dispatchDialogMessage(MSG& msg) {
    if (!hwnd_) return false;
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN &&
        (msg.hwnd == hwnd_ || IsChild(hwnd_, msg.hwnd))) {
        pressFocusedButton();
        return true;
    }
    return IsDialogMessageW(hwnd_, &msg);
}

// As a click: through the same handler, so during a run 開始, 参照 and 交換 do nothing.
void MainWindow::pressFocusedButton() {
    if (HWND button = focusedButton())
        SendMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
}

HWND MainWindow::focusedButton() const {
    HWND focus = GetFocus();
    for (const ControlLayout& c : kLayout)
        if (c.kind == Kind::Button && focus && control(c.control) == focus &&
            IsWindowEnabled(focus))
            return focus;
    return nullptr;
}

void MainWindow::yield() {
    display_.yield();
}

void MainWindow::pump() {
    MSG msg{};
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave it for the message loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (!dispatchDialogMessage(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

}  // namespace kbnset::app
