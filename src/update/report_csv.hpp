#pragma once

#include <string>
#include <vector>

#include "update/report.hpp"

// The run's record as CSV (RFC 4180, CR LF), one row per change, for Excel as much as for a
// script: a file gets UTF-8 with a byte order mark, which Excel on Japanese Windows needs to
// read it as UTF-8, and which keeps characters of a folder name that CP932 lacks.
namespace kbnset::update {

inline constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

// The header row.
std::string reportHeader();
// The rows of `changes`, without a header.
std::string reportRows(const std::vector<Change>& changes);

}  // namespace kbnset::update
