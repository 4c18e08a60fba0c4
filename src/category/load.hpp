#pragma once

#include <cstdint>
#include <string>

#include "category/record.hpp"
#include "category/user_interface.hpp"
#include "runtime/system.hpp"

namespace kbnset::category {

// Result flags of a load.
inline constexpr std::int16_t kLoaded = 1;
inline constexpr std::int16_t kMissing = 0;
inline constexpr std::int16_t kReadFailed = -1;

inline constexpr char kCategoryFile[] = "KUBUN.KMT";
inline constexpr char kElementaryFile[] = "E_KUBUN.KMT";
inline constexpr char kJuniorHighFile[] = "J_KUBUN.KMT";

// Where the steps reach the system and the user.
struct Context {
    runtime::System& system;
    UserInterface& ui;
};

// Reads a reference file into REF_TBL: selector 0 E_KUBUN.KMT, 1 J_KUBUN.KMT (both in
// START_DIR), anything else `sourcePath`. KUBUN.KMT in START_DIR stands in for a missing file.
std::int16_t REF_LOAD(Tables& tables, std::int16_t selector, const std::string& START_DIR,
                      const std::string& sourcePath, Context ctx);

// Reads KUBUN.KMT from DATA_DIR into KBN_TBL, HEAD_1 and HEAD_2.
std::int16_t KBN_LOAD(Tables& tables, const std::string& DATA_DIR, Context ctx);

// The working-directory switch: the drive of the first character, then the directory.
void switchTo(runtime::System& system, const std::string& dir);

}  // namespace kbnset::category
