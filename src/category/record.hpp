#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "category/fingerprint.hpp"
#include "runtime/system.hpp"

namespace kbnset::category {

// One category record: the values of one record line, plus the kind and the code number
// worked out on load.
// REC_KIND, worked out from KBN_TYPE on load.
enum class RecordKind : std::int16_t {
    management = 1,  // KBN_TYPE is "管理"
    ordinary = 2,
};

// A record's text values as its file held them, in the file's bytes: the save writes back
// every value that the run did not change as these very bytes, so that a character with two
// codes in the code page keeps the one it had. Only the category file's records keep them:
// the classification apart, since it is the value a run fills and the next load finds longer
// (a longer string in its place would leave the old one's memory as a hole), the others in
// one string.
struct FileBytes {
    enum Value : std::uint8_t { type, name, code, key2, val7, count };
    std::string values;                       // the values up to VAL_7, one after another
    std::array<std::uint32_t, count> ends{};  // where each value ends in `values`
    std::string cls;
    bool kept = false;

    std::string_view operator[](Value v) const {
        // cppcheck-suppress negativeContainerIndex ; the first value begins at 0, not at ends[-1]
        const std::uint32_t begin = v == type ? 0 : ends[std::size_t{v} - 1];
        return std::string_view(values).substr(begin, ends[v] - begin);
    }
    friend bool operator==(const FileBytes&, const FileBytes&) = default;
};

// KBN_TYPE (once REC_KIND is known) and VAL_7 are never compared or changed: they are not
// kept decoded.
struct KBN_REC {
    RecordKind REC_KIND{};  // 0, no kind, until loaded
    std::int16_t VAL_2 = 0;
    std::string KBN_NAME;
    std::int32_t CODE_NUM = 0;
    std::string KBN_CODE;    // upper case and half-width once loaded
    std::string codeAsRead;  // KBN_CODE as read when that was not its normal form, else empty
    std::string KBN_KEY2;
    std::string KBN_CLASS;
    std::int32_t VAL_6 = 0;
    std::int32_t VAL_8 = 0;
    std::int32_t VAL_9 = 0;
    std::int32_t line = 0;  // where the record begins in the file it was read from (header = 1)
    FileBytes bytes;

    friend bool operator==(const KBN_REC&, const KBN_REC&) = default;
};

// Both tables hold exactly this many records; a file with more does not load.
inline constexpr std::int32_t kTableCapacity = 5011;

// The category file as KBN_LOAD read it: the name it resolved KUBUN.KMT to, which file that
// was and a fingerprint of its bytes. The save replaces that file only while it is still the
// same one with the same bytes, so that nobody's later edit is overwritten unseen.
struct LoadedFile {
    bool loaded = false;
    std::string path;
    runtime::FileIdentity identity;
    Fingerprint content;
};

// The two tables and what the window keeps of the category file. The tables are never
// resized or cleared: a load overwrites entries from 0 upward, and only the first
// KBN_CNT / REF_CNT entries mean anything.
struct Tables {
    std::vector<KBN_REC> KBN_TBL = std::vector<KBN_REC>(kTableCapacity);
    std::vector<KBN_REC> REF_TBL = std::vector<KBN_REC>(kTableCapacity);
    std::int32_t KBN_CNT = 0;
    std::int32_t REF_CNT = 0;
    std::int16_t HEAD_1 = 0;
    std::int32_t HEAD_2 = 0;
    LoadedFile KBN_FILE;
};

}  // namespace kbnset::category
