// The start, stop and close buttons on real files: runs, a stop and a close in the middle of a
// merge, the buttons that must do nothing during a run, START_DIR restored at close.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/fake_view.hpp"
#include "app/fixtures.hpp"
#include "app/main_form.hpp"

namespace kbnset::test {
namespace {

namespace fs = std::filesystem;
using app::Control;

const std::vector<Row> kCategory{{"机", "A", ""},
                                 {"椅子", "A", ""},
                                 {"黒板", "B", "既存"},
                                 {"養護ベッド", "C", ""},
                                 {"棚", "D", ""}};
const std::vector<Row> kElementary{{"机", "A", "E1"}, {"ベッド", "C", "E3"}};
const std::vector<Row> kJuniorHigh{{"机", "A", "J1"}, {"椅子", "A", "J2"}};
constexpr char kDone[] = "備品区分機能設定が終了しました";

std::vector<std::string> progress(int count) {
    std::vector<std::string> texts;
    for (int i = 1; i <= count; ++i) texts.push_back(std::to_string(i) + "/5");
    return texts;
}

// The reference files in the start folder, KUBUN.KMT in the data folder, the form loaded
// from there and shown.
struct Workspace {
    TempDir tmp;
    fs::path start = tmp / "start";
    fs::path data = tmp / "data";
    std::string original;
    SettingsSystem system;
    FakeView view;
    app::MainForm form{view, system};

    Workspace() {
        fs::create_directories(start);
        fs::create_directories(data);
        writeBytes(start / "E_KUBUN.KMT", categoryFile(kElementary));
        writeBytes(start / "J_KUBUN.KMT", categoryFile(kJuniorHigh));
        original = categoryFile(kCategory);
        writeBytes(data / "KUBUN.KMT", original);
        system.settings["R-ZORVEL/SCHOOL/DIR_ME"] = utf8(data);
        fs::current_path(start);
        form.onLoad();
        form.onActivate();
        view.statusLog.clear();  // the load's empty status line
    }
    std::string onDisk() const { return readBytes(data / "KUBUN.KMT"); }
};

TEST(RunTest, StartRunsWithTheShownSourcePath) {
    struct Case {
        const char* name;
        const char* source;  // picked in the source row; empty: none
        std::vector<Row> expected;
        int merges;
    };
    const Case cases[] = {
        {"both reference files, elementary first",
         "",
         {{"机", "A", "E1"},
          {"椅子", "A", "J2"},
          {"黒板", "B", "既存"},
          {"養護ベッド", "C", "E3"},
          {"棚", "D", ""}},
         2},
        {"the source file alone",
         "J_KUBUN.KMT",
         {{"机", "A", "J1"},
          {"椅子", "A", "J2"},
          {"黒板", "B", "既存"},
          {"養護ベッド", "C", ""},
          {"棚", "D", ""}},
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Workspace w;
        if (*c.source) {
            w.view.dialogAnswer = utf8(w.start / c.source);
            w.form.onSetClick(1);
        }
        w.form.onStartClick();

        EXPECT_EQ(w.onDisk(), categoryFile(c.expected));
        std::vector<std::string> expectedStatus;
        for (int m = 0; m < c.merges; ++m)
            for (auto& t : progress(5)) expectedStatus.push_back(t);
        expectedStatus.emplace_back(kDone);
        EXPECT_EQ(w.view.statusLog, expectedStatus);
        EXPECT_TRUE(w.view.messages.empty());
        EXPECT_FALSE(w.form.session().running);
    }
}

TEST(RunTest, StopEndsTheWholeRunWithoutSaving) {
    Workspace w;
    w.form.onStopClick();  // idle: no effect
    EXPECT_EQ(w.form.session().STOP_FLG, 0);

    w.view.onYield = [&](int n) {
        if (n == 2) w.form.onStopClick();
    };
    w.form.onStartClick();
    EXPECT_EQ(w.onDisk(), w.original);
    // The third record was searched but its progress is not shown; no second pass.
    EXPECT_EQ(w.view.statusLog, progress(2));
    EXPECT_EQ(w.view.caption(Control::Label3), "2/5");
    EXPECT_FALSE(w.form.closed());

    // The window is usable again: the next run goes through.
    w.view.onYield = nullptr;
    w.form.onStartClick();
    EXPECT_EQ(w.view.caption(Control::Label3), kDone);
    EXPECT_NE(w.onDisk(), w.original);
}

TEST(RunTest, OtherButtonsDoNothingDuringARun) {
    Workspace w;
    w.form.onLabel2MouseDown(1);
    int nested = 0;
    w.view.onYield = [&](int n) {
        if (n != 1) return;
        w.view.dialogAnswer = "C:\\elsewhere\\KUBUN.KMT";
        w.form.onStartClick();
        w.form.onSetClick(0);
        w.form.onSetClick(1);
        w.form.onChangeClick();
        nested = w.view.yields - n;
        EXPECT_TRUE(w.view.dialogLog.empty());
        EXPECT_EQ(w.form.fileName(0), utf8(w.data) + "\\KUBUN.KMT");
        EXPECT_EQ(w.form.fileName(1), "");
        EXPECT_EQ(w.form.session().DATA_DIR, utf8(w.data));
    };
    w.form.onStartClick();
    EXPECT_EQ(nested, 0) << "a second run started inside the first";
    EXPECT_EQ(w.view.statusLog.size(), 11u);
    EXPECT_EQ(w.view.caption(Control::Label3), kDone);
    EXPECT_EQ(w.onDisk(), categoryFile({{"机", "A", "E1"},
                                        {"椅子", "A", "J2"},
                                        {"黒板", "B", "既存"},
                                        {"養護ベッド", "C", "E3"},
                                        {"棚", "D", ""}}));
}

TEST(RunTest, CloseDuringARunWaitsForItToUnwind) {
    Workspace w;
    w.view.onYield = [&](int n) {
        if (n != 3) return;
        w.form.onCloseRequest();
        EXPECT_FALSE(w.view.closed) << "closed inside the merge";
        w.form.onCloseRequest();  // a second request changes nothing
    };
    w.form.onStartClick();

    EXPECT_EQ(w.view.closeCount, 1);
    EXPECT_EQ(w.view.callsAfterClose, 0);
    EXPECT_EQ(w.onDisk(), w.original);
    EXPECT_EQ(w.view.statusLog, progress(3));
    EXPECT_TRUE(fs::equivalent(fs::current_path(), w.start));
}

TEST(CloseTest, RestoresTheStartDirectory) {
    struct Case {
        const char* name;
        bool startUnreachable;
    };
    const Case cases[] = {{"back to the start folder", false},
                          {"an unreachable start folder does not stop the close", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Workspace w;
        w.form.onStartClick();  // leaves the current directory in the data folder
        ASSERT_TRUE(fs::equivalent(fs::current_path(), w.data));
        if (c.startUnreachable) w.system.unreachable = w.form.session().START_DIR;

        w.form.onCloseRequest();
        EXPECT_EQ(w.view.closeCount, 1);
        EXPECT_TRUE(w.form.closed());
        EXPECT_TRUE(fs::equivalent(fs::current_path(), c.startUnreachable ? w.data : w.start));
        EXPECT_TRUE(w.view.messages.empty());

        w.form.onCloseRequest();
        w.form.onStartClick();
        EXPECT_EQ(w.view.closeCount, 1);
        EXPECT_EQ(w.view.callsAfterClose, 0);
    }
}

}  // namespace
}  // namespace kbnset::test
