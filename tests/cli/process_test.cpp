// The real kbnset-cli as a child process, where the process itself is the subject: signals,
// resource limits, exit codes and two runs at once.
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

namespace fs = std::filesystem;

constexpr char kCompletion[] = "備品区分機能設定が終了しました";

// The program runs in `dir`, with the data folder and the start folder below it.
struct Folders {
    TempDir dir;
    fs::path data = dir / "data", start = dir / "start", kubun = data / "KUBUN.KMT";
    Folders() {
        fs::create_directories(data);
        fs::create_directories(start);
    }
    std::vector<std::string> args(const std::string& source = "") const {
        std::vector<std::string> a{"--data-dir", utf8Of(data), "--start-dir", utf8Of(start)};
        if (!source.empty()) a.insert(a.end(), {"--source", utf8Of(start / source)});
        return a;
    }
};

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
        Folders f;
        writeBytes(f.kubun, largeFile(""));
        if (c.withE) writeBytes(f.start / "E_KUBUN.KMT", largeFile("E"));
        writeBytes(f.start / "J_KUBUN.KMT", largeFile("J"));
        // The child inherits the limit; this process writes nothing meanwhile.
        rlimit before{};
        getrlimit(RLIMIT_FSIZE, &before);
        rlimit limited = before;
        limited.rlim_cur = c.sizeLimit;
        setrlimit(RLIMIT_FSIZE, &limited);
        Outcome o = runCli(f.args(), f.dir.path(), c.hostile);
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
        EXPECT_EQ(readBytes(f.kubun), largeFile(c.saved));
        EXPECT_EQ(namesIn(f.data), std::set<std::string>{"KUBUN.KMT"});
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
    constexpr int kRounds = 12;
#endif
    Folders f;
    std::vector<Rec> records, e, j;
    for (int i = 0; i < 1500; ++i) {
        const std::string n = std::to_string(i);
        records.push_back({.name = "机E" + n});
        records.push_back({.name = "机J" + n});
        e.push_back({.name = "机E" + n, .cls = "EFILL"});
        j.push_back({.name = "机J" + n, .cls = "JFILL"});
    }
    writeBytes(f.start / "E_KUBUN.KMT", kmt(e));
    writeBytes(f.start / "J_KUBUN.KMT", kmt(j));
    auto count = [](const std::string& text, const std::string& what) {
        int n = 0;
        for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    };
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        writeBytes(f.kubun, kmt(records));
        int status[2] = {-1, -1};
        std::thread runs[2];
        for (int k = 0; k < 2; ++k)
            runs[k] = std::thread([&, k] {
                status[k] =
                    runCli(f.args(k == 0 ? "E_KUBUN.KMT" : "J_KUBUN.KMT"), f.dir.path()).status;
            });
        for (std::thread& run : runs) run.join();
        EXPECT_EQ(status[0], 0);
        EXPECT_EQ(status[1], 0);
        const std::string now = readBytes(f.kubun);
        EXPECT_EQ(count(now, "\"EFILL\""), 1500);
        EXPECT_EQ(count(now, "\"JFILL\""), 1500);
#ifndef _WIN32
        Outcome o = runCli(f.args("E_KUBUN.KMT"), f.dir.path(),
                           {.signal = SIGTERM, .delay = std::chrono::microseconds(round * 3000)});
        EXPECT_TRUE(o.status == 0 || o.status == 143) << o.status;
        EXPECT_EQ(o.out.find(kCompletion) != std::string::npos, o.status == 0);
        EXPECT_EQ(namesIn(f.data), std::set<std::string>{"KUBUN.KMT"});
#endif
    }
}

}  // namespace
}  // namespace kbnset::test
