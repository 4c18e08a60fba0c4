// What the Win32 conversions must refuse, beyond the character table that both
// implementations are checked against.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <string>

#include "runtime/error.hpp"
#include "runtime/text.hpp"

namespace kbnset::runtime {
namespace {

using namespace std::string_literals;

TEST(Win32Text, FromAnsiRefusesWhatDoesNotDecode) {
    const std::string cases[] = {
        "\x81"s,      // a lead byte with nothing after it
        "ABC\x81"s,   // ... at the end of a value
        "\x85\x40"s,  // an unassigned pair
        "\x81\x20"s,  // a lead byte before a byte that cannot follow it
        "\xA0"s,      // an unassigned single byte
        "AB\0CD"s,    // NUL
    };
    for (const std::string& bytes : cases)
        EXPECT_THROW(fromAnsi(bytes), ConversionError) << testing::PrintToString(bytes);
}

TEST(Win32Text, ToAnsiRefusesWhatHasNoExactEncoding) {
    // Each of these has a "best fit" in code page 932 that would come back as another text.
    const std::string cases[] = {
        "café",     // é -> e
        "A—B",      // U+2014 -> the horizontal bar U+2015
        "〜",       // U+301C -> the full-width tilde U+FF5E
        "¥100",     // U+00A5 -> the backslash
        "€",        // nothing at all
        "\xC3"s,    // not UTF-8
        "AB\0CD"s,  // NUL
    };
    for (const std::string& text : cases)
        EXPECT_THROW(toAnsi(text), ConversionError) << testing::PrintToString(text);
}

TEST(Win32Text, WholeTextsConvertBothWays) {
    struct Case {
        std::string text;
        std::string bytes;
    };
    const Case cases[] = {
        {"", ""},
        {"K-12", "K-12"},
        {"備品区分", "\x94\xF5\x95\x69\x8B\xE6\x95\xAA"},
        {"ｱｲｳ①", "\xB1\xB2\xB3\x87\x40"},
        {"ソ表", "\x83\x5C\x95\x5C"},  // trail byte 0x5C, the backslash
    };
    for (const Case& c : cases) {
        EXPECT_EQ(toAnsi(c.text), c.bytes) << c.text;
        EXPECT_EQ(fromAnsi(c.bytes), c.text) << c.text;
    }
}

TEST(Win32Text, UpperHalfwidthChangesTheLengthOfVoicedKana) {
    struct Case {
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"", ""},        {"ｋ－１２", "K-12"}, {"ガッコウ", "ｶﾞｯｺｳ"}, {"パン　ａｂ", "ﾊﾟﾝ AB"},
        {"ポｐ", "ﾎﾟP"},
    };
    for (const Case& c : cases) EXPECT_EQ(toUpperHalfwidth(c.text), c.expected) << c.text;
}

}  // namespace
}  // namespace kbnset::runtime

#endif  // _WIN32
