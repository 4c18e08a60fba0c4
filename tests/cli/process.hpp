#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Runs the real kbnset-cli as a child process with its output captured.
namespace kbnset::test {

struct Launch {
    std::vector<std::string> args;  // UTF-8, program name left out
    std::filesystem::path cwd;      // empty: the test's current directory
    // Added to the environment (POSIX only; Windows keeps its settings in the registry).
    std::vector<std::pair<std::string, std::string>> env;
};

struct Outcome {
    int status = -1;  // exit status, -1 when the child ended by a signal
    int signal = 0;
    std::string out;  // raw bytes of standard output and standard error
    std::string err;
};

Outcome runCli(const Launch& launch);

#ifndef _WIN32
// Sends SIGINT as soon as the child has its handler in place, then waits for the child.
Outcome runCliInterrupted(const Launch& launch);
#endif

// What the program writes for a UTF-8 text: the same bytes on POSIX, the console code page
// (932 under the test prefix) on Windows.
std::string shown(std::string_view utf8);

// The lines of an output, line ends (LF or CR LF) removed.
std::vector<std::string> linesOf(const std::string& output);

#ifdef _WIN32
// The per-user settings of the suite on Windows: whether R-ZORVEL or ZORVEL names a data
// directory, and setting or removing the R-ZORVEL value for one test.
bool suiteSettingsPresent();
void setSuiteDataDir(const std::string& utf8);
void removeSuiteSettings();
#endif

}  // namespace kbnset::test
