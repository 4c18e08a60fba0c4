#include "update/merge.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "support/recording_ui.hpp"
#include "support/scan_merge.hpp"
#include "update/name_matcher.hpp"

namespace kbnset::update {
namespace {

using category::KBN_REC;
using category::RecordKind;

struct R {
    std::string name, key2, cls;
    RecordKind kind = RecordKind::ordinary;
};

void fill(std::vector<KBN_REC>& table, std::int32_t& count, const std::vector<R>& rows) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        table[i].KBN_NAME = rows[i].name;
        table[i].KBN_KEY2 = rows[i].key2;
        table[i].KBN_CLASS = rows[i].cls;
        table[i].REC_KIND = rows[i].kind;
    }
    count = static_cast<std::int32_t>(rows.size());
}

TEST(Merge, FillsByTheRulesOfBothSearches) {
    struct Case {
        const char* what;
        R destination;
        std::vector<R> reference;
        std::string expected;
    };
    // clang-format off
    const Case cases[] = {
        {"exact match", {"机", "A", ""}, {{"椅子", "A", "x"}, {"机", "A", "c1"}}, "c1"},
        {"name and key stay apart", {"AB", "", ""}, {{"A", "B", "c1"}}, ""},
        {"first match wins", {"机", "A", ""}, {{"机", "A", "c1"}, {"机", "A", "c2"}}, "c1"},
        {"management record untouched", {"机", "A", "", RecordKind::management}, {{"机", "A", "c1"}}, ""},
        {"filled stays", {"机", "A", "old"}, {{"机", "A", "new"}}, "old"},
        {"empty first match is final", {"机", "A", ""}, {{"机", "A", ""}, {"机", "A", "c2"}}, ""},
        {"containment", {"養護机", "A", ""}, {{"机", "A", "n1"}}, "n1"},
        {"containment in table order, not closest", {"養護理科机", "A", ""},
         {{"机", "A", "short"}, {"理科机", "A", "long"}}, "short"},
        {"empty reference name is in every name", {"養護机", "A", ""},
         {{"椅子", "A", "x"}, {"", "A", "any"}}, "any"},
        {"養護 elsewhere gets no containment", {"特別養護机", "A", ""}, {{"机", "A", "n1"}}, ""},
        {"after an empty exact match the same record is met again", {"養護机", "A", ""},
         {{"養護机", "A", ""}, {"机", "A", "later"}}, ""},
        {"an earlier contained name wins over the empty exact match", {"養護机", "A", ""},
         {{"机", "A", "early"}, {"養護机", "A", ""}}, "early"},
        {"no folding of case, width or blanks", {"ＰＣ", "a", ""},
         {{"PC", "a", "1"}, {"ＰＣ", "A", "2"}, {"ＰＣ ", "a", "3"}}, ""},
        {"reference management records count", {"机", "A", ""},
         {{"机", "A", "m", RecordKind::management}}, "m"},
    };
    // clang-format on
    for (const Case& c : cases) {
        category::Tables tables;
        fill(tables.KBN_TBL, tables.KBN_CNT, {c.destination});
        fill(tables.REF_TBL, tables.REF_CNT, c.reference);
        test::RecordingUi ui;
        KBN_MERGE(tables, StopFlag::none, ui);
        EXPECT_EQ(tables.KBN_TBL[0].KBN_CLASS, c.expected) << c.what;
    }
}

// The two long-name reproductions: 300 reference names of 4,096 bytes under one key (memory),
// and 161 keys of 31 names of 2,048 against 5,011 records of "養護" + 4,092 (time). The bounds
// are the matchers' own work, linear in the names' length: a state per character of the
// reference names at most, each byte of them compared a few times, and two steps per
// character searched.
TEST(Merge, LongNamesStayLinearInTimeAndMemory) {
    std::string kana;  // "ｱ": one byte on disk, three in memory
    for (int i = 0; i < 4092; ++i) kana += "ｱ";
    for (auto [keys, names, length, records, tagFirst] :
         {std::tuple{1, 300, 4096, 1, true}, {161, 31, 2048, category::kTableCapacity, false}}) {
        // Straight into the tables: copies would weigh more than the matcher.
        category::Tables tables;
        auto put = [](KBN_REC& r, std::string name, int key, const char* cls) {
            r.REC_KIND = RecordKind::ordinary, r.KBN_NAME = std::move(name);
            r.KBN_KEY2 = std::to_string(key), r.KBN_CLASS = cls;
        };
        const std::string body = kana.substr(0, 3 * std::size_t(length - 6));
        std::uint64_t referenceBytes = 0, searchedBytes = 0;
        for (int n = 0; n < keys * names; ++n) {
            const std::string tag = "ｲ" + std::to_string(1000 + n % names);
            put(tables.REF_TBL[std::size_t(n)], tagFirst ? tag + body : body + tag, n / names, "c");
            referenceBytes += tables.REF_TBL[std::size_t(n)].KBN_NAME.size();
        }
        for (int i = 0; i < records; ++i)
            put(tables.KBN_TBL[std::size_t(i)], "養護" + kana, i % keys, "");
        tables.KBN_TBL[std::size_t(records - 1)].KBN_NAME =
            "養護" + tables.REF_TBL[std::size_t(keys * names - 1)].KBN_NAME;
        for (int i = 0; i < records; ++i)
            searchedBytes += tables.KBN_TBL[std::size_t(i)].KBN_NAME.size();
        tables.REF_CNT = keys * names, tables.KBN_CNT = records;
        test::RecordingUi ui;
        NameMatcher::Work& work = NameMatcher::work();
        work = {};
        EXPECT_EQ(KBN_MERGE(tables, StopFlag::none, ui), 1) << keys;
        // Bytes bound characters from above: three bytes a character here.
        EXPECT_LE(work.states, referenceBytes / 3 + 2 * std::uint64_t(keys)) << keys;
        EXPECT_LE(work.compared, 3 * referenceBytes) << keys;
        EXPECT_LE(work.steps, 2 * (searchedBytes + referenceBytes) / 3) << keys;
    }
}

// The index against the plain scan: classes, the count filled, progress and yields alike.
// Few keys give large groups, many keys small ones; every third round has long names that
// share long prefixes and suffixes.
TEST(Merge, AgreesWithATableOrderScanOnRandomTables) {
    std::mt19937 rng(20261206);
    const std::string pieces[] = {"",   "養護", "机", "机机", "理科", "a",
                                  "ab", "b",    "ba", "護",   "ｱｲ"};
    auto name = [&](std::size_t parts) {
        std::string s;
        for (std::size_t i = 0; i < parts; ++i) s += pieces[rng() % std::size(pieces)];
        return s;
    };
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        const auto keys = 1 + rng() % (round % 2 == 0 ? 3u : 60u);
        const std::size_t parts = round % 3 == 0 ? 40 : 3;
        std::vector<R> reference(rng() % 200), records(rng() % 60);
        for (std::size_t i = 0; i < reference.size(); ++i)
            reference[i] = {name(rng() % parts), std::to_string(rng() % keys),
                            rng() % 8 ? "c" + std::to_string(i) : ""};
        for (R& r : records) {
            const std::string some =
                reference.empty() ? "" : reference[rng() % reference.size()].name;
            const std::string names[] = {some, "養護" + name(2) + some + name(2),
                                         name(rng() % (2 * parts))};
            r = {names[rng() % 3], std::to_string(rng() % (keys + 1)), rng() % 10 ? "" : "old",
                 rng() % 10 ? RecordKind::ordinary : RecordKind::management};
        }
        category::Tables tables;
        fill(tables.KBN_TBL, tables.KBN_CNT, records);
        fill(tables.REF_TBL, tables.REF_CNT, reference);
        category::Tables scanned = tables;
        test::RecordingUi ui, scanUi;
        const std::int32_t expected = test::scanMerge(scanned, &scanUi);
        ASSERT_EQ(KBN_MERGE(tables, StopFlag::none, ui), expected);
        ASSERT_EQ(tables.KBN_TBL, scanned.KBN_TBL);
        ASSERT_EQ(ui.progressed, scanUi.progressed);
        ASSERT_EQ(ui.yields, scanUi.yields);
    }
}

}  // namespace
}  // namespace kbnset::update
