#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "category/record.hpp"
#include "update/user_interface.hpp"

namespace kbnset::test {

// The merge's rules read literally, slow on purpose; the indexed KBN_MERGE must fill exactly as
// this does (tests, fuzzing) and is measured against it (benchmarks). For each ordinary record
// still without a classification: the first reference record in table order with the same
// name and second key; failing that, for a "養護" name, the first one under the same second key
// whose name it contains. Reports progress and yields after each record when given `ui`.
// Returns how many records it filled.
inline std::int32_t scanMerge(std::span<category::KBN_REC> records,
                              std::span<const category::KBN_REC> reference,
                              update::UserInterface* ui = nullptr) {
    auto firstClass = [&reference](auto matches) {
        for (const category::KBN_REC& ref : reference)
            if (matches(ref)) return ref.KBN_CLASS;
        return std::string();
    };
    std::int32_t filled = 0, done = 0;
    for (category::KBN_REC& r : records) {
        if (r.REC_KIND == category::RecordKind::ordinary && r.KBN_CLASS.empty()) {
            r.KBN_CLASS = firstClass([&r](const category::KBN_REC& ref) {
                return ref.KBN_NAME == r.KBN_NAME && ref.KBN_KEY2 == r.KBN_KEY2;
            });
            if (r.KBN_CLASS.empty() && r.KBN_NAME.starts_with("養護"))
                r.KBN_CLASS = firstClass([&r](const category::KBN_REC& ref) {
                    return ref.KBN_KEY2 == r.KBN_KEY2 &&
                           r.KBN_NAME.find(ref.KBN_NAME) != std::string::npos;
                });
            filled += r.KBN_CLASS.empty() ? 0 : 1;
        }
        if (ui == nullptr) continue;
        ui->progress(++done, static_cast<std::int32_t>(records.size()));
        ui->yield();
    }
    return filled;
}

// The same on the first KBN_CNT and REF_CNT records of the tables.
inline std::int32_t scanMerge(category::Tables& t, update::UserInterface* ui = nullptr) {
    return scanMerge({t.KBN_TBL.data(), static_cast<std::size_t>(t.KBN_CNT)},
                     {t.REF_TBL.data(), static_cast<std::size_t>(t.REF_CNT)}, ui);
}

}  // namespace kbnset::test
