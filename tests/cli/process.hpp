#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

// Runs the real kbnset-cli as a child process with its output captured (POSIX).
namespace kbnset::test {

struct Outcome {
    int status = -1;  // exit status, or minus the signal that ended the child
    std::string out{}, err{};
};

// What the child meets: `signal` is sent `delay` after the child has its handler
// for it in place; with `closedErr`, standard error is a pipe whose reader is gone; with
// `sizeLimit`, no file may grow beyond that many bytes; with `fullOut`, standard output is
// /dev/full; with `uid`, the child runs as that user and group (root only). With `shell`, the
// program runs as `bash -c 'kbnset-cli …; echo next'` in a process group of its own, and the
// signal goes to that group as a terminal's Ctrl+C would.
struct Hostile {
    int signal = 0;
    std::chrono::microseconds delay{0};
    bool closedErr = false;
    long sizeLimit = 0;
    bool fullOut = false;
    bool shell = false;
    unsigned uid = 0;
};

// The real kbnset-cli as a child process of the tests.
Outcome runChild(const std::vector<std::string>& args, const std::filesystem::path& cwd,
                 const Hostile& hostile = {});

// The lines of an output, line ends (LF or CR LF) removed.
std::vector<std::string> linesOf(const std::string& output);

}  // namespace kbnset::test
