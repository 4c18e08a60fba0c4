// The end-to-end tests of kbnset-cli cover the missing-file and source-file cases.
#include "update/run.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "category/load.hpp"
#include "support/faulty_system.hpp"
#include "support/kmt.hpp"
#include "support/recording_ui.hpp"
#include "support/temp_dir.hpp"

namespace kbnset::update {
namespace {

using test::kmt;
using test::Rec;

// START_DIR holds the reference files, DATA_DIR the category file.
class RunTest : public ::testing::Test {
  protected:
    RunTest() {
        std::filesystem::create_directory(root / "start");
        std::filesystem::create_directory(root / "data");
        session.START_DIR = (root / "start").string();
        session.DATA_DIR = (root / "data").string();
    }
    void reference(const char* name, const std::vector<Rec>& records) {
        test::writeBytes(root / "start" / name, kmt(records));
    }
    void category(const std::vector<Rec>& records) {
        test::writeBytes(root / "data" / "KUBUN.KMT", kmt(records));
    }
    std::string categoryBytes() { return test::readBytes(root / "data" / "KUBUN.KMT"); }
    RunReport go(const std::string& source = "") { return run(session, source, system, ui); }
    std::string classOf(std::size_t i) {
        category::Tables t;
        test::RecordingUi quiet;
        EXPECT_EQ(category::KBN_LOAD(t, session.DATA_DIR, {runtime::nativeSystem(), quiet}),
                  category::LoadResult::loaded);
        return t.KBN_TBL.at(i).KBN_CLASS;
    }

    test::TempDir root;
    Session session;
    test::RecordingUi ui;
    test::FaultySystem system{runtime::nativeSystem()};
};

TEST_F(RunTest, TwoPassesElementaryFirst) {
    reference("E_KUBUN.KMT", {{"", "机", "1", "A", "E1"}});
    reference("J_KUBUN.KMT", {{"", "机", "1", "A", "J1"}, {"", "椅子", "1", "A", "J2"}});
    category({{"", "机", "1", "A", ""}, {"", "椅子", "1", "A", ""}, {"", "棚", "1", "A", ""}});
    RunReport report = go();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(report.completed);
    EXPECT_EQ(ui.passes, (std::vector<std::string>{"E_KUBUN.KMT", "J_KUBUN.KMT"}));
    EXPECT_EQ(ui.progressed, (std::vector<std::string>{"1/3", "2/3", "3/3", "1/3", "2/3", "3/3"}));
    EXPECT_EQ(ui.finished, std::vector<bool>{true});
    ASSERT_EQ(report.passes.size(), 2u);
    EXPECT_EQ(report.passes[0].filled, 1);
    EXPECT_EQ(report.passes[1].filled, 1);
    EXPECT_EQ(report.stillEmpty, 1);
    EXPECT_EQ(classOf(0), "E1");
    EXPECT_EQ(classOf(1), "J2");
    EXPECT_FALSE(session.running);

    // A repeated run fills nothing new but still saves and completes.
    std::string once = categoryBytes();
    ui.progressed.clear();
    report = go();
    EXPECT_TRUE(report.completed);
    EXPECT_EQ(report.passes[0].filled + report.passes[1].filled, 0);
    EXPECT_EQ(categoryBytes(), once);
}

TEST_F(RunTest, FirstPassCategoryFailureThenSecondPassFromTheOldFile) {
    reference("E_KUBUN.KMT", {{"", "机", "1", "A", "E"}});
    reference("J_KUBUN.KMT", {{"", "机", "1", "A", "J"}});
    category({{"", "机", "1", "A", ""}});
    system.failAt(test::FaultySystem::Op::OpenRead, 2);  // the first pass's KUBUN.KMT
    RunReport report = go();
    EXPECT_EQ(ui.messages, std::vector<std::string>{"備品区分ファイルの読込に失敗しました(0)"});
    EXPECT_TRUE(report.completed);
    EXPECT_EQ(classOf(0), "J");
}

TEST_F(RunTest, FailedFinalSaveIsFollowedByTheCompletionText) {
    reference("J_KUBUN.KMT", {{"", "机", "1", "A", "J"}});
    category({{"", "机", "1", "A", ""}});
    std::string before = categoryBytes();
    system.failAt(test::FaultySystem::Op::Replace, 1);
    RunReport report = go();
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"基準ファイルが有りません",
                                                     "備品区分ファイルの保存に失敗しました"}));
    EXPECT_TRUE(report.completed);
    EXPECT_EQ(ui.finished, std::vector<bool>{true});
    EXPECT_EQ(categoryBytes(), before);
}

TEST_F(RunTest, StopEndsTheWholeRunWithoutSaving) {
    reference("E_KUBUN.KMT", {{"", "机", "1", "A", "E"}});
    reference("J_KUBUN.KMT", {{"", "机", "1", "A", "J"}});
    category(std::vector<Rec>(50, Rec{"", "机", "1", "A", ""}));
    std::string before = categoryBytes();
    ui.onYield = [this](int n) {
        if (n == 10) session.STOP_FLG = StopFlag::requested;
    };
    RunReport report = go();
    EXPECT_TRUE(report.stopped);
    EXPECT_FALSE(report.completed);
    EXPECT_EQ(report.passes.size(), 1u);
    EXPECT_EQ(ui.progressed.back(), "10/50");
    EXPECT_EQ(ui.finished, std::vector<bool>{false});
    EXPECT_EQ(categoryBytes(), before);
    EXPECT_FALSE(session.running);

    // The next run starts with the request cleared.
    ui.onYield = nullptr;
    EXPECT_TRUE(go().completed);

    // A stop that came while the first pass failed to load still ends the run there.
    std::filesystem::remove(root / "start" / "E_KUBUN.KMT");
    before = categoryBytes();
    ui.onYield = [this](int) { session.STOP_FLG = StopFlag::requested; };
    report = go();
    EXPECT_TRUE(report.stopped);
    EXPECT_EQ(report.passes.size(), 1u);
    EXPECT_EQ(categoryBytes(), before);

    // While another run holds the data folder the run waits, and a stop still ends it.
    reference("E_KUBUN.KMT", {{"", "机", "1", "A", "E"}});
    auto other = runtime::nativeSystem().lockFolder(session.DATA_DIR, "KUBUN.KMT",
                                                    std::chrono::milliseconds(0));
    ASSERT_NE(other, nullptr);
    ui.onYield = [this](int n) {
        if (n == 3) session.STOP_FLG = StopFlag::requested;
    };
    ui.yields = 0;
    report = go();
    EXPECT_TRUE(report.stopped);
    EXPECT_EQ(report.passes.size(), 1u);
    EXPECT_FALSE(report.passes[0].merged);
    EXPECT_EQ(ui.waits, 3);
    EXPECT_EQ(categoryBytes(), before);
}

}  // namespace
}  // namespace kbnset::update
