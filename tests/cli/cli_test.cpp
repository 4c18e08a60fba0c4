// What a user of kbnset-cli sees, in one table: the files there at the start, the arguments,
// an injected failure or Ctrl+C → the messages, the summary, the exit status and the bytes of
// KUBUN.KMT afterwards. The program runs in this process on the real files.
#include "cli/cli.hpp"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cli/options.hpp"
#include "cli/process.hpp"
#include "runtime/paths.hpp"
#include "support/faulty_system.hpp"
#include "support/kmt.hpp"
#include "support/temp_dir.hpp"
#include "support/text.hpp"
#include "update/run.hpp"

namespace kbnset::test {
namespace {

namespace fs = std::filesystem;
using Op = FaultySystem::Op;

constexpr char kE[] = "E_KUBUN.KMT";
constexpr char kJ[] = "J_KUBUN.KMT";
constexpr const char* kCompletion = update::kCompletionText;
// Each message line: the window's text, then the file and, where known, the line and the reason.
constexpr char kNoRef[] = "基準ファイルが有りません: $S/KUBUN.KMT";  // the last file looked for
constexpr char kNoKubun[] = "備品区分ファイルが有りません: $D/KUBUN.KMT";
constexpr char kSaveFailed[] = "備品区分ファイルの保存に失敗しました: $D/KUBUN.KMT";
constexpr char kStopped[] = "kbnset-cli: 中断しました";
constexpr char kDry[] = "保存できないため";
const std::string kHeader = "データフォルダ,行,区分名,教科など,変更,変更前,変更後,基準ファイル",
                  kBom = "\xEF\xBB\xBF";

// clang-format off
std::string kubunFailed(int n, int line) {
    return "備品区分ファイルの読込に失敗しました(" + std::to_string(n) + "): $D/KUBUN.KMT" + (line > 0 ? "（" + std::to_string(line) + " 行目）" : "");
}
std::string set(const std::string& file, int n, int codes = 0) {
    return file + ": 分類を設定した区分 " + std::to_string(n) + " 件、区分コードを直した区分 " + std::to_string(codes) + " 件";
}
// Why a pass did not reach the merge, after "<reference file>: ".
constexpr char kNoRefWhy[] = "基準ファイルが無いため処理していません";
constexpr char kRefWhy[] = "基準ファイルを読み込めなかったため処理していません";
constexpr char kNoKubunWhy[] = "備品区分ファイル KUBUN.KMT が無いため処理していません";
constexpr char kKubunWhy[] = "備品区分ファイル KUBUN.KMT を読み込めなかったため処理していません";
std::string unread(const std::string& file, const char* why = kKubunWhy) { return file + ": " + why; }
std::string left(int n) { return "分類が空のままの区分: " + std::to_string(n) + " 件"; }
std::string unsaved(const std::string& file, int n, const char* why = "保存に失敗したため") {
    return file + ": " + why + "分類を設定していません（設定できた区分 " + std::to_string(n) + " 件）";
}
// clang-format on

// The destination: one record found in both reference files, one only in J, one only in E,
// one in neither, one classified already, one management record.
const std::vector<Rec> kDestination = {
    {.name = "顕微鏡", .key2 = "理科"},
    {.name = "ミシン", .key2 = "家庭"},
    {.name = "跳び箱", .key2 = "体育"},
    {.name = "学校独自", .key2 = "校務"},
    {.name = "ピアノ", .key2 = "音楽", .cls = "手書き"},
    {.type = "管理", .name = "理科備品", .key2 = "理科"},
};
const std::vector<Rec> kElementary = {
    {.name = "顕微鏡", .key2 = "理科", .cls = "E理科"},
    {.name = "跳び箱", .key2 = "体育", .cls = "E体育"},
    {.name = "ピアノ", .key2 = "音楽", .cls = "E楽器"},
    {.name = "理科備品", .key2 = "理科", .cls = "E管理"},
};
const std::vector<Rec> kJuniorHigh = {{.name = "顕微鏡", .key2 = "理科", .cls = "J理科"},
                                      {.name = "ミシン", .key2 = "家庭", .cls = "J家庭"}};
const std::vector<Rec> kSource = {{.name = "顕微鏡", .key2 = "理科", .cls = "S"},
                                  {.name = "ミシン", .key2 = "家庭", .cls = "S"}};

// KUBUN.KMT as the destination with these classifications.
std::string classified(const std::vector<std::string>& classes) {
    std::vector<Rec> records = kDestination;
    for (std::size_t i = 0; i < records.size(); ++i) records[i].cls = classes[i];
    return kmt(records);
}
std::string many(int n) {
    return kmt(std::vector<Rec>(static_cast<std::size_t>(n), Rec{.name = "机"}));
}
// Both streams as a terminal shows them, each line as the text after its last CR draws it.
std::vector<std::string> screenOf(const std::string& text) {
    std::vector<std::string> lines = linesOf(text);
    for (std::string& line : lines) {
        line.erase(0, line.find_last_of('\r') + 1);
        line.erase(line.find_last_not_of(' ') + 1);
    }
    return lines;
}

struct RecordingConsole : cli::Console {
    void out(std::string_view utf8) override { outText += utf8, screen += utf8; }
    void err(std::string_view utf8) override { errText += utf8, screen += utf8; }
    bool errIsTerminal() override { return terminal; }
    // Ctrl+C (SIGINT, 2) from the `stopFrom`-th poll on; the run polls once per record merged
    // and once between the passes.
    int interrupted() override { return stopFrom > 0 && ++polls >= stopFrom ? 2 : 0; }

    std::string outText{}, errText{}, screen{};
    bool terminal = false;
    int stopFrom = 0, polls = 0, status = -1;
};

// What a file system may leave unknown: no locks at all, or a replace the dry run cannot ask
// every question of.
class UnsureSystem final : public FaultySystem {
  public:
    UnsureSystem(bool noLocks, bool unsure)
        : FaultySystem(runtime::nativeSystem()), noLocks_(noLocks), unsure_(unsure) {}
    std::unique_ptr<runtime::FileLock> lockFile(std::string_view dir, std::string_view file,
                                                std::chrono::milliseconds patience) override {
        struct NoLock : runtime::FileLock {
            bool held() const override { return false; }
        };
        if (noLocks_) return std::make_unique<NoLock>();
        return FaultySystem::lockFile(dir, file, patience);
    }
    bool checkReplaceable(std::string_view target) override {
        return FaultySystem::checkReplaceable(target) && !unsure_;
    }

  private:
    bool noLocks_, unsure_;
};

struct Fault {
    Op op = Op::None;
    int n = 0;
    const char* file = "KUBUN.KMT";
};

struct Case {
    const char* name = "";
    // The files there at the start: E_ and J_KUBUN.KMT in the start folder, KUBUN.KMT in the
    // data folder, and more by their path from the folder the program starts in.
    std::optional<std::string> e = kmt(kElementary), j = kmt(kJuniorHigh),
                               kubun = kmt(kDestination);
    std::vector<std::pair<std::string, std::string>> files{};
    // "$R" is the folder the program starts in, "$S" the start folder, "$D" the data folder.
    std::vector<std::string> args{"--data-dir", "$D", "--start-dir", "$S"};
    std::map<std::string, std::string> settings{};
    Fault fault{};
    int stopFrom = 0;
    bool readOnly = false, locked = false, terminal = false, noLocks = false, unsure = false;
    // Run the real program as a child process meeting this (POSIX).
    std::optional<Hostile> child{};
    // Standard error and output; a line ending in '*' is matched by its beginning.
    std::vector<std::string> err{}, out{};
    int status = 0;
    std::optional<std::string> after{};  // KUBUN.KMT at the end; none: as it was
    std::vector<std::string> screen{};   // with `terminal`, both streams as the user sees them
    std::vector<std::pair<std::string, std::string>> filesAfter{};  // by path from "$R"
    // Runs before the one seen, and what another program writes to KUBUN.KMT after them.
    std::vector<std::vector<std::string>> earlier{};
    std::optional<std::string> edit{};
    // KUBUN.KMT.kbnset-undo at the end; none: the file at the start when the run changed it,
    // else no undo files at all.
    std::optional<std::string> kept{};
};

const std::string kOnlyJ = classified({"J理科", "J家庭", "", "", "手書き", ""});
const std::vector<std::string> kBothOut = {set(kE, 2), set(kJ, 1), left(1), kCompletion};

// clang-format off
std::vector<std::string> with(std::vector<std::string> extra) {
    extra.insert(extra.begin(), {"--data-dir", "$D", "--start-dir", "$S"});
    return extra;
}
// Neither pass can load KUBUN.KMT, and each says so.
Case neither(Case c, const std::string& message, const char* why = kKubunWhy) {
    c.err = {message, message}, c.out = {unread(kE, why), unread(kJ, why)}, c.status = 1;
    return c;
}
// The first pass ends with `message`; the second fills from the file as it was.
Case onlyJ(Case c, const std::string& message, const char* why = kKubunWhy) {
    c.err = {message}, c.out = {message == kSaveFailed ? unsaved(kE, 2) : unread(kE, why), set(kJ, 2), left(2), kCompletion};
    c.status = 1, c.after = kOnlyJ;
    return c;
}
// Neither pass may save (`why`: as a dry run says it).
Case neverSaved(Case c, const char* why = "保存に失敗したため", const std::string& reason = "") {
    c.err = {kSaveFailed + reason, kSaveFailed + reason}, c.out = {unsaved(kE, 2, why), unsaved(kJ, 2, why), left(4), kCompletion}, c.status = 1;
    return c;
}
Case usage(Case c, const std::string& why) {
    c.err = {"kbnset-cli: " + why, "kbnset-cli: 使い方は kbnset-cli --help で表示します"}, c.status = 2;
    return c;
}
// clang-format on

// A '*' in an expected line stands for any text.
void expectLines(std::vector<std::string> seen, const std::vector<std::string>& expected) {
    for (std::size_t i = 0; i < std::min(seen.size(), expected.size()); ++i) {
        const std::size_t star = expected[i].find('*');
        if (star == std::string::npos) continue;
        const std::string head = expected[i].substr(0, star), tail = expected[i].substr(star + 1);
        if (seen[i].size() >= head.size() + tail.size() && seen[i].starts_with(head) &&
            seen[i].ends_with(tail))
            seen[i] = expected[i];
    }
    EXPECT_EQ(seen, expected);
}

TEST(KbnsetCli, WhatTheUserSees) {
    const std::string onlyE = classified({"E理科", "", "E体育", "", "手書き", ""});
    const std::string onlyS = classified({"S", "S", "", "", "手書き", ""});
    // After both passes the elementary classification stays where both files know the record.
    const std::string both = classified({"E理科", "J家庭", "E体育", "", "手書き", ""});
    const std::string kubun = kmt(kDestination);
    const std::string undone = "備品区分ファイルを * の実行の前に戻しました",
                      redone = "備品区分ファイルを * の実行の後に戻しました";
    const std::string
        kChanged =
            "kbnset-cli: "
            "備品区分ファイルが前回の備品区分機能設定の後に変更されているため、元に戻せません",
        kNothing = "kbnset-cli: 元に戻せる実行が有りません",
        kUndoFailed = "kbnset-cli: 備品区分ファイルを元に戻せませんでした: *";
    // The read calls that fetch the first byte of the records and the fourth of the third
    // record: call n fetches byte n - 1.
    const std::size_t first = kubun.find("\r\n") + 2, second = kubun.find("\r\n", first) + 2;
    const int atRecords = static_cast<int>(first) + 1;
    const int inThird = static_cast<int>(kubun.find("\r\n", second)) + 2 + 4;
    // A folder path as long as the system takes, and one byte (or character) more.
#ifdef _WIN32
    const std::string atLimit = "C:\\" + std::string(runtime::kDirectoryLimit - 3, 'x'),
                      unit = " 文字";
#else
    const std::string atLimit = "/" + std::string(runtime::kDirectoryLimit - 1, 'x'),
                      unit = " バイト";
#endif
#ifdef _WIN32
    const std::string sep = "\\";
#else
    const std::string sep = "/";
#endif
    const std::string overLimit = atLimit + "x", limit = std::to_string(runtime::kDirectoryLimit);
    const std::string bad = "\"x\",0,\"x\",\"1\",\"\",0,\"\",0,0,\"\",\"\",0,0\r\n";
    const std::string nul = many(1) + cp932("\"一般\",0,\"机") + std::string(1, '\0') +
                            bad.substr(bad.find(",\"1\"") - 1);
    const auto none = std::nullopt;
#ifdef _WIN32
    const std::string badName = "bad<name.kmt", badWhy;  // a character Windows refuses in a name
#else
    const std::string badName(300, 'x'),
        badWhy = "（パスが長すぎます）";  // longer than a name may be
#endif

    // clang-format off
#ifndef _WIN32
    // Full tables with long names, so that a signal arrives while the first pass is at work;
    // the loads stop too, so nothing of the category file need be known.
    std::map<std::string, std::string> large;
    for (const char* cls : {"", "E", "J"}) {
        std::vector<Rec> full;
        for (int i = 0; i < 5011; ++i)
            full.push_back({.name = std::to_string(i) + std::string(200, 'x'), .cls = cls});
        large[cls] = kmt(full);
    }
    // The child ends killed by the signal, so that its parent stops too: in a shell loop no
    // "next" follows.
    auto signalled = [&](const char* name, int signal, bool shell = false) {
        return Case{.name = name, .e = large["E"], .j = large["J"], .kubun = large[""], .child = Hostile{.signal = signal, .shell = shell},
                    .err = {kStopped}, .out = {"E_KUBUN.KMT: *"}, .status = -signal};
    };
#endif
    const Case cases[] = {
        // Which files are there.
        neither({.name = "nothing at all", .e = none, .j = none, .kubun = none}, kNoRef, kNoRefWhy),
        neither({.name = "no KUBUN.KMT", .kubun = none}, kNoKubun, kNoKubunWhy),
        onlyJ({.name = "only J_KUBUN.KMT", .e = none}, kNoRef, kNoRefWhy),
        {.name = "two passes, elementary first", .out = kBothOut, .after = both},
        {.name = "KUBUN.KMT of the start folder stands in for E, its header of texts", .e = none,
         .files = {{"start/KUBUN.KMT", cp932(kmtText(kElementary, "\"a\",\"b\",0,\"\",\"\",\"\"\r\n"))}},
         .out = {set("KUBUN.KMT（E_KUBUN.KMT の代わり）", 2), set(kJ, 1), left(1), kCompletion}, .after = both},
        // One pass with the chosen file; a relative name is taken from the start folder.
        {.name = "relative source", .files = {{"start/mine.kmt", kmt(kSource)}, {"mine.kmt", kmt(kJuniorHigh)}},
         .args = with({"--source", "mine.kmt"}), .out = {set("mine.kmt", 2), left(2), kCompletion}, .after = onlyS},
        {.name = "absolute Japanese source", .e = none, .j = none, .files = {{"start/基準一覧.KMT", kmt(kSource)}},
         .args = with({"--source", "$S/基準一覧.KMT"}), .out = {set("$S/基準一覧.KMT", 2), left(2), kCompletion},
         .after = onlyS},
        // A source typed wrong is the user's slip, not a file to stand in for.
        {.name = "missing source", .files = {{"start/KUBUN.KMT", kmt(kSource)}}, .args = with({"--source", "no.kmt"}),
         .err = {"kbnset-cli: --source のファイルが有りません: $S/no.kmt"}, .status = 2},
        // A look-up that fails is a read failure, not a missing file to stand in for.
        {.name = "source name that cannot be looked up", .files = {{"start/KUBUN.KMT", kmt(kElementary)}},
         .args = with({"--source", badName}), .err = {"基準ファイルの読込に失敗しました(0): $S/" + badName + badWhy}, .out = {unread(badName, kRefWhy)},
         .status = 1},

        // Load failures name the record; the other pass still runs on the file as it was.
        neither({.name = "empty KUBUN.KMT", .kubun = ""}, kubunFailed(0, 1)),
        neither({.name = "header of five values", .kubun = "1,2,0,\"\",\"\"\r\n"}, kubunFailed(0, 1)),
        neither({.name = "header beyond an Integer", .kubun = "32768,2,0,\"\",\"\",\"\"\r\n"}, kubunFailed(0, 1)),
        neither({.name = "second value beyond an Integer", .kubun = many(1) + "\"x\",32768" + bad.substr(5)}, kubunFailed(1, 3)),
        neither({.name = "last record of twelve values", .kubun = many(2) + bad.substr(0, bad.size() - 4) + "\r\n"}, kubunFailed(2, 4)),
        neither({.name = "code that is no number", .kubun = many(2) + "\"x\",0,\"x\",\"12A\"" + bad.substr(13)}, kubunFailed(2, 4)),
        neither({.name = "value of 4,097 bytes", .kubun = kmt({{.name = "机"}, {.name = std::string(4097, 'x')}})}, kubunFailed(1, 3)),
        neither({.name = "NUL in a value", .kubun = nul}, kubunFailed(1, 3)),
        neither({.name = "bytes that are not CP932", .kubun = many(1) + "\"\x81\"" + bad.substr(3)}, kubunFailed(1, 3)),
        {.name = "5,011 records fit", .kubun = many(5011), .out = {set(kE, 0), set(kJ, 0), left(5011), kCompletion}},
        neither({.name = "the 5,012th record does not", .kubun = many(5012)}, kubunFailed(5011, 5013)),
        onlyJ({.name = "E_KUBUN.KMT with code number -1", .e = kmt({kElementary[0], {.name = "机", .code = "K-1001"}})},
              "基準ファイルの読込に失敗しました(1): $S/E_KUBUN.KMT（3 行目）", kRefWhy),
        onlyJ({.name = "KUBUN.KMT cannot be opened", .fault = {Op::OpenRead, 1}}, kubunFailed(0, 0)),
        onlyJ({.name = "read error in the header", .fault = {Op::Read, 1}}, kubunFailed(0, 1)),
        onlyJ({.name = "read error before the first record", .fault = {Op::Read, atRecords}}, kubunFailed(-1, 2)),
        onlyJ({.name = "read error inside the third record", .fault = {Op::Read, inThird}}, kubunFailed(2, 4)),

        // Every failure point of the save leaves the file as it was and no temporary file.
        {.name = "data folder left", .args = with({"--source", "$S/J_KUBUN.KMT"}), .fault = {Op::ChangeDirectory, 2, "data"},
         .err = {kSaveFailed}, .out = {unsaved("$S/J_KUBUN.KMT", 2), left(4), kCompletion}, .status = 1},
        onlyJ({.name = "temporary file", .fault = {Op::CreateTemporary, 1}}, kSaveFailed),
        onlyJ({.name = "first write", .fault = {Op::Write, 1}}, kSaveFailed),
        onlyJ({.name = "last write", .fault = {Op::Write, 7}}, kSaveFailed),
        onlyJ({.name = "commit", .fault = {Op::Commit, 1}}, kSaveFailed),
        onlyJ({.name = "check of the loaded file", .fault = {Op::Check, 1}}, kSaveFailed),
        {.name = "final replace", .fault = {Op::Replace, 2}, .err = {kSaveFailed},
         .out = {set(kE, 2), unsaved(kJ, 1), left(2), kCompletion}, .status = 1, .after = onlyE},
        {.name = "read-only KUBUN.KMT", .readOnly = true, .err = {kSaveFailed + std::string("（*"), kSaveFailed + std::string("（*")},
         .out = {unsaved(kE, 2), unsaved(kJ, 2), left(4), kCompletion}, .status = 1},

        // The saved format: the header's first two values and every record's own values stay,
        // the code in half-width capitals, constants in place of the values the suite drops.
        // One pass: a second save could undo a fault of the first.
        {.name = "saved format", .e = none, .j = none,
         .kubun = cp932("3,120,99,\"x\",\"y\",\"z\"\r\n"
                        "\"管理\",5,\"机\",\"ｋ１２\",\"A\",6,\"七\",8,9,\"C\",\"eleven\",12,13\r\n"
                        "\"管理者\",-1,\"椅子,大\",\"p3\",\"\",-6,\"\",-8\r\n-9,\"\",\"\",0,0\r\n"),
         .files = {{"start/mine.kmt", kmt({{.name = "椅子,大", .cls = "S"}})}},
         .args = with({"--source", "mine.kmt"}), .out = {set("mine.kmt", 1, 2), left(0), kCompletion},
         .after = cp932("3,120,0,\"\",\"\",\"\"\r\n"
                        "\"管理\",5,\"机\",\"K12\",\"A\",6,\"七\",8,9,\"C\",\"\",0,0\r\n"
                        "\"管理者\",-1,\"椅子,大\",\"P3\",\"\",-6,\"\",-8,-9,\"S\",\"\",0,0\r\n")},
        {.name = "header alone, spread over lines", .kubun = "5\r\n6,0,\"\"\r\n\"\",\"\"\r\n",
         .out = {set(kE, 0), set(kJ, 0), left(0), kCompletion}, .after = "5,6,0,\"\",\"\",\"\"\r\n"},

        // --dry-run writes nothing, and refuses what the save would refuse.
        {.name = "dry run", .args = with({"-n"}),
         .out = {"E_KUBUN.KMT: 分類を設定する区分 2 件、区分コードを直す区分 0 件（--dry-run のため保存していません）",
                 "J_KUBUN.KMT: 分類を設定する区分 1 件、区分コードを直す区分 0 件（--dry-run のため保存していません）", left(1),
                 kCompletion}},
        {.name = "dry run that cannot know", .args = with({"-n"}), .unsure = true,
         .out = {"E_KUBUN.KMT: 分類を設定する区分 2 件*", "J_KUBUN.KMT: 分類を設定する区分 1 件*", left(1),
                 "$D/KUBUN.KMT: 保存できるか確かめられません（実際の保存は失敗することがあります）",
                 "$D/KUBUN.KMT.kbnset-undo.ini: 保存できるか確かめられません（実際の保存は失敗することがあります）", kCompletion},
         .status = 1},
        neverSaved({.name = "read-only KUBUN.KMT, dry run", .args = with({"--dry-run"}), .readOnly = true}, kDry, "（読み取り専用のファイルです）"),

        // The report: one row per change, the still-empty records last; a file in UTF-8 with a
        // byte order mark and a header, appended to without one.
        {.name = "report on standard output", .args = with({"--report", "-"}), .err = kBothOut,
         .out = {kHeader, "$D,2,顕微鏡,理科,分類,,E理科,E_KUBUN.KMT", "$D,4,跳び箱,体育,分類,,E体育,E_KUBUN.KMT",
                 "$D,3,ミシン,家庭,分類,,J家庭,J_KUBUN.KMT", "$D,5,学校独自,校務,分類が空のまま,,,"}, .after = both},
        {.name = "dry run appended to a table: a comma in a name, a code normalised", .kubun = kmt({{.name = "椅子,大", .code = "ｐ３"}}),
         .files = {{"start/mine.kmt", kmt({{.name = "椅子,大", .cls = "S"}})}, {"r.csv", kBom + kHeader + "\r\nold\r\n"}},
         .args = with({"-n", "--source", "mine.kmt", "--report-append", "$R/r.csv"}),
         .out = {"mine.kmt: 分類を設定する区分 1 件、区分コードを直す区分 1 件（--dry-run のため保存していません）", left(0), kCompletion},
         .filesAfter = {{"r.csv", kBom + kHeader + "\r\nold\r\n$D,2,\"椅子,大\",,分類,,S,mine.kmt\r\n$D,2,\"椅子,大\",,区分コード,ｐ３,P3,\r\n"}}},
        {.name = "report replacing a file", .e = none, .j = none, .kubun = kmt({{.name = "机"}}), .files = {{"start/mine.kmt", kmt({})}, {"r.csv", "old\r\n"}},
         .args = with({"--source", "mine.kmt", "--report", "$R/r.csv"}), .out = {set("mine.kmt", 0), left(1), kCompletion},
         .filesAfter = {{"r.csv", kBom + kHeader + "\r\n$D,2,机,,分類が空のまま,,,\r\n"}}},
        {.name = "report into a missing folder", .args = with({"--report", "$R/gone/r.csv"}),
         .err = {"kbnset-cli: --report のフォルダが有りません: $R/gone"}, .status = 2},

        // Ctrl+C ends the run after the record in hand, with nothing more saved; after the
        // final save it changes nothing.
        {.name = "stop in the first merge", .stopFrom = 1, .err = {kStopped},
         .out = {"E_KUBUN.KMT: 中断したため保存していません（分類を設定できた区分 1 件）", left(4)}, .status = 130},
        {.name = "stop between the passes", .stopFrom = 7, .err = {kStopped}, .out = {set(kE, 2), left(2)},
         .status = 130, .after = onlyE},
        {.name = "stop after the final save", .stopFrom = 14, .out = kBothOut, .after = both},
        {.name = "stop while the first pass fails", .e = none, .stopFrom = 1, .err = {kNoRef, kStopped},
         .out = {unread(kE, kNoRefWhy)}, .status = 130},
        // Another kbnset holds the data folder: the run waits, and a stop still ends it.
        {.name = "stop while waiting", .stopFrom = 1, .locked = true,
         .err = {"他の備品区分機能設定の終了を待っています: $D", kStopped}, .out = {unread(kE, "中断したため処理していません")},
         .status = 130},
        // A folder that gives no lock is said once, and the run goes on.
        {.name = "no locks", .noLocks = true, .err = {"ロックが使えないフォルダです。他の実行と重ならないようにしてください: $D"},
         .out = kBothOut, .after = both},
        {.name = "--no-wait", .args = with({"--no-wait"}), .locked = true,
         .err = {"kbnset-cli: 他の備品区分機能設定がデータフォルダを使っています: $D"},
         .out = {unread(kE, "他の備品区分機能設定がデータフォルダを使っているため処理していません")}, .status = 1},

#ifndef _WIN32
        // The real program: SIGINT, SIGTERM and SIGHUP stop it after the record in hand with
        // 128 + the signal; a closed pipe on standard error and a file-size limit kill nothing.
        signalled("SIGINT", SIGINT), signalled("SIGTERM", SIGTERM), signalled("SIGHUP", SIGHUP),
        signalled("Ctrl+C in a shell loop", SIGINT, true),
        // Output that cannot be written is told after the work, which is saved as usual.
        {.name = "standard output to a full disk", .child = Hostile{.fullOut = true},
         .err = {"kbnset-cli: 標準出力に書き込めませんでした（ディスクの空きが足りません）"}, .status = 1, .after = both},
        {.name = "closed standard error", .e = none, .j = large["J"], .kubun = large[""], .child = Hostile{.closedErr = true},
         .out = {unread(kE, kNoRefWhy), set(kJ, 5011), left(0), kCompletion}, .status = 1, .after = large["J"]},
        {.name = "file-size limit", .e = large["E"], .j = large["J"], .kubun = large[""], .child = Hostile{.sizeLimit = 65536},
         .err = {kSaveFailed + std::string("（ファイルの大きさの上限を超えます）"), kSaveFailed + std::string("（ファイルの大きさの上限を超えます）")},
         .out = {unsaved(kE, 5011), unsaved(kJ, 5011), left(5011), kCompletion}, .status = 1},
#endif

        // The progress bar never shares a line with a message or the summary.
        {.name = "terminal", .fault = {Op::Replace, 1}, .terminal = true,
         .out = {unsaved(kE, 2), set(kJ, 2), left(2), kCompletion}, .status = 1, .after = kOnlyJ,
         .screen = {kSaveFailed, "J_KUBUN.KMT [########################] 6/6", unsaved(kE, 2), set(kJ, 2), left(2),
                    kCompletion}},

        // Without --data-dir the folder comes from the settings store, then from the eighth
        // item of ZORVEL.SEW in that folder; relative ones from where each was found.
        {.name = "data folder from the settings", .args = {"--start-dir", "$S"},
         .settings = {{"R-ZORVEL/SCHOOL/DIR_ME", "data"}}, .out = kBothOut, .after = both},
        {.name = "data folder from ZORVEL.SEW", .files = {{"ZORVEL.SEW", cp932(sew("2024,18,\"data\""))}},
         .args = {"--start-dir", "$S"}, .settings = {{"ZORVEL/SCHOOL/DIR_ME", "$R"}}, .out = kBothOut, .after = both},
        {.name = "no data folder", .args = {"--start-dir", "$S"},
         .err = {"kbnset-cli: データフォルダが分かりません。--data-dir で指定するか、R-ZORVEL の SCHOOL / DIR_ME に設定してください"},
         .status = 2},

        // A command line that is wrong touches no file.
        usage({.name = "unknown option", .args = with({"--bogus"})}, "不明なオプションです: --bogus"),
        usage({.name = "a slip near a known option", .args = with({"--no-wiat"})}, "不明なオプションです: --no-wiat（--no-wait のことですか）"),
        usage({.name = "value for a flag", .args = with({"--dry-run=1"})}, "--dry-run は値を取りません"),
        usage({.name = "extra argument", .args = with({"extra"})}, "余分な引数です: extra"),
        usage({.name = "no value", .args = with({"--source"})}, "--source には値が必要です"),
        usage({.name = "empty value", .args = with({"--source="})}, "--source の値が空です"),
        usage({.name = "source twice", .args = with({"--source", "a", "--source=b"})}, "--source が二回指定されています"),
        {.name = "missing data folder", .args = {"--data-dir", "$R/gone", "--start-dir", "$S"},
         .err = {"kbnset-cli: --data-dir のフォルダが有りません: $R/gone"}, .status = 2},
        {.name = "data folder that is a file", .args = {"--data-dir", "$D/KUBUN.KMT", "--start-dir", "$S"},
         .err = {"kbnset-cli: --data-dir のフォルダが有りません: $D/KUBUN.KMT"}, .status = 2},
        {.name = "missing start folder", .args = {"--data-dir", "$D", "--start-dir", "$R/gone"},
         .err = {"kbnset-cli: --start-dir のフォルダが有りません: $R/gone"}, .status = 2},
        {.name = "start folder path at the limit", .args = {"--data-dir", "$D", "--start-dir", atLimit},
         .err = {"kbnset-cli: --start-dir のフォルダが有りません: " + atLimit}, .status = 2},
        {.name = "start folder path over the limit", .args = {"--data-dir", "$D", "--start-dir", overLimit},
         .err = {"kbnset-cli: --start-dir のフォルダのパスが長すぎます（" + std::to_string(overLimit.size()) + unit +
                 "、このシステムの上限は " + limit + unit + "）: " + overLimit}, .status = 2},
        {.name = "version", .args = with({"--version", "--bogus"}), .out = {"kbnset-cli " KBNSET_VERSION}},
        {.name = "help wins", .args = with({"--help", "--bogus"}), .out = linesOf(std::string(cli::usageText()))},

        // --undo puts back the file as it was before the whole run, and a second one redoes it;
        // each needs KUBUN.KMT and the kept file to be what kbnset left.
        {.name = "undo", .args = with({"--undo"}), .out = {undone}, .after = kubun, .earlier = {with({})}, .kept = both},
        {.name = "second undo redoes", .args = with({"--undo"}), .out = {redone}, .after = both,
         .earlier = {with({}), with({"--undo"})}, .kept = kubun},
        {.name = "undo after another program's change", .args = with({"--undo"}), .err = {kChanged}, .status = 1,
         .after = onlyE, .earlier = {with({})}, .edit = onlyE, .kept = kubun},
        {.name = "nothing to undo", .args = with({"--undo"}), .err = {kNothing}, .status = 1},
        {.name = "a dry run keeps nothing to undo", .args = with({"--undo"}), .err = {kNothing}, .status = 1,
         .earlier = {with({"--dry-run"})}},
        {.name = "undo, dry run", .args = with({"--undo", "--dry-run"}),
         .out = {"備品区分ファイル $D" + sep + "KUBUN.KMT を * の実行の前に戻せます（--dry-run のため何も変えていません）"},
         .after = both, .earlier = {with({})}, .kept = kubun},
        // A run that changes no byte leaves the earlier run's way back.
        {.name = "a run that changes nothing", .out = {set(kE, 0), set(kJ, 0), left(1), kCompletion}, .after = both,
         .earlier = {with({})}, .kept = kubun},
        // The swap and its record go together or not at all.
        {.name = "undo whose record cannot be written", .args = with({"--undo"}),
         .fault = {Op::Replace, 1, "KUBUN.KMT.kbnset-undo.ini"}, .err = {kUndoFailed}, .status = 1, .after = both,
         .earlier = {with({})}, .kept = kubun},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir root;
        const fs::path data = root / "data", start = root / "start", target = data / "KUBUN.KMT";
        fs::create_directories(data);
        fs::create_directories(start);
        auto expand = [&](std::vector<std::string> texts) {
            // "$D/" ends in the system's own separator, as the paths the program builds do.
            for (std::string& s : texts)
                s = expandTokens(s, {{"$S/", start / ""},
                                     {"$D/", data / ""},
                                     {"$R/", root.path() / ""},
                                     {"$S", start},
                                     {"$D", data},
                                     {"$R", root.path()}});
            return texts;
        };
        if (c.e) writeBytes(start / kE, *c.e);
        if (c.j) writeBytes(start / kJ, *c.j);
        if (c.kubun) writeBytes(target, *c.kubun);
        for (const auto& [name, bytes] : c.files) writeBytes(root / name, bytes);
        if (c.readOnly)
            fs::permissions(
                target, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                fs::perm_options::remove);
        const std::set<std::string> before = namesIn(data);
        fs::current_path(root.path());
        for (const std::vector<std::string>& args : c.earlier) {
            RecordingConsole console;
            EXPECT_EQ(cli::runCli(expand(args), runtime::nativeSystem(), console), 0)
                << console.errText;
        }
        if (c.edit) writeBytes(target, *c.edit);
        UnsureSystem system(c.noLocks, c.unsure);
        for (const auto& [key, value] : c.settings) system.settings[key] = expand({value})[0];
        std::unique_ptr<runtime::FileLock> lock;
        if (c.locked)
            lock = system.lockFile(utf8Of(data), "KUBUN.KMT", std::chrono::milliseconds(0));
        RecordingConsole seen;
        if (c.child) {
#ifndef _WIN32
            const Outcome o = runChild(expand(c.args), root.path(), *c.child);
            seen.status = o.status, seen.outText = o.out, seen.errText = o.err;
#endif
        } else {
            seen.terminal = c.terminal;
            seen.stopFrom = c.stopFrom;
            system.failAt(c.fault.op, c.fault.n, c.fault.file);
            seen.status = cli::runCli(expand(c.args), system, seen);
        }
        lock.reset();  // on Windows the lock is a file beside KUBUN.KMT
        EXPECT_EQ(seen.status, c.status);
        expectLines(linesOf(seen.outText), expand(c.out));
        // The streams interleave only on a terminal.
        expectLines(c.terminal ? screenOf(seen.screen) : linesOf(seen.errText),
                    expand(c.terminal ? c.screen : c.err));
        if (c.kubun) {
            EXPECT_EQ(readBytes(target), c.after.value_or(*c.kubun));
        }
        for (const auto& [name, bytes] : c.filesAfter)
            EXPECT_EQ(readBytes(root / name), expand({bytes})[0]);
        // What kbnset keeps to undo a run that changed the file: the file as it was before
        // the whole run, not between the passes.
        const fs::path keptFile = data / "KUBUN.KMT.kbnset-undo";
        std::optional<std::string> kept = c.kept;
        if (!kept && c.kubun && c.after && *c.after != *c.kubun && c.earlier.empty())
            kept = c.kubun;
        std::set<std::string> names = before;
        if (kept) {
            names.insert({"KUBUN.KMT.kbnset-undo", "KUBUN.KMT.kbnset-undo.ini"});
            EXPECT_EQ(readBytes(keptFile), *kept);
        }
        EXPECT_EQ(namesIn(data), names);
    }
}

#ifndef _WIN32
// Under Wine the lock's own case in tests/runtime stands in for this one: a process start
// there takes a good part of a second.
// Two runs at once on one KUBUN.KMT, one with each reference file: the second waits for the
// first, so both finish and the file holds the fills of both, in a folder the user may not
// list and through two folders whose KUBUN.KMT link to one file too. SIGTERM at any moment of
// a run leaves no temporary file behind, and after the final save it changes nothing.
TEST(KbnsetCli, RunsAtOnceNeverLoseEachOthersFills) {
    constexpr int kRounds = 16;
    struct Layout {
        const char* name;
        const char* folders[2];  // the data folders of the two runs
        unsigned uid;            // the runs' user; 0: this one
    };
    const Layout layouts[] = {
        {"one folder", {"data", "data"}, 0},
        {"a folder the user may not list", {"data", "data"}, 65534},
        {"two folders, one file through links", {"a", "b"}, 0},
    };
    std::vector<Rec> records, e, j, filled;
    for (int i = 0; i < 1500; ++i) {
        const std::string n = std::to_string(i);
        records.insert(records.end(), {{.name = "E" + n}, {.name = "J" + n}});
        filled.insert(filled.end(), {{.name = "E" + n, .cls = "E"}, {.name = "J" + n, .cls = "J"}});
        e.push_back(filled[filled.size() - 2]);
        j.push_back(filled.back());
    }
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        if (layout.uid != 0 && ::geteuid() != 0) continue;  // acting as another user needs root
        TempDir dir;
        fs::permissions(dir.path(), static_cast<fs::perms>(0755));
        fs::create_directories(dir / "start");
        fs::create_directories(dir / "data");
        const fs::path file = dir / "data/KUBUN.KMT";
        if (layout.folders[0] != std::string_view("data"))
            for (const char* folder : layout.folders) {
                fs::create_directories(dir / folder);
                fs::create_symlink("../data/KUBUN.KMT", dir / folder / "KUBUN.KMT");
            }
        writeBytes(dir / "start/E_KUBUN.KMT", kmt(e));
        writeBytes(dir / "start/J_KUBUN.KMT", kmt(j));
        auto args = [&](int k) {
            return std::vector<std::string>{"--data-dir", utf8Of(dir / layout.folders[k]),
                                            "--source", utf8Of(dir / "start" / (k == 0 ? kE : kJ))};
        };
        for (int round = 0; round < kRounds; ++round) {
            SCOPED_TRACE(round);
            writeBytes(file, kmt(records));
            if (layout.uid != 0) {
                fs::permissions(file, static_cast<fs::perms>(0666));
                fs::permissions(dir / "data", static_cast<fs::perms>(0733));
            }
            int status[2] = {-1, -1};
            std::thread runs[2];
            for (int k = 0; k < 2; ++k)
                runs[k] = std::thread([&, k] {
                    status[k] = runChild(args(k), dir.path(), {.uid = layout.uid}).status;
                });
            for (std::thread& run : runs) run.join();
            EXPECT_EQ(status[0], 0);
            EXPECT_EQ(status[1], 0);
            EXPECT_TRUE(readBytes(file) == kmt(filled)) << "one run's fills are gone";
            Outcome o = runChild(args(0), dir.path(),
                                 {.signal = SIGTERM,
                                  .delay = std::chrono::microseconds(round * 4000),
                                  .uid = layout.uid});
            EXPECT_TRUE(o.status == 0 || o.status == -SIGTERM) << o.status;
            EXPECT_EQ(o.out.find(kCompletion) != std::string::npos, o.status == 0);
            fs::permissions(dir / "data", static_cast<fs::perms>(0755));
            // Nothing else than the file and the way back.
            EXPECT_EQ(namesIn(dir / "data"),
                      (std::set<std::string>{"KUBUN.KMT", "KUBUN.KMT.kbnset-undo",
                                             "KUBUN.KMT.kbnset-undo.ini"}));
        }
    }
}
#endif

}  // namespace
}  // namespace kbnset::test
