#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "category/record.hpp"
#include "update/user_interface.hpp"

// The merge's rules read literally, slow on purpose: the indexed KBN_MERGE must fill exactly as
// this does (tests, fuzzing) and be measured against it (benchmarks).
namespace kbnset::test {

// For each ordinary record still without a classification: the first reference record in
// table order with the same name and second key; failing that, for a "養護" name, the first
// one under the same second key whose name it contains. Reports progress and yields after
// each record when given `ui`. Returns how many records it filled.
inline std::int32_t scanMerge(std::span<category::KBN_REC> records,
                              std::span<const category::KBN_REC> reference,
                              update::UserInterface* ui = nullptr) {
    constexpr std::string_view kNursingPrefix = "養護";
    std::int32_t filled = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        category::KBN_REC& record = records[i];
        if (record.REC_KIND == category::RecordKind::ordinary && record.KBN_CLASS.empty()) {
            for (const category::KBN_REC& ref : reference) {
                if (ref.KBN_NAME == record.KBN_NAME && ref.KBN_KEY2 == record.KBN_KEY2) {
                    record.KBN_CLASS = ref.KBN_CLASS;
                    break;
                }
            }
            if (record.KBN_CLASS.empty() && record.KBN_NAME.starts_with(kNursingPrefix)) {
                for (const category::KBN_REC& ref : reference) {
                    if (ref.KBN_KEY2 == record.KBN_KEY2 &&
                        record.KBN_NAME.find(ref.KBN_NAME) != std::string::npos) {
                        record.KBN_CLASS = ref.KBN_CLASS;
                        break;
                    }
                }
            }
            if (!record.KBN_CLASS.empty()) ++filled;
        }
        if (ui == nullptr) continue;
        ui->progress(static_cast<std::int32_t>(i + 1), static_cast<std::int32_t>(records.size()));
        ui->yield();
    }
    return filled;
}

// The same on the first KBN_CNT and REF_CNT records of the tables.
inline std::int32_t scanMerge(category::Tables& tables, update::UserInterface* ui = nullptr) {
    return scanMerge({tables.KBN_TBL.data(), static_cast<std::size_t>(tables.KBN_CNT)},
                     {tables.REF_TBL.data(), static_cast<std::size_t>(tables.REF_CNT)}, ui);
}

}  // namespace kbnset::test
