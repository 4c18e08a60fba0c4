// The report's rows from a table as loaded and as saved.
#include "update/report.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kbnset::update {
namespace {

using category::RecordKind;

struct Record {
    RecordKind kind;
    std::string codeRead, code, classLoaded, classSaved;
};

// "line what before>after reference" per row.
std::vector<std::string> rowsOf(const std::vector<Record>& records) {
    category::Tables tables;
    for (std::size_t i = 0; i < records.size(); ++i) {
        category::KBN_REC& r = tables.KBN_TBL[i];
        r.REC_KIND = records[i].kind;
        r.KBN_NAME = "n" + std::to_string(i);
        r.KBN_CLASS = records[i].classLoaded;
        r.codeAsRead = records[i].codeRead;
        r.KBN_CODE = records[i].code;
        r.line = static_cast<std::int32_t>(i) + 2;
    }
    tables.KBN_CNT = static_cast<std::int32_t>(records.size());
    const std::vector<std::int32_t> emptyAsLoaded = emptyRecords(tables);
    for (std::size_t i = 0; i < records.size(); ++i)
        tables.KBN_TBL[i].KBN_CLASS = records[i].classSaved;
    std::vector<Change> rows;
    addSavedChanges(tables, emptyAsLoaded, "D", "E_KUBUN.KMT", rows);
    addStillEmpty(tables, emptyRecords(tables), "D", rows);
    std::vector<std::string> text;
    constexpr const char* kWhat[] = {"class", "code", "empty"};
    for (const Change& c : rows)
        text.push_back(std::to_string(c.line) + " " + c.name + " " +
                       kWhat[static_cast<int>(c.what)] + " " + c.before + ">" + c.after + " " +
                       c.referenceFile);
    return text;
}

TEST(Report, RowsFromTheTableAsLoadedAndAsSaved) {
    constexpr auto O = RecordKind::ordinary, M = RecordKind::management;
    struct Case {
        const char* what;
        std::vector<Record> records;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {"nothing changed", {{O, "", "K1", "c", "c"}, {M, "", "K2", "", ""}}, {}},
        {"a fill", {{O, "", "K1", "", "c"}}, {"2 n0 class >c E_KUBUN.KMT"}},
        {"a code normalised, a class set before stays out",
         {{O, "k108", "K108", "c", "c"}, {O, "Ｐ９", "P9", "", ""}},
         {"2 n0 code k108>K108 ", "3 n1 code Ｐ９>P9 ", "3 n1 empty > "}},
        {"fill and code of one record, line order, then still empty",
         {{O, "", "K1", "", ""}, {O, "k2", "K2", "", "c"}, {M, "", "K3", "", ""}},
         {"3 n1 class >c E_KUBUN.KMT", "3 n1 code k2>K2 ", "2 n0 empty > "}},
    };
    for (const Case& c : cases) EXPECT_EQ(rowsOf(c.records), c.rows) << c.what;
}

}  // namespace
}  // namespace kbnset::update
