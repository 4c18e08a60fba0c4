#include "category/save.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/faulty_system.hpp"
#include "support/kmt.hpp"
#include "support/recording_ui.hpp"
#include "support/temp_dir.hpp"

namespace kbnset::category {
namespace {

constexpr char kSaveFailed[] = "備品区分ファイルの保存に失敗しました";

class SaveTest : public ::testing::Test {
  protected:
    Context ctx() { return {runtime::nativeSystem(), ui}; }
    std::string file() { return test::readBytes(dir / "KUBUN.KMT"); }
    std::size_t entries() {
        return static_cast<std::size_t>(
            std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()));
    }

    test::TempDir dir;
    test::RecordingUi ui;
    Tables tables;
};

TEST_F(SaveTest, WritesHeaderAndRecordsWithConstantsInPlaceOfDroppedValues) {
    test::writeBytes(
        dir / "KUBUN.KMT",
        test::cp932("3,120,99,\"x\",\"y\",\"z\"\r\n"
                    "\"管理\",5,\"机\",\"ｋ１２\",\"A\",6,\"七\",8,9,\"C\",\"eleven\",12,13\r\n"
                    "\"一般\",-1,\"椅子,大\",\"\",\"\",-6,\"\",-8,-9,\"\",\"\",0,0\r\n"));
    ASSERT_EQ(KBN_LOAD(tables, dir.str(), ctx()), LoadResult::loaded);
    KBN_SAVE(tables, dir.str(), ctx());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(file(),
              test::cp932("3,120,0,\"\",\"\",\"\"\r\n"
                          "\"管理\",5,\"机\",\"K12\",\"A\",6,\"七\",8,9,\"C\",\"\",0,0\r\n"
                          "\"一般\",-1,\"椅子,大\",\"\",\"\",-6,\"\",-8,-9,\"\",\"\",0,0\r\n"));
    EXPECT_EQ(entries(), 1u);  // no temporary file left beside it
    EXPECT_FALSE(ui.busy);

    // What was saved loads back into the same values.
    Tables again;
    ASSERT_EQ(KBN_LOAD(again, dir.str(), ctx()), LoadResult::loaded);
    EXPECT_EQ(again.KBN_CNT, 2);
    for (std::size_t i = 0; i < 2; ++i) EXPECT_EQ(again.KBN_TBL[i], tables.KBN_TBL[i]) << i;
}

TEST_F(SaveTest, EmptyTableWritesTheHeaderOnlyAndCreatesAMissingFile) {
    tables.HEAD_1 = -32768;
    tables.HEAD_2 = 2147483647;
    KBN_SAVE(tables, dir.str(), ctx());
    EXPECT_EQ(file(), "-32768,2147483647,0,\"\",\"\",\"\"\r\n");
}

TEST_F(SaveTest, EveryFailurePointLeavesTheFileAsItWasAndNoTemporaryFile) {
    std::vector<test::Rec> records(300, test::Rec{"", "理科室", "K1", "A", ""});
    const std::string before = test::kmt(records);
    test::writeBytes(dir / "KUBUN.KMT", before);
    ASSERT_EQ(KBN_LOAD(tables, dir.str(), ctx()), LoadResult::loaded);
    tables.KBN_TBL[0].KBN_CLASS = "changed";

    using Op = test::FaultySystem::Op;
    struct Point {
        Op op;
        int n;
    };
    const Point points[] = {{Op::ChangeDirectory, 1}, {Op::CreateTemporary, 1}, {Op::Write, 1},
                            {Op::Write, 2},           {Op::Write, 150},         {Op::Write, 301},
                            {Op::Commit, 1},          {Op::Replace, 1}};
    test::FaultySystem faulty(runtime::nativeSystem());
    for (const Point& p : points) {
        ui.messages.clear();
        faulty.failAt(p.op, p.n);
        KBN_SAVE(tables, dir.str(), {faulty, ui});
        EXPECT_EQ(ui.messages, std::vector<std::string>{kSaveFailed})
            << static_cast<int>(p.op) << " " << p.n;
        EXPECT_FALSE(ui.busyAtMessage.at(0));
        EXPECT_EQ(file(), before);
        EXPECT_EQ(entries(), 1u);
    }
    // Once the cause is gone the next save works.
    faulty.failAt(Op::None, 0);
    ui.messages.clear();
    KBN_SAVE(tables, dir.str(), {faulty, ui});
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_NE(file(), before);
    EXPECT_EQ(entries(), 1u);
}

TEST_F(SaveTest, ReadOnlyFileIsNeverReplaced) {
    const std::string before = test::kmt({{"", "机", "1", "", ""}});
    test::writeBytes(dir / "KUBUN.KMT", before);
    ASSERT_EQ(KBN_LOAD(tables, dir.str(), ctx()), LoadResult::loaded);
    tables.KBN_TBL[0].KBN_CLASS = "changed";
    std::filesystem::permissions(dir / "KUBUN.KMT", std::filesystem::perms::owner_read |
                                                        std::filesystem::perms::group_read |
                                                        std::filesystem::perms::others_read);
    KBN_SAVE(tables, dir.str(), ctx());
    EXPECT_EQ(ui.messages, std::vector<std::string>{kSaveFailed});
    EXPECT_EQ(file(), before);
    EXPECT_EQ(entries(), 1u);
}

TEST_F(SaveTest, MissingDataDirectoryFails) {
    KBN_SAVE(tables, (dir / "gone").string(), ctx());
    EXPECT_EQ(ui.messages, std::vector<std::string>{kSaveFailed});
    EXPECT_FALSE(std::filesystem::exists(dir / "gone"));
}

}  // namespace
}  // namespace kbnset::category
