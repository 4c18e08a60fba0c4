#include "cli/process.hpp"

#include <algorithm>
#include <stdexcept>

#include "support/temp_dir.hpp"

#ifndef _WIN32
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>
#endif

namespace kbnset::test {

namespace fs = std::filesystem;

std::vector<std::string> linesOf(const std::string& output) {
    std::vector<std::string> lines;
    for (std::size_t begin = 0; begin < output.size();) {
        std::size_t end = std::min(output.find('\n', begin), output.size());
        std::string line = output.substr(begin, end - begin);
        if (line.ends_with('\r')) line.pop_back();
        lines.push_back(line);
        begin = end + 1;
    }
    return lines;
}

#ifndef _WIN32

namespace {

// Whether `pid` catches `signal` yet, from the kernel's own account of it.
bool catches(pid_t pid, int signal) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("SigCgt:"))
            return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1U;
    return false;
}

}  // namespace

Outcome runCli(const std::vector<std::string>& args, const fs::path& cwd, const Hostile& hostile) {
    TempDir capture;
    const std::string out = (capture / "out").string(), err = (capture / "err").string();
    const std::string dir = cwd.string();
    std::vector<std::string> all{KBNSET_CLI};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int pipeEnds[2];
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        if (hostile.sizeLimit > 0) limit.rlim_cur = static_cast<rlim_t>(hostile.sizeLimit);
        if (hostile.closedErr && pipe(pipeEnds) == 0) {
            close(pipeEnds[0]);
            e = pipeEnds[1];
        }
        if (in < 0 || o < 0 || e < 0 || dup2(in, 0) < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0 ||
            chdir(dir.c_str()) != 0 || setrlimit(RLIMIT_FSIZE, &limit) != 0)
            _exit(126);
        if (hostile.uid != 0 &&
            (setgroups(0, nullptr) != 0 || setresgid(hostile.uid, hostile.uid, hostile.uid) != 0 ||
             setresuid(hostile.uid, hostile.uid, hostile.uid) != 0))
            _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (hostile.signal != 0) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!catches(pid, hostile.signal) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        std::this_thread::sleep_for(hostile.delay);
        kill(pid, hostile.signal);
    }
    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0) {
    }
    return {WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1, readBytes(out), readBytes(err)};
}

#endif

}  // namespace kbnset::test
