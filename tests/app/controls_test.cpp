// The window's own controls: expanding the source row, the browse buttons and the swap.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/fake_view.hpp"
#include "app/fixtures.hpp"
#include "app/main_form.hpp"

namespace kbnset::test {
namespace {

using app::Control;

constexpr char kSettingsKey[] = "R-ZORVEL/SCHOOL/DIR_ME";
constexpr char kFilter[] = "備品区分ファイルファイル(KUBUN.KMT)|KUBUN.KMT|全ファイル(*.*)|*.*";

// A form loaded with DATA_DIR `dataDir` (a folder that need not exist) and activated.
struct Loaded {
    SettingsSystem system;
    FakeView view;
    app::MainForm form{view, system};
    explicit Loaded(const std::string& dataDir) {
        if (!dataDir.empty()) system.settings[kSettingsKey] = dataDir;
        form.onLoad();
        form.onActivate();
    }
};

TEST(ExpandTest, OnlyShiftAloneShowsTheSourceRow) {
    struct Case {
        int shift;
        bool expands;
    };
    const Case cases[] = {{0, false}, {1, true},  {2, false}, {3, false},
                          {4, false}, {5, false}, {6, false}, {7, false}};
    const Control sourceRow[] = {Control::Label1, Control::F_NAME1, Control::B_SET1};
    for (auto [shift, expands] : cases) {
        SCOPED_TRACE(shift);
        TempDir tmp;
        Loaded w("C:\\DATA");
        w.form.onLabel2MouseDown(shift);
        EXPECT_EQ(w.view.outerHeight, expands ? app::kExpandedHeight : app::kCompactHeight);
        for (Control c : sourceRow) EXPECT_EQ(w.view.visible[c], expands);
        EXPECT_TRUE(w.view.visible[Control::B_SET0]);
        EXPECT_TRUE(w.view.visible[Control::B_CHG]);
    }
}

TEST(ExpandTest, ThereIsNoWayBack) {
    TempDir tmp;
    Loaded w("C:\\DATA");
    w.form.onLabel2MouseDown(1);
    w.form.onLabel2MouseDown(0);
    w.form.onLabel2MouseDown(3);
    w.form.onLabel2MouseDown(1);
    EXPECT_EQ(w.view.outerHeight, app::kExpandedHeight);
    EXPECT_TRUE(w.view.visible[Control::F_NAME1]);
}

struct BrowseCase {
    const char* name;
    const char* dataDir;  // at start
    int index;            // B_SET(index)
    const char* answer;   // what the dialog returns, empty when cancelled
    const char* destination;
    const char* source;
    const char* derived;  // DATA_DIR afterwards
};

const BrowseCase kBrowseCases[] = {
    {"destination chosen", "C:\\DATA", 0, "D:\\学校\\KUBUN.KMT", "D:\\学校\\KUBUN.KMT", "",
     "D:\\学校"},
    {"destination cancelled", "C:\\DATA", 0, "", "C:\\DATA\\KUBUN.KMT", "", "C:\\DATA"},
    {"source chosen", "C:\\DATA", 1, "E:\\ref\\E_KUBUN.KMT", "C:\\DATA\\KUBUN.KMT",
     "E:\\ref\\E_KUBUN.KMT", "C:\\DATA"},
    {"source cancelled", "C:\\DATA", 1, "", "C:\\DATA\\KUBUN.KMT", "", "C:\\DATA"},
    {"no data directory, cancelled", "", 0, "", "\\KUBUN.KMT", "", ""},
    {"another name drops ten characters", "C:\\DATA", 0, "C:\\dir\\abcdefghij.txt",
     "C:\\dir\\abcdefghij.txt", "", "C:\\dir\\abcd"},
    {"ten characters are counted, not bytes", "C:\\DATA", 0, "C:\\データ\\備品区分ファイル.KMT",
     "C:\\データ\\備品区分ファイル.KMT", "", "C:\\データ\\備品"},
    {"shorter than ten characters", "C:\\DATA", 0, "C:\\a.txt", "C:\\a.txt", "", ""},
    {"exactly the suffix", "C:\\DATA", 0, "\\KUBUN.KMT", "\\KUBUN.KMT", "", ""},
};

TEST(BrowseTest, AppliesTheChoiceAndDerivesTheDataDirectory) {
    for (const auto& c : kBrowseCases) {
        SCOPED_TRACE(c.name);
        TempDir tmp;
        Loaded w(c.dataDir);
        const std::string before = w.view.caption(Control::F_NAME0);
        w.view.dialogAnswer = c.answer;
        w.form.onLabel2MouseDown(1);
        w.form.onSetClick(c.index);

        // Both buttons start at the destination path, with the same two-entry filter.
        const std::vector<std::string> expectedLog{"start:" + before,
                                                   std::string("filter:") + kFilter, "show"};
        EXPECT_EQ(w.view.dialogLog, expectedLog);
        EXPECT_EQ(w.view.caption(Control::F_NAME0), c.destination);
        EXPECT_EQ(w.view.caption(Control::F_NAME1), c.source);
        EXPECT_EQ(w.form.fileName(1), c.source);
        EXPECT_EQ(w.form.session().DATA_DIR, c.derived);
        EXPECT_TRUE(w.view.enabled[Control::B_START]);
    }
}

TEST(BrowseTest, AFailedStartingLocationIsIgnored) {
    TempDir tmp;
    Loaded w("C:\\DATA");
    w.view.failDialogStart = true;
    w.view.dialogAnswer = "D:\\X\\KUBUN.KMT";
    w.form.onSetClick(0);
    EXPECT_EQ(w.view.dialogLog.size(), 3u);
    EXPECT_EQ(w.form.session().DATA_DIR, "D:\\X");
    EXPECT_TRUE(w.view.messages.empty());
}

TEST(SwapTest, ExchangesThePathsAndDerivesFromTheNewDestination) {
    struct Case {
        const char* name;
        const char* source;  // chosen before the swap; empty: none
        const char* derivedAfterOne;
        const char* derivedAfterTwo;
    };
    const Case cases[] = {
        {"empty source keeps DATA_DIR", "", "C:\\DATA", "C:\\DATA"},
        {"source becomes destination", "E:\\ref\\KUBUN.KMT", "E:\\ref", "C:\\DATA"},
        {"short source empties DATA_DIR", "a.kmt", "", "C:\\DATA"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir tmp;
        Loaded w("C:\\DATA");
        w.form.onLabel2MouseDown(1);
        if (*c.source) {
            w.view.dialogAnswer = c.source;
            w.form.onSetClick(1);
        }
        w.view.enabled[Control::B_START] = false;  // the swap must not touch it
        const auto visibleBefore = w.view.visible;

        w.form.onChangeClick();
        EXPECT_EQ(w.view.caption(Control::F_NAME0), c.source);
        EXPECT_EQ(w.view.caption(Control::F_NAME1), "C:\\DATA\\KUBUN.KMT");
        EXPECT_EQ(w.form.session().DATA_DIR, c.derivedAfterOne);

        w.form.onChangeClick();
        EXPECT_EQ(w.view.caption(Control::F_NAME0), "C:\\DATA\\KUBUN.KMT");
        EXPECT_EQ(w.view.caption(Control::F_NAME1), c.source);
        EXPECT_EQ(w.form.session().DATA_DIR, c.derivedAfterTwo);
        EXPECT_FALSE(w.view.enabled[Control::B_START]);
        EXPECT_EQ(w.view.visible, visibleBefore);
    }
}

}  // namespace
}  // namespace kbnset::test
