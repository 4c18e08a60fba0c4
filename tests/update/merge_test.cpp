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
#include "update/reference_index.hpp"

namespace kbnset::update {
namespace {

using category::KBN_REC;

struct R {
    std::string name;
    std::string key2;
    std::string cls;
    category::RecordKind kind = category::RecordKind::ordinary;
};

class MergeTest : public ::testing::Test {
  protected:
    void setTables(const std::vector<R>& destination, const std::vector<R>& reference) {
        auto fill = [](std::vector<KBN_REC>& table, const std::vector<R>& rows) {
            for (std::size_t i = 0; i < rows.size(); ++i) {
                table[i].KBN_NAME = rows[i].name;
                table[i].KBN_KEY2 = rows[i].key2;
                table[i].KBN_CLASS = rows[i].cls;
                table[i].REC_KIND = rows[i].kind;
            }
        };
        fill(tables.KBN_TBL, destination);
        fill(tables.REF_TBL, reference);
        tables.KBN_CNT = static_cast<std::int32_t>(destination.size());
        tables.REF_CNT = static_cast<std::int32_t>(reference.size());
    }
    std::string cls(std::size_t i) const { return tables.KBN_TBL[i].KBN_CLASS; }

    category::Tables tables;
    test::RecordingUi ui;
    StopFlag stop = StopFlag::none;
};

TEST_F(MergeTest, FillsByTheRulesOfBothSearches) {
    struct Case {
        const char* what;
        R destination;
        std::vector<R> reference;
        std::string expected;
    };
    const R mgmt{"机", "A", "", category::RecordKind::management};
    const Case cases[] = {
        {"exact match", {"机", "A", ""}, {{"椅子", "A", "x"}, {"机", "A", "c1"}}, "c1"},
        {"both keys must match", {"机", "A", ""}, {{"机", "B", "c1"}}, ""},
        {"first match wins", {"机", "A", ""}, {{"机", "A", "c1"}, {"机", "A", "c2"}}, "c1"},
        {"management record untouched", mgmt, {{"机", "A", "c1"}}, ""},
        {"filled stays", {"机", "A", "old"}, {{"机", "A", "new"}}, "old"},
        {"empty first match is final", {"机", "A", ""}, {{"机", "A", ""}, {"机", "A", "c2"}}, ""},
        {"containment", {"養護机", "A", ""}, {{"机", "A", "n1"}}, "n1"},
        {"containment in table order, not closest",
         {"養護理科机", "A", ""},
         {{"机", "A", "short"}, {"理科机", "A", "long"}},
         "short"},
        {"containment needs key2", {"養護机", "A", ""}, {{"机", "B", "n1"}}, ""},
        {"empty reference name is in every name",
         {"養護机", "A", ""},
         {{"椅子", "A", "x"}, {"", "A", "any"}},
         "any"},
        {"養護 elsewhere gets no containment", {"特別養護机", "A", ""}, {{"机", "A", "n1"}}, ""},
        {"after an empty exact match the same record is met again",
         {"養護机", "A", ""},
         {{"養護机", "A", ""}, {"机", "A", "later"}},
         ""},
        {"an earlier contained name wins over the empty exact match",
         {"養護机", "A", ""},
         {{"机", "A", "early"}, {"養護机", "A", ""}},
         "early"},
        {"no folding of case, width or blanks",
         {"ＰＣ", "a", ""},
         {{"PC", "a", "1"}, {"ＰＣ", "A", "2"}, {"ＰＣ ", "a", "3"}},
         ""},
        {"reference management records count",
         {"机", "A", ""},
         {{"机", "A", "m", category::RecordKind::management}},
         "m"},
    };
    for (const Case& c : cases) {
        setTables({c.destination}, c.reference);
        KBN_MERGE(tables, stop, ui);
        EXPECT_EQ(cls(0), c.expected) << c.what;
    }
}

TEST_F(MergeTest, ProgressAndYieldAfterEveryRecordCountsFilled) {
    setTables({{"机", "A", ""},
               {"机", "A", "x"},
               {"机", "A", "", category::RecordKind::management},
               {"椅子", "A", ""}},
              {{"机", "A", "c"}, {"椅子", "A", ""}});
    EXPECT_EQ(KBN_MERGE(tables, stop, ui), 1);
    EXPECT_EQ(ui.progressed, (std::vector<std::string>{"1/4", "2/4", "3/4", "4/4"}));
    EXPECT_EQ(ui.yields, 4);

    ui.progressed.clear();
    tables.REF_CNT = 0;
    tables.KBN_TBL[0].KBN_CLASS = "";
    EXPECT_EQ(KBN_MERGE(tables, stop, ui), 0);
    EXPECT_EQ(ui.progressed.size(), 4u);

    ui.progressed.clear();
    tables.KBN_CNT = 0;
    KBN_MERGE(tables, stop, ui);
    EXPECT_TRUE(ui.progressed.empty());
}

TEST_F(MergeTest, StopRequestEndsAfterTheCurrentRecordWithoutItsProgress) {
    setTables({{"机", "A", ""}, {"机", "A", ""}, {"机", "A", ""}}, {{"机", "A", "c"}});
    ui.onYield = [this](int n) {
        if (n == 1) stop = StopFlag::requested;
    };
    KBN_MERGE(tables, stop, ui);
    EXPECT_EQ(ui.progressed, std::vector<std::string>{"1/3"});
    EXPECT_EQ(cls(0), "c");
    EXPECT_EQ(cls(1), "c");  // processed before the test of the request
    EXPECT_EQ(cls(2), "");
}

// Names at the length limit: the matcher's memory once grew by 1.4 MB per long reference
// name, and small groups were searched in time length x length. Bounds are loose on purpose.
TEST_F(MergeTest, LongNamesStayLinearInTimeAndMemory) {
    struct Case {
        const char* what;
        int keys, namesPerKey, referenceLength, records;
        bool tagFirst;  // names differ at their start (a wide trie) or at their end
    };
    const Case cases[] = {
        {"300 names of 4,096 under one key", 1, 300, 4096, 1, true},
        {"161 keys of 31 names of 2,048", 161, 31, 2048, category::kTableCapacity, false},
    };
    const std::string kana = "ｱ";  // one byte on disk, three in memory
    auto repeat = [&kana](int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s += kana;
        return s;
    };
    auto tag = [](int n) { return "ｲ" + std::to_string(1000 + n); };
    for (const Case& c : cases) {
        // Straight into the tables: copies would weigh more than the matcher.
        auto put = [](KBN_REC& r, std::string name, int key, const char* cls) {
            r = KBN_REC{};
            r.REC_KIND = category::RecordKind::ordinary;
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
        EXPECT_EQ(KBN_MERGE(tables, stop, ui), 1) << c.what;
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

// The index must give exactly what a scan in table order gives.
std::int32_t scanExact(const std::vector<KBN_REC>& t, std::int32_t n, const KBN_REC& r) {
    for (std::int32_t i = 0; i < n; ++i)
        if (t[std::size_t(i)].KBN_NAME == r.KBN_NAME && t[std::size_t(i)].KBN_KEY2 == r.KBN_KEY2)
            return i;
    return -1;
}
std::int32_t scanContained(const std::vector<KBN_REC>& t, std::int32_t n, const KBN_REC& r) {
    for (std::int32_t i = 0; i < n; ++i)
        if (t[std::size_t(i)].KBN_KEY2 == r.KBN_KEY2 &&
            r.KBN_NAME.find(t[std::size_t(i)].KBN_NAME) != std::string::npos)
            return i;
    return -1;
}

TEST(ReferenceIndex, AgreesWithATableOrderScanOnRandomTables) {
    std::mt19937 rng(20261206);
    const std::vector<std::string> pieces = {"",   "養護", "机", "机机", "理科", "a",
                                             "ab", "b",    "ba", "護",   "ｱｲ"};
    auto name = [&](int parts) {
        std::string s;
        for (int i = 0; i < parts; ++i) s += pieces[rng() % pieces.size()];
        return s;
    };
    for (int round = 0; round < 300; ++round) {
        // From one large group to many groups of one or two names; every third round has
        // long names that share long prefixes and suffixes.
        const auto keys = 1 + rng() % (round % 2 == 0 ? 3u : 60u);
        const unsigned parts = round % 3 == 0 ? 40 : 3;
        std::vector<KBN_REC> refs(200);
        auto count = static_cast<std::int32_t>(rng() % 200);
        for (auto& r : refs) {
            r.KBN_NAME = name(static_cast<int>(rng() % parts));
            r.KBN_KEY2 = std::to_string(rng() % keys);
        }
        ReferenceIndex index(refs, count);
        for (int q = 0; q < 50; ++q) {
            KBN_REC r;
            r.KBN_NAME = q % 2 == 0 && count > 0
                             ? name(2) + refs[rng() % std::size_t(count)].KBN_NAME + name(2)
                             : name(static_cast<int>(rng() % (2u * parts)));
            r.KBN_KEY2 = std::to_string(rng() % (keys + 1));
            ASSERT_EQ(index.findExact(r.KBN_NAME, r.KBN_KEY2), scanExact(refs, count, r))
                << r.KBN_NAME;
            ASSERT_EQ(index.findContained(r.KBN_NAME, r.KBN_KEY2), scanContained(refs, count, r))
                << r.KBN_NAME << " round " << round;
        }
    }
}

}  // namespace
}  // namespace kbnset::update
