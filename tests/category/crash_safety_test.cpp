// A save killed at any moment leaves either the old file or the new one, whole.
#ifndef _WIN32
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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
    const auto kubun = dir / "KUBUN.KMT";
    const std::string before = test::kmt(std::vector<test::Rec>(kTableCapacity, {.name = "机"}));
    test::writeBytes(kubun, before);
    test::RecordingUi ui;
    const Context ctx{runtime::nativeSystem(), ui};
    Tables tables;
    auto loadAndFill = [&] {
        ASSERT_EQ(KBN_LOAD(tables, dir.str(), ctx), LoadResult::loaded);
        for (KBN_REC& record : tables.KBN_TBL) record.KBN_CLASS = "分類";
    };
    loadAndFill();
    ASSERT_TRUE(KBN_SAVE(tables, dir.str(), ctx));
    const std::string after = test::readBytes(kubun);

    std::mt19937 rng(42);
    int saw[2] = {0, 0};  // old, new
    for (int round = 0; round < 300; ++round) {
        test::writeBytes(kubun, before);
        loadAndFill();
        const pid_t child = fork();
        if (child == 0) _exit(KBN_SAVE(tables, dir.str(), ctx) ? 0 : 1);
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 30000));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        const std::string now = test::readBytes(kubun);
        ASSERT_TRUE(now == before || now == after) << "round " << round << ", " << now.size();
        ++saw[now == after];
        // A killed save leaves its temporary file; the next run's lock clears such files.
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            if (entry.path() != kubun) std::filesystem::remove(entry.path());
    }
    // Kills landed both before and after the replacement, or the rounds proved nothing.
    EXPECT_GT(saw[0], 0);
    EXPECT_GT(saw[1], 0);
}

}  // namespace
}  // namespace kbnset::category
#endif
