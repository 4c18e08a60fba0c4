// clang-format off
#include <windows.h>
#include <commctrl.h>  // needs windows.h first
// clang-format on

#include "app/win32/main_window.hpp"
#include "runtime/system.hpp"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    kbnset::app::MainWindow window(instance, kbnset::runtime::nativeSystem());
    if (!window.create(showCommand)) return 1;
    return window.messageLoop();
}
