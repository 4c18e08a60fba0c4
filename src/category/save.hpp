#pragma once

#include <string>

#include "category/load.hpp"
#include "category/record.hpp"

namespace kbnset::category {

// Writes KBN_TBL back to the file that KBN_LOAD read (KUBUN.KMT in DATA_DIR, its links
// followed at the load); returns whether it did. A failure is shown to the user and leaves
// the file as it was. A file that is no longer the one loaded, or holds other bytes now, is a
// failure too.
bool KBN_SAVE(const Tables& tables, const std::string& DATA_DIR, Context ctx);

}  // namespace kbnset::category
