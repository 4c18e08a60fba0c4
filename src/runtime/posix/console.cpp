#include "runtime/console.hpp"

#include <signal.h>  // NOLINT(modernize-deprecated-headers): sigaction is not in <csignal>
#include <unistd.h>

#include <cerrno>

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

void writeConsole(Stream stream, std::string_view utf8) {
    const int fd = descriptorOf(stream);
    while (!utf8.empty()) {
        ssize_t n = ::write(fd, utf8.data(), utf8.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        utf8.remove_prefix(static_cast<std::size_t>(n));
    }
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

}  // namespace kbnset::runtime
