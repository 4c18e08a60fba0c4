#include "runtime/console.hpp"

#include <fcntl.h>
#include <signal.h>  // NOLINT(modernize-deprecated-headers): sigaction is not in <csignal>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "runtime/error.hpp"

namespace kbnset::runtime {

namespace {

volatile sig_atomic_t interrupted = 0;  // the signal that asked to stop, 0 for none

extern "C" void onInterrupt(int signal) {
    if (interrupted == 0) interrupted = signal;
}

int descriptorOf(Stream stream) {
    return stream == Stream::out ? STDOUT_FILENO : STDERR_FILENO;
}

}  // namespace

namespace {

// 0, or errno of the write that failed.
int writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

}  // namespace

int writeConsole(Stream stream, std::string_view utf8) {
    return writeAll(descriptorOf(stream), utf8);
}

bool isTerminal(Stream stream) {
    return ::isatty(descriptorOf(stream)) == 1;
}

void installInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // SA_RESTART: the file steps never see EINTR. SA_RESETHAND: the second signal is the
    // default one and ends the program.
    action.sa_flags = static_cast<int>(static_cast<unsigned>(SA_RESTART) | SA_RESETHAND);
    // A terminal that closes (SIGHUP) and a polite kill (SIGTERM) stop the run as Ctrl+C does:
    // at a point where nothing half-written is left behind.
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
    // A closed pipe or a file-size limit must not kill a save half-way: the write fails
    // instead (EPIPE, EFBIG), and the step that made it reports that.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    for (int signal : {SIGPIPE, SIGXFSZ}) ::sigaction(signal, &ignore, nullptr);
}

int interruptSignal() {
    return interrupted;
}

void endBySignal(int signal) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(signal);
}

void writeReportFile(std::string_view name, bool append,
                     const std::function<std::string(bool empty)>& bytes) {
    const std::string path(name);
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
    const int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) throw IoError("cannot open", name, errno);
    // Held to the close: a second run appending at once waits, and sees the first one's rows.
    // A file system without locks: one write() of all rows still lands at the end whole.
    int error = 0;
    int locked = 0;
    do locked = ::flock(fd, LOCK_EX);
    while (locked != 0 && errno == EINTR);
    if (locked != 0 && errno != ENOLCK && errno != EOPNOTSUPP) error = errno;
    struct stat st {};
    if (error == 0 && ::fstat(fd, &st) != 0) error = errno;
    if (error == 0) error = writeAll(fd, bytes(st.st_size == 0));
    if (error == 0 && ::fsync(fd) != 0 && errno != EINVAL) error = errno;
    if (::close(fd) != 0 && error == 0 && errno != EINTR) error = errno;
    if (error != 0) throw IoError("cannot write", name, error);
}

std::string_view settingsPlaceHelp() {
    return "                   ${XDG_CONFIG_HOME:-$HOME/.config}/R-ZORVEL.ini、無ければ同じ\n"
           "                   フォルダの ZORVEL.ini の [SCHOOL] DIR_ME を読み、\n";
}

std::string_view stopStatusHelp() {
    return "  128+n  シグナル n で中断 (129 SIGHUP、130 SIGINT (Ctrl+C)、143 SIGTERM)。\n"
           "         区切りのよいところで止めてから、同じシグナルで終わります。\n";
}

}  // namespace kbnset::runtime
