// The real kbnset-cli as a child process, where the process itself is the subject: signals,
// resource limits, exit codes and two runs at once. The reference files are in "start" below
// the data folder.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli/process.hpp"
#include "support/kmt.hpp"
#include "support/temp_dir.hpp"

namespace kbnset::test {
namespace {

constexpr char kCompletion[] = "備品区分機能設定が終了しました";

const std::set<std::string> kLeft = {"KUBUN.KMT", "start"};  // all that is there afterwards

std::vector<std::string> args(const TempDir& dir, const std::string& source = "") {
    std::vector<std::string> a{"--data-dir", dir.str(), "--start-dir", utf8Of(dir / "start")};
    if (!source.empty()) a.insert(a.end(), {"--source", source});
    return a;
}

#ifndef _WIN32
// Full tables with long names, so that the loads take long enough for the signal to arrive
// before the first merge is over.
std::string largeFile(const std::string& cls) {
    std::vector<Rec> records;
    for (int i = 0; i < 5011; ++i)
        records.push_back({.name = std::to_string(i) + std::string(200, 'x'), .cls = cls});
    return kmt(records);
}

// Ctrl+C, SIGTERM and SIGHUP stop the run after the record in hand: nothing saved, no second
// pass, 128 + the signal. A closed pipe on standard error and a file-size limit kill nothing:
// the run goes on, and a save that hits the limit fails with its message. Nothing is left
// beside KUBUN.KMT in any case.
TEST(KbnsetCliProcess, SignalsAndLimits) {
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
        {{}, true, 64 * 1024, 1, "", "備品区分ファイルの保存に失敗しました"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        TempDir dir;
        writeBytes(dir / "KUBUN.KMT", largeFile(""));
        std::filesystem::create_directory(dir / "start");
        writeBytes(dir / "start/J_KUBUN.KMT", largeFile("J"));
        if (c.withE) writeBytes(dir / "start/E_KUBUN.KMT", largeFile("E"));
        // The child inherits the limit; this process writes nothing meanwhile.
        rlimit before{};
        getrlimit(RLIMIT_FSIZE, &before);
        rlimit limited = before;
        limited.rlim_cur = c.sizeLimit;
        setrlimit(RLIMIT_FSIZE, &limited);
        Outcome o = runCli(args(dir), dir.path(), c.hostile);
        setrlimit(RLIMIT_FSIZE, &before);
        EXPECT_EQ(o.status, c.status);
        EXPECT_EQ(o.out.find(kCompletion) != std::string::npos, c.status == 1);
        // The fills of a stopped merge are not on disk, so they are not counted.
        if (c.hostile.signal != 0) {
            EXPECT_NE(o.out.find("分類が空のままの区分: 5011 件"), std::string::npos) << o.out;
        }
        if (c.lastErr != nullptr) {
            ASSERT_FALSE(linesOf(o.err).empty());
            EXPECT_EQ(linesOf(o.err).back(), c.lastErr);
        }
        EXPECT_EQ(readBytes(dir / "KUBUN.KMT"), largeFile(c.saved));
        EXPECT_EQ(namesIn(dir.path()), kLeft);
    }
}
#endif

// Two runs at once on one KUBUN.KMT, one with each reference file: the second waits for the
// first, so both finish and the file holds the fills of both. SIGTERM at any moment of a run
// leaves no temporary file behind, and after the final save it changes nothing.
TEST(KbnsetCliProcess, RunsAtOnceNeverLoseEachOthersFills) {
#ifdef _WIN32
    constexpr int kRounds = 4;  // a process start under Wine takes a good part of a second
#else
    constexpr int kRounds = 8;
#endif
    TempDir dir;
    std::vector<Rec> records, e, j, filled;
    for (int i = 0; i < 1500; ++i) {
        const std::string n = std::to_string(i);
        records.insert(records.end(), {{.name = "E" + n}, {.name = "J" + n}});
        filled.insert(filled.end(), {{.name = "E" + n, .cls = "E"}, {.name = "J" + n, .cls = "J"}});
        e.push_back(filled[filled.size() - 2]);
        j.push_back(filled.back());
    }
    std::filesystem::create_directory(dir / "start");
    writeBytes(dir / "start/E_KUBUN.KMT", kmt(e));
    writeBytes(dir / "start/J_KUBUN.KMT", kmt(j));
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        writeBytes(dir / "KUBUN.KMT", kmt(records));
        int status[2] = {-1, -1};
        std::thread runs[2];
        for (int k = 0; k < 2; ++k)
            runs[k] = std::thread([&, k] {
                status[k] =
                    runCli(args(dir, k == 0 ? "E_KUBUN.KMT" : "J_KUBUN.KMT"), dir.path()).status;
            });
        for (std::thread& run : runs) run.join();
        EXPECT_EQ(status[0], 0);
        EXPECT_EQ(status[1], 0);
        EXPECT_EQ(readBytes(dir / "KUBUN.KMT"), kmt(filled));
#ifndef _WIN32
        Outcome o = runCli(args(dir, "E_KUBUN.KMT"), dir.path(),
                           {.signal = SIGTERM, .delay = std::chrono::microseconds(round * 4000)});
        EXPECT_TRUE(o.status == 0 || o.status == 143) << o.status;
        EXPECT_EQ(o.out.find(kCompletion) != std::string::npos, o.status == 0);
        EXPECT_EQ(namesIn(dir.path()), kLeft);
#endif
    }
}

}  // namespace
}  // namespace kbnset::test
