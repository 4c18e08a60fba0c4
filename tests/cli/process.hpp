#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

// Runs the real kbnset-cli as a child process with its output captured (POSIX).
namespace kbnset::test {

struct Outcome {
    int status = -1;  // exit status, -1 when the child ended by a signal
    std::string out{}, err{};
};

// What the child meets: `signal` is sent `delay` after the child has its handler
// for it in place; with `closedErr`, standard error is a pipe whose reader is gone; with
// `sizeLimit`, no file may grow beyond that many bytes; with `uid`, the child runs as that
// user and group (root only).
struct Hostile {
    int signal = 0;
    std::chrono::microseconds delay{0};
    bool closedErr = false;
    long sizeLimit = 0;
    unsigned uid = 0;
};

Outcome runCli(const std::vector<std::string>& args, const std::filesystem::path& cwd,
               const Hostile& hostile = {});

// The lines of an output, line ends (LF or CR LF) removed.
std::vector<std::string> linesOf(const std::string& output);

}  // namespace kbnset::test
