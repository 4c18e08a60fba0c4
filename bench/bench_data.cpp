#include "bench_data.hpp"

#include <array>
#include <fstream>
#include <random>
#include <span>
#include <stdexcept>
#include <vector>

#include "category/code_no.hpp"
#include "category/format.hpp"
#include "runtime/sequential.hpp"
#include "runtime/text.hpp"

namespace kbnset::bench {

namespace {

using category::KBN_REC;
using category::kTableCapacity;

constexpr std::string_view kNursingPrefix = "養護";

constexpr std::array kItems{
    "机",       "椅子",     "黒板",     "顕微鏡",   "跳び箱", "ピアノ",
    "地球儀",   "ビーカー", "三角定規", "分度器",   "ミシン", "彫刻刀",
    "オルガン", "木琴",     "鉄棒",     "マット",   "ボール", "ネット",
    "書架",     "ロッカー", "温度計",   "天秤",     "試験管", "アルコールランプ",
    "映写機",   "テレビ",   "パソコン", "プリンタ", "拡大鏡", "車椅子",
    "担架",     "体重計"};
constexpr std::array kKinds{"大型",   "小型",         "児童用", "教師用", "移動式",
                            "固定式", "折りたたみ式", "電動",   "手動",   "卓上"};
constexpr std::array kSubjects{"国語", "算数", "理科", "社会", "音楽", "図工",
                               "体育", "家庭", "英語", "保健", "特別", "事務"};
constexpr std::array kClasses{"備品", "消耗品", "教材", "図書", "器具", "機械"};
constexpr std::array kLetters{'K', 'P', 'A', 'C', 'M', 'T'};

KBN_REC blankRecord(std::int32_t i) {
    KBN_REC r;
    r.REC_KIND = category::RecordKind::ordinary;
    r.VAL_2 = static_cast<std::int16_t>(i % 100);
    r.VAL_6 = i;
    r.VAL_8 = i * 3;
    r.VAL_9 = 0;
    // Letter codes, K and P codes and plain numbers, as a school's file mixes them.
    std::int32_t n = i % 997 + 1;
    r.KBN_CODE = i % 4 == 3
                     ? std::to_string(n)
                     : std::string(1, kLetters[static_cast<std::size_t>(i) % kLetters.size()]) +
                           std::to_string(n);
    r.CODE_NUM = category::CODE_NO(r.KBN_CODE);
    return r;
}

const char* pick(std::span<const char* const> items, std::mt19937& random) {
    return items[std::uniform_int_distribution<std::size_t>(0, items.size() - 1)(random)];
}

void makeRealistic(category::Tables& t) {
    std::mt19937 random(20240401);
    std::uniform_int_distribution<int> percent(0, 99);
    std::uniform_int_distribution<int> group(1, 25);

    // The reference file: distinct names over a few hundred second keys (subject, group).
    for (std::int32_t i = 0; i < kTableCapacity; ++i) {
        KBN_REC r = blankRecord(i);
        r.KBN_NAME =
            std::string(pick(kKinds, random)) + pick(kItems, random) + std::to_string(i / 32 + 1);
        r.KBN_KEY2 = std::string(pick(kSubjects, random)) + "-" + std::to_string(group(random));
        r.KBN_CLASS = pick(kClasses, random);
        t.REF_TBL[static_cast<std::size_t>(i)] = r;
    }
    t.REF_CNT = kTableCapacity;

    // The school's file: mostly the board's categories, some of its own, some "養護" names
    // built on a board name, some management records and some classifications already set.
    std::uniform_int_distribution<std::int32_t> anyReference(0, kTableCapacity - 1);
    for (std::int32_t i = 0; i < kTableCapacity; ++i) {
        KBN_REC r = blankRecord(i);
        const KBN_REC& ref = t.REF_TBL[static_cast<std::size_t>(anyReference(random))];
        r.KBN_NAME = ref.KBN_NAME;
        r.KBN_KEY2 = ref.KBN_KEY2;
        int p = percent(random);
        if (p < 3) {
            r.REC_KIND = category::RecordKind::management;
        } else if (p < 13) {
            r.KBN_CLASS = pick(kClasses, random);
        } else if (p < 21) {
            r.KBN_NAME = std::string(kNursingPrefix) + "用" + ref.KBN_NAME;
        } else if (p < 26) {
            r.KBN_NAME = std::string(kNursingPrefix) + "学級" + pick(kItems, random) + "(自作)";
        } else if (p < 30) {
            r.KBN_NAME = std::string("学校独自") + pick(kItems, random) + std::to_string(i);
        }
        t.KBN_TBL[static_cast<std::size_t>(i)] = r;
    }
    t.KBN_CNT = kTableCapacity;
}

void makeWorst(category::Tables& t) {
    // One second key everywhere; no reference name is equal to or contained in any
    // destination name, so a scan never stops early.
    for (std::int32_t i = 0; i < kTableCapacity; ++i) {
        KBN_REC ref = blankRecord(i);
        ref.KBN_NAME = "理科器具" + std::to_string(100000 + i);
        ref.KBN_KEY2 = "共通";
        ref.KBN_CLASS = "備品";
        t.REF_TBL[static_cast<std::size_t>(i)] = ref;

        KBN_REC r = blankRecord(i);
        r.KBN_NAME = std::string(kNursingPrefix) + "教材" + std::to_string(100000 + i);
        r.KBN_KEY2 = "共通";
        t.KBN_TBL[static_cast<std::size_t>(i)] = r;
    }
    t.REF_CNT = kTableCapacity;
    t.KBN_CNT = kTableCapacity;
}

void makeLong(category::Tables& t) {
    constexpr int kKeys = 161;
    constexpr int kNamesPerKey = 31;
    auto kana = [](int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s += "ｱ";
        return s;
    };
    const std::string body = kana(2048 - 5);
    std::size_t n = 0;
    for (int k = 0; k < kKeys; ++k) {
        for (int i = 0; i < kNamesPerKey; ++i, ++n) {
            KBN_REC ref = blankRecord(static_cast<std::int32_t>(n));
            ref.KBN_NAME = body + "ｲ" + std::to_string(1000 + i);
            ref.KBN_KEY2 = std::to_string(k);
            ref.KBN_CLASS = "備品";
            t.REF_TBL[n] = ref;
        }
    }
    t.REF_CNT = static_cast<std::int32_t>(n);
    const std::string name = std::string(kNursingPrefix) + kana(4092);
    for (std::int32_t i = 0; i < kTableCapacity; ++i) {
        KBN_REC r = blankRecord(i);
        r.KBN_NAME = name;
        r.KBN_KEY2 = std::to_string(i % kKeys);
        t.KBN_TBL[static_cast<std::size_t>(i)] = r;
    }
    KBN_REC& last = t.KBN_TBL[kTableCapacity - 1];
    last.KBN_NAME = std::string(kNursingPrefix) + t.REF_TBL[n - 1].KBN_NAME;
    last.KBN_KEY2 = t.REF_TBL[n - 1].KBN_KEY2;
    t.KBN_CNT = kTableCapacity;
}

// Collects what the writer produces.
class StringOutput : public runtime::OutputFile {
  public:
    const std::string& name() const override { return name_; }
    void write(std::string_view bytes) override { bytes_ += bytes; }
    void commit() override {}

    std::string bytes_;

  private:
    std::string name_ = "memory";
};

std::string fileBytes(const std::vector<KBN_REC>& table, std::int32_t count,
                      const category::Header& header) {
    StringOutput out;
    runtime::SequentialWriter writer(out);
    category::writeHeader(writer, header);
    // As a school's file holds them: the kind's type and a remark in value 7.
    KBN_REC r;
    for (std::int32_t i = 0; i < count; ++i) {
        r = table[static_cast<std::size_t>(i)];
        category::FileBytes& b = r.bytes;
        b.kept = true;
        b.values.clear();
        using V = category::FileBytes;
        const std::pair<V::Value, std::string_view> values[] = {
            {V::type, r.REC_KIND == category::RecordKind::management ? "管理" : "一般"},
            {V::name, r.KBN_NAME},
            {V::code, r.KBN_CODE},
            {V::key2, r.KBN_KEY2},
            {V::val7, "備考"}};
        for (const auto& [v, text] : values) {
            b.values += runtime::toAnsi(text);
            b.ends[v] = static_cast<std::uint32_t>(b.values.size());
        }
        b.cls = runtime::toAnsi(r.KBN_CLASS);
        category::writeRecord(writer, r);
    }
    return out.bytes_;
}

}  // namespace

std::string_view nameOf(DataSet set) {
    switch (set) {
        case DataSet::Realistic:
            return "realistic";
        case DataSet::Worst:
            return "worst";
        case DataSet::Long:
            break;
    }
    return "long";
}

category::Tables makeTables(DataSet set) {
    category::Tables t;
    t.HEAD_1 = 3;
    t.HEAD_2 = 120;
    switch (set) {
        case DataSet::Realistic:
            makeRealistic(t);
            break;
        case DataSet::Worst:
            makeWorst(t);
            break;
        case DataSet::Long:
            makeLong(t);
            break;
    }
    return t;
}

std::string categoryFileBytes(const category::Tables& tables) {
    return fileBytes(tables.KBN_TBL, tables.KBN_CNT, {tables.HEAD_1, tables.HEAD_2});
}

std::string referenceFileBytes(const category::Tables& tables) {
    return fileBytes(tables.REF_TBL, tables.REF_CNT, {1, 0});
}

}  // namespace kbnset::bench
