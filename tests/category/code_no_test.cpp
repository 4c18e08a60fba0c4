#include "category/code_no.hpp"

#include <gtest/gtest.h>

#include "runtime/error.hpp"

namespace kbnset::category {
namespace {

enum class Fails { No, Conversion, Overflow };
constexpr Fails kBad = Fails::Conversion, kBig = Fails::Overflow;

struct Case {
    const char* code;
    std::int32_t expected;
    Fails fails = Fails::No;
};

// K is 1000 and P 2000 plus the number; another letter 3000 plus 1000 for each place after A.
// clang-format off
const Case kCases[] = {
    {"", 0},                      {"123", 123},
    {"-5", -5},                   {"K 12", 1012},  // blanks are the number conversion's business
    {"K12", 1012},                {"k12", 1012},
    {"P3", 2003},                 {"p3", 2003},
    {"A5", 3005},                 {"a5", 3005},
    {"B12", 4012},                {"J7", 12007},
    {"Z99", 28099},               {"z1", 28001},
    {"K-1001", -1},               {"A-3001", -1},
    {"K", 0, kBad},               {"X", 0, kBad},
    {"12A", 0, kBad},             {"KK1", 0, kBad},
    {"@1", 0, kBad},              {"[1", 0, kBad},  // just below 'A', just above 'Z'
    {"Ｋ12", 0, kBad},            // callers narrow the code first; a wide letter is no prefix
    {"K2147482647", 2147483647},  {"K2147482648", 0, kBig},
    {"P2147481647", 2147483647},  {"P2147481648", 0, kBig},
    {"A2147480647", 2147483647},  {"A2147480648", 0, kBig},
    {"Z2147483647", 0, kBig},     // fails at the first addition already
    {"K-2147483648", -2147482648}, {"2147483648", 0, kBig},
};
// clang-format on

TEST(CODE_NO, GivesTheNumberOfEveryKindOfCode) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.code);
        try {
            EXPECT_EQ(CODE_NO(c.code), c.expected);
            EXPECT_EQ(c.fails, Fails::No);
        } catch (const runtime::OverflowError&) {
            EXPECT_EQ(c.fails, kBig);
        } catch (const runtime::ConversionError&) {
            EXPECT_EQ(c.fails, kBad);
        }
    }
}

}  // namespace
}  // namespace kbnset::category
