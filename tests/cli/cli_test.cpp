// kbnset-cli as a user runs it: the real program on real CP932 files in fresh folders.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cli/process.hpp"
#include "support/kmt.hpp"
#include "support/temp_dir.hpp"

namespace kbnset::test {
namespace {

namespace fs = std::filesystem;

constexpr char kE[] = "E_KUBUN.KMT";
constexpr char kJ[] = "J_KUBUN.KMT";
constexpr char kCompletion[] = "備品区分機能設定が終了しました";
constexpr char kNoRef[] = "基準ファイルが有りません";
constexpr char kNoKubun[] = "備品区分ファイルが有りません";
constexpr char kSaveFailed[] = "備品区分ファイルの保存に失敗しました";

// The summary lines on standard output.
std::string set(const std::string& file, int n) {
    return file + ": 分類を設定した区分 " + std::to_string(n) + " 件";
}
std::string wouldSet(const std::string& file, int n) {
    return file + ": 分類を設定する区分 " + std::to_string(n) +
           " 件（--dry-run のため保存していません）";
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

// The destination: one record found in both reference files, one only in J, one only in E,
// one in neither, one classified already, one management record.
const std::vector<Rec> kDestination = {
    {.name = "顕微鏡", .code = "K1", .key2 = "理科", .cls = ""},
    {.name = "ミシン", .code = "K2", .key2 = "家庭", .cls = ""},
    {.name = "跳び箱", .code = "P3", .key2 = "体育", .cls = ""},
    {.name = "学校独自", .code = "4", .key2 = "校務", .cls = ""},
    {.name = "ピアノ", .code = "A5", .key2 = "音楽", .cls = "手書き"},
    {.type = "管理", .name = "理科備品", .code = "K6", .key2 = "理科", .cls = ""},
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

// A data and a start folder; the program runs in the folder above them.
struct Scene {
    TempDir dir;
    Scene() {
        fs::create_directories(data());
        fs::create_directories(start());
    }
    fs::path data() const { return dir / "data"; }
    fs::path start() const { return dir / "start"; }
    fs::path kubun() const { return data() / "KUBUN.KMT"; }
    void putAll() const {
        writeBytes(kubun(), kmt(kDestination));
        writeBytes(start() / kE, kmt(kElementary));
        writeBytes(start() / kJ, kmt(kJuniorHigh));
    }
    // "$S/" and "$S" stand for the start folder, "$D" for the data folder.
    std::string expand(std::string s) const {
        const std::pair<std::string, std::string> tokens[] = {
            {"$S/", utf8Of(start() / "")}, {"$S", utf8Of(start())}, {"$D", utf8Of(data())}};
        for (const auto& [token, value] : tokens)
            for (auto at = s.find(token); at != std::string::npos; at = s.find(token))
                s.replace(at, token.size(), value);
        return s;
    }
    Outcome run(const std::vector<std::string>& extra) const {
        std::vector<std::string> args{"--data-dir", utf8Of(data()), "--start-dir", utf8Of(start())};
        for (const std::string& arg : extra) args.push_back(expand(arg));
        return runCli(args, dir.path());
    }
};

// Which files are there decides the messages (one line each on standard error, exactly the
// window's text), the summary, the completion text, the exit status and what is saved.
TEST(KbnsetCli, Runs) {
    std::vector<Rec> badThird = kDestination;
    badThird[2].code = "12A";  // not a number: a read failure of record 2
    std::vector<Rec> badReference = kElementary;
    badReference[2].code = "K-1001";  // code number -1: rejected as well
    const std::string kubun2 = "備品区分ファイルの読込に失敗しました(2)";
    const std::string kubun0 = "備品区分ファイルの読込に失敗しました(0)";
    const std::string onlyJ = classified({"J理科", "J家庭", "", "", "手書き", ""});
    const std::string onlyS = classified({"S", "S", "", "", "手書き", ""});
    // After both passes the elementary classification stays where both files know the record.
    const std::string both = classified({"E理科", "J家庭", "E体育", "", "手書き", ""});
#ifdef _WIN32
    const std::string badName = "bad<name.kmt";  // a character Windows refuses in a name
#else
    const std::string badName(300, 'x');  // longer than a name may be
#endif
    const std::vector<std::string> bothOut = {set(kE, 2), set(kJ, 1), left(1), kCompletion};

    struct Case {
        const char* name = "";
        // The files there at the start: E_ and J_KUBUN.KMT and a KUBUN.KMT in the start
        // folder, KUBUN.KMT in the data folder.
        std::optional<std::string> e = kmt(kElementary), j = kmt(kJuniorHigh), startKubun{},
                                   kubun = kmt(kDestination);
        std::vector<std::string> args{};  // after the two folders
        std::vector<std::string> err{}, out{};
        std::optional<std::string> after{};  // KUBUN.KMT at the end; none: as it was
        std::string source{};                // put in the start folder, a decoy beside the program
        bool readOnly = false;
        bool twice = false;  // what the second of two runs does
    };
    const auto none = std::nullopt;
    // clang-format off
    const Case cases[] = {
        {.name = "nothing at all", .e = none, .j = none, .kubun = none,
         .err = {kNoRef, kNoRef}, .out = {unread(kE), unread(kJ)}},
        {.name = "no KUBUN.KMT in the data folder", .kubun = none,
         .err = {kNoKubun, kNoKubun}, .out = {unread(kE), unread(kJ)}},
        {.name = "only J_KUBUN.KMT", .e = none,
         .err = {kNoRef}, .out = {unread(kE), set(kJ, 2), left(2), kCompletion}, .after = onlyJ},
        {.name = "KUBUN.KMT of the start folder stands in for E", .e = none,
         .startKubun = kmt(kElementary),
         .out = {set("KUBUN.KMT（E_KUBUN.KMT の代わり）", 2), set(kJ, 1), left(1), kCompletion},
         .after = both},
        {.name = "two passes", .out = bothOut, .after = both},
        {.name = "KUBUN.KMT fails in its third record", .kubun = kmt(badThird),
         .err = {kubun2, kubun2}, .out = {unread(kE), unread(kJ)}},
        {.name = "E_KUBUN.KMT fails in its third record", .e = kmt(badReference),
         .err = {"基準ファイルの読込に失敗しました(2)"},
         .out = {unread(kE), set(kJ, 2), left(2), kCompletion}, .after = onlyJ},
        {.name = "empty KUBUN.KMT", .kubun = "",
         .err = {kubun0, kubun0}, .out = {unread(kE), unread(kJ)}},
        {.name = "dry run", .args = {"--dry-run"},
         .out = {wouldSet(kE, 2), wouldSet(kJ, 1), left(1), kCompletion}},
        {.name = "repeated run",
         .out = {set(kE, 0), set(kJ, 0), left(1), kCompletion}, .after = both, .twice = true},
        // Each save says so, and the completion text still follows the final one; the summary
        // counts what is on disk.
        {.name = "read-only KUBUN.KMT", .err = {kSaveFailed, kSaveFailed},
         .out = {unsaved(kE, 2), unsaved(kJ, 2), left(4), kCompletion}, .readOnly = true},
        {.name = "read-only KUBUN.KMT, dry run", .args = {"--dry-run"},
         .err = {kSaveFailed, kSaveFailed},
         .out = {unsaved(kE, 2, "保存できないため"), unsaved(kJ, 2, "保存できないため"), left(4),
                 kCompletion},
         .readOnly = true},
        // One pass with the chosen file, a relative name taken from the start folder.
        {.name = "relative source", .args = {"--source", "mine.kmt"},
         .out = {set("mine.kmt", 2), left(2), kCompletion}, .after = onlyS, .source = "mine.kmt"},
        {.name = "absolute source", .args = {"--source", "$S/mine.kmt"},
         .out = {set("$S/mine.kmt", 2), left(2), kCompletion}, .after = onlyS,
         .source = "mine.kmt"},
        {.name = "Japanese source name", .e = none, .j = none, .args = {"--source", "基準一覧.KMT"},
         .out = {set("基準一覧.KMT", 2), left(2), kCompletion}, .after = onlyS,
         .source = "基準一覧.KMT"},
        {.name = "missing source", .args = {"--source", "nosuch.kmt"},
         .err = {kNoRef}, .out = {unread("nosuch.kmt")}},
        // A look-up that fails is a read failure, not a missing file to stand in for.
        {.name = "source name that cannot be looked up", .startKubun = kmt(kElementary),
         .args = {"--source", badName}, .err = {"基準ファイルの読込に失敗しました(0)"},
         .out = {unread(badName)}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scene s;
        auto put = [](const fs::path& file, const std::optional<std::string>& bytes) {
            if (bytes) writeBytes(file, *bytes);
        };
        put(s.start() / kE, c.e);
        put(s.start() / kJ, c.j);
        put(s.start() / "KUBUN.KMT", c.startKubun);
        put(s.kubun(), c.kubun);
        if (!c.source.empty()) {
            writeBytes(s.start() / pathOf(c.source), kmt(kSource));
            writeBytes(s.dir.path() / pathOf(c.source), kmt(kJuniorHigh));
        }
        if (c.readOnly)
            fs::permissions(
                s.kubun(),
                fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                fs::perm_options::remove);
        if (c.twice) {
            ASSERT_EQ(s.run(c.args).status, 0);
        }

        Outcome o = s.run(c.args);
        std::vector<std::string> out;
        for (const std::string& line : c.out) out.push_back(s.expand(line));
        EXPECT_EQ(linesOf(o.err), c.err);
        EXPECT_EQ(linesOf(o.out), out);
        const bool completed = !out.empty() && out.back() == kCompletion;
        EXPECT_EQ(o.status, completed && c.err.empty() ? 0 : 1);
        if (c.kubun) {
            EXPECT_EQ(readBytes(s.kubun()), c.after.value_or(*c.kubun));
            EXPECT_EQ(namesIn(s.data()), std::set<std::string>{"KUBUN.KMT"});
        } else {
            EXPECT_TRUE(namesIn(s.data()).empty());
        }
    }
}

// Every way of getting the command line wrong ends with status 2 and the program's own
// diagnostics before any file is touched; each line here would otherwise run.
TEST(KbnsetCli, UsageErrorsExitWithTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus"},          {"extra"},
        {"--source"},         {"--source="},
        {"--dry-run=1"},      {"--source", "$S/E_KUBUN.KMT", "--source=x"},
        {"--data-dir", "$D"}, {"--start-dir", "$S"},
    };
    for (const auto& extra : cases) {
        SCOPED_TRACE(testing::PrintToString(extra));
        Scene s;
        s.putAll();
        Outcome o = s.run(extra);
        EXPECT_EQ(o.status, 2);
        EXPECT_EQ(o.out, "");
        ASSERT_FALSE(linesOf(o.err).empty());
        for (const std::string& line : linesOf(o.err))
            EXPECT_TRUE(line.starts_with("kbnset-cli: "));
        EXPECT_EQ(readBytes(s.kubun()), kmt(kDestination));
    }
    Scene s;
    s.putAll();
    fs::remove_all(s.start());
    EXPECT_EQ(s.run({}).status, 2);
    EXPECT_EQ(readBytes(s.kubun()), kmt(kDestination));

    // A folder name longer than the system takes is said to be that, not a missing folder.
    std::string deep = utf8Of(s.start());
    while (deep.size() < 5000) deep += "/folder";
    Outcome tooLong = runCli({"--start-dir", deep, "--data-dir", utf8Of(s.data())}, s.dir.path());
    EXPECT_EQ(tooLong.status, 2);
    EXPECT_NE(tooLong.err.find("--start-dir のフォルダのパスが長すぎます"), std::string::npos)
        << tooLong.err;

    Outcome help = s.run({"--help", "--bogus"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    for (const char* option : {"--data-dir", "--start-dir", "--source", "--dry-run"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
}

// Without --data-dir the data folder comes from the settings store and then from the eighth
// item of ZORVEL.SEW in the folder the store names; with neither the program exits with 2.
// A relative folder is taken from where it was found: the store's from the folder the program
// started in, the eighth item from the settings folder.
TEST(KbnsetCli, FindsTheDataFolderAsTheWindowDoes) {
    struct Case {
        const char* name;
        std::string dirMe;  // DIR_ME; empty: none. "$T" is the folder the program starts in.
        std::string item;   // the eighth item of ZORVEL.SEW in $T; empty: no file
    };
    const Case cases[] = {
        {"named by the settings", "$T", "$D"},
        {"no settings", "", ""},
        {"relative DIR_ME", "data", ""},
        {"relative eighth item", ".", "data"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scene s;
        s.putAll();
        const fs::path config = s.dir / "config";
        fs::create_directories(config);
        auto expand = [&](std::string text) {
            if (text.starts_with("$T")) text.replace(0, 2, utf8Of(s.dir.path()));
            return s.expand(text);
        };
        if (!c.item.empty())
            writeBytes(s.dir / "ZORVEL.SEW", cp932("\"学校\",\"b\",\"c\",\"d\",\"e\",2024,18,\"" +
                                                   expand(c.item) + "\"\r\n"));
        const bool named = !c.dirMe.empty();
#ifdef _WIN32
        // An empty value counts as none, as it does for the window.
        struct Owned {
            bool owned = false;
            ~Owned() {
                if (owned) removeSuiteSettings();
            }
        } registry;
        registry.owned = setSuiteDataDir(expand(c.dirMe));
        if (!registry.owned) GTEST_SKIP() << "this user has settings of the suite";
#else
        if (named)
            writeBytes(config / "R-ZORVEL.ini", "[SCHOOL]\nDIR_ME=" + expand(c.dirMe) + "\n");
#endif
        Outcome o = runCli({"--start-dir", utf8Of(s.start())}, s.dir.path(),
                           {"XDG_CONFIG_HOME=" + utf8Of(config)});
        EXPECT_EQ(o.status, named ? 0 : 2) << o.err;
        if (named) {
            EXPECT_EQ(linesOf(o.out),
                      std::vector<std::string>({set(kE, 2), set(kJ, 1), left(1), kCompletion}));
            EXPECT_EQ(readBytes(s.kubun()),
                      classified({"E理科", "J家庭", "E体育", "", "手書き", ""}));
            EXPECT_EQ(namesIn(s.data()), std::set<std::string>{"KUBUN.KMT"});
        } else {
            EXPECT_EQ(o.out, "");
            EXPECT_TRUE(o.err.starts_with("kbnset-cli: "));
            EXPECT_EQ(readBytes(s.kubun()), kmt(kDestination));
        }
    }
}

#ifndef _WIN32
// Full tables with long names, so that the loads take long enough for the signal to arrive
// before the first merge is over.
std::string largeFile(const std::string& cls) {
    std::vector<Rec> records;
    for (int i = 0; i < 5011; ++i)
        records.push_back({.name = "品名" + std::to_string(i) + std::string(200, 'x'),
                           .code = "K" + std::to_string(i),
                           .key2 = "理科",
                           .cls = cls});
    return kmt(records);
}

// Ctrl+C, SIGTERM and SIGHUP stop the run after the record in hand: nothing saved, no second
// pass, 128 + the signal. A closed pipe on standard error and a file-size limit kill nothing:
// the run goes on, and a save that hits the limit fails with its message. Nothing is left
// beside KUBUN.KMT in any case.
TEST(KbnsetCli, HostileSurroundingsNeverKillTheRunOrLeaveFiles) {
    struct Case {
        Hostile hostile;
        bool withE;
        rlim_t sizeLimit;
        int status;
        const char* saved;  // the classification in KUBUN.KMT afterwards
        const char* lastErr;
    };
    const Case cases[] = {
        {{.signal = SIGINT}, true, RLIM_INFINITY, 130, "", "kbnset-cli: 中断しました"},
        {{.signal = SIGTERM}, true, RLIM_INFINITY, 143, "", "kbnset-cli: 中断しました"},
        {{.signal = SIGHUP}, true, RLIM_INFINITY, 129, "", "kbnset-cli: 中断しました"},
        {{.closedErr = true}, false, RLIM_INFINITY, 1, "J", nullptr},
        {{}, true, 64 * 1024, 1, "", kSaveFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        Scene s;
        writeBytes(s.kubun(), largeFile(""));
        if (c.withE) writeBytes(s.start() / kE, largeFile("E"));
        writeBytes(s.start() / kJ, largeFile("J"));
        // The child inherits the limit; this process writes nothing meanwhile.
        rlimit before{};
        getrlimit(RLIMIT_FSIZE, &before);
        rlimit limited = before;
        limited.rlim_cur = c.sizeLimit;
        setrlimit(RLIMIT_FSIZE, &limited);
        Outcome o = runCli({"--data-dir", utf8Of(s.data()), "--start-dir", utf8Of(s.start())},
                           s.dir.path(), {}, c.hostile);
        setrlimit(RLIMIT_FSIZE, &before);
        EXPECT_EQ(o.status, c.status);
        EXPECT_EQ(o.out.find(kCompletion) != std::string::npos, c.status == 1);
        // The fills of a stopped merge are not on disk, so they are not counted.
        if (c.hostile.signal != 0) {
            EXPECT_NE(o.out.find(left(5011)), std::string::npos) << o.out;
        }
        if (c.lastErr != nullptr) {
            ASSERT_FALSE(linesOf(o.err).empty());
            EXPECT_EQ(linesOf(o.err).back(), c.lastErr);
        }
        EXPECT_EQ(readBytes(s.kubun()), largeFile(c.saved));
        EXPECT_EQ(namesIn(s.data()), std::set<std::string>{"KUBUN.KMT"});
    }
}

#endif

// Two runs at once on one KUBUN.KMT, one with each reference file: the second waits for the
// first, so both finish and the file holds the fills of both. SIGTERM at any moment of a run
// leaves no temporary file behind.
TEST(KbnsetCli, RunsAtOnceNeverLoseEachOthersFills) {
#ifdef _WIN32
    constexpr int kRounds = 8;  // a process start under Wine takes a good part of a second
#else
    constexpr int kRounds = 40;
#endif
    Scene s;
    std::vector<Rec> records, e, j;
    for (int i = 0; i < 1500; ++i) {
        const std::string n = std::to_string(i);
        records.push_back({"", "机E" + n, "K" + n, "", ""});
        records.push_back({"", "机J" + n, "K" + n, "", ""});
        e.push_back({"", "机E" + n, "K" + n, "", "EFILL"});
        j.push_back({"", "机J" + n, "K" + n, "", "JFILL"});
    }
    writeBytes(s.start() / kE, kmt(e));
    writeBytes(s.start() / kJ, kmt(j));
    auto count = [](const std::string& text, const std::string& what) {
        int n = 0;
        for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    };
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        writeBytes(s.kubun(), kmt(records));
        int status[2] = {-1, -1};
        std::thread runs[2];
        for (int k = 0; k < 2; ++k)
            runs[k] = std::thread([&, k] {
                status[k] = runCli({"--data-dir", utf8Of(s.data()), "--source",
                                    utf8Of(s.start() / (k == 0 ? kE : kJ))},
                                   s.dir.path())
                                .status;
            });
        for (std::thread& run : runs) run.join();
        EXPECT_EQ(status[0], 0);
        EXPECT_EQ(status[1], 0);
        const std::string now = readBytes(s.kubun());
        EXPECT_EQ(count(now, "\"EFILL\""), 1500);
        EXPECT_EQ(count(now, "\"JFILL\""), 1500);
#ifndef _WIN32
        Outcome o = runCli({"--data-dir", utf8Of(s.data()), "--source", utf8Of(s.start() / kE)},
                           s.dir.path(), {},
                           {.signal = SIGTERM, .delay = std::chrono::microseconds(round * 1000)});
        EXPECT_TRUE(o.status == 0 || o.status == 143) << o.status;
        // A signal after the final save does not turn a finished run into a stopped one.
        EXPECT_EQ(o.out.find(kCompletion) != std::string::npos, o.status == 0);
        EXPECT_EQ(namesIn(s.data()), std::set<std::string>{"KUBUN.KMT"});
#endif
    }
}

}  // namespace
}  // namespace kbnset::test
