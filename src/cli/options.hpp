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
    std::optional<std::string> report;    // the CSV of the run's changes; "-" standard output
    bool reportAppend = false;            // add rows to the report, a header only to an empty one
    bool dryRun = false;
    bool noWait = false;  // end at once when another kbnset holds the data folder
    bool undo = false;    // put KUBUN.KMT back as it was before the last run
    bool help = false;
    bool version = false;
};

// A command line that does not fit the usage; what() is the text to show after the prefix.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The arguments after the program name. --help, then --version, wins over everything else.
Options parseArguments(const std::vector<std::string>& args);

// The --help text, with where this system keeps the settings.
std::string usageText();

}  // namespace kbnset::cli
