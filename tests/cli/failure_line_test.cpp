// The message line a batch greps: the window's text first, then the file, the editor's line
// and the system's reason in Japanese, from failures made by hand.
#include <gtest/gtest.h>

#include <cerrno>
#include <new>
#include <string>

#include "cli/console_ui.hpp"
#include "runtime/error.hpp"
#include "update/report_csv.hpp"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kbnset::test {
namespace {

#ifdef _WIN32
constexpr int kDiskFull = ERROR_DISK_FULL, kDenied = ERROR_ACCESS_DENIED,
              kOther = ERROR_INVALID_PARAMETER;
#else
constexpr int kDiskFull = ENOSPC, kDenied = EACCES, kOther = EINVAL;
#endif

template <typename E>
std::exception_ptr io(int code) {
    return std::make_exception_ptr(E("cannot write", "KUBUN.KMT", code));
}

TEST(FailureLine, SaysWhereAndWhy) {
    const std::string save = "備品区分ファイルの保存に失敗しました", path = "/srv/学校/KUBUN.KMT";
    struct Row {
        const char* name;
        category::Failure failure;
        std::string line;
    } rows[] = {
        {"nothing known", {}, save},
        {"the file alone", {.path = path, .cause = nullptr}, save + ": " + path},
        {"no permission",
         {.path = path, .cause = io<runtime::IoError>(kDenied)},
         save + ": " + path + "（アクセス権がありません）"},
        {"read-only, whatever the code",
         {.path = path, .cause = io<runtime::ReadOnlyError>(kDenied)},
         save + ": " + path + "（読み取り専用のファイルです）"},
        {"changed by another program",
         {.path = path, .cause = io<runtime::ChangedError>(0)},
         save + ": " + path + "（読み込んだ後に他のプログラムが変更しました）"},
        {"out of memory",
         {.path = path, .cause = std::make_exception_ptr(std::bad_alloc())},
         save + ": " + path + "（メモリが足りません）"},
        {"a code with nothing to say",
         {.path = path, .cause = io<runtime::IoError>(kOther)},
         save + ": " + path},
        {"a format error has only its line",
         {.path = path,
          .line = 308,
          .cause = std::make_exception_ptr(runtime::ConversionError("x"))},
         save + ": " + path + "（308 行目）"},
        {"a line and a reason",
         {.path = path, .line = 2, .cause = io<runtime::IoError>(kDiskFull)},
         save + ": " + path + "（2 行目、ディスクの空きが足りません）"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(cli::failureLine(save, row.failure), row.line) << row.name;
}

// A report cell that a spreadsheet would run as a formula is written as text; the line number
// and texts that only hold such a character later stay as they are.
TEST(ReportRows, NoCellIsAFormula) {
    using What = update::Change::What;
    struct Row {
        update::Change change;
        std::string row;
    } rows[] = {
        {{"/d", 2, "=1+2", "+x", What::classification, "-1", "@a", ""},
         "/d,2,'=1+2,'+x,分類,'-1,'@a,\r\n"},
        {{"/d", 3, "=A1,B1", "", What::code, "a-b", "", "E_KUBUN.KMT"},
         "/d,3,\"'=A1,B1\",,区分コード,a-b,,E_KUBUN.KMT\r\n"},
    };
    for (const Row& row : rows) EXPECT_EQ(update::reportRows({row.change}), row.row) << row.row;
}

}  // namespace
}  // namespace kbnset::test
