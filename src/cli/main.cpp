#include <string>
#include <vector>

#include "cli/cli.hpp"
#include "runtime/console.hpp"

// Ctrl+C is caught before anything else happens, so that it never cuts a save short.
#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    kbnset::runtime::installInterruptHandler();
    return kbnset::cli::runCli(kbnset::runtime::utf8Arguments(argc, argv),
                               kbnset::runtime::nativeSystem(), kbnset::cli::nativeConsole());
}
#else
int main(int argc, char** argv) {
    kbnset::runtime::installInterruptHandler();
    return kbnset::cli::runCli(std::vector<std::string>(argv + 1, argv + argc),
                               kbnset::runtime::nativeSystem(), kbnset::cli::nativeConsole());
}
#endif
