#include "update/reference_index.hpp"

#include <functional>
#include <string_view>
#include <utility>

namespace kbnset::update {

std::size_t ReferenceIndex::KeysHash::operator()(const Keys& keys) const {
    const std::size_t h = std::hash<std::string_view>{}(keys.first);
    return h ^
           (std::hash<std::string_view>{}(keys.second) + 0x9E3779B97F4A7C15u + (h << 6) + (h >> 2));
}

ReferenceIndex::ReferenceIndex(const std::vector<category::KBN_REC>& table, std::int32_t count,
                               std::function<bool()> stopRequested)
    : table_(table), stopRequested_(std::move(stopRequested)) {
    exact_.reserve(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) {
        const category::KBN_REC& ref = table_[static_cast<std::size_t>(i)];
        // The first row of equal keys stays: later ones are never a first match.
        exact_.try_emplace(Keys(ref.KBN_NAME, ref.KBN_KEY2), i);
        byKey2_[ref.KBN_KEY2].rows.push_back(i);
    }
}

ReferenceIndex::~ReferenceIndex() = default;

std::int32_t ReferenceIndex::findExact(const std::string& name, const std::string& key2) const {
    const auto found = exact_.find(Keys(name, key2));
    return found == exact_.end() ? kNone : found->second;
}

// Most second keys of a school's file are searched a few times with short names, where a scan
// of the group in table order costs far less than building its matcher. A scan of a name of
// n bytes costs at most n comparisons per byte of the group's names, so the names that a group
// may scan total at most kScanBytes: the scans' cost stays linear in the names' length.
constexpr std::size_t kScanBytes = 128;

std::int32_t ReferenceIndex::findContained(const std::string& name, const std::string& key2) {
    auto group = byKey2_.find(key2);
    if (group == byKey2_.end()) return kNone;
    Group& g = group->second;
    if (!g.matcher && g.scanned + name.size() <= kScanBytes) {
        g.scanned += name.size();
        for (std::int32_t row : g.rows)
            if (name.find(table_[static_cast<std::size_t>(row)].KBN_NAME) != std::string::npos)
                return row;
        return kNone;
    }
    if (!g.matcher) {
        if (!space_) space_ = std::make_unique<NameMatcher::BuildSpace>();
        std::vector<std::string_view> names;
        names.reserve(g.rows.size());
        for (std::int32_t row : g.rows)
            names.emplace_back(table_[static_cast<std::size_t>(row)].KBN_NAME);
        g.matcher = std::make_unique<NameMatcher>(names, *space_, stopRequested_);
    }
    const std::int32_t first = g.matcher->firstWithin(name);
    return first == NameMatcher::kNone ? kNone : g.rows[static_cast<std::size_t>(first)];
}

}  // namespace kbnset::update
