// The real kbnset.exe under Wine, driven from outside as a user would: a separate process, its
// window found by title, its controls by place. The logic behind the window is unit-tested in
// tests/app/; these check that the Win32 window wires it up.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "runtime/win32/wide.hpp"
#include "support/kmt.hpp"

namespace kbnset::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 5s) {
    for (const auto end = std::chrono::steady_clock::now() + timeout; !done();) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

bool isClass(HWND hwnd, const wchar_t* name) {
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    return lstrcmpiW(cls, name) == 0;  // "Button" and "BUTTON" alike
}

std::wstring textOf(HWND hwnd) {
    wchar_t buffer[1024] = {};
    DWORD_PTR copied = 0;
    // The tool's thread does not answer while it reads or writes a file.
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer),
                             SMTO_ABORTIFHUNG, 10000, &copied))
        return L"<no answer>";
    return std::wstring(buffer, copied);
}

void click(HWND button) {
    PostMessageW(button, BM_CLICK, 0, 0);
}

std::vector<HWND> childrenOf(HWND parent) {
    std::vector<HWND> list;
    for (HWND h = GetWindow(parent, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) list.push_back(h);
    return list;
}

// A start folder and a data folder, R-ZORVEL naming the data folder and no ZORVEL value to
// fall back on.
struct Scene {
    TempDir tmp;
    fs::path start = tmp / "start", data = tmp / "data";

    Scene() {
        fs::create_directories(start);
        fs::create_directories(data);
        const std::wstring key = L"Software\\VB and VBA Program Settings\\", dir = data.wstring();
        EXPECT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, (key + L"R-ZORVEL\\SCHOOL").c_str(), L"DIR_ME",
                                  REG_SZ, dir.c_str(),
                                  static_cast<DWORD>((dir.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
        RegDeleteKeyValueW(HKEY_CURRENT_USER, (key + L"ZORVEL\\SCHOOL").c_str(), L"DIR_ME");
    }
    std::wstring destination() const { return data.wstring() + L"\\KUBUN.KMT"; }
};

// kbnset.exe started in `startFolder`; killed at the end if it still runs.
class Tool {
  public:
    explicit Tool(const fs::path& startFolder, fs::path program = pathOf(KBNSET_EXE)) {
        const std::wstring exe = program.make_preferred().wstring();
        std::wstring commandLine = L"\"" + exe + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            startFolder.c_str(), &startup, &process_))
            throw std::runtime_error("cannot start kbnset.exe");
        if (!waitUntil([&] { return (window_ = topLevel(false)) != nullptr; }, 20s))
            throw std::runtime_error("no main window");
    }
    ~Tool() {
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, 10000);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    Tool(const Tool&) = delete;
    Tool& operator=(const Tool&) = delete;

    HWND window() const { return window_; }
    // The control at that place of the client area, in pixels.
    HWND at(int left, int top) const {
        for (HWND h : childrenOf(window_))
            if (rectOf(h).left == left && rectOf(h).top == top) return h;
        return nullptr;
    }
    RECT rectOf(HWND h) const {
        RECT r{};
        GetWindowRect(h, &r);
        if (h != window_) MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    LONG outerHeight() const { return rectOf(window_).bottom - rectOf(window_).top; }
    LONG clientBottom() const {
        RECT r{};
        GetClientRect(window_, &r);
        return r.bottom;
    }
    HWND focus() const {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(process_.dwThreadId, &info);
        return info.hwndFocus;
    }
    // `keys` pressed in turn, then released: the dialog navigation reads the keyboard state.
    void press(std::initializer_list<WORD> keys) const {
        SetForegroundWindow(window_);
        std::vector<INPUT> inputs;
        for (DWORD up : {DWORD{0}, DWORD{KEYEVENTF_KEYUP}})
            for (WORD k : keys) {
                INPUT& in = inputs.emplace_back();
                in.type = INPUT_KEYBOARD;
                in.ki.wVk = k;
                in.ki.dwFlags = up;
            }
        SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    }
    // A message box or the file-open dialog of the tool; none when none came in `timeout`.
    HWND dialog(std::chrono::milliseconds timeout) const {
        HWND found = nullptr;
        waitUntil([&] { return (found = topLevel(true)) != nullptr; }, timeout);
        return found;
    }
    // The exit code, STILL_ACTIVE while it still runs after `timeout`.
    DWORD exitCode(std::chrono::milliseconds timeout) const {
        DWORD code = 0;
        WaitForSingleObject(process_.hProcess, static_cast<DWORD>(timeout.count()));
        GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

  private:
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

// Presses OK and waits for the dialog to go.
bool dismiss(HWND dialog) {
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    return waitUntil([&] { return !IsWindow(dialog); }, 10s);
}

// The layout in pixels at 96 DPI (15 twips to a pixel); each control is found by its place.
struct Expected {
    const char* name;
    const wchar_t* className;
    const wchar_t* caption;  // nullptr: the destination path
    int left, top, width, height;
    bool visible;
};

const Expected kCompact[] = {
    {"Label3", L"Static", L"", 16, 16, 233, 17, true},
    {"B_START", L"Button", L"開始", 280, 16, 57, 25, true},
    {"B_STOP", L"Button", L"中止", 352, 16, 49, 25, true},
    {"B_END", L"Button", L"閉じる", 416, 16, 49, 25, true},
    {"Label2", L"Static", L"変換先", 8, 56, 41, 17, true},
    {"F_NAME(0)", L"Static", nullptr, 56, 56, 353, 25, true},
    {"B_SET(0)", L"Button", L"参照", 416, 56, 41, 20, true},
    {"Label1", L"Static", L"変換元", 8, 88, 41, 17, false},
    {"F_NAME(1)", L"Static", L"", 56, 88, 353, 25, false},
    {"B_SET(1)", L"Button", L"参照", 416, 88, 41, 20, false},
    {"B_CHG", L"Button", L"交換", 416, 120, 41, 17, true},
};

constexpr int kCompactOuter = 127;   // 1910 twips
constexpr int kExpandedOuter = 187;  // 2800 twips

bool isDefault(HWND button) {
    return (GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
}

// One walk through the window: the compact layout, a message box, the tab order, Shift with a
// mouse button on Label2, Enter on 交換, then the file-open dialog.
TEST(WindowTest, LayoutKeysMessagesAndTheSourceRow) {
    Scene scene;
    writeBytes(scene.data / "KUBUN.KMT", "x");
    Tool tool(scene.start);
    HDC screen = GetDC(nullptr);
    ASSERT_EQ(GetDeviceCaps(screen, LOGPIXELSY), 96) << "the expected pixels are for 96 DPI";
    ReleaseDC(nullptr, screen);

    const auto style = static_cast<DWORD>(GetWindowLongPtrW(tool.window(), GWL_STYLE));
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u);
    EXPECT_EQ(tool.outerHeight(), kCompactOuter);
    EXPECT_EQ(childrenOf(tool.window()).size(), std::size(kCompact));
    for (const Expected& e : kCompact) {
        SCOPED_TRACE(e.name);
        HWND h = tool.at(e.left, e.top);
        ASSERT_NE(h, nullptr);
        EXPECT_TRUE(isClass(h, e.className));
        EXPECT_EQ(textOf(h), e.caption ? e.caption : scene.destination());
        const RECT r = tool.rectOf(h);
        EXPECT_EQ(r.right - r.left, e.width);
        EXPECT_EQ(r.bottom - r.top, e.height);
        EXPECT_EQ(IsWindowVisible(h) != FALSE, e.visible);
    }
    // 交換 is not hidden but lies below the compact client area; the destination row is in view.
    EXPECT_LE(tool.clientBottom(), 120);
    EXPECT_GT(tool.clientBottom(), 56 + 25);
    EXPECT_FALSE(tool.dialog(300ms)) << "start-up shows no message";

    // Focus starts on 開始, the default button; Tab visits the visible buttons in order.
    HWND at = tool.at(280, 16);
    EXPECT_TRUE(waitUntil([&] { return tool.focus() == at; })) << "focus on 開始";
    EXPECT_TRUE(isDefault(at));

    // Enter on 開始 with no reference files: each pass says so, in a message box modal to the
    // window, and KUBUN.KMT stays as it was.
    tool.press({VK_RETURN});
    for (int pass = 1; pass <= 2; ++pass) {
        SCOPED_TRACE(pass);
        const HWND box = tool.dialog(20s);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(textOf(box), L"備品区分機能設定");
        // One button, no icon: the text is the only other thing shown.
        std::vector<std::wstring> shown;
        for (HWND h : childrenOf(box))
            if (IsWindowVisible(h))
                shown.push_back(isClass(h, L"Button")                ? L"button"
                                : SendMessageW(h, STM_GETICON, 0, 0) ? L"icon"
                                                                     : textOf(h));
        EXPECT_EQ(shown, (std::vector<std::wstring>{L"", L"button", L"基準ファイルが有りません"}));
        EXPECT_FALSE(IsWindowEnabled(tool.window()));
        ASSERT_TRUE(dismiss(box));
    }
    EXPECT_FALSE(tool.dialog(500ms));
    EXPECT_EQ(readBytes(scene.data / "KUBUN.KMT"), "x");
    for (const auto& [left, top] :
         {std::pair{416, 16}, {352, 16}, {416, 56}, {416, 120}, {280, 16}}) {
        at = GetNextDlgTabItem(tool.window(), at, FALSE);
        EXPECT_EQ(at, tool.at(left, top)) << "tab to " << left << "," << top;
    }

    // Shift alone with any mouse button on Label2 shows the source row.
    // Posted with their MK_ flags at (20, 60), on Label2.
    PostMessageW(tool.window(), WM_LBUTTONDOWN, 0, MAKELPARAM(20, 60));
    PostMessageW(tool.window(), WM_LBUTTONDOWN, MK_SHIFT | MK_CONTROL, MAKELPARAM(20, 60));
    Sleep(500);
    EXPECT_EQ(tool.outerHeight(), kCompactOuter);
    PostMessageW(tool.window(), WM_RBUTTONDOWN, MK_SHIFT, MAKELPARAM(20, 60));
    ASSERT_TRUE(waitUntil([&] { return tool.outerHeight() == kExpandedOuter; }));
    for (auto [left, top] : {std::pair{8, 88}, {56, 88}, {416, 88}})
        EXPECT_TRUE(waitUntil([&] { return IsWindowVisible(tool.at(left, top)); })) << left;
    EXPECT_GT(tool.clientBottom(), 120 + 17) << "交換 must come into view";

    // Shift+Tab from 開始 to 交換, which Enter presses; the default look goes along.
    tool.press({VK_SHIFT, VK_TAB});
    ASSERT_TRUE(waitUntil([&] { return tool.focus() == tool.at(416, 120); }));
    EXPECT_TRUE(isDefault(tool.at(416, 120)));
    EXPECT_FALSE(isDefault(tool.at(280, 16)));
    tool.press({VK_RETURN});
    EXPECT_TRUE(waitUntil([&] { return textOf(tool.at(56, 88)) == scene.destination(); }));
    EXPECT_EQ(textOf(tool.at(56, 56)), L"");

    // 参照 of the destination: the common file-open dialog, modal, with the two-entry filter.
    writeBytes(scene.start / "KUBUN.KMT", "");  // the dialog takes only a file that is there
    click(tool.at(416, 56));
    const HWND dialog = tool.dialog(10s);
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(IsWindowEnabled(tool.window()));
    std::vector<std::wstring> types(2, std::wstring(128, L'\0'));
    EXPECT_EQ(SendDlgItemMessageW(dialog, 0x470, CB_GETCOUNT, 0, 0), 2);
    for (WPARAM i = 0; i < 2; ++i) {
        SendDlgItemMessageW(dialog, 0x470, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&types[i][0]));
        types[i].resize(types[i].find(L'\0'));
    }
    EXPECT_EQ(types, (std::vector<std::wstring>{L"備品区分ファイルファイル(KUBUN.KMT)",
                                                L"全ファイル(*.*)"}));
    const std::wstring chosen = scene.start.wstring() + L"\\KUBUN.KMT";
    SetDlgItemTextW(dialog, 0x47c, chosen.c_str());  // cmb13, the file name
    ASSERT_TRUE(dismiss(dialog));
    EXPECT_TRUE(waitUntil([&] { return textOf(tool.at(56, 56)) == chosen; }, 10s));
}

constexpr wchar_t kDone[] = L"備品区分機能設定が終了しました";

Rec rec(std::string name, std::string key2, std::string cls) {
    return {.name = std::move(name), .key2 = std::move(key2), .cls = std::move(cls)};
}

// 5,011 records (a full table) in KUBUN.KMT and in both reference files, every one to be
// filled; returns KUBUN.KMT as written. A `prefix` on the category's names leaves each
// record to the containment search, which then reads all of it.
std::string fullTables(const Scene& scene, const std::string& prefix = "") {
    std::vector<Rec> category, reference;
    for (int i = 0; i < 5011; ++i) {
        category.push_back(rec(prefix + "品目" + std::to_string(i), "A", ""));
        reference.push_back(rec("品目" + std::to_string(i), "A", "E"));
    }
    writeBytes(scene.start / "E_KUBUN.KMT", kmt(reference));
    writeBytes(scene.start / "J_KUBUN.KMT", kmt(reference));
    writeBytes(scene.data / "KUBUN.KMT", kmt(category));
    return kmt(category);
}

// One two-pass run on full tables, by the driver's clock from the click on 開始 to the
// completion text (zero: none came): Label3's texts as answered, repeats left out, and the
// time each answer took between progress texts of a merge.
struct Observed {
    std::chrono::duration<double> run{};
    std::vector<std::wstring> texts;
    std::vector<std::chrono::duration<double>> answers;
};

Observed timeRun(const fs::path& exe, const std::string& prefix = "") {
    Scene scene;
    fullTables(scene, prefix);
    Tool tool(scene.start, exe);
    HWND status = tool.at(16, 16);
    Observed seen;
    int last = 0;  // the record number last answered, 0 outside a merge
    const auto begin = std::chrono::steady_clock::now();
    click(tool.at(280, 16));
    for (auto asked = begin; asked < begin + 60s;) {
        const std::wstring text = textOf(status);
        const auto answered = std::chrono::steady_clock::now();
        if (seen.texts.empty() || seen.texts.back() != text) seen.texts.push_back(text);
        if (text == kDone) {
            seen.run = answered - begin;
            break;
        }
        const int k = text.ends_with(L"/5011") ? std::stoi(text) : 0;
        if (last > 0 && k > last) seen.answers.push_back(answered - asked);
        last = k < 5011 ? k : 0;
        asked = answered;
    }
    return seen;
}

// The progress text follows the display, not every record: the status line shows "k/N"
// while a merge runs, the window answers within about a frame meanwhile, and the run ends
// with the completion text. With KBNSET_BASELINE_EXE naming another build, both are timed
// side by side.
TEST(RunTest, FullTablesAtDisplayRate) {
    // Long names make each merge last many frames, enough answers for a median.
    Observed seen = timeRun(pathOf(KBNSET_EXE), "養護" + std::string(4000, 'x'));
    ASSERT_GT(seen.run.count(), 0) << "no completion text";
    for (const std::wstring& text : seen.texts)
        EXPECT_TRUE(text.empty() || text == kDone || text.ends_with(L"/5011"))
            << runtime::narrow(text);
    // The last number of a pass shows at once and stays while the pass saves.
    ASSERT_GE(seen.texts.size(), 2u);
    EXPECT_EQ(seen.texts.end()[-2], L"5011/5011");
    // It pumps every 10 ms. Half the answers within three frames (50 ms): a loaded machine
    // delays some, not half; a pump every 150 ms fails.
    auto& answers = seen.answers;
    ASSERT_FALSE(answers.empty()) << "no progress text shown during a merge";
    std::sort(answers.begin(), answers.end());
    EXPECT_LT(answers[answers.size() / 2], 50ms);

    if (const char* baseline = std::getenv("KBNSET_BASELINE_EXE")) {
        const fs::path exes[] = {pathOf(baseline), pathOf(KBNSET_EXE)};
        for (int which = 0; which < 2; ++which) {
            std::vector<double> times;
            for (int round = 0; round < 5; ++round)
                times.push_back(timeRun(exes[which]).run.count());
            std::sort(times.begin(), times.end());
            std::printf("%s: median %.3f s, fastest %.3f s, slowest %.3f s\n",
                        which == 0 ? "baseline" : "this build", times[2], times[0], times[4]);
        }
    }
}

// The start and the second click are queued at once: the loads do not yield, so the second
// click arrives at the merge's first yield. The file stays untouched; a close ends the tool.
TEST(RunTest, StopOrCloseDuringALongRunLeavesTheFileUntouched) {
    struct Case {
        const char* what;
        int left;  // of the button clicked at the top: 中止 352, 閉じる 416; 0: the close box
        bool closes;
        bool keys = false;  // Enter on 開始, then Tab to 中止 and Enter
    };
    for (const Case& c : {Case{"中止", 352, false}, Case{"閉じる", 416, true},
                          Case{"close box", 0, true}, Case{"keys", 0, false, true}}) {
        SCOPED_TRACE(c.what);
        Scene scene;
        const std::string category = fullTables(scene);
        Tool tool(scene.start);
        HWND start = tool.at(280, 16);
        if (c.keys) {
            ASSERT_TRUE(waitUntil([&] { return tool.focus() == start; }));
            for (WORD key : std::initializer_list<WORD>{VK_RETURN, VK_TAB, VK_TAB, VK_RETURN})
                tool.press({key});
        } else {
            click(start);
            if (c.left)
                click(tool.at(c.left, 16));
            else
                PostMessageW(tool.window(), WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        if (c.closes) {
            EXPECT_EQ(tool.exitCode(60s), 0u);
        } else {
            // A running merge changes Label3 once a frame; a stopped one leaves it.
            ASSERT_TRUE(waitUntil([&] { return !textOf(tool.at(16, 16)).empty(); }, 60s));
            Sleep(1000);
            EXPECT_EQ(textOf(tool.at(16, 16)), L"1/5011");
            EXPECT_FALSE(tool.dialog(300ms));
            EXPECT_TRUE(IsWindow(tool.window())) << "the stop must not close the window";
        }
        EXPECT_TRUE(readBytes(scene.data / "KUBUN.KMT") == category) << "the file changed";
    }
}

}  // namespace
}  // namespace kbnset::test
