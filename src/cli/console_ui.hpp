#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "update/run.hpp"

namespace kbnset::cli {

// The terminal as the front end sees it; tests put a recording one in its place.
class Console {
  public:
    virtual ~Console() = default;
    virtual void out(std::string_view utf8) = 0;
    virtual void err(std::string_view utf8) = 0;
    virtual bool errIsTerminal() = 0;
    // 0, or the system's error code of the first write to standard output that failed.
    virtual int outError() { return 0; }
    // The signal that asked the program to stop, 0 for none.
    virtual int interrupted() = 0;
};

// The process's own standard output and error, and its Ctrl+C.
Console& nativeConsole();

// One progress line: the reference file, a bar and "n/N".
std::string progressLine(std::string_view file, std::int32_t done, std::int32_t total);

// A message box's line on standard error: the window's text as it is, then the file, the line
// as an editor counts it and the system's reason, as far as they are known:
//   備品区分ファイルの保存に失敗しました: /srv/school/KUBUN.KMT（ディスクの空きが足りません）
std::string failureLine(std::string_view text, const category::Failure& failure);

// The steps' user interface on a console: a message box becomes one line on standard
// error; the merge's progress drives a progress bar, drawn only when standard error is a
// terminal; the yield turns a Ctrl+C into the stop request. With `noWait`, finding the data
// folder `dataDir` held by another kbnset stops the run instead of waiting.
class ConsoleUserInterface final : public update::UserInterface {
  public:
    ConsoleUserInterface(Console& console, update::StopFlag& STOP_FLG, std::string dataDir,
                         bool noWait);

    void showMessage(std::string_view text) override;
    void showFailure(std::string_view text, const category::Failure& failure) override;
    void setBusy(bool) override {}
    void yield() override;
    void passStarted(std::string_view referenceFile) override;
    void progress(std::int32_t done, std::int32_t total) override;
    void waitingForAnotherRun() override;
    void lockUnavailable(std::string_view folder) override;

    // Ends a progress line that is still open, so that what follows starts on its own line.
    void finish();

    // The first message of each pass that showed one, empty for the others.
    const std::vector<std::string>& passMessages() const { return passMessages_; }
    // With `noWait`: the run ended because another kbnset held the data folder.
    bool foundBusy() const { return busy_; }

  private:
    void clearLine();
    void line(std::string_view text);

    Console& console_;
    update::StopFlag& STOP_FLG_;
    const bool terminal_;
    std::string file_;
    std::size_t drawnCells_ = 0;  // width of the progress line on screen, 0 when none
    int drawnPercent_ = -1;
    bool waitShown_ = false;  // the pass in hand has said that it waits
    const std::string dataDir_;
    const bool noWait_;
    bool busy_ = false;
    std::vector<std::string> passMessages_;
    std::vector<std::string> unlockedFolders_;  // told that they give no lock
};

}  // namespace kbnset::cli
