#include "update/merge.hpp"

#include <string_view>

#include "update/reference_index.hpp"

namespace kbnset::update {

namespace {
constexpr std::string_view kNursingPrefix = "養護";
}  // namespace

std::int32_t KBN_MERGE(category::Tables& tables, const StopFlag& STOP_FLG, UserInterface& ui) {
    ReferenceIndex references(tables.REF_TBL, tables.REF_CNT, [&STOP_FLG, &ui] {
        ui.yield();
        return STOP_FLG != StopFlag::none;
    });
    const std::int32_t count = tables.KBN_CNT;
    std::int32_t filled = 0;

    for (std::int32_t i = 0; i < count; ++i) {
        category::KBN_REC& record = tables.KBN_TBL[static_cast<std::size_t>(i)];
        if (record.REC_KIND == category::RecordKind::ordinary && record.KBN_CLASS.empty()) {
            std::int32_t match = references.findExact(record.KBN_NAME, record.KBN_KEY2);
            if (match != ReferenceIndex::kNone)
                record.KBN_CLASS = tables.REF_TBL[static_cast<std::size_t>(match)].KBN_CLASS;
            if (record.KBN_CLASS.empty() && record.KBN_NAME.starts_with(kNursingPrefix)) {
                try {
                    match = references.findContained(record.KBN_NAME, record.KBN_KEY2);
                } catch (const ReferenceIndex::Stopped&) {
                    break;
                }
                if (match != ReferenceIndex::kNone)
                    record.KBN_CLASS = tables.REF_TBL[static_cast<std::size_t>(match)].KBN_CLASS;
            }
            if (!record.KBN_CLASS.empty()) ++filled;
        }
        if (STOP_FLG == StopFlag::requested) break;
        ui.progress(i + 1, count);
        ui.yield();
    }
    return filled;
}

}  // namespace kbnset::update
