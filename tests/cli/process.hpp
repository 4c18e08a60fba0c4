#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

// Runs the real kbnset-cli as a child process with its output captured.
namespace kbnset::test {

struct Outcome {
    int status = -1;  // exit status, -1 when the child ended by a signal
    std::string out;  // standard output and error, as UTF-8
    std::string err;
};

// What the child meets (POSIX only): `signal` is sent `delay` after the child has its handler
// for it in place; with `closedErr`, standard error is a pipe whose reader is gone.
struct Hostile {
    int signal = 0;
    std::chrono::microseconds delay{0};
    bool closedErr = false;
};

// `env` holds "NAME=value" entries added to the child's environment (POSIX only: Windows
// keeps the settings in the registry).
Outcome runCli(const std::vector<std::string>& args, const std::filesystem::path& cwd,
               const std::vector<std::string>& env = {}, const Hostile& hostile = {});

// The lines of an output, line ends (LF or CR LF) removed.
std::vector<std::string> linesOf(const std::string& output);

#ifdef _WIN32
// Names `utf8` as the suite's data directory in the per-user settings for one test; false,
// and nothing written, when the suite already has settings of its own.
bool setSuiteDataDir(const std::string& utf8);
void removeSuiteSettings();
#endif

}  // namespace kbnset::test
