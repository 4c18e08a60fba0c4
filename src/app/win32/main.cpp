// clang-format off
#include <windows.h>
#include <commctrl.h>  // needs windows.h first
#include <objbase.h>
// clang-format on

#include "app/win32/main_window.hpp"
#include "runtime/system.hpp"

// The parameters are named as in the declaration of winbase.h.
int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, PWSTR, int nShowCmd) {
    // The shell's handlers that open a report may need COM on this thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    kbnset::app::MainWindow window(hInstance, kbnset::runtime::nativeSystem());
    const int code = window.create(nShowCmd) ? window.messageLoop() : 1;
    if (SUCCEEDED(com)) CoUninitialize();
    return code;
}
