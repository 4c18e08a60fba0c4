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
                     std::int32_t referenceFile, std::vector<SavedChange>& changes) {
    auto wasEmpty = emptyAsLoaded.begin();
    for (std::int32_t i = 0; i < tables.KBN_CNT; ++i) {
        const category::KBN_REC& r = tables.KBN_TBL[static_cast<std::size_t>(i)];
        while (wasEmpty != emptyAsLoaded.end() && *wasEmpty < i) ++wasEmpty;
        if (wasEmpty != emptyAsLoaded.end() && *wasEmpty == i && !r.KBN_CLASS.empty())
            changes.push_back({i, Change::What::classification, {}, referenceFile});
        if (!r.codeAsRead.empty()) changes.push_back({i, Change::What::code, r.codeAsRead, 0});
    }
}

std::vector<Change> rowsOf(const category::Tables& tables, const std::vector<SavedChange>& changes,
                           const std::vector<std::int32_t>& empty, const std::string& dataDir,
                           const std::vector<std::string>& referenceFiles) {
    std::vector<Change> rows;
    rows.reserve(changes.size() + empty.size());
    for (const SavedChange& c : changes) {
        const category::KBN_REC& r = tables.KBN_TBL[static_cast<std::size_t>(c.row)];
        Change& row = rows.emplace_back(rowOf(r, dataDir, c.what));
        row.before = c.before;
        if (c.what == Change::What::code) {
            row.after = r.KBN_CODE;
        } else {
            row.after = r.KBN_CLASS;
            row.referenceFile = referenceFiles.at(static_cast<std::size_t>(c.referenceFile));
        }
    }
    for (std::int32_t i : empty)
        rows.push_back(
            rowOf(tables.KBN_TBL[static_cast<std::size_t>(i)], dataDir, Change::What::stillEmpty));
    return rows;
}

}  // namespace kbnset::update
