#pragma once

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Drives the real kbnset.exe from outside, as a user would: a separate process, its window
// found by title, its controls by class and caption.
namespace kbnset::test {

using namespace std::chrono_literals;

// Polls `done` every 10 ms until it holds or `timeout` has passed.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

std::wstring wide(std::string_view utf8);
std::string utf8(std::wstring_view text);

// One settings-store value of the suite, DIR_ME under HKCU "Software\VB and VBA Program
// Settings\<application>\SCHOOL", for the life of the object; the old value comes back after.
class DataDirSetting {
  public:
    // nullopt removes the value.
    DataDirSetting(const std::wstring& application, std::optional<std::wstring> value);
    ~DataDirSetting();
    DataDirSetting(const DataDirSetting&) = delete;
    DataDirSetting& operator=(const DataDirSetting&) = delete;

  private:
    std::wstring key_;
    std::optional<std::wstring> previous_;
};

struct Child {
    HWND hwnd;
    std::wstring className;
    std::wstring text;
    RECT rect;  // in the parent's client area
    bool visible;
    bool enabled;
};

struct MessageBoxSeen {
    HWND hwnd;
    std::wstring title;
    std::wstring text;
    std::vector<std::wstring> buttons;
    bool icon;  // a visible icon beside the text
};

// kbnset.exe started in `startFolder`; killed at the end if it still runs.
class Tool {
  public:
    explicit Tool(const std::filesystem::path& startFolder);
    ~Tool();
    Tool(const Tool&) = delete;
    Tool& operator=(const Tool&) = delete;

    HWND window() const { return window_; }
    std::vector<Child> children() const;
    // The child of that class and text; with `top` >= 0 also at that client y (the two
    // browse buttons share a caption).
    HWND find(std::wstring_view className, std::wstring_view text, int top = -1) const;
    HWND findAt(int left, int top) const;
    static std::wstring textOf(HWND hwnd);
    RECT clientRectOf(HWND child) const;
    SIZE outerSize() const;
    SIZE clientSize() const;
    HWND focus() const;

    void click(HWND button) const;
    void postClose() const;
    // A press and release of a mouse button over `target`, with modifier keys held.
    void mouseDown(HWND target, DWORD downFlag, DWORD upFlag, const std::vector<WORD>& keys) const;

    std::optional<MessageBoxSeen> waitForMessageBox(std::chrono::milliseconds timeout) const;
    void dismiss(const MessageBoxSeen& box) const;
    // Any dialog box of the tool, such as the file-open dialog.
    HWND waitForDialog(std::chrono::milliseconds timeout) const;
    // The first window of that class (and id, when >= 0) anywhere under `parent`.
    static HWND descendant(HWND parent, std::wstring_view className, int id = -1);
    static std::vector<std::wstring> comboItems(HWND combo);
    static void setText(HWND hwnd, const std::wstring& text);
    bool waitForExit(std::chrono::milliseconds timeout) const;
    DWORD exitCode() const;

  private:
    PROCESS_INFORMATION process_{};
    HWND window_ = nullptr;
};

}  // namespace kbnset::test
