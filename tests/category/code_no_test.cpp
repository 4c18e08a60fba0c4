#include "category/code_no.hpp"

#include <gtest/gtest.h>

#include <optional>

#include "runtime/error.hpp"

namespace kbnset::category {
namespace {

enum class Fails { No, Conversion, Overflow };

struct Case {
    const char* code;
    std::int32_t expected;
    Fails fails = Fails::No;
};

const Case kCases[] = {
    {"", 0},
    {"123", 123},
    {"0", 0},
    {"-5", -5},
    {"K12", 1012},
    {"k12", 1012},
    {"K0", 1000},
    {"P3", 2003},
    {"p3", 2003},
    {"P0", 2000},
    {"A5", 3005},
    {"a5", 3005},
    {"B12", 4012},
    {"J7", 12007},
    {"L1", 14001},
    {"O1", 17001},
    {"Q1", 19001},
    {"Z99", 28099},
    {"1012", 1012},
    {"K 12", 1012},  // blanks around the number part are the conversion's business
    {"K-1001", -1},
    {"A-3001", -1},
    {"-1", -1},
    {"K", 0, Fails::Conversion},
    {"A", 0, Fails::Conversion},
    {"X", 0, Fails::Conversion},
    {"12A", 0, Fails::Conversion},
    {"KK1", 0, Fails::Conversion},
    {"@1", 0, Fails::Conversion},    // '@' sits just below 'A'
    {"[1", 0, Fails::Conversion},    // '[' just above 'Z'
    {"Ｋ12", 0, Fails::Conversion},  // callers narrow the code first; a wide letter is no prefix
    {"K2147482647", 2147483647},
    {"K2147482648", 0, Fails::Overflow},
    {"P2147481647", 2147483647},
    {"P2147481648", 0, Fails::Overflow},
    {"Z2147455647", 2147483647},
    {"Z2147455648", 0, Fails::Overflow},
    {"A2147480647", 2147483647},
    {"A2147480648", 0, Fails::Overflow},
    {"Z2147483647", 0, Fails::Overflow},  // fails at the first addition already
    {"K-2147483648", -2147482648},
    {"2147483648", 0, Fails::Overflow},
};

TEST(CODE_NO, GivesTheNumberOfEveryKindOfCode) {
    for (const Case& c : kCases) {
        switch (c.fails) {
            case Fails::No:
                EXPECT_EQ(CODE_NO(c.code), c.expected) << c.code;
                break;
            case Fails::Conversion:
                EXPECT_THROW(CODE_NO(c.code), runtime::ConversionError) << c.code;
                break;
            case Fails::Overflow:
                EXPECT_THROW(CODE_NO(c.code), runtime::OverflowError) << c.code;
                break;
        }
    }
}

}  // namespace
}  // namespace kbnset::category
