#pragma once

#include <cstdint>

#include "category/record.hpp"
#include "runtime/sequential.hpp"

// The category file format: a header line of 6 values, then record lines of 13 values.
namespace kbnset::category {

struct Header {
    std::int16_t HEAD_1 = 0;
    std::int32_t HEAD_2 = 0;
};

// The category file keeps its first two header values, read as numbers.
Header readCategoryHeader(runtime::SequentialReader& in);
// A reference file's first two header values may be text; nothing is kept.
void readReferenceHeader(runtime::SequentialReader& in);
// The 13 values of one record line and REC_KIND; values 11 to 13 are dropped, and the text
// values' bytes are kept in record.bytes when `keepBytes`. The code's normalisation and
// CODE_NUM are the load's business.
void readRecord(runtime::SequentialReader& in, KBN_REC& record, bool keepBytes);

void writeHeader(runtime::SequentialWriter& out, const Header& header);
// The values that the record's bytes hold are written as those bytes, but for a classification
// filled since and a code read in another form; the others (and every value of a record that
// keeps no bytes) are encoded anew.
void writeRecord(runtime::SequentialWriter& out, const KBN_REC& record);

}  // namespace kbnset::category
