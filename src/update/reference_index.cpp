#include "update/reference_index.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>
#include <utility>

#include "category/fingerprint.hpp"

namespace kbnset::update {

namespace {

// The character that begins at `pos`, and moves `pos` past it. Names are valid UTF-8 (they
// were decoded from the file), and a character match is then exactly a byte match; a
// malformed byte stands for itself, as a value no character has.
inline std::uint32_t nextCharacter(std::string_view s, std::size_t& pos) {
    auto byte = [&s](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    // Japanese names are mostly three-byte characters.
    if ((lead & 0xF0) == 0xE0 && pos + 3 <= s.size() && (byte(pos + 1) & 0xC0) == 0x80 &&
        (byte(pos + 2) & 0xC0) == 0x80) {
        const std::uint32_t c =
            (lead & 0x0Fu) << 12 | (byte(pos + 1) & 0x3Fu) << 6 | (byte(pos + 2) & 0x3Fu);
        pos += 3;
        return c;
    }
    std::size_t length = lead < 0x80 ? 1 : lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (length > 1 && pos + length <= s.size()) {
        std::uint32_t c = lead & (0x7Fu >> length);
        std::size_t k = 1;
        for (; k < length && (byte(pos + k) & 0xC0) == 0x80; ++k)
            c = (c << 6) | (byte(pos + k) & 0x3Fu);
        if (k == length) {
            pos += length;
            return c;
        }
    }
    ++pos;
    return lead < 0x80 ? lead : 0x110000u + lead;
}

}  // namespace

// What building a matcher needs only while it builds; one per index, so that the matchers of
// many small groups cost no allocations beyond their own states.
struct ReferenceIndex::BuildSpace {
    // The names running through one state: a range of `order`. While they share more than a
    // few bytes ahead (`shared`, read from one of them), a level costs one step, not one per
    // name; `consumed` is what they have read together and not yet taken from `rest`.
    struct Span {
        std::uint32_t state;
        std::size_t begin, end;
        std::string_view shared;
        std::size_t consumed;
    };
    std::vector<std::string_view> rest;  // what each name has left to read
    std::vector<std::uint32_t> order;    // names by position in the group, grouped by state
    std::vector<Span> level, nextLevel;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> split;  // character and end, name
};

// Aho-Corasick over the characters of the reference names that share one KBN_KEY2. Each state
// knows the smallest table index among the names that end there or at one of its suffixes, so
// one pass over a name finds the first reference record in table order that occurs within it.
//
// The states are numbered breadth first and the children of a state are consecutive and
// sorted by character, so a state costs four 32-bit numbers and a child is found by binary
// search: memory is 16 bytes per character of the names, and a search takes time linear in
// the length of the name searched (the failure links' usual amortised bound), times the log
// of the number of names.
class ReferenceIndex::NameMatcher {
  public:
    NameMatcher(const std::vector<category::KBN_REC>& table, const std::vector<std::int32_t>& rows,
                BuildSpace& space, const std::function<bool()>& stopRequested) {
        build(table, rows, space, stopRequested);
    }

    std::int32_t firstWithin(std::string_view name) const {
        std::uint32_t state = 0;
        std::int32_t best = states_[0].out;
        for (std::size_t pos = 0; pos < name.size();) {
            state = step(states_.data(), state, nextCharacter(name, pos));
            best = std::min(best, states_[state].out);
        }
        return best == kNoRow ? kNone : best;
    }

  private:
    static constexpr std::int32_t kNoRow = std::numeric_limits<std::int32_t>::max();
    static constexpr std::size_t kSharedMinimum = 4;
    // States made between two questions whether to stop: a few milliseconds of building.
    static constexpr std::size_t kStatesBetweenStopTests = std::size_t{1} << 16;

    // label: the character that leads to the state; fail: the longest proper suffix that is a
    // state; out: the first row ending here or at a suffix; the children of s are the states
    // firstChild of s up to firstChild of s + 1.
    struct State {
        std::uint32_t label, fail;
        std::int32_t out;
        std::uint32_t firstChild;
    };

    // The child of `state` for `c`, or kNoState. The build uses them too: a state's failure
    // link is worked out when every state it can reach has its children.
    static constexpr std::uint32_t kNoState = std::numeric_limits<std::uint32_t>::max();
    static std::uint32_t child(const State* states, std::uint32_t state, std::uint32_t c) {
        std::uint32_t lo = states[state].firstChild;
        const std::uint32_t end = states[state + 1].firstChild;
        std::uint32_t hi = end;
        while (lo < hi) {
            const std::uint32_t mid = lo + (hi - lo) / 2;
            if (states[mid].label < c)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo < end && states[lo].label == c ? lo : kNoState;
    }

    static std::uint32_t step(const State* states, std::uint32_t state, std::uint32_t c) {
        for (;;) {
            std::uint32_t next = child(states, state, c);
            if (next != kNoState) return next;
            if (state == 0) return 0;
            state = states[state].fail;
        }
    }

    // Level by level: the names still running through a state are split by their next
    // character into that state's children. A state's failure link is shorter, so its
    // children already exist when the link of a new state is worked out.
    void build(const std::vector<category::KBN_REC>& table, const std::vector<std::int32_t>& rows,
               BuildSpace& space, const std::function<bool()>& stopRequested) {
        auto nameOf = [&](std::uint32_t k) -> std::string_view {
            return table[static_cast<std::size_t>(rows[k])].KBN_NAME;
        };
        // Straight into the matcher's own states, with room for one per character made at
        // once; what names that share prefixes leave unused is given back at the end.
        auto& states = states_;
        auto& rest = space.rest;
        auto& order = space.order;
        auto& level = space.level;
        auto& nextLevel = space.nextLevel;
        auto& split = space.split;
        std::size_t characters = 1;
        for (std::uint32_t k = 0; k < rows.size(); ++k)
            for (char b : nameOf(k)) characters += (static_cast<unsigned char>(b) & 0xC0) != 0x80;
        states.reserve(characters + 1);
        order.clear();
        rest.resize(rows.size());
        for (std::uint32_t k = 0; k < rows.size(); ++k) rest[k] = nameOf(k);

        std::int32_t first = kNoRow;
        for (std::uint32_t k = 0; k < rows.size(); ++k) {
            if (nameOf(k).empty())
                first = std::min(first, rows[k]);
            else
                order.push_back(k);
        }
        states.push_back({0, 0, first, 0});

        // The bytes that all names of order[begin, end) have ahead, short of the shortest
        // name's whole rest, so that every name still ends in a level of its own.
        auto sharedAhead = [&](std::size_t begin, std::size_t end) -> std::string_view {
            std::string_view lead = rest[order[begin]];
            std::size_t length = lead.size();
            for (std::size_t i = begin; i < end && length >= kSharedMinimum; ++i) {
                std::string_view other = rest[order[i]];
                length = std::min(length, other.size());
                std::size_t same = 0;
                while (same + 64 <= length &&
                       std::memcmp(lead.data() + same, other.data() + same, 64) == 0)
                    same += 64;
                while (same < length && lead[same] == other[same]) ++same;
                length = same;
            }
            return length >= kSharedMinimum ? lead.substr(0, length) : std::string_view();
        };

        level.assign(1, {0, 0, order.size(),
                         order.empty() ? std::string_view() : sharedAhead(0, order.size()), 0});
        std::size_t nextStopTest = kStatesBetweenStopTests;
        while (!level.empty()) {
            nextLevel.clear();
            for (BuildSpace::Span& span : level) {
                if (states.size() >= nextStopTest) {
                    if (stopRequested()) throw Stopped{};
                    nextStopTest = states.size() + kStatesBetweenStopTests;
                }
                states[span.state].firstChild = static_cast<std::uint32_t>(states.size());
                const auto link = [&](std::uint32_t c) {
                    return span.state == 0 ? 0 : step(states.data(), states[span.state].fail, c);
                };
                // nextCharacter looks at most four bytes ahead: with that many shared, the
                // character is the same in every name of the span, and none of them ends.
                if (span.shared.size() >= kSharedMinimum) {
                    std::size_t length = 0;
                    const std::uint32_t c = nextCharacter(span.shared, length);
                    const auto state = static_cast<std::uint32_t>(states.size());
                    const std::uint32_t fail = link(c);
                    states.push_back({c, fail, states[fail].out, 0});
                    nextLevel.push_back({state, span.begin, span.end, span.shared.substr(length),
                                         span.consumed + length});
                    continue;
                }
                split.clear();
                for (std::size_t i = span.begin; i < span.end; ++i) {
                    const std::uint32_t k = order[i];
                    rest[k].remove_prefix(span.consumed);
                    std::size_t length = 0;
                    const std::uint64_t c = nextCharacter(rest[k], length);
                    rest[k].remove_prefix(length);
                    // By character, and the names that end there first.
                    split.emplace_back(c << 1 | !rest[k].empty(), k);
                }
                std::sort(split.begin(), split.end());
                for (std::size_t i = 0; i < split.size(); ++i)
                    order[span.begin + i] = split[i].second;
                for (std::size_t i = 0; i < split.size();) {
                    const auto c = static_cast<std::uint32_t>(split[i].first >> 1);
                    const auto state = static_cast<std::uint32_t>(states.size());
                    const std::uint32_t fail = link(c);
                    std::int32_t ends = kNoRow;
                    for (; i < split.size() && split[i].first == std::uint64_t{c} << 1; ++i)
                        ends = std::min(ends, rows[split[i].second]);
                    const std::size_t begin = span.begin + i;
                    for (; i < split.size() && split[i].first >> 1 == c; ++i) {
                    }
                    const std::size_t end = span.begin + i;
                    states.push_back({c, fail, std::min(ends, states[fail].out), 0});
                    nextLevel.push_back({state, begin, end,
                                         begin < end ? sharedAhead(begin, end) : std::string_view(),
                                         0});
                }
            }
            std::swap(level, nextLevel);
        }
        states.push_back({0, 0, kNoRow, static_cast<std::uint32_t>(states.size())});
        // A copy costs as much memory again for a moment: only worth it for much room.
        if (states.capacity() - states.size() > states.size() / 4) states.shrink_to_fit();
    }

    std::vector<State> states_;  // and one past the last, for its firstChild
};

std::uint64_t ReferenceIndex::hashKeys(std::string_view name, std::string_view key2) {
    const std::uint64_t h = category::hashText(name);
    return h ^ (category::hashText(key2) + 0x9E3779B97F4A7C15u + (h << 6) + (h >> 2));
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
    std::unique_ptr<NameMatcher>& matcher = group->second.matcher;
    if (!matcher && group->second.scanned + name.size() <= kScanBytes) {
        group->second.scanned += name.size();
        for (std::int32_t row : group->second.rows)
            if (name.find(table_[static_cast<std::size_t>(row)].KBN_NAME) != std::string::npos)
                return row;
        return kNone;
    }
    if (!matcher) {
        if (!space_) space_ = std::make_unique<BuildSpace>();
        matcher =
            std::make_unique<NameMatcher>(table_, group->second.rows, *space_, stopRequested_);
    }
    return matcher->firstWithin(name);
}

}  // namespace kbnset::update
