// The window's logic over a recording view: start-up (the settings store, ZORVEL.SEW, the first
// activation), the source row, browse and swap with the data-directory rule, and runs with
// what the user may do meanwhile.
#include "app/main_form.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/last_run.hpp"
#include "app/layout.hpp"
#include "support/faulty_system.hpp"
#include "support/kmt.hpp"
#include "support/recording_ui.hpp"
#include "support/temp_dir.hpp"
#include "support/text.hpp"
#include "update/report_csv.hpp"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kbnset::test {
namespace {

namespace fs = std::filesystem;
using app::Control;

// Plays the window: keeps what the logic set and logs the status line.
class FakeView : public Recording<app::View> {
  public:
    FakeView() { enabled[Control::B_START] = true; }
    void setCaption(Control c, std::string_view text) override { captions[c] = text; }
    void setVisible(Control c, bool v) override { visible[c] = v; }
    void setEnabled(Control c, bool e) override { enabled[c] = e; }
    void setOuterHeight(int twips) override { outerHeight = twips; }
    void setDialogStart(std::string_view) override {}
    void setDialogFilter(std::string_view) override {}
    void showOpenDialog() override {}
    std::string dialogFileName() override { return dialogAnswer; }
    void close() override { ++closeCount; }
    void setStatus(std::string_view text) override { statusLog.emplace_back(text); }
    bool confirm(std::string_view text) override {
        questions.emplace_back(text);
        return answer;
    }
    void setUndoEnabled(bool e) override { undoEnabled = e; }
    void setLastRunEnabled(bool e) override { lastRunEnabled = e; }
    bool openWithAssociatedProgram(std::string_view path) override {
        opened.emplace_back(path);
        return opens;
    }

    std::vector<std::string> questions, opened;
    bool answer = false, undoEnabled = false, lastRunEnabled = false, opens = true;
    std::map<Control, std::string> captions;
    std::map<Control, bool> visible, enabled;
    int outerHeight = 0, closeCount = 0;
    std::vector<std::string> statusLog;
    std::string dialogAnswer;  // the dialog's answer; empty: cancelled
};

// The window over the real files in a fresh folder: a start folder, made current, a data
// folder beside it, and the settings store answered from `settings`.
struct Window {
    TempDir tmp;
    fs::path start = tmp / "start", data = tmp / "data", state = tmp / "state";
    fs::path csv = state / pathOf(app::kLastReportFile), ini = state / pathOf(app::kLastCountsFile);
    // The user's own folder in the test's folder too.
    struct : FaultySystem {
        using FaultySystem::FaultySystem;
        std::string userStateDirectory() override { return state; }
        std::string state;
    } system{runtime::nativeSystem()};
    FakeView view;
    app::MainForm form{view, system};

    Window() {
        fs::create_directories(start);
        fs::create_directories(data);
        fs::current_path(start);
        system.state = utf8Of(state);
        fs::create_directories(state);
    }
    // Loaded with this DATA_DIR in the settings store and shown.
    void open(const std::string& dataDir) {
        system.settings["R-ZORVEL/SCHOOL/DIR_ME"] = dataDir;
        form.onLoad();
        form.onActivate();
    }
};

TEST(MainForm, StartUpFindsTheDataDirectory) {
    struct Case {
        const char* name;
        // DIR_ME under R-ZORVEL and ZORVEL, nullptr when not stored; "$DATA", "$OTHER" and
        // "$MISSING" stand for folders of the test (the last two are not there).
        const char* rzorvel;
        const char* zorvel;
        std::string sew;      // ZORVEL.SEW in $DATA; empty: none
        bool hidden;          // ZORVEL.SEW hidden (Windows only)
        const char* dataDir;  // DATA_DIR after the load
    };
    const std::string eight = sew("6,7,\"$OTHER\"");
    // clang-format off
    const Case cases[] = {
        {"no settings at all", nullptr, nullptr, "", false, ""},
        {"R-ZORVEL wins over ZORVEL", "$DATA", "$MISSING", "", false, "$DATA"},
        {"empty R-ZORVEL counts as none", "", "$DATA", "", false, "$DATA"},
        {"eight items: the eighth is DATA_DIR", "$DATA", nullptr, eight, false, "$OTHER"},
        {"item 6 is an Integer", "$DATA", nullptr, sew("40000,7,\"$OTHER\""), false, "$DATA"},
        {"item 7 is an Integer", "$DATA", nullptr, sew("6,40000,\"$OTHER\""), false, "$DATA"},
        {"a hidden ZORVEL.SEW counts as none", "$DATA", nullptr, eight, true, "$DATA"},
        // Relative folders are taken from where they were found, once.
        {"relative store value", "../data", nullptr, "", false, "$DATA"},
        {"relative eighth item", "$DATA", nullptr, sew("6,7,\"../other\""), false, "$OTHER"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
#ifndef _WIN32
        if (c.hidden) continue;
#endif
        Window w;
        auto expand = [&](const std::string& text) {
            return expandTokens(
                text,
                {{"$DATA", w.data}, {"$OTHER", w.tmp / "other"}, {"$MISSING", w.tmp / "missing"}});
        };
        if (c.rzorvel) w.system.settings["R-ZORVEL/SCHOOL/DIR_ME"] = expand(c.rzorvel);
        if (c.zorvel) w.system.settings["ZORVEL/SCHOOL/DIR_ME"] = expand(c.zorvel);
        if (!c.sew.empty()) writeBytes(w.data / "ZORVEL.SEW", cp932(expand(c.sew)));
#ifdef _WIN32
        if (c.hidden) {
            ASSERT_TRUE(SetFileAttributesW((w.data / "ZORVEL.SEW").c_str(), FILE_ATTRIBUTE_HIDDEN));
        }
#endif
        w.form.onLoad();
        const std::string dataDir = expand(c.dataDir);
        EXPECT_EQ(w.form.session().DATA_DIR, dataDir);
        EXPECT_EQ(w.view.captions[Control::F_NAME0], dataDir + "\\KUBUN.KMT");
        EXPECT_TRUE(w.view.messages.empty());
        w.form.onActivate();
        EXPECT_EQ(w.view.enabled[Control::B_START], !dataDir.empty());
    }
}

TEST(MainForm, OnlyShiftAloneExpands) {
    for (auto [shift, expands] : {std::pair{0, false}, {1, true}, {3, false}, {5, false}}) {
        SCOPED_TRACE(shift);
        Window w;
        w.open("C:\\DATA");
        w.form.onLabel2MouseDown(shift);
        EXPECT_EQ(w.view.outerHeight, expands ? app::kExpandedHeight : app::kCompactHeight);
        EXPECT_EQ(w.view.visible[Control::F_NAME1], expands);
    }
}

// Browse (B_SET) and swap (B_CHG), then the folder of the destination is DATA_DIR.
TEST(MainForm, BrowseAndSwapDeriveTheDataDirectory) {
    struct Case {
        const char* name;
        int index;           // B_SET(index); 2: a swap after choosing `answer` as the source
        const char* answer;  // the dialog's answer; empty: cancelled
        const char *destination, *source, *derived;
    };
    // clang-format off
    const Case cases[] = {
        {"destination chosen", 0, "D:\\学校\\KUBUN.KMT", "D:\\学校\\KUBUN.KMT", "", "D:\\学校"},
        {"destination cancelled", 0, "", "C:\\DATA\\KUBUN.KMT", "", "C:\\DATA"},
        {"source chosen", 1, "E:\\ref\\E_KUBUN.KMT", "C:\\DATA\\KUBUN.KMT", "E:\\ref\\E_KUBUN.KMT", "C:\\DATA"},
        {"a short name at a drive root", 0, "E:\\a.txt", "E:\\a.txt", "", "E:\\"},
        {"KUBUN.KMT at a drive root", 0, "e:\\KUBUN.KMT", "e:\\KUBUN.KMT", "", "e:\\"},
        {"swap", 2, "E:\\ref\\KUBUN.KMT", "E:\\ref\\KUBUN.KMT", "C:\\DATA\\KUBUN.KMT", "E:\\ref"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Window w;
        w.open("C:\\DATA");
        w.form.onLabel2MouseDown(app::kShiftMask);
        w.view.dialogAnswer = c.answer;
        w.form.onSetClick(c.index == 0 ? 0 : 1);
        if (c.index == 2) w.form.onChangeClick();
        EXPECT_EQ(w.view.captions[Control::F_NAME0], c.destination);
        EXPECT_EQ(w.view.captions[Control::F_NAME1], c.source);
        EXPECT_EQ(w.form.session().DATA_DIR, c.derived);
    }
}

// KUBUN.KMT of five ordinary records with these classifications.
std::string category(const std::vector<std::string>& classes) {
    const char* names[] = {"机", "椅子", "黒板", "養護ベッド", "棚"};
    const char* keys[] = {"A", "A", "B", "C", "D"};
    std::vector<Rec> records;
    for (std::size_t i = 0; i < classes.size(); ++i)
        records.push_back({.name = names[i], .key2 = keys[i], .cls = classes[i]});
    return kmt(records);
}

const std::string kBefore = category({"", "", "既存", "", ""});
constexpr const char* kDone = update::kCompletionText;

// Label3's texts: the record numbers of each pass, then `last` if any.
std::vector<std::string> progress(int records, int passes = 1, std::string last = "") {
    std::vector<std::string> texts;
    for (int p = 0; p < passes; ++p)
        for (int i = 1; i <= records; ++i) texts.push_back(std::to_string(i) + "/5");
    if (!last.empty()) texts.push_back(last);
    return texts;
}

// The reference files in the start folder, KUBUN.KMT in the data folder, the window open.
struct Workspace : Window {
    Workspace() {
        writeBytes(start / "E_KUBUN.KMT", kmt({{.name = "机", .key2 = "A", .cls = "E1"},
                                               {.name = "ベッド", .key2 = "C", .cls = "E3"}}));
        writeBytes(start / "J_KUBUN.KMT", kmt({{.name = "机", .key2 = "A", .cls = "J1"},
                                               {.name = "椅子", .key2 = "A", .cls = "J2"}}));
        writeBytes(data / "KUBUN.KMT", kBefore);
        open(utf8Of(data));
        view.statusLog.clear();  // the load's empty status line
    }
    std::string onDisk() const { return readBytes(data / "KUBUN.KMT"); }
};

// The start button runs with the source path shown. A stop or a close in the middle of a
// merge ends the whole run after the record in hand: nothing saved, no second pass, no
// completion text, Label3 keeps the last progress text; a close then closes the window. The
// other buttons do nothing during a run: a second run, or a new DATA_DIR between a load and
// its save, would write one directory's table into another.
TEST(MainForm, Runs) {
    const std::vector<std::string> both = {"E1", "J2", "既存", "E3", ""};
    auto stop = [](Workspace& w) { w.form.onStopClick(); };
    auto close = [](Workspace& w) { w.form.onCloseRequest(); };
    auto others = [](Workspace& w) {
        const int yields = w.view.yields;
        w.view.dialogAnswer = "C:\\elsewhere\\KUBUN.KMT";
        w.form.onStartClick();
        w.form.onSetClick(0);
        w.form.onSetClick(1);
        w.form.onChangeClick();
        EXPECT_EQ(w.view.yields, yields) << "a second run started inside the first";
        EXPECT_EQ(w.form.session().DATA_DIR, utf8Of(w.data));
    };
    struct Case {
        const char* name;
        const char* source;  // picked in the source row; empty: none
        int at;              // the yield that acts
        std::function<void(Workspace&)> act;
        std::vector<std::string> classes;  // saved; empty: KUBUN.KMT untouched
        std::vector<std::string> status;   // Label3's texts, the last one kept
        bool closes = false;
    };
    // clang-format off
    const Case cases[] = {
        {"both reference files, elementary first", "", 0, nullptr, both, progress(5, 2, kDone)},
        {"the source file alone", "J_KUBUN.KMT", 0, nullptr, {"J1", "J2", "既存", "", ""}, progress(5, 1, kDone)},
        {"stop", "", 2, stop, {}, progress(2)},
        {"close", "", 3, close, {}, progress(3), true},
        {"other buttons", "", 1, others, both, progress(5, 2, kDone)},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Workspace w;
        if (*c.source) {
            w.view.dialogAnswer = utf8Of(w.start / c.source);
            w.form.onSetClick(1);
        }
        w.view.onYield = [&](int n) {
            if (n == c.at) c.act(w);
        };
        w.form.onStartClick();
        EXPECT_EQ(w.onDisk(), c.classes.empty() ? kBefore : category(c.classes));
        EXPECT_EQ(w.view.statusLog, c.status);
        EXPECT_TRUE(w.view.messages.empty());
        EXPECT_EQ(w.view.closeCount, c.closes ? 1 : 0);
    }
}

// 「元に戻す(&U)」 is enabled only when the last run can be undone and no run is in progress; it
// asks first, naming the file and the run, and No changes nothing.
TEST(MainForm, UndoFromTheSystemMenu) {
    const std::string both = category({"E1", "J2", "既存", "E3", ""});
    Workspace w;
    const std::string kubun = utf8Of(w.data / "KUBUN.KMT");
    w.form.onSystemMenuOpening();
    EXPECT_FALSE(w.view.undoEnabled) << "before any run";
    w.form.onStartClick();
    w.form.onSystemMenuOpening();
    EXPECT_TRUE(w.view.undoEnabled) << "after a run";

    w.form.onUndoChosen();
    ASSERT_EQ(w.view.questions.size(), 1u);
    const std::string& question = w.view.questions[0];
    EXPECT_TRUE(question.starts_with("備品区分ファイル\n" + kubun + "\nを 2")) << question;
    EXPECT_TRUE(question.ends_with(" の実行の前に戻します。\nよろしいですか？")) << question;
    EXPECT_EQ(w.onDisk(), both);
    w.view.answer = true;
    w.form.onUndoChosen();
    EXPECT_EQ(w.onDisk(), kBefore);
    ASSERT_EQ(w.view.messages.size(), 1u);
    EXPECT_TRUE(w.view.messages[0].ends_with(" の実行の前に戻しました")) << w.view.messages[0];

    // During a run neither the menu item nor a WM_SYSCOMMAND that was already queued acts.
    w.form.onUndoChosen();  // redo: the run's result is back, the way back stays
    EXPECT_EQ(w.onDisk(), both);
    w.view.onYield = [&, first = w.view.yields + 1](int n) {
        if (n != first) return;
        w.form.onSystemMenuOpening();
        w.form.onUndoChosen();
    };
    w.view.undoEnabled = w.view.lastRunEnabled = true;
    w.form.onStartClick();
    EXPECT_FALSE(w.view.undoEnabled || w.view.lastRunEnabled);
    EXPECT_EQ(w.view.questions.size(), 3u);
    EXPECT_EQ(w.onDisk(), both);
}

// 「前回の結果(&L)」: the counts per pass, codes and records still empty, after a restart too; Yes
// opens the report, No does not. A record gone, broken or not kept is said, not as a failure.
TEST(MainForm, LastRunFromTheSystemMenu) {
    const std::string summary =
        "前回の実行の結果です\n\nデータフォルダ: $DATA\n日時: $TIME\n\n"
        "E_KUBUN.KMT から書き写した分類: 2 件\nJ_KUBUN.KMT から書き写した分類: 1 件\n"
        "直した区分コード: 1 件\n分類が空のままの区分: 1 件\n\n";
    const std::string report = summary + "報告ファイル\n$CSV\n";
    auto with = [](std::string text, std::vector<std::pair<std::string, std::string>> edits) {
        for (const auto& [from, to] : edits) text.replace(text.find(from), from.size(), to);
        return text;
    };
    const std::string nothing =
        with(report, {{"分類: 2", "分類: 0"}, {"分類: 1", "分類: 0"}, {"コード: 1", "コード: 0"}});
    const std::string halfway =
        with(report,
             {{" から書き写した分類: 1 件", ": その回は保存していません"}, {"区分: 1", "区分: 2"}});
    struct Case {
        const char* name;
        std::function<void(Workspace&)> before, after;  // the run; the menu
        bool restart, enabled;
        std::string shown;  // the question or the message
        bool answer, opened;
    };
    auto none = [](Workspace&) {};
    // clang-format off
    const Case cases[] = {
        {"after a restart, the second save failed", [](Workspace& w) { w.system.failAt(FaultySystem::Op::Replace, 2, "KUBUN.KMT"); }, none, true, true, halfway + "を開きますか？", true, true},
        {"a second run, nothing to fill; No", none, [](Workspace& w) { w.form.onStartClick(); }, false, true, nothing + "を開きますか？", false, false},
        {"a run that saved nothing", [](Workspace& w) { fs::remove(w.data / "KUBUN.KMT"); }, none, false, false, "前回の結果は有りません", true, false},
        {"counts broken", none, [](Workspace& w) { writeBytes(w.ini, "time=1\n"); }, true, true, "前回の結果を読み込めませんでした\n$INI", true, false},
        {"report gone", none, [](Workspace& w) { fs::remove(w.csv); }, false, true, report + "が有りません", true, false},
        {"not kept", [](Workspace& w) { w.system.failAt(FaultySystem::Op::Replace, 1, "前回の結果.ini"); }, none, false, true, summary + "報告ファイルを残せませんでした", true, false},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Workspace w;
        writeBytes(w.data / "KUBUN.KMT", kmt({{.name = "机", .key2 = "A"},
                                              {.name = "椅子", .key2 = "A"},
                                              {.name = "黒板", .key2 = "B", .cls = "既存"},
                                              {.name = "養護ベッド", .key2 = "C"},
                                              {.name = "棚", .code = "１", .key2 = "D"}}));
        c.before(w);
        w.form.onStartClick();
        for (const std::string& m : w.view.messages)
            EXPECT_EQ(m.find("報告ファイル"), std::string::npos) << "the run failed for its record";
        w.view.messages.clear();
        c.after(w);
        std::optional<app::MainForm> again;
        if (c.restart) again.emplace(w.view, w.system).onLoad();
        app::MainForm& form = again ? *again : w.form;
        w.view.answer = c.answer;
        form.onSystemMenuOpening();
        EXPECT_EQ(w.view.lastRunEnabled, c.enabled);
        form.onLastRunChosen();
        std::vector<std::string> shown = w.view.questions;
        shown.insert(shown.end(), w.view.messages.begin(), w.view.messages.end());
        ASSERT_EQ(shown.size(), 1u);
        if (auto at = shown[0].find("日時: "); at != std::string::npos)
            shown[0].replace(at + 8, 19, "$TIME");
        EXPECT_EQ(shown[0],
                  expandTokens(c.shown, {{"$DATA", w.data}, {"$CSV", w.csv}, {"$INI", w.ini}}));
        EXPECT_EQ(w.view.opened, std::vector<std::string>(c.opened, utf8Of(w.csv)));
        if (!c.opened) continue;
        const std::string bytes = readBytes(w.csv);
        EXPECT_TRUE(bytes.starts_with(update::kByteOrderMark + update::reportHeader())) << bytes;
        EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 6) << bytes;  // header, 5 rows
    }
}

}  // namespace
}  // namespace kbnset::test
