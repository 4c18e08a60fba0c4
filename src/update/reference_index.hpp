#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "category/record.hpp"
#include "update/name_matcher.hpp"

namespace kbnset::update {

// Answers the merge's two searches over the reference table with the same result as a scan
// in table order (the first match wins), without scanning the table for every record.
class ReferenceIndex {
  public:
    static constexpr std::int32_t kNone = -1;
    using Stopped = NameMatcher::Stopped;

    // `stopRequested` is asked now and then while a matcher is built, which can take long.
    ReferenceIndex(
        const std::vector<category::KBN_REC>& table, std::int32_t count,
        std::function<bool()> stopRequested = [] { return false; });
    ~ReferenceIndex();
    ReferenceIndex(const ReferenceIndex&) = delete;
    ReferenceIndex& operator=(const ReferenceIndex&) = delete;

    // The first record whose KBN_NAME equals `name` and whose KBN_KEY2 equals `key2`.
    std::int32_t findExact(const std::string& name, const std::string& key2) const;
    // The first record whose KBN_KEY2 equals `key2` and whose KBN_NAME occurs within `name`
    // (an empty KBN_NAME occurs within every name). Time linear in the length of `name`.
    // Throws Stopped.
    std::int32_t findContained(const std::string& name, const std::string& key2);

  private:
    struct Group {
        std::vector<std::int32_t> rows;
        std::size_t scanned = 0;               // bytes of the names searched by a scan so far
        std::unique_ptr<NameMatcher> matcher;  // built once scans would cost more
    };
    static std::uint64_t hashKeys(std::string_view name, std::string_view key2);

    const std::vector<category::KBN_REC>& table_;
    // Open addressing over (hash, first row) of both keys: one probe is usually one cache line.
    // std::unordered_map with try_emplace cost 2 ms more of a 30 ms whole run (its nodes, and
    // std::hash on long names).
    struct Slot {
        std::uint64_t hash = 0;
        std::int32_t row = kNone;
    };
    std::vector<Slot> exact_;
    std::size_t mask_ = 0;
    std::unordered_map<std::string_view, Group> byKey2_;  // views of the table's own strings
    std::unique_ptr<NameMatcher::BuildSpace> space_;      // kept from one build to the next
    std::function<bool()> stopRequested_;
};

}  // namespace kbnset::update
