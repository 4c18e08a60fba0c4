#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// What the console front end needs of the terminal: its two output streams, whether one of
// them is a terminal, and Ctrl+C.
namespace kbnset::runtime {

// The help's lines that differ by system: where the data folder's setting is read, and the
// exit statuses of a stop.
std::string_view settingsPlaceHelp();
std::string_view stopStatusHelp();

enum class Stream { out, err };

// Writes UTF-8 text: as it is on POSIX; on Windows as UTF-16 to a console, and in the
// console's output code page to a file or a pipe. Returns 0, or the system's error code of
// a write that failed (the rest of the text is dropped).
int writeConsole(Stream stream, std::string_view utf8);

// True when the stream is an interactive terminal (a console window on Windows).
bool isTerminal(Stream stream);

// The first Ctrl+C (or Ctrl+Break, SIGTERM, SIGHUP; on Windows the console being closed)
// only sets a flag that the program polls; a second one ends the program as usual, so a
// program that no longer polls can still be stopped. SIGPIPE and SIGXFSZ are ignored, so
// that a write they would have ended fails instead.
void installInterruptHandler();
// The signal that asked to stop (SIGINT for Ctrl+C and Ctrl+Break on Windows), 0 for none.
int interruptSignal();

// Ends the process by `signal` as its default action would, once the run has stopped where
// nothing is left half-done: a parent (a shell loop, make, xargs) then sees the child killed
// by the signal and stops too. Returns only where there are no signals (Windows).
void endBySignal(int signal);

// Writes a file of the run's report: created or truncated, or with `append` added to its end.
// Another process doing the same waits until this one is done, so rows never interleave;
// `bytes` is given whether the file is empty before the write. Throws IoError.
void writeReportFile(std::string_view name, bool append,
                     const std::function<std::string(bool empty)>& bytes);

#ifdef _WIN32
// True when the console window is this process's own (started from Explorer): it closes
// when the process ends.
bool ownsConsole();
// Waits until Enter is pressed, or standard input ends.
void waitForEnter();

// The wide arguments of wmain as UTF-8, program name left out. An argument that is not valid
// UTF-16 (a lone surrogate) raises ConversionError.
std::vector<std::string> utf8Arguments(int argc, wchar_t** argv);
#endif

}  // namespace kbnset::runtime
