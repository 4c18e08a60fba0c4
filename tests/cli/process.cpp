#include "cli/process.hpp"

#include <chrono>
#include <stdexcept>
#include <thread>

#include "support/temp_dir.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

extern char** environ;
#endif

namespace kbnset::test {

namespace fs = std::filesystem;

std::vector<std::string> linesOf(const std::string& output) {
    std::vector<std::string> lines;
    std::size_t begin = 0;
    while (begin < output.size()) {
        std::size_t end = output.find('\n', begin);
        if (end == std::string::npos) end = output.size();
        std::string line = output.substr(begin, end - begin);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        begin = end + 1;
    }
    return lines;
}

#ifdef _WIN32

namespace {

std::wstring wide(std::string_view utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

// The quoting that the C runtime's argument parser undoes.
std::wstring quoted(const std::wstring& arg) {
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

HANDLE inheritable(const fs::path& file, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE h = CreateFileW(file.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                           disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open a file for the child");
    return h;
}

constexpr wchar_t kSettingsKey[] = L"Software\\VB and VBA Program Settings\\";

bool hasDataDir(const wchar_t* application) {
    std::wstring key = std::wstring(kSettingsKey) + application + L"\\SCHOOL";
    return RegGetValueW(HKEY_CURRENT_USER, key.c_str(), L"DIR_ME", RRF_RT_REG_SZ, nullptr, nullptr,
                        nullptr) == ERROR_SUCCESS;
}

}  // namespace

Outcome runCli(const Launch& launch) {
    TempDir capture;
    const fs::path outFile = capture / "stdout", errFile = capture / "stderr";
    HANDLE in = inheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
    HANDLE out = inheritable(outFile, GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE err = inheritable(errFile, GENERIC_WRITE, CREATE_ALWAYS);

    const std::wstring program = wide(KBNSET_CLI);
    std::wstring commandLine = quoted(program);
    for (const std::string& arg : launch.args) commandLine += L" " + quoted(wide(arg));

    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in;
    si.hStdOutput = out;
    si.hStdError = err;
    PROCESS_INFORMATION pi{};
    const std::wstring cwd = launch.cwd.empty() ? std::wstring() : launch.cwd.wstring();
    BOOL started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                  nullptr, cwd.empty() ? nullptr : cwd.c_str(), &si, &pi);
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    if (!started) throw std::runtime_error("cannot start kbnset-cli");
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);

    Outcome outcome;
    outcome.status = static_cast<int>(code);
    outcome.out = readBytes(outFile);
    outcome.err = readBytes(errFile);
    return outcome;
}

std::string shown(std::string_view utf8) {
    return cp932(utf8);
}

bool suiteSettingsPresent() {
    return hasDataDir(L"R-ZORVEL") || hasDataDir(L"ZORVEL");
}

void setSuiteDataDir(const std::string& utf8) {
    std::wstring key = std::wstring(kSettingsKey) + L"R-ZORVEL\\SCHOOL";
    std::wstring value = wide(utf8);
    RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"DIR_ME", REG_SZ, value.c_str(),
                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void removeSuiteSettings() {
    std::wstring key = std::wstring(kSettingsKey) + L"R-ZORVEL";
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
}

#else

namespace {

struct Child {
    pid_t pid;
    fs::path outFile, errFile;
};

// Everything the child needs is made before fork(): after it only exec-safe calls.
Child start(const Launch& launch, const TempDir& capture) {
    Child child{-1, capture / "stdout", capture / "stderr"};
    std::vector<std::string> args{KBNSET_CLI};
    args.insert(args.end(), launch.args.begin(), launch.args.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string entry(*e);
        bool replaced = false;
        for (const auto& [name, value] : launch.env)
            replaced = replaced || entry.starts_with(name + "=");
        if (!replaced) env.push_back(entry);
    }
    for (const auto& [name, value] : launch.env) env.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    const std::string cwd = launch.cwd.string();
    const std::string out = child.outFile.string(), err = child.errFile.string();
    child.pid = fork();
    if (child.pid < 0) throw std::runtime_error("fork failed");
    if (child.pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || o < 0 || e < 0 || dup2(in, 0) < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0)
            _exit(126);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    return child;
}

Outcome finish(const Child& child) {
    int wstatus = 0;
    while (waitpid(child.pid, &wstatus, 0) < 0) {
    }
    Outcome outcome;
    if (WIFEXITED(wstatus)) outcome.status = WEXITSTATUS(wstatus);
    if (WIFSIGNALED(wstatus)) outcome.signal = WTERMSIG(wstatus);
    outcome.out = readBytes(child.outFile);
    outcome.err = readBytes(child.errFile);
    return outcome;
}

enum class Interrupt { notCaught, caught, gone };

// Whether the process catches SIGINT, from the kernel's own account of it.
Interrupt interruptState(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("State:") && line.find('Z') != std::string::npos)
            return Interrupt::gone;
        if (!line.starts_with("SigCgt:")) continue;
        unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
        return (mask >> (SIGINT - 1)) & 1U ? Interrupt::caught : Interrupt::notCaught;
    }
    return Interrupt::gone;
}

}  // namespace

Outcome runCli(const Launch& launch) {
    TempDir capture;
    return finish(start(launch, capture));
}

Outcome runCliInterrupted(const Launch& launch) {
    // The test process itself must not catch SIGINT, or the forked copy would look ready.
    if (interruptState(getpid()) != Interrupt::notCaught)
        throw std::runtime_error("the test process catches SIGINT");
    TempDir capture;
    Child child = start(launch, capture);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (interruptState(child.pid) == Interrupt::notCaught &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    kill(child.pid, SIGINT);
    return finish(child);
}

std::string shown(std::string_view utf8) {
    return std::string(utf8);
}

#endif

}  // namespace kbnset::test
