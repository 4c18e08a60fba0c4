#pragma once

#include <string>

#include "category/fingerprint.hpp"
#include "category/load.hpp"
#include "category/record.hpp"

namespace kbnset::category {

// What the update run asks of a save besides the file, and learns from it.
struct Keeping {
    // Where the file that the save replaces stays, when the save changes its bytes; empty:
    // nowhere. A save that changes nothing leaves the way back that an earlier run kept.
    std::string backup;
    Fingerprint written;  // the bytes the save wrote
    bool kept = false;    // the replaced file stays under `backup`
};

// Writes KBN_TBL back to the file that KBN_LOAD read (KUBUN.KMT in DATA_DIR, its links
// followed at the load); returns whether it did. A failure is shown to the user and leaves
// the file as it was. A file that is no longer the one loaded, or holds other bytes now, is a
// failure too.
bool KBN_SAVE(const Tables& tables, const std::string& DATA_DIR, Context ctx,
              Keeping* keeping = nullptr);

}  // namespace kbnset::category
