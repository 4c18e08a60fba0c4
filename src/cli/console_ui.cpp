#include "cli/console_ui.hpp"

#include <algorithm>
#include <utility>

#include "runtime/console.hpp"
#include "runtime/reason.hpp"
#include "update/progress.hpp"
#include "update/run.hpp"

namespace kbnset::cli {

namespace {

constexpr int kBarCells = 24;
constexpr char kLockUnavailableText[] =
    "ロックが使えないフォルダです。他の実行と重ならないようにしてください";

class NativeConsole final : public Console {
  public:
    void out(std::string_view utf8) override {
        // After a failed write nothing more is tried: a later one must not leave a gap.
        if (outError_ == 0) outError_ = runtime::writeConsole(runtime::Stream::out, utf8);
    }
    // Standard error is where failures are told: nothing is left to tell its own.
    void err(std::string_view utf8) override { runtime::writeConsole(runtime::Stream::err, utf8); }
    bool errIsTerminal() override { return runtime::isTerminal(runtime::Stream::err); }
    int outError() override { return outError_; }
    int interrupted() override { return runtime::interruptSignal(); }

  private:
    int outError_ = 0;
};

// Terminal cells of a UTF-8 text, counting every non-ASCII character as a wide one: enough
// to blank out a line that may hold a Japanese file name.
std::size_t cells(std::string_view utf8) {
    std::size_t n = 0;
    for (char c : utf8) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80)
            n += 1;
        else if (byte >= 0xC0)
            n += 2;
    }
    return n;
}

}  // namespace

Console& nativeConsole() {
    static NativeConsole console;
    return console;
}

std::string progressLine(std::string_view file, std::int32_t done, std::int32_t total) {
    int filled = total > 0 ? static_cast<int>(std::int64_t{done} * kBarCells / total) : 0;
    if (filled > kBarCells) filled = kBarCells;
    std::string line(file);
    line += " [";
    line.append(static_cast<std::size_t>(filled), '#');
    line.append(static_cast<std::size_t>(kBarCells - filled), '-');
    line += "] ";
    line += update::progressText(done, total);
    return line;
}

std::string failureLine(std::string_view text, const category::Failure& failure) {
    std::string line(text);
    if (!failure.path.empty()) line += ": " + failure.path;
    std::string detail;
    if (failure.line > 0) detail = std::to_string(failure.line) + " 行目";
    if (std::string reason = runtime::reasonText(failure.cause); !reason.empty())
        detail += (detail.empty() ? "" : "、") + reason;
    if (!detail.empty()) line += "（" + detail + "）";
    return line;
}

ConsoleUserInterface::ConsoleUserInterface(Console& console, update::StopFlag& STOP_FLG,
                                           std::string dataDir, bool noWait)
    : console_(console),
      STOP_FLG_(STOP_FLG),
      terminal_(console.errIsTerminal()),
      dataDir_(std::move(dataDir)),
      noWait_(noWait) {}

void ConsoleUserInterface::showMessage(std::string_view text) {
    showFailure(text, {});
}

void ConsoleUserInterface::showFailure(std::string_view text, const category::Failure& failure) {
    if (!passMessages_.empty() && passMessages_.back().empty()) passMessages_.back() = text;
    line(failureLine(text, failure));
}

void ConsoleUserInterface::line(std::string_view text) {
    clearLine();
    console_.err(std::string(text) + "\n");
}

void ConsoleUserInterface::progress(std::int32_t done, std::int32_t total) {
    if (!terminal_ || done < 0 || total <= 0) return;
    // Redraw only when the percentage moves: thousands of records would otherwise mean
    // thousands of writes to the terminal.
    int percent = static_cast<int>(std::int64_t{done} * 100 / total);
    if (percent == drawnPercent_ && done != total) return;
    std::string line = progressLine(file_, done, total);
    std::size_t width = cells(line);
    std::string draw = "\r" + line;
    if (width < drawnCells_) draw.append(drawnCells_ - width, ' ');
    console_.err(draw);
    drawnCells_ = std::max(width, drawnCells_);
    drawnPercent_ = percent;
}

void ConsoleUserInterface::yield() {
    if (console_.interrupted()) STOP_FLG_ = update::StopFlag::requested;
}

void ConsoleUserInterface::passStarted(std::string_view referenceFile) {
    finish();
    file_ = referenceFile;
    waitShown_ = false;
    passMessages_.emplace_back();
}

// Once per pass, on standard error: not a message of the run, so the exit status stays.
void ConsoleUserInterface::waitingForAnotherRun() {
    if (noWait_) {
        busy_ = true;
        STOP_FLG_ = update::StopFlag::requested;
        return;
    }
    if (waitShown_) return;
    waitShown_ = true;
    line(std::string(update::kWaitingText) + ": " + dataDir_);
}

// Said once per folder: the run goes on, so the exit status stays, but the user must know
// that nothing keeps a second run out of this folder meanwhile.
void ConsoleUserInterface::lockUnavailable(std::string_view folder) {
    if (std::ranges::find(unlockedFolders_, folder) != unlockedFolders_.end()) return;
    unlockedFolders_.emplace_back(folder);
    line(std::string(kLockUnavailableText) + ": " + std::string(folder));
}

void ConsoleUserInterface::finish() {
    if (drawnCells_ == 0) return;
    console_.err("\n");
    drawnCells_ = 0;
    drawnPercent_ = -1;
}

// A message must not end up glued to the end of a half-drawn bar.
void ConsoleUserInterface::clearLine() {
    if (drawnCells_ == 0) return;
    console_.err("\r" + std::string(drawnCells_, ' ') + "\r");
    drawnCells_ = 0;
    drawnPercent_ = -1;
}

}  // namespace kbnset::cli
