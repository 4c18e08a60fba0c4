#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "category/record.hpp"

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

// The rows of KBN_TBL, ascending, that are ordinary records with an empty classification.
std::vector<std::int32_t> emptyRecords(const category::Tables& tables);

// The rows that one save gives (or, in a dry run, would), in line order: a record's
// classification when it was empty as loaded (`emptyAsLoaded`, from emptyRecords) and is set
// now, then its code when the load read it in another form than the one the save writes.
void addSavedChanges(const category::Tables& tables, const std::vector<std::int32_t>& emptyAsLoaded,
                     const std::string& dataDir, const std::string& referenceFile,
                     std::vector<Change>& rows);

// A still-empty row for each of `empty` (from emptyRecords), in line order.
void addStillEmpty(const category::Tables& tables, const std::vector<std::int32_t>& empty,
                   const std::string& dataDir, std::vector<Change>& rows);

}  // namespace kbnset::update
