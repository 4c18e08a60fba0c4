#include "app/progress_display.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace kbnset::app {
namespace {

using std::chrono::milliseconds;

// A step at a time on a clock of our own: a count reported, or a yield.
struct Step {
    int at;                            // ms
    std::int32_t done = 0, total = 0;  // 0: a yield
};

// What reaches the window, in order: the texts shown and "pump".
std::vector<std::string> play(const std::vector<Step>& steps) {
    std::chrono::steady_clock::time_point now{};
    std::vector<std::string> seen;
    ProgressDisplay display([&](std::string_view text) { seen.emplace_back(text); },
                            [&] { seen.emplace_back("pump"); }, [&] { return now; });
    for (const Step& s : steps) {
        now = std::chrono::steady_clock::time_point{} + milliseconds(s.at);
        if (s.total == 0)
            display.yield();
        else
            display.progress(s.done, s.total);
    }
    return seen;
}

TEST(ProgressDisplay, ShowsTheLatestCountOnceAnIntervalAndTheLastAtOnce) {
    struct Case {
        const char* what;
        std::vector<Step> steps;
        std::vector<std::string> seen;
    };
    const Case cases[] = {
        {"the first yield pumps", {{0, 1, 3}, {0}}, {"1/3", "pump"}},
        {"within the interval nothing shows",
         {{0, 1, 5}, {0}, {3, 2, 5}, {3}, {9, 3, 5}, {9}},
         {"1/5", "pump"}},
        {"after it the latest count shows",
         {{0, 1, 5}, {0}, {4, 2, 5}, {4}, {10, 3, 5}, {10}},
         {"1/5", "pump", "3/5", "pump"}},
        {"a yield without a new count pumps alone", {{0}, {12}}, {"pump", "pump"}},
        {"the last count at once, before any yield",
         {{0, 1, 2}, {0}, {1, 2, 2}},
         {"1/2", "pump", "2/2"}},
        {"the last count at once, and the next yield pumps",
         {{0, 1, 2}, {0}, {1, 2, 2}, {1}},
         {"1/2", "pump", "2/2", "pump"}},
        {"the next pass's counts wait for the interval again",
         {{0, 5, 5}, {0}, {1, 1, 5}, {1}, {11}},
         {"5/5", "pump", "1/5", "pump"}},
    };
    for (const Case& c : cases) EXPECT_EQ(play(c.steps), c.seen) << c.what;
}

// A status text set in between is not replaced by the count that was waiting.
TEST(ProgressDisplay, AStatusTextIsNotReplacedByAnOlderCount) {
    std::chrono::steady_clock::time_point now{};
    std::vector<std::string> seen;
    ProgressDisplay display([&](std::string_view text) { seen.emplace_back(text); }, [] {},
                            [&] { return now; });
    display.yield();
    display.progress(1, 3);
    display.statusShown();
    now += milliseconds(20);
    display.yield();
    EXPECT_TRUE(seen.empty());
}

}  // namespace
}  // namespace kbnset::app
