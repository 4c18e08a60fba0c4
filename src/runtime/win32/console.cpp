#include "runtime/console.hpp"

#include <windows.h>

#include <atomic>

namespace kbnset::runtime {

namespace {

std::atomic<bool> interrupted{false};

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI onControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    // FALSE for the second press hands it to the default handler, which ends the process.
    return interrupted.exchange(true) ? FALSE : TRUE;
}

HANDLE handleOf(Stream stream) {
    return GetStdHandle(stream == Stream::out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

bool isConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

// Lenient on purpose: this is display text, and a replacement character beats losing the line.
std::wstring toWide(std::string_view utf8) {
    if (utf8.empty() || utf8.size() > 0x7fffffff) return {};
    const int size = static_cast<int>(utf8.size());
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), n);
    return wide;
}

std::string toCodePage(std::wstring_view wide, UINT codePage) {
    if (wide.empty() || wide.size() > 0x7fffffff) return {};
    const int size = static_cast<int>(wide.size());
    int n = WideCharToMultiByte(codePage, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string bytes(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), size, bytes.data(), n, nullptr, nullptr);
    return bytes;
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
    std::wstring wide = toWide(utf8);
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
    std::string bytes = toCodePage(wide, codePage);
    writeAll(handle, bytes.data(), bytes.size());
}

bool isTerminal(Stream stream) {
    return isConsole(handleOf(stream));
}

void installInterruptHandler() {
    SetConsoleCtrlHandler(onControl, TRUE);
}

bool interruptRequested() {
    return interrupted.load();
}

std::vector<std::string> utf8Arguments(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        std::wstring_view wide(argv[i]);
        args.push_back(toCodePage(wide, CP_UTF8));
    }
    return args;
}

}  // namespace kbnset::runtime
