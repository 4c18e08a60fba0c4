#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "category/code_no.hpp"
#include "fuzz_support.hpp"
#include "runtime/error.hpp"
#include "runtime/text.hpp"

// CODE_NO on arbitrary text, against a second reading of its rules in 64-bit arithmetic;
// and the code as a load sees it: CP932 bytes, decoded, mapped to upper case half width.
namespace kbnset::fuzz {

namespace {

enum class Outcome { Value, Conversion, Overflow };

struct Expected {
    Outcome outcome = Outcome::Value;
    std::int64_t value = 0;
};

bool fitsLong(std::int64_t v) {
    return v >= std::numeric_limits<std::int32_t>::min() &&
           v <= std::numeric_limits<std::int32_t>::max();
}

Expected checked(std::int64_t v) {
    return fitsLong(v) ? Expected{Outcome::Value, v} : Expected{Outcome::Overflow, 0};
}

// An optionally signed run of digits with blanks (space, tab) around it.
Expected number(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return {Outcome::Conversion, 0};
    std::int64_t magnitude = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return {Outcome::Conversion, 0};
        // Past any 32-bit value the digits only decide between overflow and conversion.
        if (magnitude < (std::int64_t{1} << 40)) magnitude = magnitude * 10 + (c - '0');
    }
    return checked(negative ? -magnitude : magnitude);
}

Expected plus(Expected e, std::int64_t base) {
    return e.outcome == Outcome::Value ? checked(e.value + base) : e;
}

Expected expectedCodeNo(std::string_view s) {
    if (s.empty()) return {Outcome::Value, 0};
    char first = s.front();
    char U = first >= 'a' && first <= 'z' ? static_cast<char>(first - 'a' + 'A') : first;
    std::string_view rest = s.substr(1);
    if (U == 'K') return plus(number(rest), 1000);
    if (U == 'P') return plus(number(rest), 2000);
    if (U >= 'A' && U <= 'Z') return plus(plus(number(rest), std::int64_t{1000} * (U - 'A')), 3000);
    return number(s);
}

void checkAgainstRules(const std::string& code) {
    Expected expected = expectedCodeNo(code);
    try {
        std::int32_t got = category::CODE_NO(code);
        require(expected.outcome == Outcome::Value && expected.value == got,
                "CODE_NO gave a number where the rules give another result");
    } catch (const runtime::OverflowError&) {
        require(expected.outcome == Outcome::Overflow, "CODE_NO overflowed unexpectedly");
    } catch (const runtime::ConversionError&) {
        require(expected.outcome == Outcome::Conversion, "CODE_NO failed to convert unexpectedly");
    }
}

// A code that a load accepts is saved as it is held and must read back to the same code.
void checkAsLoaded(std::string_view bytes) {
    std::string held;
    try {
        held = runtime::toUpperHalfwidth(runtime::fromAnsi(bytes));
    } catch (const runtime::ConversionError&) {
        return;
    }
    try {
        if (category::CODE_NO(held) == -1) return;
    } catch (const runtime::Error&) {
        return;
    }
    std::string reread = runtime::toUpperHalfwidth(runtime::fromAnsi(runtime::toAnsi(held)));
    require(reread == held, "an accepted code does not read back as it was saved");
}

}  // namespace

}  // namespace kbnset::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    kbnset::fuzz::checkAgainstRules(text);
    kbnset::fuzz::checkAsLoaded(text);
    return 0;
}
