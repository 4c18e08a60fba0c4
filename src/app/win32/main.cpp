// clang-format off
#include <windows.h>
#include <commctrl.h>  // needs windows.h first
// clang-format on

#include "app/win32/main_window.hpp"
#include "runtime/system.hpp"

// The parameters are named as in the declaration of winbase.h.
int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, PWSTR, int nShowCmd) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    kbnset::app::MainWindow window(hInstance, kbnset::runtime::nativeSystem());
    if (!window.create(nShowCmd)) return 1;
    return window.messageLoop();
}
