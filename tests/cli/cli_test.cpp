// What a user of kbnset-cli sees, in one table: the files there at the start, the arguments,
// an injected failure or Ctrl+C → the messages, the summary, the exit status and the bytes of
// KUBUN.KMT afterwards. The program runs in this process on the real files.
#include "cli/cli.hpp"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "cli/options.hpp"
#include "cli/process.hpp"
#include "support/faulty_system.hpp"
#include "support/kmt.hpp"
#include "support/temp_dir.hpp"

namespace kbnset::test {
namespace {

namespace fs = std::filesystem;
using Op = FaultySystem::Op;

constexpr char kE[] = "E_KUBUN.KMT";
constexpr char kJ[] = "J_KUBUN.KMT";
constexpr char kCompletion[] = "備品区分機能設定が終了しました";
constexpr char kNoRef[] = "基準ファイルが有りません";
constexpr char kNoKubun[] = "備品区分ファイルが有りません";
constexpr char kSaveFailed[] = "備品区分ファイルの保存に失敗しました";
constexpr char kStopped[] = "kbnset-cli: 中断しました";

std::string kubunFailed(int record) {
    return "備品区分ファイルの読込に失敗しました(" + std::to_string(record) + ")";
}
std::string set(const std::string& file, int n) {
    return file + ": 分類を設定した区分 " + std::to_string(n) + " 件";
}
std::string unsaved(const std::string& file, int n, const char* why = "保存に失敗したため") {
    return file + ": " + why + "分類を設定していません（設定できた区分 " + std::to_string(n) +
           " 件）";
}
std::string unread(const std::string& file) {
    return file + ": 読み込めなかったため処理していません";
}
std::string left(int n) {
    return "分類が空のままの区分: " + std::to_string(n) + " 件";
}
std::vector<std::string> usage(const std::string& why) {
    return {"kbnset-cli: " + why, "kbnset-cli: 使い方は kbnset-cli --help で表示します"};
}

// The destination: one record found in both reference files, one only in J, one only in E,
// one in neither, one classified already, one management record.
const std::vector<Rec> kDestination = {
    {.name = "顕微鏡", .code = "K1", .key2 = "理科"},
    {.name = "ミシン", .code = "K2", .key2 = "家庭"},
    {.name = "跳び箱", .code = "P3", .key2 = "体育"},
    {.name = "学校独自", .code = "4", .key2 = "校務"},
    {.name = "ピアノ", .code = "A5", .key2 = "音楽", .cls = "手書き"},
    {.type = "管理", .name = "理科備品", .code = "K6", .key2 = "理科"},
};
const std::vector<Rec> kElementary = {
    {.name = "顕微鏡", .code = "K1", .key2 = "理科", .cls = "E理科"},
    {.name = "跳び箱", .code = "K2", .key2 = "体育", .cls = "E体育"},
    {.name = "ピアノ", .code = "K3", .key2 = "音楽", .cls = "E楽器"},
    {.name = "理科備品", .code = "K4", .key2 = "理科", .cls = "E管理"},
};
const std::vector<Rec> kJuniorHigh = {
    {.name = "顕微鏡", .code = "K1", .key2 = "理科", .cls = "J理科"},
    {.name = "ミシン", .code = "K2", .key2 = "家庭", .cls = "J家庭"},
};
const std::vector<Rec> kSource = {{.name = "顕微鏡", .code = "K1", .key2 = "理科", .cls = "S"},
                                  {.name = "ミシン", .code = "K2", .key2 = "家庭", .cls = "S"}};

// KUBUN.KMT as the destination with these classifications.
std::string classified(const std::vector<std::string>& classes) {
    std::vector<Rec> records = kDestination;
    for (std::size_t i = 0; i < records.size(); ++i) records[i].cls = classes[i];
    return kmt(records);
}

std::string many(int n) {
    return kmt(std::vector<Rec>(static_cast<std::size_t>(n), Rec{.name = "机"}));
}

// ZORVEL.SEW with these sixth, seventh and eighth items.
std::string sew(const std::string& sixth, const std::string& seventh, const std::string& eighth) {
    return cp932("\"学校\",\"b\",\"c\",\"d\",\"e\"," + sixth + "," + seventh + ",\"" + eighth +
                 "\"\r\n");
}

// Both streams as a terminal shows them: a CR goes back to the start of the line, later text
// overwrites earlier, a non-ASCII character takes two cells, blanks at a line end vanish.
std::vector<std::string> screenOf(const std::string& text) {
    std::vector<std::string> lines, cells;
    std::size_t column = 0;
    auto endLine = [&] {
        std::string line;
        for (const std::string& cell : cells) line += cell;
        while (line.ends_with(' ')) line.pop_back();
        lines.push_back(line);
        cells.clear();
        column = 0;
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\n' || byte == '\r') {
            if (byte == '\n') endLine();
            column = 0;
            ++i;
            continue;
        }
        const std::size_t length = byte < 0x80 ? 1 : byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
        const std::size_t width = length == 1 ? 1 : 2;
        if (cells.size() < column + width) cells.resize(column + width);
        cells[column] = text.substr(i, length);
        if (width == 2) cells[column + 1].clear();
        column += width;
        i += length;
    }
    if (!cells.empty()) endLine();
    return lines;
}

class RecordingConsole : public cli::Console {
  public:
    void out(std::string_view utf8) override {
        outText += utf8;
        screen += utf8;
    }
    void err(std::string_view utf8) override {
        errText += utf8;
        screen += utf8;
    }
    bool errIsTerminal() override { return terminal; }
    // Ctrl+C (SIGINT, 2) from the `stopFrom`-th poll on; the run polls once per record merged
    // and once between the passes.
    int interrupted() override { return stopFrom > 0 && ++polls >= stopFrom ? 2 : 0; }

    std::string outText, errText, screen;
    bool terminal = false;
    int stopFrom = 0, polls = 0;
};

struct Seen {
    int status = -1;
    std::string out{}, err{}, screen{};
};

// The run as the user 65534 (root only): in a child process, which hands back what it saw.
#ifndef _WIN32
Seen asAnotherUser(const std::function<Seen()>& run) {
    int ends[2];
    if (::pipe(ends) != 0) return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ends[0]);
        if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
            ::setresuid(65534, 65534, 65534) != 0)
            ::_exit(2);
        const Seen seen = run();
        const std::string all = std::to_string(seen.status) + '\0' + seen.out + '\0' + seen.err;
        if (::write(ends[1], all.data(), all.size()) != static_cast<ssize_t>(all.size()))
            ::_exit(3);
        ::_exit(0);
    }
    ::close(ends[1]);
    std::string all;
    char buffer[4096];
    for (ssize_t n; (n = ::read(ends[0], buffer, sizeof buffer)) > 0;)
        all.append(buffer, static_cast<std::size_t>(n));
    ::close(ends[0]);
    ::waitpid(child, nullptr, 0);
    const std::size_t a = all.find('\0'), b = all.find('\0', a + 1);
    if (b == std::string::npos) return {};
    return {std::stoi(all.substr(0, a)), all.substr(a + 1, b - a - 1), all.substr(b + 1)};
}
#endif

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
    bool readOnly = false, locked = false, terminal = false, twice = false;
    // Run as another user, with these modes of the data folder and of KUBUN.KMT (root only).
    std::optional<std::pair<fs::perms, fs::perms>> otherUser{};
    // Standard error and output; a line ending in '*' is matched by its beginning.
    std::vector<std::string> err{}, out{};
    int status = 0;
    std::optional<std::string> after{};  // KUBUN.KMT at the end; none: as it was
    std::vector<std::string> screen{};   // with `terminal`, both streams as the user sees them
};

std::vector<std::string> with(std::vector<std::string> extra) {
    std::vector<std::string> args{"--data-dir", "$D", "--start-dir", "$S"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

void expectLines(const std::vector<std::string>& seen, const std::vector<std::string>& expected) {
    bool same = seen.size() == expected.size();
    for (std::size_t i = 0; same && i < seen.size(); ++i)
        same = expected[i].ends_with('*')
                   ? seen[i].starts_with(expected[i].substr(0, expected[i].size() - 1))
                   : seen[i] == expected[i];
    EXPECT_TRUE(same) << testing::PrintToString(seen) << "\nexpected "
                      << testing::PrintToString(expected);
}

TEST(KbnsetCli, WhatTheUserSees) {
    const std::string onlyE = classified({"E理科", "", "E体育", "", "手書き", ""});
    const std::string onlyJ = classified({"J理科", "J家庭", "", "", "手書き", ""});
    const std::string onlyS = classified({"S", "S", "", "", "手書き", ""});
    // After both passes the elementary classification stays where both files know the record.
    const std::string both = classified({"E理科", "J家庭", "E体育", "", "手書き", ""});
    const std::vector<std::string> bothOut = {set(kE, 2), set(kJ, 1), left(1), kCompletion};
    const std::string kubun = kmt(kDestination);
    const std::size_t records = kubun.find("\r\n") + 2;  // the first byte after the header
    const std::size_t third = kubun.find("\r\n", kubun.find("\r\n", records) + 2) + 2;
    const std::vector<std::string> saveFailedOut = {unsaved("mine.kmt", 2), left(4), kCompletion};
    std::string deep = "$S";
    while (deep.size() < 5000) deep += "/folder";
    const std::string nul = many(1) + cp932("\"一般\",0,\"机") + std::string(1, '\0') +
                            cp932("\",\"1\",\"\",0,\"\",0,0,\"\",\"\",0,0\r\n");
    const auto none = std::nullopt;
#ifdef _WIN32
    const std::string badName = "bad<name.kmt";  // a character Windows refuses in a name
#else
    const std::string badName(300, 'x');  // longer than a name may be
#endif
#ifndef _WIN32
    constexpr auto kAll = fs::perms::all;
    constexpr auto kReadOnly = fs::perms::owner_all | fs::perms::group_read |
                               fs::perms::group_exec | fs::perms::others_read |
                               fs::perms::others_exec;
    constexpr auto kRw = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                         fs::perms::group_write | fs::perms::others_read | fs::perms::others_write;
    constexpr auto kRootsFile = fs::perms::owner_read | fs::perms::owner_write |
                                fs::perms::group_read | fs::perms::others_read;
#endif

    // clang-format off
    const Case cases[] = {
        // Which files are there.
        {.name = "nothing at all", .e = none, .j = none, .kubun = none,
         .err = {kNoRef, kNoRef}, .out = {unread(kE), unread(kJ)}, .status = 1},
        {.name = "no KUBUN.KMT", .kubun = none,
         .err = {kNoKubun, kNoKubun}, .out = {unread(kE), unread(kJ)}, .status = 1},
        {.name = "only J_KUBUN.KMT", .e = none,
         .err = {kNoRef}, .out = {unread(kE), set(kJ, 2), left(2), kCompletion}, .status = 1,
         .after = onlyJ},
        {.name = "two passes, elementary first", .out = bothOut, .after = both},
        {.name = "KUBUN.KMT of the start folder stands in for E", .e = none,
         .files = {{"start/KUBUN.KMT", cp932(kmtText(kElementary, "\"a\",\"b\",0,\"\",\"\",\"\"\r\n"))}},
         .out = {set("KUBUN.KMT（E_KUBUN.KMT の代わり）", 2), set(kJ, 1), left(1), kCompletion},
         .after = both},
        {.name = "a second run fills nothing more", .twice = true,
         .out = {set(kE, 0), set(kJ, 0), left(1), kCompletion}, .after = both},
        // One pass with the chosen file, a relative name taken from the start folder, not
        // from the folder the program starts in.
        {.name = "relative source",
         .files = {{"start/mine.kmt", kmt(kSource)}, {"mine.kmt", kmt(kJuniorHigh)}},
         .args = with({"--source", "mine.kmt"}), .out = {set("mine.kmt", 2), left(2), kCompletion},
         .after = onlyS},
        {.name = "absolute Japanese source", .e = none, .j = none,
         .files = {{"start/基準一覧.KMT", kmt(kSource)}},
         .args = with({"--source", "$S/基準一覧.KMT"}),
         .out = {set("$S/基準一覧.KMT", 2), left(2), kCompletion}, .after = onlyS},
        {.name = "missing source", .files = {{"start/KUBUN.KMT", kmt(kSource)}},
         .args = with({"--source", "nosuch.kmt"}),
         .out = {set("KUBUN.KMT（nosuch.kmt の代わり）", 2), left(2), kCompletion}, .after = onlyS},
        // A look-up that fails is a read failure, not a missing file to stand in for.
        {.name = "source name that cannot be looked up",
         .files = {{"start/KUBUN.KMT", kmt(kElementary)}}, .args = with({"--source", badName}),
         .err = {"基準ファイルの読込に失敗しました(0)"}, .out = {unread(badName)}, .status = 1},

        // Load failures name the record; the other pass still runs on the file as it was.
        {.name = "KUBUN.KMT fails in its third record",
         .kubun = kmt({kDestination[0], kDestination[1], {.name = "机", .code = "12A"}}),
         .err = {kubunFailed(2), kubunFailed(2)}, .out = {unread(kE), unread(kJ)}, .status = 1},
        {.name = "E_KUBUN.KMT fails in its third record",
         .e = kmt({kElementary[0], kElementary[1], {.name = "机", .code = "K-1001"}}),
         .err = {"基準ファイルの読込に失敗しました(2)"},
         .out = {unread(kE), set(kJ, 2), left(2), kCompletion}, .status = 1, .after = onlyJ},
        {.name = "no data folder there", .args = {"--data-dir", "$R/gone", "--start-dir", "$S"},
         .err = {kubunFailed(0), kubunFailed(0)}, .out = {unread(kE), unread(kJ)}, .status = 1},
        {.name = "header with five values", .kubun = "1,2,0,\"\",\"\"\r\n",
         .err = {kubunFailed(0), kubunFailed(0)}, .out = {unread(kE), unread(kJ)}, .status = 1},
        {.name = "header whose first value is no Integer", .kubun = "32768,2,0,\"\",\"\",\"\"\r\n",
         .err = {kubunFailed(0), kubunFailed(0)}, .out = {unread(kE), unread(kJ)}, .status = 1},
        {.name = "record whose second value is no Integer",
         .kubun = many(1) + "\"x\",32768,\"x\",\"1\",\"\",0,\"\",0,0,\"\",\"\",0,0\r\n",
         .err = {kubunFailed(1), kubunFailed(1)}, .out = {unread(kE), unread(kJ)}, .status = 1},
        {.name = "last record of twelve values", .kubun = many(2) + "\"x\",0,\"x\",\"1\",\"\",0,\"\",0,0,\"\",\"\",0\r\n",
         .err = {kubunFailed(2), kubunFailed(2)}, .out = {unread(kE), unread(kJ)}, .status = 1},
        {.name = "empty KUBUN.KMT", .kubun = "",
         .err = {kubunFailed(0), kubunFailed(0)}, .out = {unread(kE), unread(kJ)}, .status = 1},
        {.name = "value of 4,097 bytes", .kubun = kmt({{.name = "机"}, {.name = std::string(4097, 'x')}}),
         .err = {kubunFailed(1), kubunFailed(1)}, .out = {unread(kE), unread(kJ)}, .status = 1},
        {.name = "NUL in a value", .kubun = nul,
         .err = {kubunFailed(1), kubunFailed(1)}, .out = {unread(kE), unread(kJ)}, .status = 1},
        {.name = "bytes that are not CP932", .kubun = many(1) + "\"\x81\",0,\"a\",\"1\",\"\",0,\"\",0,0,\"\",\"\",0,0\r\n",
         .err = {kubunFailed(1), kubunFailed(1)}, .out = {unread(kE), unread(kJ)}, .status = 1},
        {.name = "5,011 records fit", .kubun = many(5011),
         .out = {set(kE, 0), set(kJ, 0), left(5011), kCompletion}},
        {.name = "the 5,012th record does not", .kubun = many(5012),
         .err = {kubunFailed(5011), kubunFailed(5011)}, .out = {unread(kE), unread(kJ)}, .status = 1},
        {.name = "KUBUN.KMT cannot be opened", .fault = {Op::OpenRead, 1},
         .err = {kubunFailed(0)}, .out = {unread(kE), set(kJ, 2), left(2), kCompletion},
         .status = 1, .after = onlyJ},
        {.name = "read error in the header", .fault = {Op::Read, 1},
         .err = {kubunFailed(0)}, .out = {unread(kE), set(kJ, 2), left(2), kCompletion},
         .status = 1, .after = onlyJ},
        {.name = "read error before the first record", .fault = {Op::Read, int(records) + 1},
         .err = {kubunFailed(-1)}, .out = {unread(kE), set(kJ, 2), left(2), kCompletion},
         .status = 1, .after = onlyJ},
        {.name = "read error inside the third record", .fault = {Op::Read, int(third) + 4},
         .err = {kubunFailed(2)}, .out = {unread(kE), set(kJ, 2), left(2), kCompletion},
         .status = 1, .after = onlyJ},

        // Every failure point of the save leaves the file as it was and no temporary file.
        {.name = "data folder left", .args = with({"--source", "$S/" + std::string(kJ)}),
         .fault = {Op::ChangeDirectory, 2, "data"},
         .err = {kSaveFailed}, .out = {unsaved("$S/J_KUBUN.KMT", 2), left(4), kCompletion}, .status = 1},
        {.name = "temporary file", .fault = {Op::CreateTemporary, 1}, .err = {kSaveFailed},
         .out = {unsaved(kE, 2), set(kJ, 2), left(2), kCompletion}, .status = 1, .after = onlyJ},
        {.name = "first write", .fault = {Op::Write, 1}, .err = {kSaveFailed},
         .out = {unsaved(kE, 2), set(kJ, 2), left(2), kCompletion}, .status = 1, .after = onlyJ},
        {.name = "last write", .fault = {Op::Write, 7}, .err = {kSaveFailed},
         .out = {unsaved(kE, 2), set(kJ, 2), left(2), kCompletion}, .status = 1, .after = onlyJ},
        {.name = "commit", .fault = {Op::Commit, 1}, .err = {kSaveFailed},
         .out = {unsaved(kE, 2), set(kJ, 2), left(2), kCompletion}, .status = 1, .after = onlyJ},
        {.name = "check of the loaded file", .fault = {Op::OpenRead, 2}, .err = {kSaveFailed},
         .out = {unsaved(kE, 2), set(kJ, 2), left(2), kCompletion}, .status = 1, .after = onlyJ},
        {.name = "final replace", .fault = {Op::Replace, 2}, .err = {kSaveFailed},
         .out = {set(kE, 2), unsaved(kJ, 1), left(2), kCompletion}, .status = 1, .after = onlyE},
        {.name = "read-only KUBUN.KMT", .readOnly = true, .err = {kSaveFailed, kSaveFailed},
         .out = {unsaved(kE, 2), unsaved(kJ, 2), left(4), kCompletion}, .status = 1},

        // The saved format: the header's first two values and every record's own values stay,
        // the code in half-width capitals, constants in place of the values the suite drops.
        // One pass: a second save could undo a fault of the first.
        {.name = "saved format", .e = none, .j = none,
         .kubun = cp932("3,120,99,\"x\",\"y\",\"z\"\r\n"
                        "\"管理\",5,\"机\",\"ｋ１２\",\"A\",6,\"七\",8,9,\"C\",\"eleven\",12,13\r\n"
                        "\"管理者\",-1,\"椅子,大\",\"p3\",\"\",-6,\"\",-8\r\n-9,\"\",\"\",0,0\r\n"),
         .files = {{"start/mine.kmt", kmt({{.name = "椅子,大", .cls = "S"}})}},
         .args = with({"--source", "mine.kmt"}), .out = {set("mine.kmt", 1), left(0), kCompletion},
         .after = cp932("3,120,0,\"\",\"\",\"\"\r\n"
                        "\"管理\",5,\"机\",\"K12\",\"A\",6,\"七\",8,9,\"C\",\"\",0,0\r\n"
                        "\"管理者\",-1,\"椅子,大\",\"P3\",\"\",-6,\"\",-8,-9,\"S\",\"\",0,0\r\n")},
        {.name = "header alone, spread over lines", .kubun = "5\r\n6,0,\"\"\r\n\"\",\"\"\r\n",
         .out = {set(kE, 0), set(kJ, 0), left(0), kCompletion},
         .after = "5,6,0,\"\",\"\",\"\"\r\n"},

        // --dry-run writes nothing, and refuses what the save would refuse.
        {.name = "dry run", .args = with({"--dry-run"}),
         .out = {"E_KUBUN.KMT: 分類を設定する区分 2 件（--dry-run のため保存していません）",
                 "J_KUBUN.KMT: 分類を設定する区分 1 件（--dry-run のため保存していません）", left(1),
                 kCompletion}},
        {.name = "read-only KUBUN.KMT, dry run", .args = with({"--dry-run"}), .readOnly = true,
         .err = {kSaveFailed, kSaveFailed},
         .out = {unsaved(kE, 2, "保存できないため"), unsaved(kJ, 2, "保存できないため"), left(4),
                 kCompletion}, .status = 1},
#ifndef _WIN32
        {.name = "another user's KUBUN.KMT, dry run", .args = with({"--dry-run"}),
         .otherUser = std::pair{kAll, kRootsFile}, .err = {kSaveFailed, kSaveFailed},
         .out = {unsaved(kE, 2, "保存できないため"), unsaved(kJ, 2, "保存できないため"), left(4),
                 kCompletion}, .status = 1},
        {.name = "a folder closed to this user, dry run", .args = with({"--dry-run"}),
         .otherUser = std::pair{kReadOnly, kRw}, .err = {kSaveFailed, kSaveFailed},
         .out = {unsaved(kE, 2, "保存できないため"), unsaved(kJ, 2, "保存できないため"), left(4),
                 kCompletion}, .status = 1},
#endif

        // Ctrl+C ends the run after the record in hand, with nothing more saved; after the
        // final save it changes nothing.
        {.name = "stop in the first merge", .stopFrom = 1, .err = {kStopped},
         .out = {"E_KUBUN.KMT: 中断したため保存していません（分類を設定できた区分 1 件）", left(4)},
         .status = 130},
        {.name = "stop between the passes", .stopFrom = 7, .err = {kStopped},
         .out = {set(kE, 2), left(2)}, .status = 130, .after = onlyE},
        {.name = "stop after the final save", .stopFrom = 14, .out = bothOut, .after = both},
        {.name = "stop while the first pass fails", .e = none, .stopFrom = 1,
         .err = {kNoRef, kStopped}, .out = {unread(kE)}, .status = 130},
        // Another kbnset holds the data folder: the run waits, and a stop still ends it.
        {.name = "stop while waiting", .stopFrom = 1, .locked = true,
         .err = {"他の備品区分機能設定の終了を待っています", kStopped}, .out = {unread(kE)},
         .status = 130},

        // The progress bar never shares a line with a message or the summary.
        {.name = "terminal", .fault = {Op::Replace, 1}, .terminal = true,
         .out = {unsaved(kE, 2), set(kJ, 2), left(2), kCompletion}, .status = 1, .after = onlyJ,
         .screen = {kSaveFailed, "J_KUBUN.KMT [########################] 6/6", unsaved(kE, 2),
                    set(kJ, 2), left(2), kCompletion}},

        // Without --data-dir the folder comes from the settings store, then from the eighth
        // item of ZORVEL.SEW in that folder; relative ones from where each was found.
        {.name = "data folder from the settings", .args = {"--start-dir", "$S"},
         .settings = {{"R-ZORVEL/SCHOOL/DIR_ME", "data"}}, .out = bothOut, .after = both},
        {.name = "data folder from ZORVEL.SEW", .files = {{"ZORVEL.SEW", sew("2024", "18", "data")}},
         .args = {"--start-dir", "$S"}, .settings = {{"ZORVEL/SCHOOL/DIR_ME", "$R"}},
         .out = bothOut, .after = both},
        {.name = "ZORVEL.SEW whose sixth item is no Integer",
         .files = {{"data/ZORVEL.SEW", sew("40000", "18", "gone")}}, .args = {"--start-dir", "$S"},
         .settings = {{"R-ZORVEL/SCHOOL/DIR_ME", "$D"}}, .out = bothOut, .after = both},
        {.name = "ZORVEL.SEW whose seventh item is no Integer",
         .files = {{"data/ZORVEL.SEW", sew("2024", "-32769", "gone")}}, .args = {"--start-dir", "$S"},
         .settings = {{"R-ZORVEL/SCHOOL/DIR_ME", "$D"}}, .out = bothOut, .after = both},
        {.name = "no data folder", .args = {"--start-dir", "$S"},
         .err = {"kbnset-cli: データフォルダが分かりません。--data-dir で指定するか、R-ZORVEL の "
                 "SCHOOL / DIR_ME に設定してください"}, .status = 2},

        // A command line that is wrong touches no file.
        {.name = "unknown option", .args = with({"--bogus"}),
         .err = usage("不明なオプションです: --bogus"), .status = 2},
        {.name = "value for a flag", .args = with({"--dry-run=1"}),
         .err = usage("不明なオプションです: --dry-run=1"), .status = 2},
        {.name = "extra argument", .args = with({"extra"}), .err = usage("余分な引数です: extra"),
         .status = 2},
        {.name = "no value", .args = with({"--source"}), .err = usage("--source には値が必要です"),
         .status = 2},
        {.name = "empty value", .args = with({"--source="}), .err = usage("--source の値が空です"),
         .status = 2},
        {.name = "source twice", .args = with({"--source", "$S/E_KUBUN.KMT", "--source=x"}),
         .err = usage("--source が二回指定されています"), .status = 2},
        {.name = "data folder twice", .args = with({"--data-dir", "$D"}),
         .err = usage("--data-dir が二回指定されています"), .status = 2},
        {.name = "start folder twice", .args = with({"--start-dir", "$S"}),
         .err = usage("--start-dir が二回指定されています"), .status = 2},
        {.name = "missing start folder", .args = {"--data-dir", "$D", "--start-dir", "$R/gone"},
         .err = {"kbnset-cli: --start-dir のフォルダが有りません: $R/gone"}, .status = 2},
        {.name = "start folder path too long",
         .args = {"--data-dir", "$D", "--start-dir", deep},
         .err = {"kbnset-cli: --start-dir のフォルダのパスが長すぎます（*"}, .status = 2},
        {.name = "help wins", .args = with({"--help", "--bogus"}),
         .out = linesOf(std::string(cli::usageText()))},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir root;
        const fs::path data = root / "data", start = root / "start", target = data / "KUBUN.KMT";
        fs::create_directories(data);
        fs::create_directories(start);
        auto expand = [&](std::string s) {
            const std::pair<std::string, fs::path> tokens[] = {
                {"$S", start}, {"$D", data}, {"$R", root.path()}};
            for (const auto& [token, path] : tokens)
                for (auto at = s.find(token); at != std::string::npos; at = s.find(token))
                    s.replace(at, token.size(), utf8Of(path));
            return s;
        };
        auto expandAll = [&](std::vector<std::string> lines) {
            for (std::string& l : lines) l = expand(l);
            return lines;
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

        FaultySystem system(runtime::nativeSystem());
        for (const auto& [key, value] : c.settings) system.settings[key] = expand(value);
        const std::vector<std::string> args = expandAll(c.args);
        auto run = [&] {
            RecordingConsole console;
            console.terminal = c.terminal;
            console.stopFrom = c.stopFrom;
            system.failAt(c.fault.op, c.fault.n, c.fault.file);
            const int status = cli::runCli(args, system, console);
            return Seen{status, console.outText, console.errText, console.screen};
        };
        std::unique_ptr<runtime::FolderLock> lock;
        if (c.locked)
            lock = runtime::nativeSystem().lockFolder(utf8Of(data), "KUBUN.KMT",
                                                      std::chrono::milliseconds(0));
        if (c.twice) {
            ASSERT_EQ(run().status, 0);
        }
        Seen seen;
        if (c.otherUser) {
#ifndef _WIN32
            if (::geteuid() != 0) continue;  // acting as another user needs root
            fs::permissions(target, c.otherUser->second);
            fs::permissions(data, c.otherUser->first);
            seen = asAnotherUser(run);
#endif
        } else {
            seen = run();
        }

        EXPECT_EQ(seen.status, c.status);
        expectLines(linesOf(seen.out), expandAll(c.out));
        const bool terminal = c.terminal;  // the streams interleave only on a terminal
        expectLines(terminal ? screenOf(seen.screen) : linesOf(seen.err),
                    terminal ? c.screen : expandAll(c.err));
        if (c.kubun) {
            EXPECT_EQ(readBytes(target), c.after.value_or(*c.kubun));
        }
        EXPECT_EQ(namesIn(data), before);
    }
}

}  // namespace
}  // namespace kbnset::test
