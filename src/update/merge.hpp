#pragma once

#include <cstdint>

#include "category/record.hpp"
#include "update/run.hpp"
#include "update/user_interface.hpp"

namespace kbnset::update {

// Gives every ordinary record of KBN_TBL whose classification is empty the classification of
// the first matching reference record: equal name and KBN_KEY2, or, for a name that begins
// with "養護", a reference name within it and an equal KBN_KEY2. Reports progress and yields
// after every record; returns early when a stop is requested after a record or while it builds
// a search. Returns how many records it filled with a non-empty classification.
std::int32_t KBN_MERGE(category::Tables& tables, const StopFlag& STOP_FLG, UserInterface& ui);

}  // namespace kbnset::update
