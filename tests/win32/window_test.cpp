// The real kbnset.exe under Wine, driven from outside as a user would: a separate process, its
// window found by title, its controls by place. The logic behind the window is unit-tested in
// tests/app/; these check that the Win32 window wires it up.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/layout.hpp"
#include "runtime/system.hpp"
#include "runtime/win32/wide.hpp"
#include "support/kmt.hpp"
#include "support/temp_dir.hpp"
#include "update/run.hpp"

namespace kbnset::test {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds, std::chrono::seconds;
using enum app::Control;

bool waitUntil(auto done, std::chrono::milliseconds timeout = seconds(5)) {
    for (const auto end = std::chrono::steady_clock::now() + timeout; !done(); Sleep(10))
        if (std::chrono::steady_clock::now() > end) return false;
    return true;
}

std::wstring textOf(HWND hwnd) {
    wchar_t buffer[1024] = {};
    DWORD_PTR n = 0;  // the tool's thread does not answer while it reads or writes a file
    return SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer),
                               SMTO_ABORTIFHUNG, 10000, &n)
               ? std::wstring(buffer, n)
               : L"<no answer>";
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
        for (const fs::path& folder : {start, data}) fs::create_directories(folder);
        const std::wstring key = L"Software\\VB and VBA Program Settings\\", dir = data.wstring();
        EXPECT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, (key + L"R-ZORVEL\\SCHOOL").c_str(), L"DIR_ME",
                                  REG_SZ, dir.c_str(), DWORD(2 * dir.size() + 2)),
                  ERROR_SUCCESS);
        RegDeleteKeyValueW(HKEY_CURRENT_USER, (key + L"ZORVEL\\SCHOOL").c_str(), L"DIR_ME");
    }
    std::wstring destination() const { return data.wstring() + L"\\KUBUN.KMT"; }
};

// kbnset.exe started in `startFolder`, killed at the end if it still runs. Places and sizes
// are in pixels at 96 DPI, 15 twips to a pixel.
class Tool {
  public:
    explicit Tool(const fs::path& startFolder) {
        std::wstring exe = pathOf(KBNSET_EXE).make_preferred().wstring(),
                     commandLine = L"\"" + exe + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            startFolder.c_str(), &startup, &process) ||
            !(window = topLevel(seconds(20), false)))
            throw std::runtime_error("kbnset.exe did not start");
    }
    ~Tool() {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 10000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }

    static int px(int twips) { return (twips + 7) / 15; }
    static bool isClass(HWND h, const wchar_t* name) {
        wchar_t cls[64] = {};
        return GetClassNameW(h, cls, 64) && lstrcmpiW(cls, name) == 0;  // "Button" or "BUTTON"
    }
    static bool isDefault(HWND b) { return GetWindowLongW(b, GWL_STYLE) & BS_DEFPUSHBUTTON; }
    // Presses OK and waits for the dialog to go.
    static bool dismiss(HWND d) {
        return PostMessageW(d, WM_COMMAND, IDOK, 0) &&
               waitUntil([&] { return !IsWindow(d); }, seconds(10));
    }

    // The control where the layout puts `c`.
    HWND operator[](app::Control c) const {
        const app::ControlLayout& l = app::kLayout[static_cast<std::size_t>(c)];
        for (HWND h : childrenOf(window))
            if (rectOf(h).left == px(l.left) && rectOf(h).top == px(l.top)) return h;
        return nullptr;
    }
    // A control's rectangle in the client area; the window's own on the screen.
    RECT rectOf(HWND h) const {
        RECT r{};
        GetWindowRect(h, &r);
        if (h != window) MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    LONG outerHeight() const { return rectOf(window).bottom - rectOf(window).top; }
    HWND focus() const {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        return GetGUIThreadInfo(process.dwThreadId, &info) ? info.hwndFocus : nullptr;
    }
    // `keys` pressed in turn, then released: the dialog navigation reads the keyboard state.
    void press(std::initializer_list<WORD> keys) const {
        SetForegroundWindow(window);
        std::vector<INPUT> inputs;
        for (DWORD up : {DWORD{0}, DWORD{KEYEVENTF_KEYUP}})
            for (WORD k : keys) inputs.push_back({INPUT_KEYBOARD, {.ki = {k, 0, up, 0, 0}}});
        SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    }
    // A visible window of the tool's thread within `timeout`, none if none came: a message box
    // or the file-open dialog, or else the main window by its title.
    HWND topLevel(std::chrono::milliseconds timeout, bool dialog = true) const {
        for (const auto end = std::chrono::steady_clock::now() + timeout;; Sleep(10)) {
            for (HWND h = GetTopWindow(nullptr); h; h = GetWindow(h, GW_HWNDNEXT))
                if (GetWindowThreadProcessId(h, nullptr) == process.dwThreadId &&
                    IsWindowVisible(h) && isClass(h, L"#32770") == dialog &&
                    (dialog || textOf(h) == L"備品区分機能設定"))
                    return h;
            if (std::chrono::steady_clock::now() > end) return nullptr;
        }
    }

    PROCESS_INFORMATION process{};
    HWND window = nullptr;
};

// One walk through the window: the compact layout, a message box, the tab order, Shift with a
// mouse button on Label2, Enter on 交換, then the file-open dialog.
TEST(WindowTest, LayoutKeysMessagesAndTheSourceRow) {
    Scene scene;
    writeBytes(scene.data / "KUBUN.KMT", "x");
    Tool tool(scene.start);
    EXPECT_EQ(
        GetWindowLongW(tool.window, GWL_STYLE) & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
        0);
    EXPECT_EQ(tool.outerHeight(), Tool::px(app::kCompactHeight));
    EXPECT_EQ(childrenOf(tool.window).size(), app::kLayout.size());
    for (const app::ControlLayout& c : app::kLayout) {
        const HWND h = tool[c.control];
        const RECT r = tool.rectOf(h);
        EXPECT_EQ(std::tuple(Tool::isClass(h, L"Button"), textOf(h), r.right - r.left,
                             r.bottom - r.top, IsWindowVisible(h) != FALSE),
                  std::tuple(c.kind == app::Kind::Button,
                             c.control == F_NAME0 ? scene.destination() : runtime::widen(c.caption),
                             Tool::px(c.width), Tool::px(c.height), c.visible))
            << "control " << static_cast<int>(c.control);
    }
    EXPECT_FALSE(tool.topLevel(milliseconds(300))) << "start-up shows no message";

    // Focus starts on 開始, the default button. Enter on it with no reference files: each pass
    // says so in a message box modal to the window, one button and no icon; KUBUN.KMT stays.
    HWND at = tool[B_START];
    EXPECT_TRUE(waitUntil([&] { return tool.focus() == at && Tool::isDefault(at); }));
    tool.press({VK_RETURN});
    for (int pass = 1; pass <= 2; ++pass) {
        SCOPED_TRACE(pass);
        const HWND box = tool.topLevel(seconds(20));
        ASSERT_EQ(textOf(box), L"備品区分機能設定");
        std::vector<std::wstring> shown;
        for (HWND h : childrenOf(box))
            if (IsWindowVisible(h))
                shown.push_back(Tool::isClass(h, L"Button")          ? L"button"
                                : SendMessageW(h, STM_GETICON, 0, 0) ? L"icon"
                                                                     : textOf(h));
        EXPECT_EQ(shown, (std::vector<std::wstring>{L"", L"button", L"基準ファイルが有りません"}));
        EXPECT_FALSE(IsWindowEnabled(tool.window));
        ASSERT_TRUE(Tool::dismiss(box));
    }
    EXPECT_FALSE(tool.topLevel(milliseconds(500)));
    EXPECT_EQ(readBytes(scene.data / "KUBUN.KMT"), "x");
    for (app::Control c : {B_END, B_STOP, B_SET0, B_CHG, B_START})
        EXPECT_EQ(at = GetNextDlgTabItem(tool.window, at, FALSE), tool[c]) << static_cast<int>(c);

    // Shift with the right mouse button on Label2, at (20, 60), shows the source row.
    PostMessageW(tool.window, WM_RBUTTONDOWN, MK_SHIFT, MAKELPARAM(20, 60));
    ASSERT_TRUE(waitUntil([&] { return tool.outerHeight() == Tool::px(app::kExpandedHeight); }));
    for (app::Control c : {Label1, F_NAME1, B_SET1})
        EXPECT_TRUE(waitUntil([&] { return IsWindowVisible(tool[c]); })) << static_cast<int>(c);

    // Shift+Tab from 開始 to 交換, which Enter presses; the default look goes along.
    tool.press({VK_SHIFT, VK_TAB});
    ASSERT_TRUE(waitUntil([&] { return tool.focus() == tool[B_CHG]; }));
    EXPECT_TRUE(Tool::isDefault(tool[B_CHG]) && !Tool::isDefault(tool[B_START]));
    tool.press({VK_RETURN});
    EXPECT_TRUE(waitUntil([&] { return textOf(tool[F_NAME1]) == scene.destination(); }));
    EXPECT_EQ(textOf(tool[F_NAME0]), L"");

    // 参照 of the destination: the common file-open dialog, modal, with the two-entry filter.
    writeBytes(scene.start / "KUBUN.KMT", "");  // the dialog takes only a file that is there
    PostMessageW(tool[B_SET0], BM_CLICK, 0, 0);
    const HWND dialog = tool.topLevel(seconds(10));
    EXPECT_FALSE(IsWindowEnabled(tool.window));
    std::vector<std::wstring> types;  // of cmb1, the file type, up to CB_ERR past the last
    wchar_t type[128];
    for (WPARAM i = 0; SendDlgItemMessageW(dialog, 0x470, CB_GETLBTEXT, i, LPARAM(type)) > 0; ++i)
        types.push_back(type);
    EXPECT_EQ(types, (std::vector<std::wstring>{L"備品区分ファイルファイル(KUBUN.KMT)",
                                                L"全ファイル(*.*)"}));
    const std::wstring chosen = scene.start.wstring() + L"\\KUBUN.KMT";
    SetDlgItemTextW(dialog, 0x47c, chosen.c_str());  // cmb13, the file name
    ASSERT_TRUE(Tool::dismiss(dialog));
    EXPECT_TRUE(waitUntil([&] { return textOf(tool[F_NAME0]) == chosen; }, seconds(10)));
}

const std::wstring kDone = runtime::widen(update::kCompletionText);

// 「元に戻す(&U)」 and 「前回の結果(&L)」 by the keyboard, Alt+Space then U or L: nothing until a
// run has changed KUBUN.KMT. Then 前回の結果 shows its counts and offers its report; 元に戻す asks,
// naming the file; No the default of both. No keeps the run's result, Yes undoes it and says so.
TEST(WindowTest, UndoAndLastRunFromTheSystemMenu) {
    const std::string state = runtime::nativeSystem().userStateDirectory();
    fs::remove(pathOf(state) / pathOf("前回の結果.ini"));  // what enables 前回の結果
    Scene scene;
    writeBytes(scene.start / "E_KUBUN.KMT", kmt({{.name = "机", .cls = "E"}}));
    writeBytes(scene.start / "J_KUBUN.KMT", kmt({}));
    const std::string before = kmt({{.name = "机"}}), after = kmt({{.name = "机", .cls = "E"}});
    writeBytes(scene.data / "KUBUN.KMT", before);
    Tool tool(scene.start);
    auto choose = [&](WORD key = 'U') {
        tool.press({VK_MENU, VK_SPACE});
        Sleep(300);
        tool.press({key});
        return tool.topLevel(seconds(5));
    };
    auto textIn = [](HWND box) { return textOf(GetDlgItem(box, 0xFFFF)); };
    ASSERT_TRUE(waitUntil([&] { return tool.focus() == tool[B_START]; }));
    for (WORD key : {WORD{'U'}, WORD{'L'}}) {
        EXPECT_FALSE(choose(key)) << "nothing to undo or show yet: " << key;
        tool.press({VK_ESCAPE});
        tool.press({VK_ESCAPE});
    }

    PostMessageW(tool[B_START], BM_CLICK, 0, 0);
    ASSERT_TRUE(waitUntil([&] { return textOf(tool[Label3]) == kDone; }, seconds(20)));
    ASSERT_EQ(readBytes(scene.data / "KUBUN.KMT"), after);
    const HWND counts = choose('L');
    ASSERT_TRUE(counts);
    const std::wstring shown = textIn(counts);
    EXPECT_TRUE(
        shown.ends_with(L"\nE_KUBUN.KMT から書き写した分類: 1 件\nJ_KUBUN.KMT から書き写"
                        L"した分類: 0 件\n直した区分コード: 0 件\n分類が空のままの区分: 0 "
                        L"件\n\n報告ファイル\n" +
                        runtime::widen(state) + L"\\前回の結果.csv\nを開きますか？"))
        << runtime::narrow(shown);
    EXPECT_TRUE(Tool::isDefault(GetDlgItem(counts, IDNO)));
    PostMessageW(counts, WM_COMMAND, IDNO, 0);
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(counts); }));
    for (WPARAM answer : {WPARAM{IDNO}, WPARAM{IDYES}}) {
        SCOPED_TRACE(answer);
        const HWND box = choose();
        ASSERT_TRUE(box);
        EXPECT_TRUE(textIn(box).starts_with(L"備品区分ファイル\n" + scene.destination()));
        EXPECT_TRUE(Tool::isDefault(GetDlgItem(box, IDNO)));
        PostMessageW(box, WM_COMMAND, answer, 0);
        ASSERT_TRUE(waitUntil([&] { return !IsWindow(box); }));
    }
    const HWND done = tool.topLevel(seconds(10));
    ASSERT_TRUE(done);
    EXPECT_TRUE(textIn(done).ends_with(L" の実行の前に戻しました"));
    ASSERT_TRUE(Tool::dismiss(done));
    EXPECT_EQ(readBytes(scene.data / "KUBUN.KMT"), before);
}

// 5,011 records (a full table) in KUBUN.KMT and in both reference files, every one to be
// filled; returns KUBUN.KMT as written. A `prefix` on the category's names leaves each
// record to the containment search, which then reads all of it.
std::string fullTables(const Scene& scene, const std::string& prefix = "") {
    std::vector<Rec> category, reference;
    for (int i = 0; i < 5011; ++i) {
        category.push_back({.name = prefix + "品目" + std::to_string(i), .key2 = "A"});
        reference.push_back({.name = "品目" + std::to_string(i), .key2 = "A", .cls = "E"});
    }
    for (const char* name : {"E_KUBUN.KMT", "J_KUBUN.KMT"})
        writeBytes(scene.start / name, kmt(reference));
    writeBytes(scene.data / "KUBUN.KMT", kmt(category));
    return kmt(category);
}

// The status line shows "k/N" while a merge runs and the window answers meanwhile: one that
// did not pump would answer only once the run is over. The pass's last "N/N" shows at once and
// stays while it saves, and the run ends with the completion text. How often it pumps is the
// display rule's, tested with the window's logic.
TEST(RunTest, FullTablesShowProgressAndAnswerMeanwhile) {
    Scene scene;
    // Long names make each merge last many frames.
    fullTables(scene, "養護" + std::string(4000, 'x'));
    Tool tool(scene.start);
    const HWND status = tool[Label3];
    const auto deadline = std::chrono::steady_clock::now() + seconds(60);
    auto over = [&](const std::wstring& text) {
        return text == kDone || std::chrono::steady_clock::now() > deadline;
    };
    // The texts as the window sets them, read without its answer (also while it saves).
    std::vector<std::wstring> set;
    std::thread watcher([&] {
        for (std::wstring text; !over(text); Sleep(1)) {
            wchar_t buffer[1024] = {};
            text.assign(buffer,
                        static_cast<std::size_t>(InternalGetWindowText(status, buffer, 1024)));
            if (set.empty() || set.back() != text) set.push_back(text);
        }
    });
    int answers = 0;  // "k/N" answered before the last record of a merge
    PostMessageW(tool[B_START], BM_CLICK, 0, 0);
    for (std::wstring text; !over(text);) {
        text = textOf(status);
        answers += text.ends_with(L"/5011") && text != L"5011/5011";
    }
    watcher.join();
    ASSERT_EQ(set.empty() ? L"" : set.back(), kDone);
    for (const std::wstring& text : set)
        EXPECT_TRUE(text.empty() || text == kDone || text.ends_with(L"/5011")) << text;
    EXPECT_EQ(set[set.size() - 2], L"5011/5011");
    EXPECT_GE(answers, 10) << "the window hardly answered during the merges";
}

// 開始 is clicked, then keys pressed or the close box clicked, all queued at once: the rest
// arrives at the first yield, in a load or in the merge. KUBUN.KMT stays untouched.
TEST(RunTest, StopOrCloseDuringALongRunLeavesTheFileUntouched) {
    // Tab twice to 中止, once to 閉じる; no keys: the close box.
    for (const auto& [keys, closes] :
         {std::pair<std::vector<WORD>, bool>{{VK_TAB, VK_TAB, VK_RETURN}, false},
          {{VK_TAB, VK_RETURN}, true},
          {{}, true}}) {
        SCOPED_TRACE(keys.size());
        Scene scene;
        const std::string category = fullTables(scene);
        Tool tool(scene.start);
        ASSERT_TRUE(waitUntil([&] { return tool.focus() == tool[B_START]; }));
        PostMessageW(tool[B_START], BM_CLICK, 0, 0);
        for (WORD key : keys) tool.press({key});
        if (keys.empty()) PostMessageW(tool.window, WM_SYSCOMMAND, SC_CLOSE, 0);
        // The loads ask for a stop too: a stop lands in a load (nothing shown) or after the
        // merge's first record (1/5011), and the run never completes.
        auto done = [&] { return textOf(tool[Label3]) == kDone; };
        EXPECT_FALSE(!closes && waitUntil(done, seconds(5))) << "the run completed";
        DWORD code = WaitForSingleObject(tool.process.hProcess, closes ? 60000 : 1000);
        GetExitCodeProcess(tool.process.hProcess, &code);
        EXPECT_EQ(code, closes ? 0 : STILL_ACTIVE) << "exit code";
        const std::wstring status = textOf(tool[Label3]);
        if (closes)
            EXPECT_EQ(status, L"<no answer>");
        else
            EXPECT_TRUE(status.empty() || status == L"1/5011") << status;
        EXPECT_FALSE(tool.topLevel(milliseconds(300))) << "no message";
        EXPECT_TRUE(readBytes(scene.data / "KUBUN.KMT") == category) << "the file changed";
    }
}

}  // namespace
}  // namespace kbnset::test
