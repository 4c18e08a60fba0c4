#pragma once

#include <string>

#include "category/load.hpp"
#include "category/record.hpp"

namespace kbnset::category {

// Writes KBN_TBL back to KUBUN.KMT in DATA_DIR; returns whether it did. A failure is shown
// to the user and leaves the file as it was.
bool KBN_SAVE(const Tables& tables, const std::string& DATA_DIR, Context ctx);

}  // namespace kbnset::category
