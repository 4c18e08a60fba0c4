#include "update/report.hpp"

#include <algorithm>

namespace kbnset::update {

namespace {

Change rowOf(const category::KBN_REC& r, const std::string& dataDir, Change::What what) {
    return {dataDir, r.line, r.KBN_NAME, r.KBN_KEY2, what, {}, {}, {}};
}

}  // namespace

std::vector<std::int32_t> emptyRecords(const category::Tables& tables) {
    std::vector<std::int32_t> empty;
    for (std::int32_t i = 0; i < tables.KBN_CNT; ++i) {
        const category::KBN_REC& r = tables.KBN_TBL[static_cast<std::size_t>(i)];
        if (r.REC_KIND == category::RecordKind::ordinary && r.KBN_CLASS.empty()) empty.push_back(i);
    }
    return empty;
}

void addSavedChanges(const category::Tables& tables, const std::vector<std::int32_t>& emptyAsLoaded,
                     const std::string& dataDir, const std::string& referenceFile,
                     std::vector<Change>& rows) {
    auto wasEmpty = emptyAsLoaded.begin();
    for (std::int32_t i = 0; i < tables.KBN_CNT; ++i) {
        const category::KBN_REC& r = tables.KBN_TBL[static_cast<std::size_t>(i)];
        while (wasEmpty != emptyAsLoaded.end() && *wasEmpty < i) ++wasEmpty;
        if (wasEmpty != emptyAsLoaded.end() && *wasEmpty == i && !r.KBN_CLASS.empty()) {
            Change& row = rows.emplace_back(rowOf(r, dataDir, Change::What::classification));
            row.after = r.KBN_CLASS;
            row.referenceFile = referenceFile;
        }
        if (!r.codeAsRead.empty()) {
            Change& row = rows.emplace_back(rowOf(r, dataDir, Change::What::code));
            row.before = r.codeAsRead;
            row.after = r.KBN_CODE;
        }
    }
}

void addStillEmpty(const category::Tables& tables, const std::vector<std::int32_t>& empty,
                   const std::string& dataDir, std::vector<Change>& rows) {
    for (std::int32_t i : empty)
        rows.push_back(
            rowOf(tables.KBN_TBL[static_cast<std::size_t>(i)], dataDir, Change::What::stillEmpty));
}

}  // namespace kbnset::update
