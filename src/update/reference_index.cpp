#include "update/reference_index.hpp"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <functional>
#include <string_view>
#include <utility>

namespace kbnset::update {

// XXH3 is several times faster than std::hash on long names; header only, so the Windows
// build takes the same header with nothing to link.
std::uint64_t ReferenceIndex::hashKeys(std::string_view name, std::string_view key2) {
    const std::uint64_t h = XXH3_64bits(name.data(), name.size());
    return h ^ (XXH3_64bits(key2.data(), key2.size()) + 0x9E3779B97F4A7C15u + (h << 6) + (h >> 2));
}

ReferenceIndex::ReferenceIndex(const std::vector<category::KBN_REC>& table, std::int32_t count,
                               std::function<bool()> stopRequested)
    : table_(table), stopRequested_(std::move(stopRequested)) {
    std::size_t size = 16;
    while (size < 2 * static_cast<std::size_t>(count)) size *= 2;
    exact_.resize(size);
    mask_ = size - 1;
    for (std::int32_t i = 0; i < count; ++i) {
        const category::KBN_REC& ref = table_[static_cast<std::size_t>(i)];
        const std::uint64_t hash = hashKeys(ref.KBN_NAME, ref.KBN_KEY2);
        // The first row of equal keys keeps the slot: later ones are never a first match.
        for (std::size_t s = hash & mask_;; s = (s + 1) & mask_) {
            Slot& slot = exact_[s];
            if (slot.row == kNone) {
                slot = {hash, i};
                break;
            }
            const category::KBN_REC& other = table_[static_cast<std::size_t>(slot.row)];
            if (slot.hash == hash && other.KBN_NAME == ref.KBN_NAME &&
                other.KBN_KEY2 == ref.KBN_KEY2)
                break;
        }
        byKey2_[ref.KBN_KEY2].rows.push_back(i);
    }
}

ReferenceIndex::~ReferenceIndex() = default;

std::int32_t ReferenceIndex::findExact(const std::string& name, const std::string& key2) const {
    const std::uint64_t hash = hashKeys(name, key2);
    for (std::size_t s = hash & mask_;; s = (s + 1) & mask_) {
        const Slot& slot = exact_[s];
        if (slot.row == kNone) return kNone;
        const category::KBN_REC& ref = table_[static_cast<std::size_t>(slot.row)];
        if (slot.hash == hash && ref.KBN_NAME == name && ref.KBN_KEY2 == key2) return slot.row;
    }
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
