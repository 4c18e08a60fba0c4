#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

namespace kbnset::update {

// Aho-Corasick over the characters of a list of names: one pass over a text finds the first
// name of the list (in list order) that occurs within it.
//
// The states are numbered breadth first and the children of a state are consecutive and
// sorted by character, so a state costs four 32-bit numbers and a child is found by binary
// search: memory is 16 bytes per character of the names, and a search takes time linear in
// the length of the text (the failure links' usual amortised bound), times the log of the
// number of names.
class NameMatcher {
  public:
    static constexpr std::int32_t kNone = -1;

    // What a build throws when `stopRequested` said yes.
    struct Stopped {};

    // What a build needs only while it builds; one may serve many builds, so that the matchers
    // of many small lists cost no allocations beyond their own states.
    struct BuildSpace {
        // The names running through one state: a range of `order`. While they share more than
        // a few bytes ahead (`shared`, read from one of them), a level costs one step, not one
        // per name; `consumed` is what they have read together and not yet taken from `rest`.
        struct Span {
            std::uint32_t state;
            std::size_t begin, end;
            std::string_view shared;
            std::size_t consumed;
        };
        std::vector<std::string_view> rest;  // what each name has left to read
        std::vector<std::uint32_t> order;    // names by position in the list, grouped by state
        std::vector<Span> level, nextLevel;
        std::vector<std::pair<std::uint64_t, std::uint32_t>> split;  // character and end, name
    };

    // The work the matchers of this thread have done, counted for the bounds the tests hold
    // them to: states made, bytes the builds compared, steps of the searches (a child looked
    // up, a failure link followed).
    struct Work {
        std::uint64_t states = 0, compared = 0, steps = 0;
    };
    static Work& work();

    // Names must be valid UTF-8. `stopRequested` is asked now and then while it builds, which
    // can take long.
    NameMatcher(const std::vector<std::string_view>& names, BuildSpace& space,
                const std::function<bool()>& stopRequested);

    // The position in the list of the first name that occurs within `text` (an empty name
    // occurs within every text), or kNone.
    std::int32_t firstWithin(std::string_view text) const;

  private:
    // label: the character that leads to the state; fail: the longest proper suffix that is a
    // state; out: the first name ending here or at a suffix; the children of s are the states
    // firstChild of s up to firstChild of s + 1.
    struct State {
        std::uint32_t label, fail;
        std::int32_t out;
        std::uint32_t firstChild;
    };
    static std::uint32_t child(const State* states, std::uint32_t state, std::uint32_t c);
    static std::uint32_t step(const State* states, std::uint32_t state, std::uint32_t c);
    void build(const std::vector<std::string_view>& names, BuildSpace& space,
               const std::function<bool()>& stopRequested);

    std::vector<State> states_;  // and one past the last, for its firstChild
};

}  // namespace kbnset::update
