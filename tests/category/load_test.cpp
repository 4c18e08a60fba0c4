// What a failed load tells besides its message: the file's full path, the line where the
// failing record begins as an editor counts it, and the cause.
#include "category/load.hpp"

#include <gtest/gtest.h>

#include <string>

#include "support/kmt.hpp"
#include "support/recording_ui.hpp"
#include "support/temp_dir.hpp"

namespace kbnset::category {
namespace {

TEST(Load, AFailureNamesTheFileAndTheLineWhereTheRecordBegins) {
    const std::string header = "1,2,0,\"\",\"\",\"\"\r\n";
    const std::string good = test::kmtText({{.name = "机"}}, "");
    const std::string bad = test::kmtText({{.name = "机", .code = "!"}}, "");
    struct Case {
        const char* what;
        std::string text;  // UTF-8
        std::string message;
        std::int32_t line;
    };
    const Case cases[] = {
        {"first record", header + bad, "備品区分ファイルの読込に失敗しました(0)", 2},
        {"blank lines between", header + good + "\r\n \r\n" + bad,
         "備品区分ファイルの読込に失敗しました(1)", 5},
        {"a value over two lines",
         header + "\"一般\",0,\"机\r\n椅子\"" + good.substr(good.find(",\"1\"")) + bad,
         "備品区分ファイルの読込に失敗しました(1)", 4},
        {"a record cut short", header + good + "\"一般\",0,\"机\"\r\n",
         "備品区分ファイルの読込に失敗しました(1)", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        test::writeBytes(dir / "KUBUN.KMT", test::cp932(c.text));
        test::RecordingUi ui;
        Tables tables;
        EXPECT_NE(KBN_LOAD(tables, dir.str(), {runtime::nativeSystem(), ui}), LoadResult::loaded);
        ASSERT_EQ(ui.failures.size(), 1u);
        EXPECT_EQ(ui.messages.at(0), c.message);
        EXPECT_EQ(ui.failures[0].path, test::utf8Of(dir / "KUBUN.KMT"));
        EXPECT_EQ(ui.failures[0].line, c.line);
        EXPECT_NE(ui.failures[0].cause, nullptr);
    }
}

}  // namespace
}  // namespace kbnset::category
