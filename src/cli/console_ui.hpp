#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "update/user_interface.hpp"

namespace kbnset::cli {

// The terminal as the front end sees it; tests put a recording one in its place.
class Console {
  public:
    virtual ~Console() = default;
    virtual void out(std::string_view utf8) = 0;
    virtual void err(std::string_view utf8) = 0;
    virtual bool errIsTerminal() = 0;
    // The signal that asked the program to stop, 0 for none.
    virtual int interrupted() = 0;
};

// The process's own standard output and error, and its Ctrl+C.
Console& nativeConsole();

// One progress line: the reference file, a bar and "n/N".
std::string progressLine(std::string_view file, std::int32_t done, std::int32_t total);

// The steps' user interface on a console: a message box becomes one line on standard
// error; the merge's progress drives a progress bar, drawn only when standard error is a
// terminal; the yield turns a Ctrl+C into the stop request.
class ConsoleUserInterface final : public update::UserInterface {
  public:
    ConsoleUserInterface(Console& console, update::StopFlag& STOP_FLG);

    void showMessage(std::string_view text) override;
    void setBusy(bool) override {}
    void yield() override;
    void passStarted(std::string_view referenceFile) override;
    void progress(std::int32_t done, std::int32_t total) override;
    void waitingForAnotherRun() override;

    // Ends a progress line that is still open, so that what follows starts on its own line.
    void finish();

  private:
    void clearLine();

    Console& console_;
    update::StopFlag& STOP_FLG_;
    const bool terminal_;
    std::string file_;
    std::size_t drawnCells_ = 0;  // width of the progress line on screen, 0 when none
    int drawnPercent_ = -1;
    bool waitShown_ = false;  // the pass in hand has said that it waits
};

}  // namespace kbnset::cli
