#include "update/name_matcher.hpp"

#include <algorithm>
#include <cstring>
#include <limits>

#include "runtime/utf8.hpp"

namespace kbnset::update {

namespace {

constexpr std::int32_t kNoName = std::numeric_limits<std::int32_t>::max();
constexpr std::uint32_t kNoState = std::numeric_limits<std::uint32_t>::max();
constexpr std::size_t kSharedMinimum = 4;
// States made between two questions whether to stop: a few milliseconds of building.
constexpr std::size_t kStatesBetweenStopTests = std::size_t{1} << 16;

std::uint32_t next(std::string_view s, std::size_t& pos) {
    return static_cast<std::uint32_t>(runtime::utf8::next(s, pos));
}

}  // namespace

NameMatcher::Work& NameMatcher::work() {
    thread_local Work work;
    return work;
}

NameMatcher::NameMatcher(const std::vector<std::string_view>& names, BuildSpace& space,
                         const std::function<bool()>& stopRequested) {
    build(names, space, stopRequested);
}

// The child of `state` for `c`, or kNoState. The build uses them too: a state's failure link
// is worked out when every state it can reach has its children.
std::uint32_t NameMatcher::child(const State* states, std::uint32_t state, std::uint32_t c) {
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

std::uint32_t NameMatcher::step(const State* states, std::uint32_t state, std::uint32_t c) {
    Work& work = NameMatcher::work();
    for (;;) {
        ++work.steps;
        std::uint32_t next = child(states, state, c);
        if (next != kNoState) return next;
        if (state == 0) return 0;
        state = states[state].fail;
    }
}

std::int32_t NameMatcher::firstWithin(std::string_view text) const {
    std::uint32_t state = 0;
    std::int32_t best = states_[0].out;
    for (std::size_t pos = 0; pos < text.size();) {
        state = step(states_.data(), state, next(text, pos));
        best = std::min(best, states_[state].out);
    }
    return best == kNoName ? kNone : best;
}

// Level by level: the names still running through a state are split by their next character
// into that state's children. A state's failure link is shorter, so its children already
// exist when the link of a new state is worked out.
void NameMatcher::build(const std::vector<std::string_view>& names, BuildSpace& space,
                        const std::function<bool()>& stopRequested) {
    using Span = BuildSpace::Span;
    Work& work = NameMatcher::work();
    // Straight into the matcher's own states, with room for one per character made at once;
    // what names that share prefixes leave unused is given back at the end.
    auto& states = states_;
    auto& rest = space.rest;
    auto& order = space.order;
    auto& level = space.level;
    auto& nextLevel = space.nextLevel;
    auto& split = space.split;
    std::size_t characters = 1;
    for (std::string_view name : names)
        for (char b : name) characters += (static_cast<unsigned char>(b) & 0xC0) != 0x80;
    states.reserve(characters + 1);
    order.clear();
    rest.assign(names.begin(), names.end());

    std::int32_t first = kNoName;
    for (std::uint32_t k = 0; k < names.size(); ++k) {
        if (names[k].empty())
            first = std::min(first, static_cast<std::int32_t>(k));
        else
            order.push_back(k);
    }
    states.push_back({0, 0, first, 0});

    // The bytes that all names of order[begin, end) have ahead, short of the shortest name's
    // whole rest, so that every name still ends in a level of its own.
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
            work.compared += same + 1;
            length = same;
        }
        return length >= kSharedMinimum ? lead.substr(0, length) : std::string_view();
    };

    level.assign(1, {0, 0, order.size(),
                     order.empty() ? std::string_view() : sharedAhead(0, order.size()), 0});
    std::size_t nextStopTest = kStatesBetweenStopTests;
    while (!level.empty()) {
        nextLevel.clear();
        for (Span& span : level) {
            if (states.size() >= nextStopTest) {
                if (stopRequested()) throw Stopped{};
                nextStopTest = states.size() + kStatesBetweenStopTests;
            }
            states[span.state].firstChild = static_cast<std::uint32_t>(states.size());
            const auto link = [&](std::uint32_t c) {
                return span.state == 0 ? 0 : step(states.data(), states[span.state].fail, c);
            };
            // A character is at most four bytes: with that many shared, the character is the
            // same in every name of the span, and none of them ends.
            if (span.shared.size() >= kSharedMinimum) {
                std::size_t length = 0;
                const std::uint32_t c = next(span.shared, length);
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
                const std::uint64_t c = next(rest[k], length);
                rest[k].remove_prefix(length);
                work.compared += length;
                // By character, and the names that end there first.
                split.emplace_back(c << 1 | !rest[k].empty(), k);
            }
            std::sort(split.begin(), split.end());
            for (std::size_t i = 0; i < split.size(); ++i) order[span.begin + i] = split[i].second;
            for (std::size_t i = 0; i < split.size();) {
                const auto c = static_cast<std::uint32_t>(split[i].first >> 1);
                const auto state = static_cast<std::uint32_t>(states.size());
                const std::uint32_t fail = link(c);
                std::int32_t ends = kNoName;
                for (; i < split.size() && split[i].first == std::uint64_t{c} << 1; ++i)
                    ends = std::min(ends, static_cast<std::int32_t>(split[i].second));
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
    states.push_back({0, 0, kNoName, static_cast<std::uint32_t>(states.size())});
    work.states += states.size();
    // A copy costs as much memory again for a moment: only worth it for much room.
    if (states.capacity() - states.size() > states.size() / 4) states.shrink_to_fit();
}

}  // namespace kbnset::update
