#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "category/context.hpp"
#include "category/record.hpp"
#include "runtime/system.hpp"

namespace kbnset::category {

// What a load returns.
enum class LoadResult : std::int16_t {
    loaded = 1,
    missing = 0,  // shown to the user as missing
    readFailed = -1,
    stopped = -2,  // the user interface asked to stop; nothing shown
};

// Which reference file REF_LOAD reads.
enum class Selector : std::int16_t {
    elementary = 0,  // E_KUBUN.KMT in START_DIR
    juniorHigh = 1,  // J_KUBUN.KMT in START_DIR
    source = 2,      // the source path the user chose
};

inline constexpr char kCategoryFile[] = "KUBUN.KMT";
inline constexpr char kElementaryFile[] = "E_KUBUN.KMT";
inline constexpr char kJuniorHighFile[] = "J_KUBUN.KMT";

// The reference file a selector names; `sourcePath` for Selector::source.
std::string referenceFileName(Selector selector, const std::string& sourcePath);

// Reads the selector's reference file into REF_TBL. KUBUN.KMT in START_DIR stands in for a
// missing file; `fileRead`, when given, receives the name of the file that was read or tried.
LoadResult REF_LOAD(Tables& tables, Selector selector, const std::string& START_DIR,
                    const std::string& sourcePath, Context ctx, std::string* fileRead = nullptr);

// Reads KUBUN.KMT from DATA_DIR into KBN_TBL, HEAD_1 and HEAD_2.
LoadResult KBN_LOAD(Tables& tables, const std::string& DATA_DIR, Context ctx);

// The message when the memory runs out while `name` is worked on: `file` is what the user calls
// it ("基準ファイル", "備品区分ファイル").
std::string tooBigText(std::string_view file, const std::string& name);

// The working-directory switch: the drive of the first character, then the directory.
void switchTo(runtime::System& system, const std::string& dir);

}  // namespace kbnset::category
