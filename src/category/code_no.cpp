#include "category/code_no.hpp"

#include <limits>

#include "runtime/error.hpp"
#include "runtime/number.hpp"
#include "runtime/text.hpp"

namespace kbnset::category {

namespace {

std::int32_t checkedAdd(std::int32_t a, std::int32_t b) {
    std::int64_t sum = std::int64_t{a} + b;
    if (sum > std::numeric_limits<std::int32_t>::max() ||
        sum < std::numeric_limits<std::int32_t>::min())
        throw runtime::OverflowError("category code number out of range");
    return static_cast<std::int32_t>(sum);
}

}  // namespace

std::int32_t CODE_NO(std::string s) {
    if (s.empty()) return 0;

    // Only an ASCII letter can be a prefix; any other first byte (a digit, a sign, or the
    // start of a multi-byte character) leaves the whole text to the number conversion.
    char first = s.front();
    char U = (first >= 'a' && first <= 'z') ? static_cast<char>(first - 'a' + 'A') : first;
    std::string_view rest = std::string_view(s).substr(1);

    if (U == 'K') return checkedAdd(runtime::toLong(rest), 1000);
    if (U == 'P') return checkedAdd(runtime::toLong(rest), 2000);
    if (U >= 'A' && U <= 'Z') {
        std::int32_t letter = 1000 * (U - 'A');
        return checkedAdd(checkedAdd(letter, runtime::toLong(rest)), 3000);
    }
    return runtime::toLong(s);
}

}  // namespace kbnset::category
