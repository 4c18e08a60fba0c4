#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/e2e.hpp"

namespace kbnset::test {
namespace {

// Without --data-dir the data folder comes from the settings store and then from the eighth
// item of ZORVEL.SEW in the folder the store names, as at the window's start.
class DiscoveryTest : public CliTest {
  protected:
    // The settings store names `settings`, whose ZORVEL.SEW names the real data folder.
    // False when the store already holds the suite's own settings, which stay untouched.
    bool nameDataFolder() {
        fs::create_directories(settings());
        writeBytes(settings() / "ZORVEL.SEW",
                   cp932("\"学校\",\"b\",\"c\",\"d\",\"e\",2024,18,\"" + text(data()) + "\"\r\n"));
#ifdef _WIN32
        if (suiteSettingsPresent()) return false;
        setSuiteDataDir(text(settings()));
        ownsSettings_ = true;
#else
        fs::create_directories(config());
        writeBytes(config() / "R-ZORVEL.ini", "[SCHOOL]\nDIR_ME=" + text(settings()) + "\n");
#endif
        return true;
    }
    ~DiscoveryTest() override {
#ifdef _WIN32
        if (ownsSettings_) removeSuiteSettings();
#endif
    }
    Outcome runWithoutDataDir() {
        return runCli(
            {{"--start-dir", text(start())}, dir.path(), {{"XDG_CONFIG_HOME", text(config())}}});
    }
    fs::path settings() const {
        return dir / "settings";
    }
    fs::path config() const {
        return dir / "config";
    }

  private:
    bool ownsSettings_ = false;
};

TEST_F(DiscoveryTest, FindsTheDataFolderThroughTheSettingsFile) {
    putAll();
    if (!nameDataFolder()) GTEST_SKIP() << "this user has settings of the suite";
    Outcome o = runWithoutDataDir();
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(hasLine(o, kCompletion));
    EXPECT_EQ(readBytes(kubun()), kmt(filled(kDestination, kBothPasses)));
}

TEST_F(DiscoveryTest, NoDataFolderExitsWithTwo) {
#ifdef _WIN32
    if (suiteSettingsPresent()) GTEST_SKIP() << "this user has settings of the suite";
#endif
    putAll();
    Outcome o = runWithoutDataDir();
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.out, "");
    ASSERT_EQ(linesOf(o.err).size(), 1U);
    EXPECT_TRUE(linesOf(o.err)[0].starts_with("kbnset-cli: "));
    EXPECT_EQ(readBytes(kubun()), kmt(kDestination));
}

#ifndef _WIN32
// Full tables with long names, so that the loads take long enough for the signal to arrive
// before the first merge is over.
std::string largeFile(const std::string& prefix, const std::string& cls) {
    std::vector<Rec> records;
    const std::string padding(200, 'x');
    for (int i = 0; i < 5011; ++i)
        records.push_back({.name = prefix + std::to_string(i) + padding,
                           .code = "K" + std::to_string(i),
                           .key2 = "理科",
                           .cls = cls});
    return kmt(records);
}

// Ctrl+C stops the run after the record in hand: nothing saved, no second pass, exit 130.
TEST_F(CliTest, InterruptLeavesTheFileAlone) {
    const std::string before = largeFile("品名", "");
    writeBytes(kubun(), before);
    writeBytes(start() / "E_KUBUN.KMT", largeFile("品名", "E"));
    writeBytes(start() / "J_KUBUN.KMT", largeFile("品名", "J"));
    Outcome o = runCliInterrupted(
        {{"--data-dir", text(data()), "--start-dir", text(start())}, dir.path(), {}});
    EXPECT_EQ(o.signal, 0);
    EXPECT_EQ(o.status, 130);
    EXPECT_FALSE(hasLine(o, kCompletion));
    ASSERT_FALSE(linesOf(o.err).empty());
    EXPECT_EQ(linesOf(o.err).back(), "kbnset-cli: 中断しました");
    EXPECT_EQ(readBytes(kubun()), before);
    EXPECT_EQ(listing(data()), std::vector<std::string>{"KUBUN.KMT"});
}
#endif

}  // namespace
}  // namespace kbnset::test
