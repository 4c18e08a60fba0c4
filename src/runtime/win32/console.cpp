#include "runtime/console.hpp"

#include <windows.h>

#include <atomic>
#include <csignal>

#include "runtime/error.hpp"
#include "runtime/win32/os.hpp"
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

// 0, or the error of the write that failed.
int writeAll(HANDLE handle, const char* data, std::size_t size) {
    while (size > 0) {
        DWORD chunk = size > 0x10000 ? 0x10000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(handle, data, chunk, &written, nullptr))
            return static_cast<int>(GetLastError());
        if (written == 0) return ERROR_WRITE_FAULT;
        data += written;
        size -= written;
    }
    return 0;
}

}  // namespace

int writeConsole(Stream stream, std::string_view utf8) {
    HANDLE handle = handleOf(stream);
    // No stream at all (a program without a console): nothing was asked to be kept.
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return 0;
    std::wstring wide = widenForDisplay(utf8);
    if (isConsole(handle)) {
        const wchar_t* data = wide.data();
        std::size_t left = wide.size();
        while (left > 0) {
            DWORD chunk = left > 0x4000 ? 0x4000 : static_cast<DWORD>(left);
            DWORD written = 0;
            if (!WriteConsoleW(handle, data, chunk, &written, nullptr))
                return static_cast<int>(GetLastError());
            if (written == 0) return ERROR_WRITE_FAULT;
            data += written;
            left -= written;
        }
        return 0;
    }
    // Redirected: the bytes that a console program of this system would write. Without a
    // console at all there is no console code page, and the ANSI one stands in.
    UINT codePage = GetConsoleOutputCP();
    if (codePage == 0) codePage = GetACP();
    std::string bytes = narrowForDisplay(wide, codePage);
    return writeAll(handle, bytes.data(), bytes.size());
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

// Windows has no signals to end by: the exit status 128 + n tells the caller.
void endBySignal(int) {}

void writeReportFile(std::string_view name, bool append,
                     const std::function<std::string(bool empty)>& bytes) {
    // Appending: FILE_APPEND_DATA puts every write at the end, also another process's.
    const DWORD access = append ? FILE_APPEND_DATA | SYNCHRONIZE : GENERIC_WRITE;
    const UniqueHandle file = ownHandle(
        CreateFileW(widen(name).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throwLastError("cannot open", name);
    // Held to the close: a second run appending at once waits, and sees the first one's rows.
    OVERLAPPED whole{};
    if (!LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole))
        throwLastError("cannot lock", name);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) throwLastError("cannot examine", name);
    const std::string data = bytes(size.QuadPart == 0);
    if (int error = writeAll(file.get(), data.data(), data.size()); error != 0)
        throw IoError("cannot write", name, error);
    if (!FlushFileBuffers(file.get())) throwLastError("cannot flush", name);
}

bool ownsConsole() {
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

void waitForEnter() {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    if (in == nullptr || in == INVALID_HANDLE_VALUE) return;
    FlushConsoleInputBuffer(in);
    wchar_t buffer[64];
    for (;;) {
        DWORD read = 0;
        if (!ReadConsoleW(in, buffer, 64, &read, nullptr) || read == 0) return;
        for (DWORD i = 0; i < read; ++i)
            if (buffer[i] == L'\r' || buffer[i] == L'\n') return;
    }
}

std::vector<std::string> utf8Arguments(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    // Strict: a lone surrogate in a path must not turn into another path.
    for (int i = 1; i < argc; ++i) args.push_back(narrow(argv[i]));
    return args;
}

std::string_view settingsPlaceHelp() {
    return "                   HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings の\n"
           "                   R-ZORVEL\\SCHOOL\\DIR_ME、無ければ ZORVEL\\SCHOOL\\DIR_ME "
           "を読み、\n";
}

std::string_view stopStatusHelp() {
    return "  128+n  中断 (130 Ctrl+C または Ctrl+Break、143 コンソールの画面を閉じた、\n"
           "         ログオフまたはシャットダウン。129 (SIGHUP) は POSIX のシステムだけ)\n";
}

}  // namespace kbnset::runtime
