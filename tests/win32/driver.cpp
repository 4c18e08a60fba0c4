#include "win32/driver.hpp"

#include <stdexcept>
#include <thread>

namespace kbnset::test {

namespace {

constexpr wchar_t kTitle[] = L"備品区分機能設定";
constexpr wchar_t kSettingsRoot[] = L"Software\\VB and VBA Program Settings\\";

struct Found {
    DWORD pid;
    std::wstring className;  // empty: any but a dialog box
    bool anyTitle;           // else only the tool's title
    HWND hwnd = nullptr;
};

BOOL CALLBACK onTopLevel(HWND hwnd, LPARAM lp) {
    auto* found = reinterpret_cast<Found*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != found->pid || !IsWindowVisible(hwnd)) return TRUE;
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    const bool dialog = std::wstring_view(cls) == L"#32770";
    if (found->className.empty() ? dialog : found->className != cls) return TRUE;
    if (!found->anyTitle && Tool::textOf(hwnd) != kTitle) return TRUE;
    found->hwnd = hwnd;
    return FALSE;
}

HWND findTopLevel(DWORD pid, const std::wstring& className, bool anyTitle = false) {
    Found found{pid, className, anyTitle};
    EnumWindows(onTopLevel, reinterpret_cast<LPARAM>(&found));
    return found.hwnd;
}

BOOL CALLBACK onChild(HWND hwnd, LPARAM lp) {
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> childrenOf(HWND parent) {
    std::vector<HWND> list;
    EnumChildWindows(parent, onChild, reinterpret_cast<LPARAM>(&list));
    return list;
}

std::wstring classOf(HWND hwnd) {
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    return cls;
}

bool sameClass(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

std::wstring wide(std::string_view s) {
    if (s.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

std::string utf8(std::wstring_view s) {
    if (s.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

DataDirSetting::DataDirSetting(const std::wstring& application, std::optional<std::wstring> value)
    : key_(std::wstring(kSettingsRoot) + application + L"\\SCHOOL") {
    wchar_t buffer[2048] = {};
    DWORD size = sizeof buffer;
    if (RegGetValueW(HKEY_CURRENT_USER, key_.c_str(), L"DIR_ME", RRF_RT_REG_SZ, nullptr, buffer,
                     &size) == ERROR_SUCCESS)
        previous_ = buffer;
    if (value) {
        const auto bytes = static_cast<DWORD>((value->size() + 1) * sizeof(wchar_t));
        if (RegSetKeyValueW(HKEY_CURRENT_USER, key_.c_str(), L"DIR_ME", REG_SZ, value->c_str(),
                            bytes) != ERROR_SUCCESS)
            throw std::runtime_error("cannot write the settings store");
    } else {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, key_.c_str(), L"DIR_ME");
    }
}

DataDirSetting::~DataDirSetting() {
    if (previous_) {
        const auto bytes = static_cast<DWORD>((previous_->size() + 1) * sizeof(wchar_t));
        RegSetKeyValueW(HKEY_CURRENT_USER, key_.c_str(), L"DIR_ME", REG_SZ, previous_->c_str(),
                        bytes);
    } else {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, key_.c_str(), L"DIR_ME");
    }
}

Tool::Tool(const std::filesystem::path& startFolder) {
    std::wstring exe = wide(KBNSET_EXE);
    for (wchar_t& c : exe)
        if (c == L'/') c = L'\\';
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        startFolder.c_str(), &startup, &process_))
        throw std::runtime_error("cannot start kbnset.exe");
    WaitForInputIdle(process_.hProcess, 20000);
    if (!waitUntil([&] { return (window_ = findTopLevel(process_.dwProcessId, {})) != nullptr; },
                   20s))
        throw std::runtime_error("no main window");
}

Tool::~Tool() {
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, 10000);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}

std::wstring Tool::textOf(HWND hwnd) {
    wchar_t buffer[1024] = {};
    DWORD_PTR copied = 0;
    // Answered by the tool's thread; it does not answer while it reads or writes a file.
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer),
                             SMTO_ABORTIFHUNG, 10000, &copied))
        return L"<no answer>";
    return std::wstring(buffer, copied);
}

RECT Tool::clientRectOf(HWND child) const {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::vector<Child> Tool::children() const {
    std::vector<Child> list;
    for (HWND h : childrenOf(window_)) {
        if (GetParent(h) != window_) continue;
        list.push_back({h, classOf(h), textOf(h), clientRectOf(h), IsWindowVisible(h) != FALSE,
                        IsWindowEnabled(h) != FALSE});
    }
    return list;
}

HWND Tool::find(std::wstring_view className, std::wstring_view text, int top) const {
    for (const Child& c : children())
        if (sameClass(c.className, className) && c.text == text && (top < 0 || c.rect.top == top))
            return c.hwnd;
    return nullptr;
}

HWND Tool::findAt(int left, int top) const {
    for (const Child& c : children())
        if (c.rect.left == left && c.rect.top == top) return c.hwnd;
    return nullptr;
}

SIZE Tool::outerSize() const {
    RECT r{};
    GetWindowRect(window_, &r);
    return {r.right - r.left, r.bottom - r.top};
}

SIZE Tool::clientSize() const {
    RECT r{};
    GetClientRect(window_, &r);
    return {r.right, r.bottom};
}

HWND Tool::focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(process_.dwThreadId, &info);
    return info.hwndFocus;
}

void Tool::click(HWND button) const {
    PostMessageW(button, BM_CLICK, 0, 0);
}

void Tool::postClose() const {
    PostMessageW(window_, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void Tool::mouseDown(HWND target, DWORD downFlag, DWORD upFlag,
                     const std::vector<WORD>& keys) const {
    SetForegroundWindow(window_);
    RECT r{};
    GetWindowRect(target, &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    std::vector<INPUT> inputs;
    for (WORD key : keys) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = key;
        inputs.push_back(in);
    }
    for (DWORD flag : {downFlag, upFlag}) {
        INPUT in{};
        in.type = INPUT_MOUSE;
        in.mi.dwFlags = flag;
        inputs.push_back(in);
    }
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = *key;
        in.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(in);
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

std::optional<MessageBoxSeen> Tool::waitForMessageBox(std::chrono::milliseconds timeout) const {
    HWND box = nullptr;
    if (!waitUntil([&] { return (box = findTopLevel(process_.dwProcessId, L"#32770")) != nullptr; },
                   timeout))
        return std::nullopt;
    MessageBoxSeen seen{box, textOf(box), {}, {}, false};
    for (HWND h : childrenOf(box)) {
        if (!IsWindowVisible(h)) continue;
        const std::wstring cls = classOf(h);
        const auto style = static_cast<DWORD>(GetWindowLongPtrW(h, GWL_STYLE));
        if (sameClass(cls, L"Button")) {
            seen.buttons.push_back(textOf(h));
        } else if (sameClass(cls, L"Static")) {
            if ((style & SS_TYPEMASK) == SS_ICON)
                seen.icon = seen.icon || SendMessageW(h, STM_GETICON, 0, 0) != 0;
            else if (!textOf(h).empty())
                seen.text = textOf(h);
        }
    }
    return seen;
}

HWND Tool::waitForDialog(std::chrono::milliseconds timeout) const {
    HWND dialog = nullptr;
    waitUntil(
        [&] {
            dialog = findTopLevel(process_.dwProcessId, L"#32770", true);
            return dialog != nullptr;
        },
        timeout);
    return dialog;
}

HWND Tool::descendant(HWND parent, std::wstring_view className, int id) {
    for (HWND h : childrenOf(parent))
        if (sameClass(classOf(h), className) && (id < 0 || GetDlgCtrlID(h) == id)) return h;
    return nullptr;
}

std::vector<std::wstring> Tool::comboItems(HWND combo) {
    std::vector<std::wstring> items;
    const auto count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t buffer[512] = {};
        SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer));
        items.emplace_back(buffer);
    }
    return items;
}

void Tool::setText(HWND hwnd, const std::wstring& text) {
    SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Tool::dismiss(const MessageBoxSeen& box) const {
    PostMessageW(box.hwnd, WM_COMMAND, IDOK, 0);
    waitUntil([&] { return !IsWindow(box.hwnd); }, 10s);
}

bool Tool::waitForExit(std::chrono::milliseconds timeout) const {
    return WaitForSingleObject(process_.hProcess, static_cast<DWORD>(timeout.count())) ==
           WAIT_OBJECT_0;
}

DWORD Tool::exitCode() const {
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
}

}  // namespace kbnset::test
