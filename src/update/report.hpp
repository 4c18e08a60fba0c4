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

// A change that a save made (or, in a dry run, would), kept by row: the rows' texts are made
// when the run ends, once the reference table is no longer held.
struct SavedChange {
    std::int32_t row = 0;  // in KBN_TBL
    Change::What what = Change::What::classification;
    std::string before;              // the code as read; empty for a classification
    std::int32_t referenceFile = 0;  // index into the run's reference files
};

// The rows of KBN_TBL, ascending, that are ordinary records with an empty classification.
std::vector<std::int32_t> emptyRecords(const category::Tables& tables);

// What one save changes, in line order: a record's classification when it was empty as loaded
// (`emptyAsLoaded`, from emptyRecords) and is set now, then its code when the load read it in
// another form than the one the save writes.
void addSavedChanges(const category::Tables& tables, const std::vector<std::int32_t>& emptyAsLoaded,
                     std::int32_t referenceFile, std::vector<SavedChange>& changes);

// The rows of `changes`, then a still-empty row for each of `empty`, from KBN_TBL as it is at the
// end of the run (names, second keys and saved values do not change between passes).
std::vector<Change> rowsOf(const category::Tables& tables, const std::vector<SavedChange>& changes,
                           const std::vector<std::int32_t>& empty, const std::string& dataDir,
                           const std::vector<std::string>& referenceFiles);

}  // namespace kbnset::update
