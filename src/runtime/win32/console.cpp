#include "runtime/console.hpp"

#include <windows.h>

#include <atomic>
#include <csignal>

#include "runtime/win32/wide.hpp"

namespace kbnset::runtime {

namespace {

std::atomic<int> interrupted{0};

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI onControl(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        // FALSE for the second press hands it to the default handler, which ends the process.
        int none = 0;
        return interrupted.compare_exchange_strong(none, SIGINT) ? TRUE : FALSE;
    }
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // The process ends when this returns, or a few seconds later at the latest: hold on,
        // so that the run reaches a point where nothing half-done is left (the end of the
        // process then comes with the return from main).
        int none = 0;
        interrupted.compare_exchange_strong(none, SIGTERM);
        Sleep(INFINITE);
    }
    return FALSE;
}

HANDLE handleOf(Stream stream) {
    return GetStdHandle(stream == Stream::out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

bool isConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

void writeAll(HANDLE handle, const char* data, std::size_t size) {
    while (size > 0) {
        DWORD chunk = size > 0x10000 ? 0x10000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(handle, data, chunk, &written, nullptr) || written == 0) return;
        data += written;
        size -= written;
    }
}

}  // namespace

void writeConsole(Stream stream, std::string_view utf8) {
    HANDLE handle = handleOf(stream);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    std::wstring wide = widenForDisplay(utf8);
    if (isConsole(handle)) {
        const wchar_t* data = wide.data();
        std::size_t left = wide.size();
        while (left > 0) {
            DWORD chunk = left > 0x4000 ? 0x4000 : static_cast<DWORD>(left);
            DWORD written = 0;
            if (!WriteConsoleW(handle, data, chunk, &written, nullptr) || written == 0) return;
            data += written;
            left -= written;
        }
        return;
    }
    // Redirected: the bytes that a console program of this system would write. Without a
    // console at all there is no console code page, and the ANSI one stands in.
    UINT codePage = GetConsoleOutputCP();
    if (codePage == 0) codePage = GetACP();
    std::string bytes = narrowForDisplay(wide, codePage);
    writeAll(handle, bytes.data(), bytes.size());
}

bool isTerminal(Stream stream) {
    return isConsole(handleOf(stream));
}

void installInterruptHandler() {
    SetConsoleCtrlHandler(onControl, TRUE);
}

int interruptSignal() {
    return interrupted.load();
}

std::vector<std::string> utf8Arguments(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    // Strict: a lone surrogate in a path must not turn into another path.
    for (int i = 1; i < argc; ++i) args.push_back(narrow(argv[i]));
    return args;
}

}  // namespace kbnset::runtime
