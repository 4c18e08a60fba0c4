// The real window under Wine: layout, the hidden source row, the start button without a data
// directory, the swap and the browse.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/kmt.hpp"
#include "win32/driver.hpp"
#include "win32/scene.hpp"

namespace kbnset::test {
namespace {

// The layout in pixels at 96 DPI: 15 twips to a pixel.
struct Expected {
    const wchar_t* className;
    const wchar_t* caption;  // nullptr: the destination path
    int left, top, width, height;
    bool visible;
};

const Expected kCompact[] = {
    {L"Static", L"", 16, 16, 233, 17, true},        // Label3
    {L"Button", L"開始", 280, 16, 57, 25, true},    // B_START
    {L"Button", L"中止", 352, 16, 49, 25, true},    // B_STOP
    {L"Button", L"閉じる", 416, 16, 49, 25, true},  // B_END
    {L"Static", L"変換先", 8, 56, 41, 17, true},    // Label2
    {L"Static", nullptr, 56, 56, 353, 25, true},    // F_NAME(0)
    {L"Button", L"参照", 416, 56, 41, 20, true},    // B_SET(0)
    {L"Static", L"変換元", 8, 88, 41, 17, false},   // Label1
    {L"Static", L"", 56, 88, 353, 25, false},       // F_NAME(1)
    {L"Button", L"参照", 416, 88, 41, 20, false},   // B_SET(1)
    {L"Button", L"交換", 416, 120, 41, 17, true},   // B_CHG
};

constexpr int kClientWidth = 469;    // 7035 twips
constexpr int kCompactOuter = 127;   // 1910 twips
constexpr int kExpandedOuter = 187;  // 2800 twips

HWND label2(const Tool& tool) {
    return tool.find(L"Static", L"変換先");
}

TEST(WindowTest, CompactLayout) {
    Scene scene;
    Tool tool(scene.start);
    HDC screen = GetDC(nullptr);
    ASSERT_EQ(GetDeviceCaps(screen, LOGPIXELSY), 96) << "the expected pixels are for 96 DPI";
    ReleaseDC(nullptr, screen);

    EXPECT_EQ(Tool::textOf(tool.window()), L"備品区分機能設定");
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(tool.window(), GWL_STYLE));
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u);
    EXPECT_EQ(style & WS_SYSMENU, static_cast<DWORD>(WS_SYSMENU));
    EXPECT_EQ(tool.clientSize().cx, kClientWidth);
    EXPECT_EQ(tool.outerSize().cy, kCompactOuter);

    const auto children = tool.children();
    EXPECT_EQ(children.size(), std::size(kCompact));
    for (const Expected& e : kCompact) {
        const std::wstring caption = e.caption ? e.caption : scene.destination();
        SCOPED_TRACE(utf8(caption) + " at " + std::to_string(e.left) + "," + std::to_string(e.top));
        HWND h = tool.find(e.className, caption, e.top);
        ASSERT_NE(h, nullptr);
        const RECT r = tool.clientRectOf(h);
        EXPECT_EQ(r.left, e.left);
        EXPECT_EQ(r.right - r.left, e.width);
        EXPECT_EQ(r.bottom - r.top, e.height);
        EXPECT_EQ(IsWindowVisible(h) != FALSE, e.visible);
    }
    // The swap button is not hidden, but lies below the compact client area.
    EXPECT_GE(120, tool.clientSize().cy);
    EXPECT_GT(tool.clientSize().cy, 56 + 25) << "the destination row must be in view";

    HWND start = tool.find(L"Button", L"開始");
    EXPECT_TRUE(IsWindowEnabled(start));
    EXPECT_TRUE(waitUntil([&] { return tool.focus() == start; }, 5s)) << "focus on 開始";
}

TEST(WindowTest, TabFollowsTheTabColumn) {
    Scene scene;
    Tool tool(scene.start);
    // Only the visible buttons take the focus: 開始, 閉じる, 中止, 参照 (destination), 交換.
    const std::vector<HWND> expected{tool.find(L"Button", L"閉じる"), tool.find(L"Button", L"中止"),
                                     tool.find(L"Button", L"参照", 56),
                                     tool.find(L"Button", L"交換"), tool.find(L"Button", L"開始")};
    HWND at = tool.find(L"Button", L"開始");
    for (HWND next : expected) {
        at = GetNextDlgTabItem(tool.window(), at, FALSE);
        EXPECT_EQ(at, next);
    }
}

struct ExpandCase {
    const char* name;
    DWORD down, up;
};

TEST(WindowTest, ShiftAndAnyMouseButtonOnTheDestinationLabelExpands) {
    const ExpandCase cases[] = {
        {"left", MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP},
        {"right", MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP},
        {"middle", MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Scene scene;
        Tool tool(scene.start);
        HWND label = label2(tool);
        ASSERT_NE(label, nullptr);

        // Without Shift, and with Ctrl added, nothing happens.
        for (const std::vector<WORD>& keys :
             {std::vector<WORD>{}, std::vector<WORD>{VK_CONTROL, VK_SHIFT}}) {
            tool.mouseDown(label, c.down, c.up, keys);
            Sleep(500);
            EXPECT_EQ(tool.outerSize().cy, kCompactOuter) << keys.size() << " keys held";
        }

        tool.mouseDown(label, c.down, c.up, {VK_SHIFT});
        EXPECT_TRUE(waitUntil([&] { return tool.outerSize().cy == kExpandedOuter; }, 5s));
        for (const auto& [caption, top] :
             {std::pair{L"変換元", 88}, std::pair{L"", 88}, std::pair{L"参照", 88}}) {
            HWND h =
                tool.find(caption == std::wstring(L"参照") ? L"Button" : L"Static", caption, top);
            ASSERT_NE(h, nullptr);
            EXPECT_TRUE(IsWindowVisible(h));
        }
        EXPECT_GT(tool.clientSize().cy, 120 + 17) << "the swap button must come into view";
    }
}

TEST(WindowTest, NoDataDirectoryDisablesStart) {
    Scene scene(false);
    Tool tool(scene.start);
    EXPECT_NE(tool.find(L"Static", L"\\KUBUN.KMT", 56), nullptr);
    HWND start = tool.find(L"Button", L"開始");
    ASSERT_NE(start, nullptr);
    EXPECT_TRUE(waitUntil([&] { return !IsWindowEnabled(start); }, 5s));
    EXPECT_FALSE(tool.waitForMessageBox(500ms)) << "start-up shows no message";
    HWND end = tool.find(L"Button", L"閉じる");
    EXPECT_TRUE(waitUntil([&] { return tool.focus() == end; }, 5s)) << "focus on 閉じる";
}

TEST(WindowTest, SwapExchangesThePaths) {
    Scene scene;
    Tool tool(scene.start);
    tool.mouseDown(label2(tool), MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, {VK_SHIFT});
    ASSERT_TRUE(waitUntil([&] { return tool.outerSize().cy == kExpandedOuter; }, 5s));
    HWND destination = tool.findAt(56, 56);
    HWND source = tool.findAt(56, 88);
    ASSERT_NE(destination, nullptr);
    ASSERT_NE(source, nullptr);

    tool.click(tool.find(L"Button", L"交換"));
    EXPECT_TRUE(waitUntil([&] { return Tool::textOf(source) == scene.destination(); }, 5s));
    EXPECT_EQ(Tool::textOf(destination), L"");
    EXPECT_TRUE(IsWindowEnabled(tool.find(L"Button", L"開始")));

    tool.click(tool.find(L"Button", L"交換"));
    EXPECT_TRUE(waitUntil([&] { return Tool::textOf(destination) == scene.destination(); }, 5s));
    EXPECT_EQ(Tool::textOf(source), L"");
}

TEST(WindowTest, BrowseChoosesTheDestinationForTheNextRun) {
    Scene scene;
    const auto other = scene.tmp / "other";
    std::filesystem::create_directories(other);
    writeBytes(scene.start / "E_KUBUN.KMT", kmt({{.name = "机", .key2 = "A", .cls = "E1"}}));
    writeBytes(scene.start / "J_KUBUN.KMT", kmt({}));
    writeBytes(other / "KUBUN.KMT", kmt({{.name = "机", .key2 = "A", .cls = ""}}));
    Tool tool(scene.start);
    tool.click(tool.find(L"Button", L"参照", 56));

    HWND dialog = tool.waitForDialog(10s);
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(IsWindowEnabled(tool.window())) << "the dialog must be modal";
    // The file-type list (cmb1 of the common dialog) with its two entries, the first chosen.
    HWND types = Tool::descendant(dialog, L"ComboBox", 0x470);
    ASSERT_NE(types, nullptr);
    EXPECT_EQ(
        Tool::comboItems(types),
        (std::vector<std::wstring>{L"備品区分ファイルファイル(KUBUN.KMT)", L"全ファイル(*.*)"}));
    EXPECT_EQ(SendMessageW(types, CB_GETCURSEL, 0, 0), 0);

    const std::wstring chosen = other.wstring() + L"\\KUBUN.KMT";
    HWND name = Tool::descendant(dialog, L"Edit");
    ASSERT_NE(name, nullptr);
    Tool::setText(name, chosen);
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    HWND destination = tool.findAt(56, 56);
    ASSERT_TRUE(waitUntil([&] { return Tool::textOf(destination) == chosen; }, 10s))
        << utf8(Tool::textOf(destination));

    // DATA_DIR now names the other folder: the run updates its KUBUN.KMT.
    tool.click(tool.find(L"Button", L"開始"));
    EXPECT_TRUE(waitUntil(
        [&] { return Tool::textOf(tool.findAt(16, 16)) == L"備品区分機能設定が終了しました"; },
        30s));
    EXPECT_EQ(readBytes(other / "KUBUN.KMT"), kmt({{.name = "机", .key2 = "A", .cls = "E1"}}));
}

}  // namespace
}  // namespace kbnset::test
