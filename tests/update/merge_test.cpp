#include "update/merge.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/resource.h>
#endif

#include "support/recording_ui.hpp"
#include "support/scan_merge.hpp"

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
        {"both keys must match", {"机", "A", ""}, {{"机", "B", "c1"}}, ""},
        {"name and key stay apart", {"AB", "", ""}, {{"A", "B", "c1"}}, ""},
        {"first match wins", {"机", "A", ""}, {{"机", "A", "c1"}, {"机", "A", "c2"}}, "c1"},
        {"management record untouched", {"机", "A", "", RecordKind::management}, {{"机", "A", "c1"}}, ""},
        {"filled stays", {"机", "A", "old"}, {{"机", "A", "new"}}, "old"},
        {"empty first match is final", {"机", "A", ""}, {{"机", "A", ""}, {"机", "A", "c2"}}, ""},
        {"containment", {"養護机", "A", ""}, {{"机", "A", "n1"}}, "n1"},
        {"containment in table order, not closest", {"養護理科机", "A", ""},
         {{"机", "A", "short"}, {"理科机", "A", "long"}}, "short"},
        {"containment needs key2", {"養護机", "A", ""}, {{"机", "B", "n1"}}, ""},
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

TEST(Merge, StopRequestEndsAfterTheCurrentRecordWithoutItsProgress) {
    category::Tables tables;
    fill(tables.KBN_TBL, tables.KBN_CNT, {{"机", "A", ""}, {"机", "A", ""}, {"机", "A", ""}});
    fill(tables.REF_TBL, tables.REF_CNT, {{"机", "A", "c"}});
    StopFlag stop = StopFlag::none;
    test::RecordingUi ui;
    ui.onYield = [&stop](int n) {
        if (n == 1) stop = StopFlag::requested;
    };
    KBN_MERGE(tables, stop, ui);
    EXPECT_EQ(ui.progressed, std::vector<std::string>{"1/3"});
    // The second record is processed before the request is tested; the third is not.
    EXPECT_EQ(tables.KBN_TBL[1].KBN_CLASS, "c");
    EXPECT_EQ(tables.KBN_TBL[2].KBN_CLASS, "");
}

// The index against the plain scan: classes, the count filled, progress and yields alike.
TEST(Merge, AgreesWithATableOrderScanOnRandomTables) {
    std::mt19937 rng(20261206);
    const std::vector<std::string> pieces = {"",   "養護", "机", "机机", "理科", "a",
                                             "ab", "b",    "ba", "護",   "ｱｲ"};
    auto name = [&](std::size_t parts) {
        std::string s;
        for (std::size_t i = 0; i < parts; ++i) s += pieces[rng() % pieces.size()];
        return s;
    };
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        // From one large group to many groups of one or two names; every third round has
        // long names that share long prefixes and suffixes.
        const auto keys = 1 + rng() % (round % 2 == 0 ? 3u : 60u);
        const std::size_t parts = round % 3 == 0 ? 40 : 3;
        auto key = [&](std::size_t n) { return std::to_string(rng() % n); };
        category::Tables tables;
        tables.REF_CNT = static_cast<std::int32_t>(rng() % 200);
        for (std::int32_t i = 0; i < tables.REF_CNT; ++i) {
            KBN_REC& r = tables.REF_TBL[std::size_t(i)];
            r.KBN_NAME = name(rng() % parts);
            r.KBN_KEY2 = key(keys);
            r.KBN_CLASS = rng() % 8 == 0 ? "" : "c" + std::to_string(i);
        }
        tables.KBN_CNT = static_cast<std::int32_t>(rng() % 60);
        for (std::int32_t i = 0; i < tables.KBN_CNT; ++i) {
            KBN_REC& r = tables.KBN_TBL[std::size_t(i)];
            const std::string some =
                tables.REF_CNT > 0 ? tables.REF_TBL[rng() % std::size_t(tables.REF_CNT)].KBN_NAME
                                   : "";
            switch (rng() % 3) {
                case 0:
                    r.KBN_NAME = some;
                    break;
                case 1:
                    r.KBN_NAME = "養護" + name(2) + some + name(2);
                    break;
                default:
                    r.KBN_NAME = name(rng() % (2 * parts));
                    break;
            }
            r.KBN_KEY2 = key(keys + 1);
            r.KBN_CLASS = rng() % 10 == 0 ? "old" : "";
            r.REC_KIND = rng() % 10 == 0 ? RecordKind::management : RecordKind::ordinary;
        }
        category::Tables scanned = tables;
        test::RecordingUi ui, scanUi;
        const std::int32_t expected = test::scanMerge(scanned, &scanUi);
        ASSERT_EQ(KBN_MERGE(tables, StopFlag::none, ui), expected);
        ASSERT_EQ(tables.KBN_TBL, scanned.KBN_TBL);
        ASSERT_EQ(ui.progressed, scanUi.progressed);
        ASSERT_EQ(ui.yields, scanUi.yields);
    }
}

// Names at the length limit: the matcher's memory once grew by 1.4 MB per long reference
// name, and small groups were searched in time length x length. Bounds are loose on purpose.
TEST(Merge, LongNamesStayLinearInTimeAndMemory) {
    struct Case {
        const char* what;
        int keys, namesPerKey, referenceLength, records;
        bool tagFirst;  // names differ at their start (a wide trie) or at their end
    };
    const Case cases[] = {
        {"300 names of 4,096 under one key", 1, 300, 4096, 1, true},
        {"161 keys of 31 names of 2,048", 161, 31, 2048, category::kTableCapacity, false},
    };
    auto repeat = [](int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s += "ｱ";  // one byte on disk, three in memory
        return s;
    };
    auto tag = [](int n) { return "ｲ" + std::to_string(1000 + n); };
    category::Tables tables;
    test::RecordingUi ui;
    for (const Case& c : cases) {
        // Straight into the tables: copies would weigh more than the matcher.
        auto put = [](KBN_REC& r, std::string name, int key, const char* cls) {
            r = KBN_REC{};
            r.REC_KIND = RecordKind::ordinary;
            r.KBN_NAME = std::move(name);
            r.KBN_KEY2 = std::to_string(key);
            r.KBN_CLASS = cls;
        };
        std::size_t n = 0;
        const std::string body = repeat(c.referenceLength - 6);
        for (int k = 0; k < c.keys; ++k)
            for (int t = 0; t < c.namesPerKey; ++t)
                put(tables.REF_TBL[n++], c.tagFirst ? tag(t) + body : body + tag(t), k, "c");
        tables.REF_CNT = static_cast<std::int32_t>(n);
        for (int i = 0; i < c.records; ++i)
            put(tables.KBN_TBL[std::size_t(i)], "養護" + repeat(4092), i % c.keys, "");
        tables.KBN_TBL[std::size_t(c.records - 1)].KBN_NAME =
            "養護" + tables.REF_TBL[n - 1].KBN_NAME;
        tables.KBN_CNT = c.records;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(KBN_MERGE(tables, StopFlag::none, ui), 1) << c.what;
#if defined(__SANITIZE_ADDRESS__)
        const auto bound = std::chrono::seconds(120);  // about ten times slower, and no RSS bound
#else
        const auto bound = std::chrono::seconds(20);
#endif
        EXPECT_LT(std::chrono::steady_clock::now() - start, bound) << c.what;
#if !defined(_WIN32) && !defined(__SANITIZE_ADDRESS__)
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        EXPECT_LT(usage.ru_maxrss, 200 * 1024) << c.what << ": peak KiB";
#endif
    }
}

}  // namespace
}  // namespace kbnset::update
