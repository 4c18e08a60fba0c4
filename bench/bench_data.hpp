#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "category/record.hpp"
#include "update/user_interface.hpp"

// Full tables for the benchmarks, and the helpers that put them on disk.
namespace kbnset::bench {

enum class DataSet {
    // One school's file against the board's reference file: most records match exactly.
    Realistic,
    // Nothing matches and every ordinary record qualifies for both searches, each over the
    // whole reference table when it is scanned.
    Worst,
    // Long names: 161 second keys of 31 reference names of 2,048 half-width kana that differ
    // only at their end, and 5,011 "養護" names of 4,094 characters, one of which matches.
    Long,
};

std::string_view nameOf(DataSet set);

// Both tables filled to kTableCapacity, deterministic for a data set.
category::Tables makeTables(DataSet set);

// Neither shows nor waits; counts messages so that a run that failed is noticed.
class NullUi : public update::UserInterface {
  public:
    void showMessage(std::string_view /*text*/) override { ++messages; }
    void setBusy(bool /*busy*/) override {}
    void progress(std::int32_t /*done*/, std::int32_t /*total*/) override {}
    void yield() override {}

    int messages = 0;
};

// The bytes of a category file holding KBN_TBL (as the save writes it) or REF_TBL.
std::string categoryFileBytes(const category::Tables& tables);
std::string referenceFileBytes(const category::Tables& tables);

}  // namespace kbnset::bench
