#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "category/record.hpp"

namespace kbnset::update {

// Answers the merge's two searches over the reference table with the same result as a scan
// in table order (the first match wins), without scanning the table for every record.
class ReferenceIndex {
  public:
    static constexpr std::int32_t kNone = -1;

    ReferenceIndex(const std::vector<category::KBN_REC>& table, std::int32_t count);
    ~ReferenceIndex();
    ReferenceIndex(const ReferenceIndex&) = delete;
    ReferenceIndex& operator=(const ReferenceIndex&) = delete;

    // The first record whose KBN_NAME equals `name` and whose KBN_KEY2 equals `key2`.
    std::int32_t findExact(const std::string& name, const std::string& key2) const;
    // The first record whose KBN_KEY2 equals `key2` and whose KBN_NAME occurs within `name`
    // (an empty KBN_NAME occurs within every name). Time linear in the length of `name`.
    std::int32_t findContained(const std::string& name, const std::string& key2);

  private:
    class NameMatcher;

    const std::vector<category::KBN_REC>& table_;
    std::int32_t count_;
    std::unordered_map<std::string, std::int32_t> exact_;  // name NUL key2 -> first index
    std::unordered_map<std::string, std::vector<std::int32_t>> byKey2_;
    // One matcher per KBN_KEY2, built the first time a containment search needs it.
    std::unordered_map<std::string, std::unique_ptr<NameMatcher>> matchers_;
};

}  // namespace kbnset::update
