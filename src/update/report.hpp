#pragma once

#include <cstdint>
#include <string>

namespace kbnset::update {
// One row of a run's record: a value the run changed on disk, or an ordinary record whose
// classification is still empty after the run.
struct Change {
    enum class What { classification, code, stillEmpty };
    std::string dataDir;  // the data folder
    std::int32_t line =
        0;             // where the record begins in KUBUN.KMT as it is after the run (header = 1)
    std::string name;  // KBN_NAME
    std::string key2;  // KBN_KEY2
    What what = What::classification;
    std::string before;         // the value as read
    std::string after;          // the value as saved; empty for stillEmpty
    std::string referenceFile;  // the reference file that gave the classification; else empty
};
}  // namespace kbnset::update
