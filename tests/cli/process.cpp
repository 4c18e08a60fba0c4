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

// Whether `pid` has kbnset-cli's handlers in place, from the kernel's own account: it catches
// `signal` and ignores SIGXFSZ, which it sets last. The catch alone could still be the
// handler of the shell whose fork is about to exec it.
bool ready(pid_t pid, int signal) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    bool caught = false, ignored = false;
    auto bit = [](const std::string& line, int n) {
        return ((std::stoull(line.substr(7), nullptr, 16) >> (n - 1)) & 1U) != 0;
    };
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("SigCgt:")) caught = bit(line, signal);
        if (line.starts_with("SigIgn:")) ignored = bit(line, SIGXFSZ);
    }
    return caught && ignored;
}

// The first child of `pid`, 0 while it has none.
pid_t childOf(pid_t pid) {
    const std::string task = std::to_string(pid);
    std::ifstream children("/proc/" + task + "/task/" + task + "/children");
    pid_t child = 0;
    children >> child;
    return child;
}

}  // namespace

Outcome runChild(const std::vector<std::string>& args, const fs::path& cwd,
                 const Hostile& hostile) {
    TempDir capture;
    const std::string out = (capture / "out").string(), err = (capture / "err").string();
    const std::string dir = cwd.string();
    std::vector<std::string> all{KBNSET_CLI};
    if (hostile.shell) all.insert(all.begin(), {"/bin/bash", "-c", "\"$0\" \"$@\"; echo next"});
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        int o = hostile.fullOut ? open("/dev/full", O_WRONLY)
                                : open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int pipeEnds[2];
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        if (hostile.sizeLimit > 0) limit.rlim_cur = static_cast<rlim_t>(hostile.sizeLimit);
        if (hostile.closedErr && pipe(pipeEnds) == 0) {
            close(pipeEnds[0]);
            e = pipeEnds[1];
        }
        if (hostile.shell) setpgid(0, 0);
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
        auto program = [&] { return hostile.shell ? childOf(pid) : pid; };
        pid_t running = 0;
        while (((running = program()) == 0 || !ready(running, hostile.signal)) &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        std::this_thread::sleep_for(hostile.delay);
        kill(hostile.shell ? -pid : pid, hostile.signal);
        // The shell may end at the signal before the program has written its last line.
        while (hostile.shell && running != 0 && kill(running, 0) == 0 &&
               std::chrono::steady_clock::now() < deadline + std::chrono::seconds(20))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0) {
    }
    return {WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -WTERMSIG(wstatus),
            hostile.fullOut ? std::string() : readBytes(out), readBytes(err)};
}

#endif

}  // namespace kbnset::test
