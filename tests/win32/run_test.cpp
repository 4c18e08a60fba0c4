// Update runs through the real window under Wine: a whole run, a message box, a stop and a
// close in the middle of a long run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/kmt.hpp"
#include "win32/driver.hpp"
#include "win32/scene.hpp"

namespace kbnset::test {
namespace {

constexpr wchar_t kDone[] = L"備品区分機能設定が終了しました";

Rec rec(std::string name, std::string key2, std::string cls) {
    return {.name = std::move(name), .key2 = std::move(key2), .cls = std::move(cls)};
}

HWND statusLine(const Tool& tool) {
    return tool.findAt(16, 16);
}

TEST(RunTest, TwoPassesUpdateTheFileOnDisk) {
    Scene scene;
    writeBytes(scene.start / "E_KUBUN.KMT", kmt({rec("机", "A", "E1"), rec("ベッド", "C", "E3")}));
    writeBytes(scene.start / "J_KUBUN.KMT", kmt({rec("机", "A", "J1"), rec("椅子", "A", "J2")}));
    writeBytes(scene.data / "KUBUN.KMT",
               kmt({rec("机", "A", ""), rec("椅子", "A", ""), rec("黒板", "B", "既存"),
                    rec("養護ベッド", "C", ""), rec("棚", "D", "")}));
    Tool tool(scene.start);
    tool.click(tool.find(L"Button", L"開始"));

    HWND status = statusLine(tool);
    ASSERT_NE(status, nullptr);
    EXPECT_TRUE(waitUntil([&] { return Tool::textOf(status) == kDone; }, 30s))
        << utf8(Tool::textOf(status));
    EXPECT_EQ(readBytes(scene.data / "KUBUN.KMT"),
              kmt({rec("机", "A", "E1"), rec("椅子", "A", "J2"), rec("黒板", "B", "既存"),
                   rec("養護ベッド", "C", "E3"), rec("棚", "D", "")}));
    EXPECT_FALSE(tool.waitForMessageBox(300ms));
}

TEST(RunTest, MissingReferenceFilesShowTheirMessageTwice) {
    Scene scene;
    const std::string original = kmt({rec("机", "A", "")});
    writeBytes(scene.data / "KUBUN.KMT", original);
    Tool tool(scene.start);
    tool.click(tool.find(L"Button", L"開始"));

    for (int pass = 1; pass <= 2; ++pass) {
        SCOPED_TRACE(pass);
        auto box = tool.waitForMessageBox(20s);
        ASSERT_TRUE(box);
        EXPECT_EQ(box->title, L"備品区分機能設定");
        EXPECT_EQ(box->text, L"基準ファイルが有りません");
        EXPECT_EQ(box->buttons.size(), 1u);
        EXPECT_FALSE(box->icon);
        EXPECT_FALSE(IsWindowEnabled(tool.window())) << "the box must be modal to the window";
        tool.dismiss(*box);
    }
    EXPECT_FALSE(tool.waitForMessageBox(500ms));
    EXPECT_TRUE(IsWindowEnabled(tool.window()));
    EXPECT_EQ(Tool::textOf(statusLine(tool)), L"");
    EXPECT_EQ(readBytes(scene.data / "KUBUN.KMT"), original);
}

// 5,011 records (a full table), every one to be filled from the reference file.
struct LongRun {
    Scene scene;
    std::string original;
    LongRun() {
        std::vector<Rec> category, reference;
        for (int i = 0; i < 5011; ++i) {
            category.push_back(rec("品目" + std::to_string(i), "A", ""));
            reference.push_back(rec("品目" + std::to_string(i), "A", "E"));
        }
        original = kmt(category);
        writeBytes(scene.data / "KUBUN.KMT", original);
        writeBytes(scene.start / "E_KUBUN.KMT", kmt(reference));
        writeBytes(scene.start / "J_KUBUN.KMT", kmt(reference));
    }
};

TEST(RunTest, StopDuringALongRunLeavesTheFileUntouched) {
    LongRun run;
    Tool tool(run.scene.start);
    HWND status = statusLine(tool);
    HWND start = tool.find(L"Button", L"開始");
    HWND stop = tool.find(L"Button", L"中止");
    // Both clicks are queued at once: the loads do not yield, so the stop arrives at the
    // merge's first yield.
    tool.click(start);
    tool.click(stop);

    ASSERT_TRUE(waitUntil([&] { return !Tool::textOf(status).empty(); }, 60s));
    // A running merge changes the text after every record; a stopped one leaves it.
    std::wstring last;
    int steady = 0;
    ASSERT_TRUE(waitUntil(
        [&] {
            std::wstring now = Tool::textOf(status);
            steady = now == last ? steady + 1 : 0;
            last = now;
            return steady >= 100;
        },
        60s));
    EXPECT_EQ(last, L"1/5011");
    EXPECT_EQ(readBytes(run.scene.data / "KUBUN.KMT"), run.original);
    EXPECT_FALSE(tool.waitForMessageBox(300ms));
    EXPECT_TRUE(IsWindow(tool.window())) << "the stop must not close the window";
}

TEST(RunTest, CloseDuringALongRunStopsItAndEnds) {
    struct Case {
        const char* name;
        bool closeBox;  // the close box, else the 閉じる button
    };
    for (const Case& c : {Case{"close box", true}, Case{"閉じる", false}}) {
        SCOPED_TRACE(c.name);
        LongRun run;
        Tool tool(run.scene.start);
        HWND start = tool.find(L"Button", L"開始");
        HWND end = tool.find(L"Button", L"閉じる");
        tool.click(start);
        if (c.closeBox)
            tool.postClose();
        else
            tool.click(end);

        ASSERT_TRUE(tool.waitForExit(60s));
        EXPECT_EQ(tool.exitCode(), 0u);
        EXPECT_EQ(readBytes(run.scene.data / "KUBUN.KMT"), run.original);
    }
}

}  // namespace
}  // namespace kbnset::test
