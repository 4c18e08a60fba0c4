#include "update/reference_index.hpp"

#include <algorithm>
#include <deque>
#include <limits>

namespace kbnset::update {

namespace {

// Text read from a file never holds NUL, so it can join the two keys.
std::string exactKey(const std::string& name, const std::string& key2) {
    std::string key;
    key.reserve(name.size() + 1 + key2.size());
    key.append(name).push_back('\0');
    key.append(key2);
    return key;
}

}  // namespace

// Aho-Corasick over the bytes of the reference names that share one KBN_KEY2. UTF-8 never
// matches inside a character, so a byte match is a character match. Each state knows the
// smallest table index among all names that end there, its suffixes included, so one pass
// over a name finds the first reference record in table order that occurs within it.
class ReferenceIndex::NameMatcher {
  public:
    NameMatcher(const std::vector<category::KBN_REC>& table,
                const std::vector<std::int32_t>& rows) {
        states_.emplace_back();
        for (std::int32_t row : rows) {
            std::int32_t state = 0;
            for (char c : table[static_cast<std::size_t>(row)].KBN_NAME) {
                auto byte = static_cast<unsigned char>(c);
                auto [it, added] = next_.try_emplace(edge(state, byte), 0);
                if (added) {
                    it->second = static_cast<std::int32_t>(states_.size());
                    states_.emplace_back();
                    children_.push_back({state, byte});
                }
                state = it->second;
            }
            State& end = states_[static_cast<std::size_t>(state)];
            end.first = std::min(end.first, row);
        }
        link();
    }

    std::int32_t firstWithin(const std::string& name) const {
        std::int32_t state = 0;
        std::int32_t best = states_[0].firstWithSuffixes;
        for (char c : name) {
            state = step(state, static_cast<unsigned char>(c));
            best = std::min(best, states_[static_cast<std::size_t>(state)].firstWithSuffixes);
        }
        return best == kNoRow ? kNone : best;
    }

  private:
    static constexpr std::int32_t kNoRow = std::numeric_limits<std::int32_t>::max();

    struct State {
        std::int32_t fail = 0;
        std::int32_t first = kNoRow;
        std::int32_t firstWithSuffixes = kNoRow;
    };
    struct Child {
        std::int32_t parent;
        unsigned char byte;
    };

    static std::uint64_t edge(std::int32_t state, unsigned char byte) {
        return (static_cast<std::uint64_t>(state) << 8) | byte;
    }

    std::int32_t step(std::int32_t state, unsigned char byte) const {
        for (;;) {
            auto it = next_.find(edge(state, byte));
            if (it != next_.end()) return it->second;
            if (state == 0) return 0;
            state = states_[static_cast<std::size_t>(state)].fail;
        }
    }

    // States were numbered in insertion order, so a parent always precedes its child, but a
    // failure link can point to any shorter state: go breadth first.
    void link() {
        std::vector<std::vector<std::int32_t>> kids(states_.size());
        for (std::size_t s = 1; s < states_.size(); ++s)
            kids[static_cast<std::size_t>(children_[s - 1].parent)].push_back(
                static_cast<std::int32_t>(s));
        states_[0].firstWithSuffixes = states_[0].first;
        std::deque<std::int32_t> queue(kids[0].begin(), kids[0].end());
        while (!queue.empty()) {
            std::int32_t s = queue.front();
            queue.pop_front();
            const Child& child = children_[static_cast<std::size_t>(s - 1)];
            State& state = states_[static_cast<std::size_t>(s)];
            state.fail =
                child.parent == 0
                    ? 0
                    : step(states_[static_cast<std::size_t>(child.parent)].fail, child.byte);
            state.firstWithSuffixes = std::min(
                state.first, states_[static_cast<std::size_t>(state.fail)].firstWithSuffixes);
            for (std::int32_t k : kids[static_cast<std::size_t>(s)]) queue.push_back(k);
        }
    }

    std::vector<State> states_;
    std::vector<Child> children_;  // children_[s - 1] made state s
    std::unordered_map<std::uint64_t, std::int32_t> next_;
};

ReferenceIndex::ReferenceIndex(const std::vector<category::KBN_REC>& table, std::int32_t count)
    : table_(table), count_(count) {
    for (std::int32_t i = 0; i < count_; ++i) {
        const category::KBN_REC& ref = table_[static_cast<std::size_t>(i)];
        exact_.try_emplace(exactKey(ref.KBN_NAME, ref.KBN_KEY2), i);
        byKey2_[ref.KBN_KEY2].push_back(i);
    }
}

ReferenceIndex::~ReferenceIndex() = default;

std::int32_t ReferenceIndex::findExact(const std::string& name, const std::string& key2) const {
    auto it = exact_.find(exactKey(name, key2));
    return it == exact_.end() ? kNone : it->second;
}

std::int32_t ReferenceIndex::findContained(const std::string& name, const std::string& key2) {
    auto rows = byKey2_.find(key2);
    if (rows == byKey2_.end()) return kNone;
    // A few names are quicker to search one by one than to build a matcher for.
    if (rows->second.size() < kScanLimit) {
        for (std::int32_t row : rows->second)
            if (name.find(table_[static_cast<std::size_t>(row)].KBN_NAME) != std::string::npos)
                return row;
        return kNone;
    }
    std::unique_ptr<NameMatcher>& matcher = matchers_[key2];
    if (!matcher) matcher = std::make_unique<NameMatcher>(table_, rows->second);
    return matcher->firstWithin(name);
}

}  // namespace kbnset::update
