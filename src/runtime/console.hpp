#pragma once

#include <string>
#include <string_view>
#include <vector>

// What the console front end needs of the terminal: its two output streams, whether one of
// them is a terminal, and Ctrl+C.
namespace kbnset::runtime {

enum class Stream { out, err };

// Writes UTF-8 text: as it is on POSIX; on Windows as UTF-16 to a console, and in the
// console's output code page to a file or a pipe. Errors are ignored: there is nowhere left
// to report them.
void writeConsole(Stream stream, std::string_view utf8);

// True when the stream is an interactive terminal (a console window on Windows).
bool isTerminal(Stream stream);

// The first Ctrl+C (or Ctrl+Break, SIGTERM, SIGHUP; on Windows the console being closed)
// only sets a flag that the program polls; a second one ends the program as usual, so a
// program that no longer polls can still be stopped. SIGPIPE and SIGXFSZ are ignored, so
// that a write they would have ended fails instead.
void installInterruptHandler();
// The signal that asked to stop (SIGINT for Ctrl+C and Ctrl+Break on Windows), 0 for none.
int interruptSignal();

#ifdef _WIN32
// The wide arguments of wmain as UTF-8, program name left out. An argument that is not valid
// UTF-16 (a lone surrogate) raises ConversionError.
std::vector<std::string> utf8Arguments(int argc, wchar_t** argv);
#endif

}  // namespace kbnset::runtime
