// A save killed at any moment leaves either the old file or the new one, whole.
#ifndef _WIN32
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <thread>

#include "category/load.hpp"
#include "category/save.hpp"
#include "support/kmt.hpp"
#include "support/recording_ui.hpp"
#include "support/temp_dir.hpp"

namespace kbnset::category {
namespace {

TEST(CrashSafety, KilledSaveLeavesOldOrNewBytes) {
    test::TempDir dir;
    std::vector<test::Rec> records(kTableCapacity, test::Rec{"", "理科室の机", "k12", "A", ""});
    const std::string before = test::kmt(records);
    test::writeBytes(dir / "KUBUN.KMT", before);
    test::RecordingUi ui;
    Tables tables;
    ASSERT_EQ(KBN_LOAD(tables, dir.str(), {runtime::nativeSystem(), ui}), LoadResult::loaded);
    for (std::int32_t i = 0; i < tables.KBN_CNT; ++i)
        tables.KBN_TBL[static_cast<std::size_t>(i)].KBN_CLASS = "分類" + std::to_string(i);

    // The new bytes, as one save writes them.
    KBN_SAVE(tables, dir.str(), {runtime::nativeSystem(), ui});
    const std::string after = test::readBytes(dir / "KUBUN.KMT");
    ASSERT_NE(after, before);
    test::writeBytes(dir / "KUBUN.KMT", before);

    std::mt19937 rng(42);
    int sawOld = 0, sawNew = 0;
    for (int round = 0; round < 300; ++round) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (;;) KBN_SAVE(tables, dir.str(), {runtime::nativeSystem(), ui});
        }
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 30000));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);

        const std::string now = test::readBytes(dir / "KUBUN.KMT");
        ASSERT_TRUE(now == before || now == after)
            << "round " << round << ", " << now.size() << " bytes";
        (now == before ? sawOld : sawNew)++;
        test::writeBytes(dir / "KUBUN.KMT", before);
        // A killed save leaves its temporary file; clear them so they do not pile up.
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            if (entry.path().filename() != "KUBUN.KMT") std::filesystem::remove(entry.path());
    }
    EXPECT_GT(sawOld + sawNew, 0);
    std::printf("300 kills: %d left the old file, %d the new one\n", sawOld, sawNew);
}

}  // namespace
}  // namespace kbnset::category
#endif
