#include "runtime/number.hpp"

#include <cstdint>
#include <limits>
#include <string_view>

#include "runtime/error.hpp"

namespace kbnset::runtime {

namespace {
bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
}  // namespace

std::int32_t toLong(std::string_view text) {
    // Most values are a few plain digits, which cannot overflow: taken in one loop.
    if (!text.empty() && text.size() <= 9) {
        std::int32_t value = 0;
        std::size_t i = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
            value = value * 10 + (text[i] - '0');
        if (i == text.size()) return value;
    }
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin])) ++begin;
    while (end > begin && isBlank(text[end - 1])) --end;

    bool negative = false;
    if (begin < end && (text[begin] == '+' || text[begin] == '-')) {
        negative = text[begin] == '-';
        ++begin;
    }
    if (begin == end) throw ConversionError("not a number");

    // Accumulate the magnitude in 64 bits; the limit check keeps it from growing without end.
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    bool overflow = false;
    for (std::size_t i = begin; i < end; ++i) {
        char c = text[i];
        if (c < '0' || c > '9') throw ConversionError("not a number");
        if (!overflow) {
            magnitude = magnitude * 10 + (c - '0');
            overflow = magnitude > kLimit;
        }
    }
    if (overflow || (!negative && magnitude == kLimit)) throw OverflowError("number out of range");
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

}  // namespace kbnset::runtime
