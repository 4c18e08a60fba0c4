#include "cli/options.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace kbnset::cli {
namespace {

TEST(ParseArguments, AcceptedCommandLines) {
    struct Case {
        std::vector<std::string> args;
        std::optional<std::string> dataDir, startDir;
        std::string source;
        bool dryRun;
    };
    const std::vector<Case> cases = {
        {{}, {}, {}, "", false},
        {{"--data-dir", "/d"}, "/d", {}, "", false},
        {{"--data-dir=/d", "--start-dir=/s"}, "/d", "/s", "", false},
        {{"--source", "a.kmt", "--dry-run"}, {}, {}, "a.kmt", true},
        // A value is taken as it stands, even one that looks like an option or has '='.
        {{"--source", "--dry-run"}, {}, {}, "--dry-run", false},
        {{"--source=x=y.kmt"}, {}, {}, "x=y.kmt", false},
        {{"--dry-run", "--dry-run"}, {}, {}, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        Options o = parseArguments(c.args);
        EXPECT_EQ(o.dataDir, c.dataDir);
        EXPECT_EQ(o.startDir, c.startDir);
        EXPECT_EQ(o.source, c.source);
        EXPECT_EQ(o.dryRun, c.dryRun);
        EXPECT_FALSE(o.help);
    }
}

TEST(ParseArguments, RejectedCommandLines) {
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus"},
        {"-d"},
        {"positional"},
        {"--data-dir"},
        {"--start-dir="},
        {"--source", ""},
        {"--data-dirx=/d"},
        {"--dry-run=1"},
        {"--data-dir", "/a", "--data-dir", "/b"},
        {"--source", "a", "--source=b"},
    };
    for (const auto& args : cases)
        EXPECT_THROW(parseArguments(args), UsageError) << testing::PrintToString(args);
}

TEST(ParseArguments, HelpWinsOverEverythingElse) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help"}, {"-h"}, {"--bogus", "--help"}, {"--data-dir", "-h"}})
        EXPECT_TRUE(parseArguments(args).help) << testing::PrintToString(args);
}

}  // namespace
}  // namespace kbnset::cli
