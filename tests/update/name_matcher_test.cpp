#include "update/name_matcher.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace kbnset::update {
namespace {

// The first name of the list, in list order, that occurs within the text.
TEST(NameMatcher, FindsTheFirstNameWithinATextInListOrder) {
    struct Case {
        const char* what;
        std::vector<std::string_view> names;
        std::string_view text;
        std::int32_t first;
    };
    const Case cases[] = {
        {"none within", {"机", "椅子"}, "理科室", NameMatcher::kNone},
        {"list order, not where it occurs", {"室", "理科"}, "理科室", 0},
        {"the first, though a later one occurs further on", {"理科", "室"}, "理科室", 0},
        {"list order, not the longest", {"机", "理科机", "科机"}, "養護理科机", 0},
        {"a later name when the first is absent", {"椅子", "科机", "机"}, "理科机", 1},
        {"found through a failure link", {"理科室A", "科室B"}, "理科室B", 1},
        {"a name that is a suffix of a longer one", {"abcd", "cd"}, "xbcd", 1},
        {"an empty name is within every text", {"x", ""}, "", 1},
        {"a prefix is not within", {"養護机"}, "養護", NameMatcher::kNone},
        {"long shared beginnings", {"ｱｱｱｱｱｱｱｱｲ1", "ｱｱｱｱｱｱｱｱｲ2"}, "養護ｱｱｱｱｱｱｱｱｲ2ｱ", 1},
    };
    NameMatcher::BuildSpace space;
    for (const Case& c : cases) {
        const NameMatcher matcher(c.names, space, [] { return false; });
        EXPECT_EQ(matcher.firstWithin(c.text), c.first) << c.what;
    }
}

}  // namespace
}  // namespace kbnset::update
