#include <string>
#include <vector>

#include "cli/cli.hpp"
#include "runtime/console.hpp"
#include "runtime/error.hpp"

// Ctrl+C is caught before anything else happens, so that it never cuts a save short.
#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    kbnset::runtime::installInterruptHandler();
    std::vector<std::string> args;
    try {
        args = kbnset::runtime::utf8Arguments(argc, argv);
    } catch (const kbnset::runtime::ConversionError&) {
        kbnset::runtime::writeConsole(kbnset::runtime::Stream::err,
                                      "kbnset-cli: 引数に変換できない文字があります\n");
        return kbnset::cli::kExitUsage;
    }
    return kbnset::cli::runCli(args, kbnset::runtime::nativeSystem(), kbnset::cli::nativeConsole());
}
#else
int main(int argc, char** argv) {
    kbnset::runtime::installInterruptHandler();
    return kbnset::cli::runCli(std::vector<std::string>(argv + 1, argv + argc),
                               kbnset::runtime::nativeSystem(), kbnset::cli::nativeConsole());
}
#endif
