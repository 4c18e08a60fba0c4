#pragma once

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "support/temp_dir.hpp"

// Drives the real kbnset.exe from outside, as a user would: a separate process, its window
// found by title, its controls by caption or by place.
namespace kbnset::test {

using namespace std::chrono_literals;

// Polls `done` every 10 ms until it holds or `timeout` has passed.
inline bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// "Button" and "BUTTON" alike.
inline bool isClass(HWND hwnd, const wchar_t* name) {
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    return lstrcmpiW(cls, name) == 0;
}

inline std::wstring textOf(HWND hwnd) {
    wchar_t buffer[1024] = {};
    DWORD_PTR copied = 0;
    // Answered by the tool's thread, which does not answer while it reads or writes a file.
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer),
                             SMTO_ABORTIFHUNG, 10000, &copied))
        return L"<no answer>";
    return std::wstring(buffer, copied);
}

inline void click(HWND button) {
    PostMessageW(button, BM_CLICK, 0, 0);
}

inline std::vector<HWND> childrenOf(HWND parent) {
    std::vector<HWND> list;
    for (HWND h = GetWindow(parent, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) list.push_back(h);
    return list;
}

// DIR_ME under HKCU "Software\VB and VBA Program Settings\<application>\SCHOOL" for the life
// of the object (nullopt: no value); the old value comes back after.
class DataDirSetting {
  public:
    DataDirSetting(const std::wstring& application, const std::optional<std::wstring>& value)
        : key_(L"Software\\VB and VBA Program Settings\\" + application + L"\\SCHOOL") {
        wchar_t old[2048] = {};
        DWORD size = sizeof old;
        if (RegGetValueW(HKEY_CURRENT_USER, key_.c_str(), L"DIR_ME", RRF_RT_REG_SZ, nullptr, old,
                         &size) == ERROR_SUCCESS)
            previous_ = old;
        if (!write(value)) throw std::runtime_error("cannot write the settings store");
    }
    ~DataDirSetting() { write(previous_); }
    DataDirSetting(const DataDirSetting&) = delete;
    DataDirSetting& operator=(const DataDirSetting&) = delete;

  private:
    bool write(const std::optional<std::wstring>& value) const {
        if (!value) {
            const LSTATUS status = RegDeleteKeyValueW(HKEY_CURRENT_USER, key_.c_str(), L"DIR_ME");
            return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
        }
        const auto bytes = static_cast<DWORD>((value->size() + 1) * sizeof(wchar_t));
        return RegSetKeyValueW(HKEY_CURRENT_USER, key_.c_str(), L"DIR_ME", REG_SZ, value->c_str(),
                               bytes) == ERROR_SUCCESS;
    }
    std::wstring key_;
    std::optional<std::wstring> previous_;
};

// A start folder and a data folder, R-ZORVEL naming the data folder (or nothing) and no
// ZORVEL value to fall back on.
struct Scene {
    TempDir tmp;
    std::filesystem::path start = tmp / "start", data = tmp / "data";
    DataDirSetting rzorvel, zorvel{L"ZORVEL", std::nullopt};

    explicit Scene(bool withDataDir = true)
        : rzorvel(L"R-ZORVEL", withDataDir ? std::optional(data.wstring()) : std::nullopt) {
        std::filesystem::create_directories(start);
        std::filesystem::create_directories(data);
    }
    std::wstring destination() const { return data.wstring() + L"\\KUBUN.KMT"; }
};

// A message box or the file-open dialog; no hwnd when none came.
struct Dialog {
    HWND hwnd = nullptr;
    std::wstring title, text;
    int buttons = 0;
    bool icon = false;
};

// kbnset.exe started in `startFolder`; killed at the end if it still runs.
class Tool {
  public:
    explicit Tool(const std::filesystem::path& startFolder,
                  std::filesystem::path program = pathOf(KBNSET_EXE)) {
        const std::wstring exe = program.make_preferred().wstring();
        std::wstring commandLine = L"\"" + exe + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            startFolder.c_str(), &startup, &process_))
            throw std::runtime_error("cannot start kbnset.exe");
        if (!waitUntil([&] { return (window_ = topLevel(false)) != nullptr; }, 20s)) {
            end();
            throw std::runtime_error("no main window");
        }
    }
    ~Tool() { end(); }
    Tool(const Tool&) = delete;
    Tool& operator=(const Tool&) = delete;

    HWND window() const { return window_; }
    // The first child with that caption, or at that place of the client area.
    HWND find(std::wstring_view caption) const {
        for (HWND h : childrenOf(window_))
            if (textOf(h) == caption) return h;
        return nullptr;
    }
    HWND at(int left, int top) const {
        for (HWND h : childrenOf(window_))
            if (rectOf(h).left == left && rectOf(h).top == top) return h;
        return nullptr;
    }
    RECT rectOf(HWND child) const {
        RECT r{};
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    RECT client() const {
        RECT r{};
        GetClientRect(window_, &r);
        return r;
    }
    int outerHeight() const {
        RECT r{};
        GetWindowRect(window_, &r);
        return static_cast<int>(r.bottom - r.top);
    }
    HWND focus() const {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(process_.dwThreadId, &info);
        return info.hwndFocus;
    }

    // A press and release of a mouse button over `target` with `keys` held.
    void mouseDown(HWND target, DWORD down, DWORD up, std::initializer_list<WORD> keys) const {
        SetForegroundWindow(window_);
        RECT r{};
        GetWindowRect(target, &r);
        SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        std::vector<INPUT> inputs;
        auto add = [&](DWORD type, WORD key, DWORD flags) {
            INPUT& in = inputs.emplace_back();
            in.type = type;
            if (type == INPUT_MOUSE) {
                in.mi.dwFlags = flags;
            } else {
                in.ki.wVk = key;
                in.ki.dwFlags = flags;
            }
        };
        for (WORD key : keys) add(INPUT_KEYBOARD, key, 0);
        add(INPUT_MOUSE, 0, down);
        add(INPUT_MOUSE, 0, up);
        for (WORD key : keys) add(INPUT_KEYBOARD, key, KEYEVENTF_KEYUP);
        SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    }

    // A press and release of `key` on the window, with Shift held if asked.
    void press(WORD key, bool shift = false) const {
        SetForegroundWindow(window_);
        std::vector<INPUT> inputs;
        auto add = [&](WORD k, DWORD flags) {
            INPUT& in = inputs.emplace_back();
            in.type = INPUT_KEYBOARD;
            in.ki.wVk = k;
            in.ki.dwFlags = flags;
        };
        if (shift) add(VK_SHIFT, 0);
        add(key, 0);
        add(key, KEYEVENTF_KEYUP);
        if (shift) add(VK_SHIFT, KEYEVENTF_KEYUP);
        SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    }

    Dialog waitForDialog(std::chrono::milliseconds timeout) const {
        Dialog seen;
        if (!waitUntil([&] { return (seen.hwnd = topLevel(true)) != nullptr; }, timeout))
            return seen;
        seen.title = textOf(seen.hwnd);
        for (HWND h : childrenOf(seen.hwnd)) {
            const auto style = static_cast<DWORD>(GetWindowLongPtrW(h, GWL_STYLE));
            if (!(style & WS_VISIBLE)) continue;
            if (isClass(h, L"Button"))
                ++seen.buttons;
            else if (isClass(h, L"Static") && (style & SS_TYPEMASK) == SS_ICON)
                seen.icon = seen.icon || SendMessageW(h, STM_GETICON, 0, 0) != 0;
            else if (isClass(h, L"Static") && !textOf(h).empty())
                seen.text = textOf(h);
        }
        return seen;
    }
    // Presses OK and waits for the dialog to go.
    static bool dismiss(HWND dialog) {
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        return waitUntil([&] { return !IsWindow(dialog); }, 10s);
    }
    // The exit code; nullopt while it still runs after `timeout`.
    std::optional<DWORD> waitForExit(std::chrono::milliseconds timeout) const {
        DWORD code = 0;
        const auto ms = static_cast<DWORD>(timeout.count());
        if (WaitForSingleObject(process_.hProcess, ms) != WAIT_OBJECT_0) return std::nullopt;
        GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

  private:
    void end() {
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.hProcess, 1);
            WaitForSingleObject(process_.hProcess, 10000);
        }
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    // A visible window of the tool's thread: a dialog box, or else the main window by title.
    HWND topLevel(bool dialog) const {
        std::pair<bool, HWND> found{dialog, nullptr};
        EnumThreadWindows(process_.dwThreadId, onTopLevel, reinterpret_cast<LPARAM>(&found));
        return found.second;
    }
    static BOOL CALLBACK onTopLevel(HWND hwnd, LPARAM lp) {
        auto& [dialog, found] = *reinterpret_cast<std::pair<bool, HWND>*>(lp);
        if (!IsWindowVisible(hwnd) || isClass(hwnd, L"#32770") != dialog) return TRUE;
        if (!dialog && textOf(hwnd) != L"備品区分機能設定") return TRUE;
        found = hwnd;
        return FALSE;
    }

    PROCESS_INFORMATION process_{};
    HWND window_ = nullptr;
};

}  // namespace kbnset::test
