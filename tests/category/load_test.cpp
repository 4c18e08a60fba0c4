#include "category/load.hpp"

#include <gtest/gtest.h>

#include "support/faulty_system.hpp"
#include "support/kmt.hpp"
#include "support/recording_ui.hpp"
#include "support/temp_dir.hpp"

namespace kbnset::category {
namespace {

using test::kmt;
using test::Rec;

class LoadTest : public ::testing::Test {
  protected:
    Context ctx() { return {runtime::nativeSystem(), ui}; }
    void put(const char* name, const std::string& bytes) { test::writeBytes(dir / name, bytes); }
    LoadResult loadCategory() { return KBN_LOAD(tables, dir.str(), ctx()); }
    LoadResult loadReference(Selector selector, const std::string& source = "") {
        return REF_LOAD(tables, selector, dir.str(), source, ctx());
    }

    test::TempDir dir;
    test::RecordingUi ui;
    Tables tables;
};

TEST_F(LoadTest, LoadsRecordsWithKindAndNormalisedCode) {
    put("KUBUN.KMT", test::cp932("3,120,7,\"x\",\"y\",\"z\"\r\n") +
                         test::cp932(test::recordLine({"管理", "机", "k12", "A", ""}) +
                                     test::recordLine({"管理者", "椅子", "ｐ３", "B", "C1"}) +
                                     test::recordLine({"", "黒板", "ａ-3000", "", ""}, 2)));
    ASSERT_EQ(loadCategory(), LoadResult::loaded);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(tables.KBN_CNT, 3);
    EXPECT_EQ(tables.HEAD_1, 3);
    EXPECT_EQ(tables.HEAD_2, 120);
    const auto& t = tables.KBN_TBL;
    EXPECT_EQ(t[0].REC_KIND, RecordKind::management);
    EXPECT_EQ(t[1].REC_KIND, RecordKind::ordinary);  // longer text that begins with 管理
    EXPECT_EQ(t[2].REC_KIND, RecordKind::ordinary);
    EXPECT_EQ(t[0].KBN_CODE, "K12");
    EXPECT_EQ(t[0].CODE_NUM, 1012);
    EXPECT_EQ(t[1].KBN_CODE, "P3");
    EXPECT_EQ(t[1].CODE_NUM, 2003);
    EXPECT_EQ(t[2].KBN_CODE, "A-3000");
    EXPECT_EQ(t[2].CODE_NUM, 0);
    EXPECT_EQ(t[1].KBN_CLASS, "C1");
    EXPECT_EQ(t[1].VAL_7, "v7");
    EXPECT_EQ(t[2].VAL_9, 2);
    EXPECT_FALSE(ui.busy);
    EXPECT_EQ(ui.busyChanges, 2);
}

TEST_F(LoadTest, RecordSpreadOverLinesReadsLikeOneLine) {
    put("KUBUN.KMT", test::cp932("1,2,0,\"\",\"\",\"\"\r\n\"一般\",0,\"机\",\"1\",\"A\"\r\n"
                                 "0,\"\",0,0,\"C\",\"\",0,0\r\n"));
    ASSERT_EQ(loadCategory(), LoadResult::loaded);
    EXPECT_EQ(tables.KBN_CNT, 1);
    EXPECT_EQ(tables.KBN_TBL[0].KBN_CLASS, "C");
}

// Each case: file content, expected result, expected message.
struct FailureCase {
    std::string bytes;
    LoadResult result;
    std::string message;
};

TEST_F(LoadTest, FailuresReportTheRecordNumberAndKeepTheCount) {
    std::string header = "1,2,0,\"\",\"\",\"\"\r\n";
    std::string good = test::recordLine({"", "机", "1", "", ""});
    std::string twelveValues = "\"一般\",0,\"机\",\"1\",\"A\",0,\"\",0,0,\"C\",\"\",0\r\n";
    const std::string failed = "備品区分ファイルの読込に失敗しました";
    const FailureCase cases[] = {
        {"", LoadResult::readFailed, failed + "(0)"},
        {"1,2,0,\"\",\"\"\r\n", LoadResult::readFailed, failed + "(0)"},
        {"32768,2,0,\"\",\"\",\"\"\r\n", LoadResult::readFailed, failed + "(0)"},
        {"\"a\",2,0,\"\",\"\",\"\"\r\n", LoadResult::readFailed,
         failed + "(0)"},  // HEAD_1 must be a number
        {header + twelveValues, LoadResult::readFailed, failed + "(0)"},
        {header + good + good + twelveValues, LoadResult::readFailed, failed + "(2)"},
        {header + good + test::recordLine({"", "机", "K-1001", "", ""}), LoadResult::readFailed,
         failed + "(1)"},
        {header + good + test::recordLine({"", "机", "12A", "", ""}), LoadResult::readFailed,
         failed + "(1)"},
        {header + "\"一般\",32768,\"机\",\"1\",\"A\",0,\"\",0,0,\"C\",\"\",0,0\r\n",
         LoadResult::readFailed, failed + "(0)"},
        {header + "\"一\"般\",0,\"机\",\"1\",\"A\",0,\"\",0,0,\"C\",\"\",0,0\r\n",
         LoadResult::readFailed, failed + "(0)"},
    };
    for (const FailureCase& c : cases) {
        tables.KBN_CNT = 77;
        ui.messages.clear();
        put("KUBUN.KMT", test::cp932(c.bytes));
        EXPECT_EQ(loadCategory(), c.result) << c.bytes;
        ASSERT_EQ(ui.messages.size(), 1u) << c.bytes;
        EXPECT_EQ(ui.messages[0], c.message) << c.bytes;
        EXPECT_FALSE(ui.busyAtMessage[0]);
        EXPECT_EQ(tables.KBN_CNT, 77) << c.bytes;
    }
}

TEST_F(LoadTest, InvalidCp932BytesFailTheRecord) {
    put("KUBUN.KMT", test::cp932("1,2,0,\"\",\"\",\"\"\r\n") +
                         "\"\x81\",0,\"a\",\"1\",\"\",0,\"\",0,0,\"\",\"\",0,0\r\n");
    EXPECT_EQ(loadCategory(), LoadResult::readFailed);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"備品区分ファイルの読込に失敗しました(0)"});
}

TEST_F(LoadTest, HeaderOnlyLoadsNoRecordsAndHeaderValuesComeFromAnyLine) {
    put("KUBUN.KMT", "5\r\n6,0,\"\"\r\n\"\",\"\"\r\n");
    EXPECT_EQ(loadCategory(), LoadResult::loaded);
    EXPECT_EQ(tables.KBN_CNT, 0);
    EXPECT_EQ(tables.HEAD_1, 5);
    EXPECT_EQ(tables.HEAD_2, 6);
}

TEST_F(LoadTest, CapacityIsExactly5011Records) {
    std::vector<Rec> records(kTableCapacity, Rec{"", "机", "1", "", ""});
    put("KUBUN.KMT", kmt(records));
    EXPECT_EQ(loadCategory(), LoadResult::loaded);
    EXPECT_EQ(tables.KBN_CNT, kTableCapacity);

    records.push_back(records.back());
    put("KUBUN.KMT", kmt(records));
    EXPECT_EQ(loadCategory(), LoadResult::readFailed);
    EXPECT_EQ(ui.messages.back(), "備品区分ファイルの読込に失敗しました(5011)");
    EXPECT_EQ(tables.KBN_CNT, kTableCapacity);
}

TEST_F(LoadTest, MissingCategoryFileOrDirectory) {
    tables.KBN_CNT = 9;
    EXPECT_EQ(loadCategory(), LoadResult::missing);
    EXPECT_EQ(tables.KBN_CNT, 0);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"備品区分ファイルが有りません"});
    EXPECT_EQ(ui.busyChanges, 0);

    std::filesystem::create_directory(dir / "KUBUN.KMT");  // a directory is not the file
    EXPECT_EQ(loadCategory(), LoadResult::missing);

    tables.KBN_CNT = 9;
    ui.messages.clear();
    EXPECT_EQ(KBN_LOAD(tables, (dir / "gone").string(), ctx()), LoadResult::readFailed);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"備品区分ファイルの読込に失敗しました(0)"});
    EXPECT_EQ(tables.KBN_CNT, 9);
    EXPECT_EQ(KBN_LOAD(tables, "", ctx()), LoadResult::readFailed);
}

TEST_F(LoadTest, ReferenceFilesBySelectorWithKubunStandingIn) {
    put("E_KUBUN.KMT", kmt({{"", "E", "1", "", "e"}}));
    put("J_KUBUN.KMT", kmt({{"", "J", "1", "", "j"}, {"", "J2", "1", "", "j"}}));
    put("picked.kmt",
        kmt({{"", "P", "1", "", "p"}, {"", "P", "1", "", "p"}, {"", "P", "1", "", "p"}}));
    // A reference file's first two header values may be text.
    put("KUBUN.KMT", test::cp932("\"a\",\"b\",0,\"\",\"\",\"\"\r\n") +
                         test::cp932(test::recordLine({"", "K", "1", "", ""})));
    struct Case {
        Selector selector;
        std::string source;
        std::int32_t count;
        std::string firstName;
    };
    const Case cases[] = {
        {Selector::elementary, "", 1, "E"},
        {Selector::juniorHigh, "", 2, "J"},
        {Selector::source, (dir / "picked.kmt").string(), 3, "P"},
        {Selector::source, "picked.kmt", 3, "P"},                    // relative to START_DIR
        {Selector::source, (dir / "nothere.kmt").string(), 1, "K"},  // stands in for a missing pick
    };
    for (const Case& c : cases) {
        ASSERT_EQ(loadReference(c.selector, c.source), LoadResult::loaded) << c.source;
        EXPECT_EQ(tables.REF_CNT, c.count);
        EXPECT_EQ(tables.REF_TBL[0].KBN_NAME, c.firstName);
    }
    std::filesystem::remove(dir / "E_KUBUN.KMT");
    ASSERT_EQ(loadReference(Selector::elementary), LoadResult::loaded);
    EXPECT_EQ(tables.REF_TBL[0].KBN_NAME, "K");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(LoadTest, ReferenceMissingEverywhere) {
    tables.REF_CNT = 4;
    EXPECT_EQ(loadReference(Selector::elementary), LoadResult::missing);
    EXPECT_EQ(tables.REF_CNT, 0);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"基準ファイルが有りません"});

    put("J_KUBUN.KMT", "");
    EXPECT_EQ(loadReference(Selector::juniorHigh), LoadResult::readFailed);
    EXPECT_EQ(ui.messages.back(), "基準ファイルの読込に失敗しました(0)");
    EXPECT_EQ(tables.REF_CNT, 0);
}

TEST_F(LoadTest, ReadErrorAtAnyByteIsAReadFailureWithTheRightNumber) {
    std::string text = test::kmtText({{"", "机", "1", "", ""}, {"", "椅子", "2", "", ""}});
    std::string bytes = test::cp932(text);
    put("KUBUN.KMT", bytes);
    std::size_t headerEnd = bytes.find("\r\n") + 2;
    std::size_t firstEnd = bytes.find("\r\n", headerEnd) + 2;
    test::FaultySystem faulty(runtime::nativeSystem());
    // Read call n fetches byte n - 1; one more call finds the end of the file.
    for (std::size_t n = 1; n <= bytes.size() + 1; ++n) {
        faulty.failAt(test::FaultySystem::Op::Read, static_cast<int>(n));
        tables.KBN_CNT = 42;
        ui.messages.clear();
        EXPECT_EQ(KBN_LOAD(tables, dir.str(), {faulty, ui}), LoadResult::readFailed) << n;
        std::size_t at = n - 1;
        int expected = at < headerEnd ? 0 : at < firstEnd ? (at == headerEnd ? -1 : 0) : 1;
        // The end test before a record reads ahead; a failure there shows the number before it.
        if (at == firstEnd) expected = 0;
        if (at == bytes.size()) expected = 1;
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0],
                  "備品区分ファイルの読込に失敗しました(" + std::to_string(expected) + ")")
            << n;
        EXPECT_EQ(tables.KBN_CNT, 42);
        EXPECT_FALSE(ui.busy);
    }
    faulty.failAt(test::FaultySystem::Op::OpenRead, 1);
    EXPECT_EQ(KBN_LOAD(tables, dir.str(), {faulty, ui}), LoadResult::readFailed);
    EXPECT_EQ(ui.messages.back(), "備品区分ファイルの読込に失敗しました(0)");
}

}  // namespace
}  // namespace kbnset::category
