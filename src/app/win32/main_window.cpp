#include "app/win32/main_window.hpp"

#include <windowsx.h>

#include <algorithm>
#include <exception>
#include <string>

#include "app/layout.hpp"
#include "app/win32/fonts.hpp"
#include "runtime/win32/wide.hpp"

namespace kbnset::app {

namespace {

constexpr wchar_t kClassName[] = L"KbnsetMainWindow";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;
// Control ids start above IDOK and IDCANCEL, which the dialog keys send.
constexpr int kFirstId = 100;

int width(const RECT& r) {
    return static_cast<int>(r.right - r.left);
}
int height(const RECT& r) {
    return static_cast<int>(r.bottom - r.top);
}

int idOf(Control c) {
    return kFirstId + static_cast<int>(c);
}

COLORREF pathColour() {
    return RGB(kPathBackground[0], kPathBackground[1], kPathBackground[2]);
}

DWORD styleOf(const ControlLayout& c) {
    DWORD style = WS_CHILD | (c.visible ? WS_VISIBLE : 0);
    // BS_NOTIFY: the focus notifications move the default look along with the focus.
    if (c.kind == Kind::Button) return style | WS_TABSTOP | BS_PUSHBUTTON | BS_NOTIFY;
    style |= SS_LEFT | SS_NOPREFIX;  // a path may hold '&'
    if (c.pathLabel) style |= SS_CENTERIMAGE | SS_PATHELLIPSIS | SS_SUNKEN;
    return style;
}

void reportUnexpected(HWND owner) {
    MessageBoxW(owner, L"予期しないエラーが発生しました", runtime::widen(kTitle).c_str(), MB_OK);
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, runtime::System& system)
    : instance_(instance),
      display_([this](std::string_view text) { setCaption(Control::Label3, text); },
               [this] { pump(); }),
      form_(*this, system) {}

MainWindow::~MainWindow() {
    if (hwnd_) DestroyWindow(hwnd_);
}

bool MainWindow::create(int showCommand) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance_;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = kClassName;
    if (!RegisterClassExW(&wc)) return false;

    dpi_ = GetDpiForSystem();
    RECT frame{0, 0, pixels(kClientWidth), pixels(kCompactHeight)};
    AdjustWindowRectExForDpi(&frame, kStyle, FALSE, kExStyle, dpi_);
    outerWidth_ = width(frame);

    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    // Centred so that the expanded window fits too.
    const int x = static_cast<int>(work.left) + std::max(0, (width(work) - outerWidth_) / 2);
    const int y =
        static_cast<int>(work.top) + std::max(0, (height(work) - pixels(kExpandedHeight)) / 2);

    if (!CreateWindowExW(kExStyle, kClassName, runtime::widen(kTitle).c_str(), kStyle, x, y,
                         outerWidth_, pixels(kCompactHeight), nullptr, nullptr, instance_, this))
        return false;
    addSystemMenuItems();
    try {
        form_.onLoad();
    } catch (const std::exception&) {
        reportUnexpected(hwnd_);
    }
    ShowWindow(hwnd_, showCommand);
    UpdateWindow(hwnd_);
    return true;
}

LRESULT CALLBACK MainWindow::windowProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    MainWindow* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        if (self) {
            self->hwnd_ = nullptr;
            self->controls_ = {};
        }
    }
    if (!self || !self->hwnd_) return DefWindowProcW(hwnd, message, wp, lp);
    try {
        return self->handle(message, wp, lp);
    } catch (const std::exception&) {
        // Every expected failure is handled by its step; nothing may unwind through Windows.
        reportUnexpected(hwnd);
        return 0;
    }
}

LRESULT MainWindow::handle(UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
        case WM_CREATE:
            createControls();
            return 0;
        case WM_COMMAND:
            if (lp == 0) return 0;
            if (HIWORD(wp) == BN_CLICKED) {
                onCommand(LOWORD(wp));
            } else if (HIWORD(wp) == BN_SETFOCUS || HIWORD(wp) == BN_KILLFOCUS) {
                // As in a dialog, the focused button looks like the one Enter presses.
                SendMessageW(reinterpret_cast<HWND>(lp), BM_SETSTYLE,
                             HIWORD(wp) == BN_SETFOCUS ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
            }
            return 0;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_XBUTTONDOWN:
            onMouseDown(wp, lp);
            return message == WM_XBUTTONDOWN ? TRUE : 0;
        case WM_CTLCOLORSTATIC: {
            auto child = reinterpret_cast<HWND>(lp);
            if (child != control(Control::F_NAME0) && child != control(Control::F_NAME1)) break;
            auto dc = reinterpret_cast<HDC>(wp);
            SetBkColor(dc, pathColour());
            SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
            return reinterpret_cast<LRESULT>(pathBrush_.get());
        }
        case DM_GETDEFID: {
            // The dialog manager asks this after Tab and would otherwise take the default
            // look from the button it has just given the focus to.
            HWND button = focusedButton();
            return button ? MAKELRESULT(GetDlgCtrlID(button), DC_HASDEFID) : 0;
        }
        case DM_SETDEFID:
            return TRUE;  // the default button is always the focused one
        case WM_SETCURSOR:
            // Asked of the parent first, so the hourglass shows over the controls too.
            if (!busy_) break;
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        case WM_ACTIVATE:
            onActivate(LOWORD(wp) != WA_INACTIVE);
            return 0;
        case WM_INITMENUPOPUP:
            if (HIWORD(lp)) form_.onSystemMenuOpening();
            break;
        case WM_SYSCOMMAND:
            if (!onSystemCommand(wp)) break;
            return 0;
        case WM_CLOSE:
            form_.onCloseRequest();
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            if (wp) form_.onCloseRequest();
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, message, wp, lp);
}

void MainWindow::createControls() {
    dpi_ = GetDpiForWindow(hwnd_);
    HDC dc = GetDC(hwnd_);
    const std::wstring face = minchoFace(dc);
    ReleaseDC(hwnd_, dc);
    smallFont_ = createFont(face, kSmallFontCentipoints, dpi_);
    largeFont_ = createFont(face, kLargeFontCentipoints, dpi_);
    pathBrush_ = UniqueBrush(CreateSolidBrush(pathColour()));

    // Created in tab order: the z-order is the order Tab follows.
    auto ordered = kLayout;
    std::sort(ordered.begin(), ordered.end(),
              [](const ControlLayout& a, const ControlLayout& b) { return a.tab < b.tab; });
    for (const ControlLayout& c : ordered) {
        HWND child = CreateWindowExW(
            0, c.kind == Kind::Button ? L"BUTTON" : L"STATIC", runtime::widen(c.caption).c_str(),
            styleOf(c), pixels(c.left), pixels(c.top), pixels(c.width), pixels(c.height), hwnd_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(idOf(c.control))), instance_, nullptr);
        controls_[static_cast<std::size_t>(c.control)] = child;
        HFONT font = c.largeFont ? largeFont_.get() : smallFont_.get();
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
}

void MainWindow::onCommand(int id) {
    switch (static_cast<Control>(id - kFirstId)) {
        case Control::B_START:
            form_.onStartClick();
            break;
        case Control::B_STOP:
            form_.onStopClick();
            break;
        case Control::B_END:
            form_.onCloseRequest();
            break;
        case Control::B_SET0:
            form_.onSetClick(0);
            break;
        case Control::B_SET1:
            form_.onSetClick(1);
            break;
        case Control::B_CHG:
            form_.onChangeClick();
            break;
        default:
            break;
    }
}

// A static control without SS_NOTIFY lets mouse clicks through to its parent, so a press of
// any button on Label2 arrives here.
void MainWindow::onMouseDown(WPARAM wp, LPARAM lp) {
    RECT label{};
    GetWindowRect(control(Control::Label2), &label);
    MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&label), 2);
    const POINT at{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    if (!PtInRect(&label, at)) return;
    int shift = 0;
    if (wp & MK_SHIFT) shift |= kShiftMask;
    if (wp & MK_CONTROL) shift |= kCtrlMask;
    if (GetKeyState(VK_MENU) < 0) shift |= kAltMask;
    form_.onLabel2MouseDown(shift);
}

void MainWindow::onActivate(bool active) {
    if (!active) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus)) focus_ = focus;
        return;
    }
    form_.onActivate();
    if (!hwnd_) return;
    HWND target = focus_ ? focus_ : control(Control::B_START);
    if (!IsWindowEnabled(target) || !IsWindowVisible(target))
        target = GetNextDlgTabItem(hwnd_, target, FALSE);
    if (target) SetFocus(target);
}

int MainWindow::pixels(int twips) const {
    return MulDiv(twips, static_cast<int>(dpi_), 1440);
}

void MainWindow::setCaption(Control c, std::string_view text) {
    SetWindowTextW(control(c), runtime::widen(text).c_str());
}

void MainWindow::setVisible(Control c, bool visible) {
    ShowWindow(control(c), visible ? SW_SHOWNA : SW_HIDE);
}

void MainWindow::setEnabled(Control c, bool enabled) {
    HWND child = control(c);
    // A disabled button cannot keep the focus; pass it on as Tab would.
    if (!enabled && GetFocus() == child) {
        HWND next = GetNextDlgTabItem(hwnd_, child, FALSE);
        EnableWindow(child, FALSE);
        if (next && next != child) SetFocus(next);
        return;
    }
    EnableWindow(child, enabled);
}

void MainWindow::setOuterHeight(int twips) {
    SetWindowPos(hwnd_, nullptr, 0, 0, outerWidth_, pixels(twips),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::setDialogStart(std::string_view location) {
    dialog_.setStart(location);
}
void MainWindow::setDialogFilter(std::string_view filter) {
    dialog_.setFilter(filter);
}
void MainWindow::showOpenDialog() {
    dialog_.show(hwnd_);
}
std::string MainWindow::dialogFileName() {
    return dialog_.fileName();
}

void MainWindow::close() {
    if (hwnd_) DestroyWindow(hwnd_);
}

void MainWindow::setBusy(bool busy) {
    busy_ = busy;
    SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

void MainWindow::setStatus(std::string_view text) {
    display_.statusShown();
    setCaption(Control::Label3, text);
}

void MainWindow::progress(std::int32_t done, std::int32_t total) {
    display_.progress(done, total);
}

}  // namespace kbnset::app
