#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kbnset::cli {

struct Options {
    std::optional<std::string> dataDir;   // absent: found as the window finds it at start
    std::optional<std::string> startDir;  // absent: the current directory
    std::string source;                   // empty: the two passes with E_ and J_KUBUN.KMT
    bool dryRun = false;
    bool undo = false;  // put KUBUN.KMT back as it was before the last run
    bool help = false;
};

// A command line that does not fit the usage; what() is the text to show after the prefix.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The arguments after the program name. --help wins over everything else on the line.
Options parseArguments(const std::vector<std::string>& args);

std::string_view usageText();

}  // namespace kbnset::cli
