// Input no suite ever wrote: each case ends in a clear message or a correct result, quickly,
// and nothing on disk is lost.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "category/load.hpp"
#include "category/save.hpp"
#include "support/kmt.hpp"
#include "support/recording_ui.hpp"
#include "support/temp_dir.hpp"

namespace kbnset::category {
namespace {

namespace fs = std::filesystem;
const std::string kFailedText = "備品区分ファイルの読込に失敗しました";

class HostileInputTest : public ::testing::Test {
  protected:
    Context ctx() { return {runtime::nativeSystem(), ui}; }
    LoadResult load() { return KBN_LOAD(tables, dir.str(), ctx()); }

    test::TempDir dir;
    test::RecordingUi ui;
    Tables tables;
};

TEST_F(HostileInputTest, LargeOrStrangeFilesFailWithTheirRecordNumber) {
    const std::string header = "1,2,0,\"\",\"\",\"\"\r\n";
    struct Case {
        const char* what;
        std::string bytes;
        std::string message;
    };
    std::string million;
    million.reserve(60'000'000);
    million += header;
    const std::string line = test::recordLine({"", "x", "1", "", ""});
    for (int i = 0; i < 1'000'000; ++i) million += line;
    const Case cases[] = {
        {"100 MB without a separator", std::string(100'000'000, 'a'), kFailedText + "(0)"},
        {"a value of 10 MB", header + "\"" + std::string(10'000'000, 'a') + "\"",
         kFailedText + "(0)"},
        {"a million records", std::move(million), kFailedText + "(5011)"},
        {"NUL bytes", std::string(4096, '\0'), kFailedText + "(0)"},
        {"an unterminated quote", header + "\"" + std::string(100'000, ','), kFailedText + "(0)"},
    };
    for (const Case& c : cases) {
        test::writeBytes(dir / "KUBUN.KMT", c.bytes);
        ui.messages.clear();
        tables.KBN_CNT = 3;
        EXPECT_EQ(load(), LoadResult::readFailed) << c.what;
        EXPECT_EQ(ui.messages, std::vector<std::string>{c.message}) << c.what;
        EXPECT_EQ(tables.KBN_CNT, 3) << c.what;
    }
}

TEST_F(HostileInputTest, DirectoryNamedLikeTheFileIsNoFileAndIsNotReplaced) {
    fs::create_directory(dir / "KUBUN.KMT");
    EXPECT_EQ(load(), LoadResult::missing);
    KBN_SAVE(tables, dir.str(), ctx());
    EXPECT_EQ(ui.messages.back(), "備品区分ファイルの保存に失敗しました");
    EXPECT_TRUE(fs::is_directory(dir / "KUBUN.KMT"));
}

TEST_F(HostileInputTest, DataDirectoryThatVanishesBeforeTheSave) {
    fs::create_directory(dir / "data");
    test::writeBytes(dir / "data" / "KUBUN.KMT", test::kmt({{"", "机", "1", "", ""}}));
    ASSERT_EQ(KBN_LOAD(tables, (dir / "data").string(), ctx()), LoadResult::loaded);
    fs::current_path(dir.path());
    fs::remove_all(dir / "data");
    KBN_SAVE(tables, (dir / "data").string(), ctx());
    EXPECT_EQ(ui.messages, std::vector<std::string>{"備品区分ファイルの保存に失敗しました"});
    EXPECT_FALSE(fs::exists(dir / "data"));
}

#ifndef _WIN32
TEST_F(HostileInputTest, SymbolicLinkKeepsPointingAtTheSavedFile) {
    fs::create_directory(dir / "real");
    test::writeBytes(dir / "real" / "KUBUN.KMT", test::kmt({{"", "机", "ｋ1", "", ""}}));
    fs::create_directory(dir / "data");
    fs::create_symlink("../real/KUBUN.KMT", dir / "data" / "KUBUN.KMT");
    ASSERT_EQ(KBN_LOAD(tables, (dir / "data").string(), ctx()), LoadResult::loaded);
    KBN_SAVE(tables, (dir / "data").string(), ctx());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(fs::is_symlink(dir / "data" / "KUBUN.KMT"));
    EXPECT_NE(test::readBytes(dir / "real" / "KUBUN.KMT").find("\"K1\""), std::string::npos);
}
#endif

}  // namespace
}  // namespace kbnset::category
