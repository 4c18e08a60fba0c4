#include "cli/console_ui.hpp"

#include <gtest/gtest.h>

#include <string>

namespace kbnset::cli {
namespace {

class FakeConsole : public Console {
  public:
    explicit FakeConsole(bool terminal) : terminal_(terminal) {}
    void out(std::string_view t) override { out_ += t; }
    void err(std::string_view t) override {
        err_ += t;
        ++errWrites_;
    }
    bool errIsTerminal() override { return terminal_; }
    bool interrupted() override { return interrupted_; }

    std::string out_, err_;
    int errWrites_ = 0;
    bool interrupted_ = false;

  private:
    bool terminal_;
};

void merge(ConsoleUserInterface& ui, int total) {
    for (int i = 1; i <= total; ++i) {
        ui.setStatus(std::to_string(i) + "/" + std::to_string(total));
        ui.yield();
    }
}

// Redirected, standard error carries the messages and nothing else.
TEST(ConsoleUserInterface, RedirectedErrorGetsOnlyMessages) {
    FakeConsole console(false);
    std::int16_t stop = 0;
    ConsoleUserInterface ui(console, stop);
    ui.passStarted("E_KUBUN.KMT");
    merge(ui, 300);
    ui.showMessage("備品区分ファイルの保存に失敗しました");
    ui.setStatus("備品区分機能設定が終了しました");
    ui.finish();
    EXPECT_EQ(console.err_, "備品区分ファイルの保存に失敗しました\n");
    EXPECT_EQ(console.out_, "");
    EXPECT_EQ(ui.messageCount(), 1);
}

TEST(ConsoleUserInterface, TerminalBarIsClearedForAMessageAndEndsItsLine) {
    FakeConsole console(true);
    std::int16_t stop = 0;
    ConsoleUserInterface ui(console, stop);
    ui.passStarted("E_KUBUN.KMT");
    ui.setStatus("1/4");
    const std::string bar = "\r" + progressLine("E_KUBUN.KMT", 1, 4);
    EXPECT_EQ(console.err_, bar);
    ui.showMessage("メッセージ");
    // The bar is blanked out and the message starts at the beginning of the line.
    const std::string blank = "\r" + std::string(bar.size() - 1, ' ') + "\r";
    EXPECT_EQ(console.err_, bar + blank + "メッセージ\n");
    ui.setStatus("4/4");
    ui.finish();
    EXPECT_EQ(console.err_.substr(console.err_.rfind('\r')),
              "\r" + progressLine("E_KUBUN.KMT", 4, 4) + "\n");
}

// Thousands of records must not mean thousands of writes, but the last one is always drawn.
TEST(ConsoleUserInterface, TerminalRedrawsOnlyWhenThePercentageMoves) {
    FakeConsole console(true);
    std::int16_t stop = 0;
    ConsoleUserInterface ui(console, stop);
    ui.passStarted("J_KUBUN.KMT");
    merge(ui, 5011);
    EXPECT_LE(console.errWrites_, 101);
    EXPECT_GE(console.errWrites_, 100);
    EXPECT_TRUE(console.err_.ends_with(progressLine("J_KUBUN.KMT", 5011, 5011)));
}

TEST(ConsoleUserInterface, YieldTurnsCtrlCIntoTheStopRequest) {
    FakeConsole console(false);
    std::int16_t stop = 0;
    ConsoleUserInterface ui(console, stop);
    ui.yield();
    EXPECT_EQ(stop, 0);
    console.interrupted_ = true;
    ui.yield();
    EXPECT_EQ(stop, 1);
}

TEST(ProgressLine, BarFollowsTheRecordNumber) {
    struct Case {
        std::int32_t done, total;
        const char* line;
    };
    const Case cases[] = {
        {0, 10, "f [------------------------] 0/10"},
        {1, 3, "f [########----------------] 1/3"},
        {5010, 5011, "f [#######################-] 5010/5011"},
        {7, 7, "f [########################] 7/7"},
    };
    for (const Case& c : cases) EXPECT_EQ(progressLine("f", c.done, c.total), c.line);
}

}  // namespace
}  // namespace kbnset::cli
