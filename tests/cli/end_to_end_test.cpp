#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/e2e.hpp"

// kbnset-cli as a user runs it: the real program on real CP932 files in a fresh folder.
namespace kbnset::test {
namespace {

// Which files are there decides the messages, one line each on standard error, and whether
// the completion text follows.
TEST_F(CliTest, MessagesFollowTheFilesThatAreThere) {
    std::vector<Rec> badThird = kDestination;
    badThird[2].code = "12A";  // not a number: a read failure of record 2
    std::vector<Rec> badReference = kElementary;
    badReference[2].code = "K-1001";  // code number -1: rejected as well

    struct Case {
        const char* name;
        std::optional<std::string> e, j, startKubun, dataKubun;
        std::vector<std::string> messages;
        bool completed;
        bool saved;
    };
    const std::string dest = kmt(kDestination), ref = kmt(kElementary), none;
    const std::string badE = kmt(badReference), badK = kmt(badThird);
    const std::string kubun2 = "備品区分ファイルの読込に失敗しました(2)";
    const std::string kubun0 = "備品区分ファイルの読込に失敗しました(0)";
    const std::string ref2 = "基準ファイルの読込に失敗しました(2)";
    const std::string noRef = kNoReference, noKubun = kNoCategory;
    // clang-format off
    const std::vector<Case> cases = {
        // name                      E_    J_   KUBUN.KMT in start, in data; messages; completion; saved
        {"nothing at all",           {},   {},  {},   {},   {noRef, noRef},     false, false},
        {"no KUBUN.KMT in data",     ref,  ref, {},   {},   {noKubun, noKubun}, false, false},
        {"only J_KUBUN.KMT",         {},   ref, {},   dest, {noRef},            true,  true},
        {"start KUBUN.KMT for E",    {},   ref, dest, dest, {},                 true,  true},
        {"everything there",         ref,  ref, {},   dest, {},                 true,  true},
        {"KUBUN.KMT record 3 bad",   ref,  ref, {},   badK, {kubun2, kubun2},   false, false},
        {"E_KUBUN.KMT record 3 bad", badE, ref, {},   dest, {ref2},             true,  true},
        {"empty KUBUN.KMT",          ref,  ref, {},   none, {kubun0, kubun0},   false, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir fresh;
        fs::create_directories(fresh / "data");
        fs::create_directories(fresh / "start");
        auto put = [](const fs::path& file, const std::optional<std::string>& bytes) {
            if (bytes) writeBytes(file, *bytes);
        };
        put(fresh / "start" / "E_KUBUN.KMT", c.e);
        put(fresh / "start" / "J_KUBUN.KMT", c.j);
        put(fresh / "start" / "KUBUN.KMT", c.startKubun);
        put(fresh / "data" / "KUBUN.KMT", c.dataKubun);

        Outcome o =
            runCli({{"--data-dir", text(fresh / "data"), "--start-dir", text(fresh / "start")},
                    fresh.path(),
                    {}});
        EXPECT_EQ(linesOf(o.err), shownLines(c.messages));
        EXPECT_EQ(hasLine(o, kCompletion), c.completed);
        EXPECT_EQ(o.status, c.completed && c.messages.empty() ? 0 : 1);
        if (c.dataKubun && !c.saved) {
            EXPECT_EQ(readBytes(fresh / "data" / "KUBUN.KMT"), *c.dataKubun);
            EXPECT_EQ(listing(fresh / "data"), std::vector<std::string>{"KUBUN.KMT"});
        }
    }
}

// The elementary file's classification stays where both match: the second pass works on
// what the first saved. A dry run tells the same story and leaves the disk alone.
TEST_F(CliTest, TwoPassesRealAndDry) {
    struct Case {
        const char* name;
        std::vector<std::string> extra;
        bool writes;
        std::vector<std::string> out;
    };
    const std::vector<Case> cases = {
        {"real run",
         {},
         true,
         {"E_KUBUN.KMT: 分類を設定した区分 2 件", "J_KUBUN.KMT: 分類を設定した区分 1 件",
          "分類が空のままの区分: 1 件", kCompletion}},
        {"dry run",
         {"--dry-run"},
         false,
         {"E_KUBUN.KMT: 分類を設定する区分 2 件（--dry-run のため保存していません）",
          "J_KUBUN.KMT: 分類を設定する区分 1 件（--dry-run のため保存していません）",
          "分類が空のままの区分: 1 件", kCompletion}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        putAll();
        Outcome o = run(c.extra);
        EXPECT_EQ(o.status, 0);
        EXPECT_EQ(o.err, "");
        EXPECT_EQ(linesOf(o.out), shownLines(c.out));
        EXPECT_EQ(readBytes(kubun()),
                  c.writes ? kmt(filled(kDestination, kBothPasses)) : kmt(kDestination));
        EXPECT_EQ(listing(data()), std::vector<std::string>{"KUBUN.KMT"});
    }
}

TEST_F(CliTest, RepeatedRunFillsNothingNewAndStillCompletes) {
    putAll();
    ASSERT_EQ(run().status, 0);
    const std::string afterFirst = readBytes(kubun());
    Outcome o = run();
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(linesOf(o.out), shownLines({"E_KUBUN.KMT: 分類を設定した区分 0 件",
                                          "J_KUBUN.KMT: 分類を設定した区分 0 件",
                                          "分類が空のままの区分: 1 件", kCompletion}));
    EXPECT_EQ(readBytes(kubun()), afterFirst);
}

// One pass with the chosen file; a relative name is taken from --start-dir, not from where
// the program runs. E_ and J_KUBUN.KMT are not read.
TEST_F(CliTest, SourceFileMakesOnePass) {
    struct Case {
        const char* name;
        std::string file;
        bool absolute;
    };
    const std::vector<Case> cases = {
        {"relative", "mine.kmt", false},
        {"absolute", "mine.kmt", true},
        {"Japanese name", "基準一覧.KMT", false},
    };
    const std::vector<Rec> source = {{.name = "顕微鏡", .code = "K1", .key2 = "理科", .cls = "S"},
                                     {.name = "ミシン", .code = "K2", .key2 = "家庭", .cls = "S"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        putAll();
        writeBytes(start() / named(c.file), kmt(source));
        // A decoy where the program runs: found only if the name were taken from there.
        writeBytes(dir.path() / named(c.file), kmt(kJuniorHigh));
        std::string arg = c.absolute ? text(start() / named(c.file)) : c.file;
        Outcome o = run({"--source", arg});
        EXPECT_EQ(o.status, 0);
        EXPECT_EQ(linesOf(o.out), shownLines({arg + ": 分類を設定した区分 2 件",
                                              "分類が空のままの区分: 2 件", kCompletion}));
        EXPECT_EQ(readBytes(kubun()), kmt(filled(kDestination, {"S", "S", "", "", "手書き", ""})));
    }
}

TEST_F(CliTest, MissingSourceFileEndsTheRun) {
    putAll();
    Outcome o = run({"--source", "nosuch.kmt"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(linesOf(o.err), shownLines({kNoReference}));
    EXPECT_FALSE(hasLine(o, kCompletion));
    EXPECT_EQ(readBytes(kubun()), kmt(kDestination));
}

// A read-only KUBUN.KMT is never replaced: each save says so, the completion text still
// follows the final save, and a dry run reports the same.
TEST_F(CliTest, ReadOnlyCategoryFile) {
    for (bool dry : {false, true}) {
        SCOPED_TRACE(dry ? "dry run" : "real run");
        putAll();
        fs::permissions(kubun(),
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
        Outcome o = run(dry ? std::vector<std::string>{"--dry-run"} : std::vector<std::string>{});
        EXPECT_EQ(o.status, 1);
        EXPECT_EQ(linesOf(o.err), shownLines({kSaveFailed, kSaveFailed}));
        EXPECT_TRUE(hasLine(o, kCompletion));
        EXPECT_EQ(readBytes(kubun()), kmt(kDestination));
        EXPECT_EQ(listing(data()), std::vector<std::string>{"KUBUN.KMT"});
        fs::permissions(kubun(), fs::perms::owner_write, fs::perm_options::add);
    }
}

// The parsing itself is tested on its own; here, that every way of getting the command line
// wrong ends with status 2 before any file is touched.
TEST_F(CliTest, UsageErrorsExitWithTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus"},
        {"--data-dir", text(data()), "extra"},
        {"--data-dir", text(data()), "--start-dir", text(dir / "missing")},
    };
    putAll();
    for (const auto& args : cases) {
        SCOPED_TRACE(args.back());
        Outcome o = runCli({args, dir.path(), {}});
        EXPECT_EQ(o.status, 2);
        EXPECT_EQ(o.out, "");
        ASSERT_FALSE(linesOf(o.err).empty());
        for (const std::string& line : linesOf(o.err))
            EXPECT_TRUE(line.starts_with("kbnset-cli: ")) << line;
    }
    EXPECT_EQ(readBytes(kubun()), kmt(kDestination));
}

TEST_F(CliTest, HelpNamesEveryOption) {
    Outcome o = runCli({{"--help", "--bogus"}, dir.path(), {}});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "");
    for (const char* option : {"--data-dir", "--start-dir", "--source", "--dry-run", "--help"})
        EXPECT_NE(o.out.find(option), std::string::npos) << option;
}

}  // namespace
}  // namespace kbnset::test
