#include <string>
#include <vector>

#include "cli/cli.hpp"
#include "runtime/console.hpp"
#include "runtime/error.hpp"

// Ctrl+C is caught before anything else happens, so that it never cuts a save short.
#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    kbnset::runtime::installInterruptHandler();
    int status = kbnset::cli::kExitUsage;
    try {
        status = kbnset::cli::runCli(kbnset::runtime::utf8Arguments(argc, argv),
                                     kbnset::runtime::nativeSystem(), kbnset::cli::nativeConsole());
    } catch (const kbnset::runtime::ConversionError&) {
        kbnset::runtime::writeConsole(kbnset::runtime::Stream::err,
                                      "kbnset-cli: 引数に変換できない文字があります\n");
    }
    // Started from Explorer, the window would close before anyone read the summary.
    if (kbnset::runtime::ownsConsole() && kbnset::runtime::interruptSignal() == 0) {
        kbnset::runtime::writeConsole(kbnset::runtime::Stream::err, "Enter キーを押すと閉じます\n");
        kbnset::runtime::waitForEnter();
    }
    return status;
}
#else
int main(int argc, char** argv) {
    kbnset::runtime::installInterruptHandler();
    const int status =
        kbnset::cli::runCli(std::vector<std::string>(argv + 1, argv + argc),
                            kbnset::runtime::nativeSystem(), kbnset::cli::nativeConsole());
    // Stopped by a signal: end by it, so that the shell or make that started us stops too.
    const int signal = kbnset::runtime::interruptSignal();
    if (signal != 0 && status == kbnset::cli::kExitInterrupted + signal)
        kbnset::runtime::endBySignal(signal);
    return status;
}
#endif
